#pragma once
// Record builders and list descriptions shared by the selection, transform and delete tests.
#include "TestSupport.h"

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace edittest {

inline VDLStitch st(float x, float y, bool selected = false) {
    VDLStitch s(x, y, false, false);
    s.isSelected = selected;
    return s;
}
inline VDLStitch jump(float x, float y, bool selected = false) {
    VDLStitch s(x, y, true, false);
    s.isSelected = selected;
    return s;
}
inline VDLStitch change(bool selected = false) {
    VDLStitch s(0, 0, false, true);
    s.isSelected = selected;
    return s;
}

// "S(10,0)* J(5,5) C(0,0)": kind, deltas, "*" when selected.
inline std::string describe(const std::vector<VDLStitch>& list) {
    std::string out;
    for (const auto& s : list) {
        char buf[80];
        std::snprintf(buf, sizeof buf, "%s(%g,%g)%s ", s.isColorChange ? "C" : s.isJumpStitch ? "J" : "S",
                      double(s.deltaX), double(s.deltaY), s.isSelected ? "*" : "");
        out += buf;
    }
    if (!out.empty()) out.pop_back();
    return out;
}

// End point of every record, accumulated in double.
inline std::vector<VDLPoint> endPoints(const std::vector<VDLStitch>& list) {
    std::vector<VDLPoint> out;
    out.reserve(list.size());
    double x = 0, y = 0;
    for (const auto& s : list) {
        x += s.deltaX;
        y += s.deltaY;
        out.push_back({x, y});
    }
    return out;
}

// The sewn stitches (ordinary, moving) in order: where they end, whether they are selected,
// and the thread block they belong to.
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
        if (s.isColorChange) ++block;
        // A turned null stitch may keep a residue of double rounding (1e-14): not a sewn move.
        if (s.isJumpStitch || s.isColorChange || (std::fabs(s.deltaX) < 1e-3f && std::fabs(s.deltaY) < 1e-3f))
            continue;
        std::string key = block < d.threads().size() ? d.threads()[block].key() : std::string("?");
        out.push_back({{x, y}, s.isSelected, key});
    }
    return out;
}

inline void setSelection(VDLDesign& d, const std::vector<bool>& flags) {
    bool any = false;
    for (size_t i = 0; i < d.stitches().size() && i < flags.size(); ++i) {
        d.stitches()[i].isSelected = flags[i];
        any = any || flags[i];
    }
    d.setSelectionActive(any);
}

}  // namespace edittest
