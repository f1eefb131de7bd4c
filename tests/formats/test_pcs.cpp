#include "TestSupport.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <filesystem>

namespace {

struct PcsRecord {
    uint8_t index;
    uint32_t x, y;  // stored 24-bit values
    uint8_t kind;
};

std::vector<uint8_t> pcsFile(uint8_t type, const std::vector<std::array<uint8_t, 3>>& palette, uint16_t count,
                             const std::vector<PcsRecord>& records) {
    std::vector<uint8_t> b = {0x32, type, uint8_t(palette.size()), uint8_t(palette.size() >> 8)};
    for (const auto& c : palette) b.insert(b.end(), {c[0], c[1], c[2], 0});
    b.push_back(uint8_t(count));
    b.push_back(uint8_t(count >> 8));
    for (const auto& r : records)
        b.insert(b.end(), {r.index, uint8_t(r.x), uint8_t(r.x >> 8), uint8_t(r.x >> 16), 0, uint8_t(r.y),
                           uint8_t(r.y >> 8), uint8_t(r.y >> 16), r.kind});
    b.insert(b.end(), 13, 0);  // closing bytes, as PCS files end
    return b;
}

int64_t readError(const std::vector<uint8_t>& bytes) {
    VDLDesign d;
    VDLError e;
    EXPECT_FALSE(d.importPcxDesignFromData(bytes, &e));
    EXPECT_EQ(e.domain, "vardelle.vdldesign.ErrorDomain");
    return e.code;
}

VDLThread colorThread(double r, double g, double b) { return VDLThread(VDLColor(r, g, b), "t", "k", "Pal", "Pal"); }

}  // namespace

TEST(PcsReader, MalformedHeadersEndInTheirErrorCodes) {
    EXPECT_EQ(readError({0x32, 0x02, 0, 0, 0}), 160);
    EXPECT_EQ(readError({0x33, 0x02, 0, 0, 0, 0}), 161);
    EXPECT_EQ(readError({0x32, 0x05, 0, 0, 0, 0}), 162);
    EXPECT_EQ(readError({0x32, 0x02, 17, 0, 0, 0}), 163);
    EXPECT_EQ(readError({0x32, 0x02, 2, 0, 1, 2, 3, 0, 0, 0}), 160);  // palette runs past the end
    // A record count the file cannot hold.
    EXPECT_EQ(readError(pcsFile(2, {}, 5, {{0, 0, 0, 0}, {0, 0, 0, 0}})), 160);
}

TEST(PcsReader, RecordErrorsColorIndexAndPositionsBeyondTheHoopCorner) {
    EXPECT_EQ(readError(pcsFile(2, {{1, 2, 3}}, 2, {{1, 0, 0, 3}, {0, 10, 10, 0}, {0, 20, 20, 0}})), 164);
    // Positions may reach 120 mm across and 115 mm down from the hoop corner, no further; the
    // edge itself (720 and 690 sixths of a millimetre) is inside, although 720 times the
    // rounded unit factor comes out a hair above 1200.
    VDLDesign ok;
    ASSERT_TRUE(ok.importPcxDesignFromData(pcsFile(3, {}, 3, {{0, 0, 0, 0}, {0, 720, 690, 0}, {0, 719, 689, 0}})));
    ASSERT_EQ(ok.stitches().size(), 2u);
    EXPECT_EQ(ok.xMax(), 1200.0f);
    EXPECT_EQ(ok.yMax(), 1150.0f);
    EXPECT_EQ(readError(pcsFile(2, {}, 2, {{0, 0, 0, 0}, {0, 721, 0, 0}})), 165);
    EXPECT_EQ(readError(pcsFile(0, {}, 2, {{0, 0, 0, 0}, {0, 0, 691, 0}})), 165);
}

TEST(PcsReader, TypeByteChoosesFormatAndHoop) {
    VDLDesign pcs;
    ASSERT_TRUE(pcs.importPcxDesignFromData(pcsFile(2, {}, 2, {{0, 0, 0, 0}, {0, 6, 12, 0}})));
    EXPECT_EQ(pcs.designType(), "PCS");
    EXPECT_EQ(pcs.designVersion(), 20);
    EXPECT_EQ(pcs.hoopVendor(), "Pfaff");
    EXPECT_EQ(pcs.hoopCode(), 2);
    // No colour records: one "Undefined" thread.
    ASSERT_EQ(pcs.threads().size(), 1u);
    EXPECT_EQ(pcs.threads()[0].palette(), "Undefined");

    VDLDesign pcd, pcq;
    ASSERT_TRUE(pcd.importPcxDesignFromData(pcsFile(0, {}, 2, {{0, 600, 600, 0}, {0, 606, 612, 0}})));
    ASSERT_TRUE(pcq.importPcxDesignFromData(pcsFile(1, {}, 2, {{0, 0, 0, 0}, {0, 6, 12, 0}})));
    EXPECT_EQ(pcd.designType(), "PCD");
    EXPECT_EQ(pcq.designType(), "PCQ");
    EXPECT_FALSE(pcd.designHoop().has_value());
    // PCD and PCQ bounds always reach the start point in x.
    EXPECT_FLOAT_EQ(pcd.xMin(), 0.0f);
    EXPECT_FLOAT_EQ(pcd.xMax(), 10.0f);
    EXPECT_FLOAT_EQ(pcd.yMin(), 20.0f);
}

