#pragma once
// Output-building form of insertJump for the editors that rebuild the stitch list in one pass.
#include "VDLStitch.h"

#include <vector>

// Appends what insertJump(v, i) puts in front of NEXT when OUT holds the records before index
// i: the jump (deltas rounded to float), and a null stitch carrying NEXT's selection when
// neither the record before nor NEXT is a jump and NEXT moves. The caller then appends NEXT.
inline void appendBridgingJump(std::vector<VDLStitch>& out, double vx, double vy, const VDLStitch& next) {
    const bool prevIsJump = !out.empty() && out.back().isJumpStitch;
    out.emplace_back(float(vx), float(vy), true, false);
    if (!prevIsJump && !next.isJumpStitch && !next.isNullStitch()) {
        VDLStitch null(0, 0, false, false);
        null.isSelected = next.isSelected;
        out.push_back(null);
    }
}
