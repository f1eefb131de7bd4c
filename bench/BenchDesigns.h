#pragma once
// Designs the benchmarks share.
#include "VDLDesign.h"
#include "VDLError.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

// Tatami-like rows across a 2000 x 1000 unit area (200 x 100 mm), 20 colour blocks, a jump
// between blocks: what a large fill design looks like. STITCHES other than 200,000 keep the
// area and change how densely the blocks are layered over each other.
inline VDLDesign makeFillDesign(int stitches) {
    VDLDesign d;
    std::vector<VDLStitch> st;
    st.reserve(size_t(stitches));
    const int perBlock = stitches / 20;
    const float rowStep = 4.0f * 10000.0f / float(perBlock);  // the same 2000 x 1000 area in every case
    float x = 0, y = 0;
    for (int i = 0; i < stitches; ++i) {
        const int inBlock = i % perBlock;
        if (i > 0 && inBlock == 0) {
            st.emplace_back(-x, -y, true, false);  // back to the start for the next block
            x = 0;
            y = 0;
            st.emplace_back(0.0f, 1.0f, false, true);
            y += 1;
            continue;
        }
        // Rows of 40 stitches of 50 units, back and forth; each block is offset a little so
        // the blocks overlap like layered fills.
        const int row = inBlock / 40;
        const float dx = (row % 2 == 0 ? 50.0f : -50.0f);
        const float dy = (inBlock % 40 == 39) ? rowStep : 0.3f * float((i / perBlock) % 3) - 0.3f;
        st.emplace_back(dx, dy, false, false);
        x += dx;
        y += dy;
    }
    d.setStitches(std::move(st));
    std::vector<VDLThread> threads;
    for (int t = 0; t < 21; ++t) threads.emplace_back(VDLColor(0.2 + 0.03 * t, 0.8 - 0.03 * t, 0.5), "t", "", "", "");
    d.setThreads(std::move(threads));
    d.recomputeBounds();
    d.setDisplayRange(VDLRange{0, d.stitches().size()});
    return d;
}

// Rows of 30-unit stitches (3 mm) back and forth in 10 colour blocks, written as a DST file at
// PATH: the big design of the application benchmarks. Ends the process when it cannot be written.
inline void writeRowsDst(const std::string& path, int stitches) {
    std::vector<VDLStitch> st;
    st.reserve(size_t(stitches) + 16);
    const int perBlock = stitches / 10;
    const int perRow = 80;
    for (int i = 0; i < stitches; ++i) {
        if (i > 0 && i % perBlock == 0) st.emplace_back(0.0f, 0.0f, false, true);
        const int row = (i % perBlock) / perRow;
        const float dx = (row % 2 == 0) ? 30.0f : -30.0f;
        const float dy = ((i % perBlock) % perRow == perRow - 1) ? 2.0f : 0.0f;
        st.emplace_back(dx, dy, false, false);
    }
    VDLDesign d;
    d.setStitches(std::move(st));
    for (int t = 0; t < 10; ++t) d.threads().emplace_back(std::to_string(t + 1), "Undefined");
    d.recomputeBounds();
    d.setDisplayRange(VDLRange{0, d.stitches().size()});
    VDLError error;
    if (!d.exportDesignToURL(VDLURL::fileURLWithPath(path), &error)) {
        std::fprintf(stderr, "cannot write the benchmark design: %s\n", error.message().c_str());
        std::exit(1);
    }
}