TEST(PcsReader, CoordinatesDecodeFromTheHoopCornerInSixthsOfAMillimetre) {
    // Hoop S is 80 mm wide: 0 lies 400 units left of the centre, 600 · 10/6 − 400 = 600.
    VDLDesign d;
    ASSERT_TRUE(d.importPcxDesignFromData(pcsFile(2, {}, 4,
                                                  {{0, 0, 0, 0},
                                                   {0, 600, 3, 0},
                                                   {0, 0xFFFFFF, 0x800000, 0},
                                                   {0, 0xFFFFFE, 0x800000, 0}})));
    ASSERT_EQ(d.stitches().size(), 3u);
    EXPECT_FLOAT_EQ(d.stitches()[0].deltaX, 1000.0f);
    EXPECT_FLOAT_EQ(d.stitches()[0].deltaY, 5.0f);
    // 0xFFFFFF stands for 0, 0x800000 for −8388607, 0xFFFFFE for −1.
    EXPECT_FLOAT_EQ(d.stitches()[1].deltaX, -1000.0f);
    EXPECT_FLOAT_EQ(d.stitches()[1].deltaY,
                    float(-8388607 * 1.6666666667 - 400) - float(3 * 1.6666666667 - 400));
    EXPECT_NEAR(d.stitches()[2].deltaX, -1.6666666667, 1e-3);
    // Moves longer than 12 mm are jumps whatever the record kind.
    EXPECT_TRUE(d.stitches()[0].isJumpStitch);
    EXPECT_TRUE(d.stitches()[1].isJumpStitch);
    EXPECT_FALSE(d.stitches()[2].isJumpStitch);
}

TEST(PcsReader, StitchKindsJumpsAndRepeatedPositions) {
    VDLDesign d;
    ASSERT_TRUE(d.importPcxDesignFromData(pcsFile(2, {}, 6,
                                                  {{0, 300, 300, 0},
                                                   {0, 390, 300, 0},   // 150 units: a jump
                                                   {0, 396, 300, 0},   // 10 units: a stitch
                                                   {0, 396, 300, 0},   // same place: the one before becomes a jump
                                                   {0, 402, 300, 4},   // kind 4: a jump
                                                   {0, 408, 300, 0}})));
    ASSERT_EQ(d.stitches().size(), 5u);
    EXPECT_TRUE(d.stitches()[0].isJumpStitch);
    EXPECT_TRUE(d.stitches()[1].isJumpStitch);
    EXPECT_FALSE(d.stitches()[2].isJumpStitch);
    EXPECT_TRUE(d.stitches()[3].isJumpStitch);
    EXPECT_FALSE(d.stitches()[4].isJumpStitch);
    EXPECT_FLOAT_EQ(d.stitches()[0].deltaX, 150.0f);
    EXPECT_FLOAT_EQ(d.stitches()[2].deltaX, 0.0f);
}

