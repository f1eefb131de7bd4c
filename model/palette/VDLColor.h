#pragma once
#include <cstdint>
#include <string>

class VDLCoder;

// Immutable RGB colour, components as fractions 0..1 (stored unclamped). No alpha.
class VDLColor {
public:
    VDLColor() = default;  // grey 0.8
    VDLColor(double red, double green, double blue) : red_(red), green_(green), blue_(blue) {}
    static VDLColor initWithRed(double r, double g, double b) { return VDLColor(r, g, b); }

    double red() const { return red_; }
    double green() const { return green_; }
    double blue() const { return blue_; }

    bool isEqual(const VDLColor& o) const { return red_ == o.red_ && green_ == o.green_ && blue_ == o.blue_; }
    bool operator==(const VDLColor& o) const { return isEqual(o); }
    uint64_t hash() const;
    std::string description() const;

    // Components are archived as single-precision floats: decoding can differ in the last bits.
    void encodeWithCoder(VDLCoder& coder) const;
    explicit VDLColor(const VDLCoder& coder);

private:
    double red_ = 0.8;
    double green_ = 0.8;
    double blue_ = 0.8;
};

struct VDLColorHash {
    size_t operator()(const VDLColor& c) const { return size_t(c.hash()); }
};
