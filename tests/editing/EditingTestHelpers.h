#pragma once
// Record builders and list descriptions shared by the selection, transform and delete tests.
#include "TestSupport.h"

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace edittest {

inline VDLStitch rec(float x, float y, bool jump, bool change, bool selected) {
    VDLStitch s(x, y, jump, change);
    s.isSelected = selected;
    return s;
}
inline VDLStitch st(float x, float y, bool sel = false) { return rec(x, y, false, false, sel); }
inline VDLStitch jump(float x, float y, bool sel = false) { return rec(x, y, true, false, sel); }
inline VDLStitch change(bool sel = false) { return rec(0, 0, false, true, sel); }

// "S(10,0)* J(5,5) C(0,0)": kind, deltas, "*" when selected.
inline std::string describe(const std::vector<VDLStitch>& list) {
    std::string out;
    for (const auto& s : list) {
        char buf[80];
        std::snprintf(buf, sizeof buf, "%s%s(%g,%g)%s", out.empty() ? "" : " ",
                      s.isColorChange ? "C" : s.isJumpStitch ? "J" : "S", double(s.deltaX), double(s.deltaY),
                      s.isSelected ? "*" : "");
        out += buf;
    }
    return out;
}

// The sewn stitches (ordinary and moving) in order: end point, selection, thread key.
struct Sewn {
    VDLPoint end;
    bool selected;
    std::string threadKey;
};

inline std::vector<Sewn> sewnStitches(const VDLDesign& d) {
    std::vector<Sewn> out;
    double x = 0, y = 0;
    size_t block = 0;
    for (const auto& s : d.stitches()) {
        x += s.deltaX;
        y += s.deltaY;
        block += s.isColorChange;
        // A turned null stitch may keep a residue of double rounding (1e-14): not a sewn move.
        if (s.isJumpStitch || s.isColorChange || (std::fabs(s.deltaX) < 1e-3f && std::fabs(s.deltaY) < 1e-3f))
            continue;
        out.push_back({{x, y}, s.isSelected, block < d.threads().size() ? d.threads()[block].key() : "?"});
    }
    return out;
}

}  // namespace edittest