TEST(PcsReader, ColorRecordsMakeThreadsAndOnlyMoveWithAPosition) {
    VDLDesign d;
    const auto bytes = pcsFile(3, {{255, 0, 0}, {0, 128, 255}}, 3,
                               {{0, 0, 0, 3},        // thread for the first block; fixes the start
                                {0, 300, 300, 0},    // first stitch
                                {1, 0, 312, 3},      // x = 0: no move
                                {0, 306, 300, 0},
                                {0, 312, 312, 3},    // a positioned colour change moves
                                {0, 318, 312, 0},    // third counted record: reading ends here
                                {0, 999, 999, 0}});  // beyond the record count: never read
    ASSERT_TRUE(d.importPcxDesignFromData(bytes));
    ASSERT_EQ(d.threads().size(), 3u);
    EXPECT_EQ(d.threads()[0].color(), VDLColor(1, 0, 0));
    EXPECT_EQ(d.threads()[1].color(), VDLColor(0, 128 / 255.0, 1));
    EXPECT_EQ(d.threads()[1].name(), "Individual color (0, 128, 255)");
    EXPECT_EQ(d.threads()[1].paletteName(), "Threadcolors");

    ASSERT_EQ(d.stitches().size(), 5u);
    EXPECT_FLOAT_EQ(d.stitches()[0].deltaX, float(300 * 1.6666666667 - 600));
    EXPECT_TRUE(d.stitches()[1].isColorChange);
    EXPECT_FALSE(d.stitches()[1].isJumpStitch);
    EXPECT_FLOAT_EQ(d.stitches()[1].deltaX, 0.0f);
    EXPECT_FLOAT_EQ(d.stitches()[1].deltaY, 0.0f);
    EXPECT_TRUE(d.stitches()[3].isColorChange);
    EXPECT_NEAR(d.stitches()[3].deltaX, 10.0, 1e-3);
    EXPECT_NEAR(d.stitches()[3].deltaY, 20.0, 1e-3);
    EXPECT_EQ(d.designVersion(), 21);

    // Without the moving colour change the version stays 20.
    VDLDesign still;
    ASSERT_TRUE(still.importPcxDesignFromData(
        pcsFile(3, {{1, 2, 3}, {4, 5, 6}}, 2, {{0, 0, 0, 3}, {0, 300, 300, 0}, {1, 0, 0, 3}, {0, 306, 300, 0}})));
    EXPECT_EQ(still.designVersion(), 20);
    ASSERT_EQ(still.stitches().size(), 3u);
    EXPECT_TRUE(still.stitches()[1].isColorChange);
    EXPECT_EQ(still.threads().size(), 2u);

    // A colour record in PCD is just a stitch.
    VDLDesign pcd;
    ASSERT_TRUE(pcd.importPcxDesignFromData(pcsFile(0, {{1, 2, 3}}, 3, {{0, 0, 0, 0}, {0, 6, 6, 3}, {0, 12, 6, 0}})));
    EXPECT_EQ(pcd.stitches().size(), 2u);
    EXPECT_FALSE(pcd.stitches()[0].isColorChange);
    EXPECT_EQ(pcd.threads().size(), 1u);
}

TEST(PcsReader, StitchesBeforeTheFirstColorRecordKeepTheDesignConsistent) {
    VDLDesign d;
    ASSERT_TRUE(d.importPcxDesignFromData(
        pcsFile(2, {{9, 9, 9}}, 3, {{0, 300, 300, 0}, {0, 306, 300, 0}, {0, 0, 0, 3}, {0, 312, 300, 0}})));
    int changes = 0;
    for (const auto& s : d.stitches()) changes += s.isColorChange;
    EXPECT_EQ(changes, 1);
    ASSERT_EQ(d.threads().size(), 2u);
    EXPECT_EQ(d.threads()[0].palette(), "Undefined");
    EXPECT_EQ(d.threads()[1].color(), VDLColor(9 / 255.0, 9 / 255.0, 9 / 255.0));
}

namespace {

// Three threads, a jump and two colour changes in hoop L (120 × 115 mm), with positions that
// land on halves of the 1/6 mm grid.
VDLDesign writerDesign() {
    VDLDesign d = makeDesign({VDLStitch(10, 20, false, false), VDLStitch(-602.5f, 0, true, false),
                              VDLStitch(0, -577.5f, false, true), VDLStitch(1, 0, false, true)},
                             "DST");
    d.setThreads({colorThread(1, 0, 0), colorThread(0, 0.5, 1), colorThread(0.2, 0.4, 0.6)});
    d.setHoopFromVendor("Pfaff", 3);
    return d;
}

}  // namespace

