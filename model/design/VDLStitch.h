#pragma once
#include <string>

class VDLCoder;

// One record of the stitch list: a relative needle move in 0.1 mm (Y up) and what the machine
// does at its end. Two floats and three flags, held by value.
struct VDLStitch {
    float deltaX = 0;
    float deltaY = 0;
    bool isJumpStitch = false;
    bool isColorChange = false;
    bool isSelected = false;

    VDLStitch() = default;
    // The constructor readers use; the selection mark starts cleared.
    VDLStitch(float dX, float dY, bool isJump, bool isChange)
        : deltaX(dX), deltaY(dY), isJumpStitch(isJump), isColorChange(isChange) {}
    static VDLStitch initWithData(float dX, float dY, bool isJump, bool isChange) {
        return VDLStitch(dX, dY, isJump, isChange);
    }
    explicit VDLStitch(const VDLCoder& coder);

    // Both deltas exactly 0.0 (−0.0 included); the flags are not consulted.
    bool isNullStitch() const { return deltaX == 0.0f && deltaY == 0.0f; }
    std::string description() const;
    void encodeWithCoder(VDLCoder& coder) const;
};
