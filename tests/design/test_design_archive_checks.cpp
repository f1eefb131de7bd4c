// Archived designs (clipboard, window state) are checked before anything works on them.
#include "TestSupport.h"
#include "VDLDesign.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <limits>

namespace {

std::string archiveOf(const std::vector<VDLStitch>& stitches, int extraThreads = 0) {
    VDLDesign d = makeDesign(stitches, "JEF");
    for (int i = 0; i < extraThreads; ++i) d.threads().emplace_back("9", "Undefined");
    if (extraThreads < 0) d.threads().resize(d.threads().size() - size_t(-extraThreads));
    return d.archivedXML();
}

}  // namespace

TEST(ArchiveChecks, MovesNoFormatCanHoldAreRefusedBeforeAnyWork) {
    // Moves just under 2^24 back and forth: the normalisation for JEF would have cut each into
    // 133,000 records (gigabytes for a few thousand stitches).
    std::vector<VDLStitch> huge;
    for (int i = 0; i < 4000; ++i) huge.emplace_back(i % 2 ? -16777215.0f : 16777215.0f, 0.0f, false, false);
    std::string problem;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(VDLDesign::unarchiveFromXML(archiveOf(huge), &problem));
    EXPECT_EQ(problem, "The design reaches farther than any embroidery file can hold.");

    // Within reach, but the normalised list would pass the bound: 300 moves of 8,000,000 units
    // are 129,000 PES stitches each.
    std::vector<VDLStitch> long_;
    for (int i = 0; i < 300; ++i) long_.emplace_back(i % 2 ? -8000000.0f : 8000000.0f, 100.0f * float(i % 2), false, false);
    EXPECT_FALSE(VDLDesign::unarchiveFromXML(archiveOf(long_), &problem));
    EXPECT_EQ(problem, "The design has too many stitches, or stitches too long, to be written to an embroidery file.");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));

    VDLDesign nan = makeDesign({{1, 1, false, false}, {2, 2, false, false}});
    nan.stitches()[1].deltaX = std::numeric_limits<float>::quiet_NaN();
    EXPECT_FALSE(nan.isSoundArchive(&problem));
    EXPECT_EQ(problem, "The design holds a stitch without a valid length.");
    VDLDesign farBounds = makeDesign({{1, 1, false, false}});
    farBounds.setXMax(std::numeric_limits<float>::infinity());
    EXPECT_FALSE(farBounds.isSoundArchive());
}

TEST(ArchiveChecks, ThreadsMustMatchTheColourBlocks) {
    const std::vector<VDLStitch> twoBlocks{{10, 0, false, false}, {0, 0, false, true}, {10, 10, false, false}};
    std::string problem;
    EXPECT_TRUE(VDLDesign::unarchiveFromXML(archiveOf(twoBlocks), &problem));
    EXPECT_FALSE(VDLDesign::unarchiveFromXML(archiveOf(twoBlocks, 1), &problem));
    EXPECT_EQ(problem, "The design does not have one thread for each colour.");
    EXPECT_FALSE(VDLDesign::unarchiveFromXML(archiveOf(twoBlocks, -1), &problem));
    EXPECT_EQ(problem, "The design does not have one thread for each colour.");
}

TEST(ArchiveChecks, LargeRealDesignsPass) {
    // Half a million stitches at the longest a DST record takes, jumps across a 40 cm hoop and
    // many colours: far within every bound.
    std::vector<VDLStitch> stitches;
    stitches.reserve(500000);
    for (int i = 0; i < 500000; ++i) {
        if (i % 10000 == 0) stitches.emplace_back(0, 0, false, true);
        else if (i % 1000 == 0) stitches.emplace_back(i % 2000 ? 4000.0f : -4000.0f, i % 2000 ? 3000.0f : -3000.0f, true, false);
        else stitches.emplace_back(i % 2 ? 121.0f : -121.0f, i % 2 ? 1.0f : -1.0f, false, false);
    }
    VDLDesign d = makeDesign(stitches, "PCS");
    std::string problem;
    EXPECT_TRUE(d.isSoundArchive(&problem)) << problem;
}