TEST(PcsWriter, WritesTheExactBytes) {
    TempDir dir;
    VDLDesign d = writerDesign();
    ASSERT_TRUE(d.exportPcsDesignToURL(dir.url("out.pcs")));

    std::vector<uint8_t> expected = {0x32, 0x03, 0x10, 0x00,            // magic, hoop L, 16 colours
                                     0xFF, 0x00, 0x00, 0x00, 0x00, 0x7F, 0xFF, 0x00, 0x33, 0x66, 0x99, 0x00};
    expected.insert(expected.end(), 13 * 4, 0);                          // unused palette entries
    const std::vector<uint8_t> records = {
        0x04, 0x00,                                                      // position records
        0x00, 0, 0, 0, 0, 0, 0, 0, 0x03,                                 // thread 0
        0x00, 0x6E, 0x01, 0x00, 0x00, 0x65, 0x01, 0x00, 0x00,            // (366, 357)
        0x00, 0x05, 0x00, 0x00, 0x00, 0x65, 0x01, 0x00, 0x04,            // 4.5 → 5, jump
        0x01, 0, 0, 0, 0, 0, 0, 0, 0x03,                                 // thread 1
        0x00, 0x05, 0x00, 0x00, 0x00, 0x0B, 0x00, 0x00, 0x00,            // 10.5 → 11
        0x02, 0, 0, 0, 0, 0, 0, 0, 0x03,                                 // thread 2
        0x00, 0x05, 0x00, 0x00, 0x00, 0x0B, 0x00, 0x00, 0x00,            // 5.1 → 5
    };
    expected.insert(expected.end(), records.begin(), records.end());
    expected.insert(expected.end(), 13, 0);
    EXPECT_EQ(readBytes(dir.file("out.pcs")), expected);

    EXPECT_EQ(d.designType(), "PCS");
    EXPECT_EQ(d.designVersion(), 20);
    // The threads now are the individual colours that were written.
    EXPECT_EQ(d.threads()[1].key(), "");
    EXPECT_EQ(d.threads()[1].palette(), "");
    EXPECT_EQ(d.threads()[1].name(), "Individual color (0, 128, 255)");
}

TEST(PcsWriter, NegativePositionsAndNoHoop) {
    VDLDesign d = makeDesign({VDLStitch(-7.5f, -10, false, false), VDLStitch(0, 10, false, false)});
    const auto bytes = d.exportPcsDesignToData();
    ASSERT_EQ(bytes.size(), 4u + 64 + 2 + 3 * 9 + 13);
    EXPECT_EQ(bytes[1], 0x00);
    // −4.5 rounds away from zero to −5, stored as 0xFFFFFF − 5; −6 as 0xFFFFF9.
    const size_t rec = 4 + 64 + 2 + 9;
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + long(rec), bytes.begin() + long(rec + 9)),
              (std::vector<uint8_t>{0x00, 0xFA, 0xFF, 0xFF, 0x00, 0xF9, 0xFF, 0xFF, 0x00}));

}

TEST(PcsWriter, RoundTripKeepsEveryPositionOnTheGridAndEveryStitch) {
    std::vector<VDLStitch> stitches;
    for (int i = 0; i < 300; ++i) {
        const bool change = i % 100 == 99;
        const bool jump = i % 37 == 5;
        stitches.emplace_back(float((i * 7) % 23 - 11) + 0.3f, float((i * 5) % 19 - 9) - 0.45f, jump, change);
    }
    VDLDesign d = makeDesign(stitches);
    d.setThreads({colorThread(1, 0, 0), colorThread(0, 1, 0), colorThread(0, 0, 1), colorThread(1, 1, 0)});
    const auto original = absolutePositions(d);

    TempDir dir;
    ASSERT_TRUE(d.exportPcsDesignToURL(dir.url("round.pcs")));
    VDLDesign back;
    ASSERT_TRUE(back.importDesignFromURL(dir.url("round.pcs")));
    EXPECT_EQ(back.designType(), "PCS");
    ASSERT_EQ(back.threads().size(), 4u);
    EXPECT_EQ(back.threads()[3].color(), VDLColor(1, 1, 0));

    // Each colour change comes back as a zero-length change record followed by the stitch
    // itself; every stitch keeps its place within half a grid step (10/12 unit).
    const auto positions = absolutePositions(back);
    size_t j = 0;
    int changes = 0;
    for (size_t i = 0; i < back.stitches().size(); ++i) {
        if (back.stitches()[i].isColorChange) {
            ++changes;
            continue;
        }
        ASSERT_LT(j, original.size());
        EXPECT_NEAR(positions[i].x, original[j].x, 10.0 / 12 + 0.01) << "stitch " << j;
        EXPECT_NEAR(positions[i].y, original[j].y, 10.0 / 12 + 0.01) << "stitch " << j;
        if (stitches[j].isJumpStitch) {
            EXPECT_TRUE(back.stitches()[i].isJumpStitch) << "stitch " << j;
        }
        ++j;
    }
    EXPECT_EQ(j, original.size());  // nothing lost at the end
    EXPECT_EQ(changes, 3);
}

