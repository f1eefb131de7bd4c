#pragma once
// Helpers of the editing tests: designs of a given shape and exact comparison of two designs.
#include "VDLDesign.h"

#include <gtest/gtest.h>

// BLOCKS thread blocks of PER_BLOCK stitches each along a zigzag, the first stitch of every
// later block a colour change.
inline VDLDesign makeBlockDesign(int blocks, int perBlock, const std::string& type = "DST") {
    VDLDesign d;
    std::vector<VDLStitch> s;
    s.reserve(size_t(blocks) * size_t(perBlock));
    for (int b = 0; b < blocks; ++b)
        for (int i = 0; i < perBlock; ++i)
            s.emplace_back(float((i % 7) - 3) + 0.5f * float(b % 3), float(((i / 7) % 5) - 2), false, b > 0 && i == 0);
    d.setStitches(std::move(s));
    for (int b = 0; b < blocks; ++b) d.threads().emplace_back(std::to_string(b % 20 + 1), "Undefined");
    d.setDesignType(type);
    d.setDesignVersion(10);
    d.recomputeBounds();
    d.setDisplayRange(VDLRange{0, d.stitches().size()});
    return d;
}

inline ::testing::AssertionResult sameDesign(const VDLDesign& a, const VDLDesign& b) {
    if (a.stitches().size() != b.stitches().size())
        return ::testing::AssertionFailure() << "stitch counts " << a.stitches().size() << " vs " << b.stitches().size();
    for (size_t i = 0; i < a.stitches().size(); ++i) {
        const VDLStitch& x = a.stitches()[i];
        const VDLStitch& y = b.stitches()[i];
        if (x.deltaX != y.deltaX || x.deltaY != y.deltaY || x.isJumpStitch != y.isJumpStitch ||
            x.isColorChange != y.isColorChange || x.isSelected != y.isSelected)
            return ::testing::AssertionFailure() << "stitch " << i << ": " << x.description() << " vs " << y.description();
    }
    if (a.threads().size() != b.threads().size()) return ::testing::AssertionFailure() << "thread counts differ";
    for (size_t i = 0; i < a.threads().size(); ++i)
        if (!(a.threads()[i].color() == b.threads()[i].color()) || a.threads()[i].palette() != b.threads()[i].palette() ||
            a.threads()[i].key() != b.threads()[i].key())
            return ::testing::AssertionFailure() << "thread " << i << " differs";
    if (a.selectionActive() != b.selectionActive()) return ::testing::AssertionFailure() << "selectionActive differs";
    if (a.useThreadFile() != b.useThreadFile()) return ::testing::AssertionFailure() << "useThreadFile differs";
    if (a.hoopCode() != b.hoopCode()) return ::testing::AssertionFailure() << "hoop differs";
    if (a.xMin() != b.xMin() || a.xMax() != b.xMax() || a.yMin() != b.yMin() || a.yMax() != b.yMax())
        return ::testing::AssertionFailure() << "bounds differ";
    return ::testing::AssertionSuccess();
}
