#pragma once
// The normalisation pass written the obvious way: in place on the stitch list, erasing merged
// records and inserting colour changes and cut pieces one by one. Benchmarks time the real
// pass against it and check that both give the same list.
#include "VDLDesign.h"

#include <cfloat>
#include <cmath>
#include <string>

// The pass exactly as the step-by-step walk describes it, on the list in place.
inline void naiveOptimizeJumps(VDLDesign& d, const std::string& type) {
    std::vector<VDLStitch>& v = d.stitches();
    for (long i = 0; i < long(v.size()); ++i) {
        if (!v[size_t(i)].isJumpStitch && !v[size_t(i)].isColorChange) continue;
        long n = v[size_t(i)].isColorChange ? 1 : 0;
        v[size_t(i)].isColorChange = false;
        while (i + 1 < long(v.size()) && (v[size_t(i) + 1].isJumpStitch || v[size_t(i) + 1].isColorChange)) {
            VDLStitch& s = v[size_t(i)];
            const VDLStitch& t = v[size_t(i) + 1];
            s.deltaX += t.deltaX;
            s.deltaY += t.deltaY;
            s.isJumpStitch = s.isJumpStitch || t.isJumpStitch;
            if (t.isColorChange) ++n;
            v.erase(v.begin() + i + 1);
        }
        v.insert(v.begin() + i + 1, size_t(n), VDLStitch(0, 0, false, true));
        const long at = i;
        i += n;
        if (v[size_t(at)].isNullStitch()) {
            v.erase(v.begin() + at);
            i -= 1;
        }
    }
    if (!v.empty() && v.back().isJumpStitch) v.pop_back();

    float stitchLimit = 999999, jumpLimit = 999999;
    if (type == "JEF" || type == "EXP") stitchLimit = jumpLimit = 126;
    if (type == "PES" || type == "PEC") stitchLimit = 62, jumpLimit = 2046;
    if (type == "DST") stitchLimit = jumpLimit = 120;
    if (type == "PCS") stitchLimit = jumpLimit = 1150;

    float xMin = FLT_MAX, yMin = FLT_MAX, xMax = -FLT_MAX, yMax = -FLT_MAX, x = 0, y = 0;
    for (size_t i = 0; i < v.size(); ++i) {
        const float dx = v[i].deltaX, dy = v[i].deltaY;
        const float m = v[i].isJumpStitch ? jumpLimit : stitchLimit;
        bool cut = false;
        float nx = dx, ny = dy;
        if (std::fabs(dx) > m) nx = dx < 0 ? -m : m, ny = (dy / dx) * nx, cut = true;
        if (std::fabs(ny) > m) {
            const float c = ny < 0 ? -m : m;
            nx = (dx / dy) * c, ny = c, cut = true;
        }
        if (v[i].isColorChange && !v[i].isNullStitch()) nx = ny = 0, cut = true;
        if (cut) {
            VDLStitch c = v[i];
            c.deltaX = dx - nx;
            c.deltaY = dy - ny;
            c.isColorChange = false;
            if (i >= 1 && v[i - 1].isJumpStitch) c.isJumpStitch = true;
            v[i].deltaX = nx;
            v[i].deltaY = ny;
            v.insert(v.begin() + long(i) + 1, c);
        }
        x += v[i].deltaX;
        y += v[i].deltaY;
        if (x < xMin) xMin = x;
        if (x > xMax) xMax = x;
        if (y < yMin) yMin = y;
        if (y > yMax) yMax = y;
    }
    d.setXMin(xMin), d.setYMin(yMin), d.setXMax(xMax), d.setYMax(yMax);
    d.trimSelectedJumps();
    d.setDisplayRange(VDLRange{0, v.size()});
}