TEST(PcsWriter, LimitsAndHoopCheckFailuresLeaveTheHoopAsItWas) {
    TempDir dir;
    const VDLHoop janome("SQ", "Janome", 4, 200, 200, false, false, true);
    auto expectFailure = [&](VDLDesign d, int64_t code, const std::string& text) {
        d.setDesignHoop(janome);
        VDLError e;
        EXPECT_FALSE(d.exportPcsDesignToURL(dir.url("x.pcs"), &e));
        EXPECT_EQ(e.code, code);
        EXPECT_EQ(e.localizedRecoverySuggestion(), text);
        ASSERT_TRUE(d.designHoop().has_value());
        EXPECT_EQ(*d.designHoop(), janome);
        EXPECT_EQ(d.designType(), "DST");
        EXPECT_FALSE(std::filesystem::exists(dir.file("x.pcs")));
    };

    VDLDesign many = makeDesign({VDLStitch(1, 1, false, false)});
    many.setThreads(std::vector<VDLThread>(17, colorThread(0, 0, 0)));
    expectFailure(many, 180, "Unable to export PCS file (too many colors).");

    expectFailure(makeDesign(std::vector<VDLStitch>(14001, VDLStitch(0.1f, 0, false, false))), 181,
                  "Unable to export PCS file (too many stitches).");
    // 14000 stitches and a colour change still pass the limit.
    std::vector<VDLStitch> limit(14001, VDLStitch(0.01f, 0, false, false));
    limit[500].isColorChange = true;
    VDLDesign atLimit = makeDesign(limit);
    EXPECT_TRUE(atLimit.exportPcsDesignToURL(dir.url("limit.pcs")));
    VDLDesign limitBack;
    ASSERT_TRUE(limitBack.importPcxDesignFromData(readBytes(dir.file("limit.pcs"))));
    EXPECT_EQ(limitBack.stitches().size(), 14002u);

    // 130 mm wide: no Pfaff hoop takes it.
    expectFailure(makeDesign({VDLStitch(650, 0, false, false), VDLStitch(-1300, 0, false, false)}), 63,
                  "Design exceeds all hoop sizes.");

    // Already in a Pfaff hoop that is too small: the PCS text of code 60.
    VDLDesign big = makeDesign({VDLStitch(500, 0, false, false), VDLStitch(-1000, 0, false, false)});
    big.setHoopFromVendor("Pfaff", 2);
    VDLError e;
    EXPECT_FALSE(big.exportPcsDesignToURL(dir.url("x.pcs"), &e));
    EXPECT_EQ(e.code, 60);
    EXPECT_EQ(e.localizedRecoverySuggestion(), "Operation aborted: Design exceeds largest hoop size.");
    EXPECT_EQ(big.hoopCode(), 2);

    // Fits by size but sits off centre, beyond the half width of every Pfaff hoop.
    expectFailure(makeDesign({VDLStitch(690, 0, false, false), VDLStitch(10, 0, false, false)}), 62,
                  "Stitches ouside the current hoop.");

    VDLDesign locked = makeDesign({VDLStitch(10, 10, false, false)});
    const VDLHoop readOnly("R", "Pfaff", 7, 120, 115, false, false, false);
    locked.setDesignHoop(readOnly);
    EXPECT_FALSE(locked.exportPcsDesignToURL(dir.url("x.pcs"), &e));
    EXPECT_EQ(e.code, 51);
    EXPECT_EQ(e.localizedRecoverySuggestion(), "Unable to export file (unsupported hoop).");
    EXPECT_EQ(*locked.designHoop(), readOnly);
}

TEST(PcsWriter, FailedWriteKeepsTypeAndThreads) {
    TempDir dir;
    VDLDesign d = writerDesign();
    VDLError e;
    EXPECT_FALSE(d.exportPcsDesignToURL(dir.url("missing/out.pcs"), &e));
    EXPECT_EQ(e.domain, "posix");
    EXPECT_EQ(d.designType(), "DST");
    EXPECT_EQ(d.threads()[0].key(), "k");
    // The hoop chosen by the check stays.
    EXPECT_EQ(d.hoopCode(), 3);
}

TEST(PcsWriter, DesignExactlyAsLargeAsHoopSGoesIntoHoopL) {
    // Centred 80 x 80 mm: by size it fits "S" (80 x 80), but its edges lie on that hoop's
    // half-size lines; the writer chooses "L" (120 x 115) instead of failing.
    TempDir dir;
    VDLDesign d = makeDesign({VDLStitch(-400, -400, true, false), VDLStitch(800, 0, false, false),
                              VDLStitch(0, 800, false, false), VDLStitch(-800, 0, false, false)});
    VDLError e;
    ASSERT_TRUE(d.exportDesignToURL(dir.url("square.pcs"), &e)) << e.description();
    EXPECT_EQ(d.designHoop()->name(), "L");
    VDLDesign back;
    ASSERT_TRUE(back.importDesignFromURL(dir.url("square.pcs"), &e)) << e.description();
    EXPECT_EQ(back.hoopCode(), 3);
    EXPECT_EQ(back.designWidth(), 800);
}
