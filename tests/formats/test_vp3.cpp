#include "TestSupport.h"

#include <gtest/gtest.h>

#include <string>

namespace {

void be16(std::vector<uint8_t>& b, uint16_t v) { b.insert(b.end(), {uint8_t(v >> 8), uint8_t(v)}); }
void be32(std::vector<uint8_t>& b, int32_t v) {
    const uint32_t u = uint32_t(v);
    b.insert(b.end(), {uint8_t(u >> 24), uint8_t(u >> 16), uint8_t(u >> 8), uint8_t(u)});
}
void str(std::vector<uint8_t>& b, const std::string& s) {
    be16(b, uint16_t(s.size()));
    b.insert(b.end(), s.begin(), s.end());
}

struct Vp3Block {
    int32_t startX = 0, startY = 0;  // micrometres
    uint8_t red = 0, green = 0, blue = 0;
    std::string code = "1000", name = "Red", palette = "Robison-Anton";
    int32_t dispX = 0, dispY = 0;  // to the next block's start
    std::vector<uint8_t> stitches;
};

std::vector<uint8_t> vp3Block(const Vp3Block& k) {
    std::vector<uint8_t> b = {0x00, 0x05, 0x00};
    be32(b, 0);  // length of the rest, filled in below
    be32(b, k.startX);
    be32(b, k.startY);
    b.insert(b.end(), {1, 0, k.red, k.green, k.blue, 0, 0, 0, 0, 0});  // count, one 6-byte colour entry
    str(b, k.code);
    str(b, k.name);
    str(b, k.palette);
    be32(b, k.dispX);
    be32(b, k.dispY);
    be16(b, 0);                       // L8
    b.insert(b.end(), 7, 0xAA);       // unused block fields
    b.insert(b.end(), k.stitches.begin(), k.stitches.end());
    const uint32_t rest = uint32_t(b.size() - 7);
    for (int i = 0; i < 4; ++i) b[size_t(3 + i)] = uint8_t(rest >> (8 * (3 - i)));
    return b;
}

// Header with all skipped strings empty: hoop fields at 76 and 80, block count at 112.
std::vector<uint8_t> vp3File(const std::vector<Vp3Block>& blocks, int32_t hoopW = 100000, int32_t hoopH = 100000) {
    std::vector<uint8_t> b = {'%', 'v', 's', 'm', '%', 0};
    be16(b, 0);                         // L1 → o1 = 15
    b.insert(b.end(), 7, 0);
    be16(b, 0);                         // L2 → base = 15
    b.resize(15 + 61, 0);
    be32(b, hoopW);
    be32(b, hoopH);
    be16(b, 0);                         // L3 at 84
    b.resize(110, 0);
    be16(b, 0);                         // L4 at 110
    be16(b, uint16_t(blocks.size()));   // N at 112
    for (const auto& k : blocks) {
        const auto block = vp3Block(k);
        b.insert(b.end(), block.begin(), block.end());
    }
    return b;
}

int64_t readError(const std::vector<uint8_t>& bytes) {
    VDLDesign d;
    VDLError e;
    EXPECT_FALSE(d.importVp3DesignFromData(bytes, &e));
    return e.code;
}

Vp3Block blockWith(std::vector<uint8_t> stitches) {
    Vp3Block k;
    k.stitches = std::move(stitches);
    return k;
}

}  // namespace

TEST(Vp3Reader, EachHeaderCheckHasItsCode) {
    const auto good = vp3File({blockWith({5, 5})});
    VDLDesign ok;
    ASSERT_TRUE(ok.importVp3DesignFromData(good));

    auto upper = good;
    upper[1] = 'V';
    upper[2] = 'S';
    upper[3] = 'M';
    EXPECT_EQ(readError(upper), 150);
    EXPECT_EQ(readError({'%', 'v', 's', 'm', '%', 0, 0}), 150);
    auto longL1 = good;
    longL1[6] = 0xFF;  // o1 far beyond the end
    EXPECT_EQ(readError(longL1), 150);

    EXPECT_EQ(readError(std::vector<uint8_t>(good.begin(), good.begin() + 83)), 152);
    EXPECT_EQ(readError(std::vector<uint8_t>(good.begin(), good.begin() + 85)), 151);
    auto longL3 = good;
    longL3[84] = 0x40;
    EXPECT_EQ(readError(longL3), 151);
    EXPECT_EQ(readError(std::vector<uint8_t>(good.begin(), good.begin() + 113)), 153);
    auto noBlocks = good;
    noBlocks[112] = noBlocks[113] = 0;
    EXPECT_EQ(readError(noBlocks), 153);

    // Block fields that run past the end.
    EXPECT_EQ(readError(std::vector<uint8_t>(good.begin(), good.begin() + 125)), 154);
    auto longName = good;
    longName[114 + 27 + 4] = 0x7F;  // L6 of the name
    EXPECT_EQ(readError(longName), 154);
    auto twoBlocksClaimed = good;
    twoBlocksClaimed[113] = 2;
    EXPECT_EQ(readError(twoBlocksClaimed), 154);

    VDLError e;
    EXPECT_FALSE(VDLDesign().importVp3DesignFromData(noBlocks, &e));
    EXPECT_EQ(e.localizedRecoverySuggestion(), "Unable to import VP3 file (no colors).");
}

TEST(Vp3Reader, HoopInMicrometresRoundsUpToMillimetres) {
    VDLDesign d;
    ASSERT_TRUE(d.importVp3DesignFromData(vp3File({blockWith({1, 1})}, 130000, 180000)));
    ASSERT_TRUE(d.designHoop().has_value());
    EXPECT_EQ(d.hoopWidth(), 130);
    EXPECT_EQ(d.hoopHeight(), 180);
    EXPECT_FALSE(d.designHoop()->isWritable());
    EXPECT_EQ(d.designVersion(), 10);

    VDLDesign up;
    ASSERT_TRUE(up.importVp3DesignFromData(vp3File({blockWith({1, 1})}, 130001, 179001)));
    EXPECT_EQ(up.hoopWidth(), 131);
    EXPECT_EQ(up.hoopHeight(), 180);
}

TEST(Vp3Reader, StitchBytesDecodeWithYInverted) {
    VDLDesign d;
    ASSERT_TRUE(d.importVp3DesignFromData(
        vp3File({blockWith({0x05, 0xFB, 0x80, 0x01, 0x00, 0x64, 0xFF, 0x9C, 0x80, 0x02, 0x80, 0x03, 0xF6, 0x0A})})));
    ASSERT_EQ(d.stitches().size(), 4u);
    EXPECT_EQ(d.stitches()[0].deltaX, 5.0f);
    EXPECT_EQ(d.stitches()[0].deltaY, 5.0f);
    EXPECT_FALSE(d.stitches()[0].isJumpStitch);
    EXPECT_EQ(d.stitches()[1].deltaX, 100.0f);
    EXPECT_EQ(d.stitches()[1].deltaY, 100.0f);
    EXPECT_TRUE(d.stitches()[1].isJumpStitch);
    EXPECT_TRUE(d.stitches()[2].isNullStitch());
    EXPECT_FALSE(d.stitches()[2].isJumpStitch);
    EXPECT_EQ(d.stitches()[3].deltaX, -10.0f);
    EXPECT_EQ(d.stitches()[3].deltaY, -10.0f);
    for (const auto& s : d.stitches()) EXPECT_FALSE(s.isColorChange);
    EXPECT_EQ(d.xMin(), 5.0f);
    EXPECT_EQ(d.xMax(), 105.0f);
    EXPECT_EQ(d.yMin(), 5.0f);
    EXPECT_EQ(d.yMax(), 105.0f);
}

TEST(Vp3Reader, BlocksMakeThreadsAndFlagTheirLastStitch) {
    Vp3Block a = blockWith({1, 0, 2, 0});
    a.red = 255;
    a.name = "Scarlet";
    a.code = "1902";
    Vp3Block b = blockWith({3, 0});
    b.green = 51;
    b.name = "";
    b.code = "1051";
    b.palette = "Sulky";
    Vp3Block c = blockWith({4, 0, 5, 0});
    VDLDesign d;
    ASSERT_TRUE(d.importVp3DesignFromData(vp3File({a, b, c})));

    ASSERT_EQ(d.threads().size(), 3u);
    EXPECT_EQ(d.threads()[0].name(), "Scarlet (1902)");
    EXPECT_EQ(d.threads()[0].color(), VDLColor(1, 0, 0));
    EXPECT_EQ(d.threads()[0].paletteName(), "Robison-Anton");
    EXPECT_EQ(d.threads()[1].name(), "1051");
    EXPECT_EQ(d.threads()[1].color(), VDLColor(0, 0.2, 0));
    EXPECT_EQ(d.threads()[1].paletteName(), "Sulky");

    ASSERT_EQ(d.stitches().size(), 5u);
    const bool flags[] = {false, true, true, false, false};
    for (size_t i = 0; i < 5; ++i) EXPECT_EQ(d.stitches()[i].isColorChange, flags[i]) << i;
}

TEST(Vp3Reader, BlockStartsAndDisplacementsKeepYUpward) {
    // Shaped like the files of the machines' own software: stitch bytes point down, while the
    // block start and the displacement to the next block point up, so each displacement's y is
    // minus the sum of its block's stored dy. Block a starts 10 right of and 20 above the
    // origin and sews three stitches upward (stored dy -10); block b starts 2.5 mm up and to
    // the right of where a ended and sews two stitches upward.
    Vp3Block a = blockWith({0x02, 0xF6, 0x02, 0xF6, 0x02, 0xF6});
    a.startX = 1000;
    a.startY = 2000;
    a.dispX = 3 * 2 * 100;
    a.dispY = -3 * -10 * 100;
    Vp3Block b = blockWith({0x00, 0xF6, 0x00, 0xF6});
    b.startX = a.startX + a.dispX + 2500;
    b.startY = a.startY + a.dispY + 2500;
    VDLDesign d;
    ASSERT_TRUE(d.importVp3DesignFromData(vp3File({a, b})));
    const auto pos = absolutePositions(d);
    const std::vector<VDLPoint> expected = {{12, 30}, {14, 40}, {16, 50}, {41, 85}, {41, 95}};
    ASSERT_EQ(pos.size(), expected.size());
    for (size_t i = 0; i < pos.size(); ++i) {
        EXPECT_DOUBLE_EQ(pos[i].x, expected[i].x) << i;
        EXPECT_DOUBLE_EQ(pos[i].y, expected[i].y) << i;
    }
    // Block b's first stitch leaves from b's stored start (in design units), not from a mirror
    // of it below block a.
    EXPECT_DOUBLE_EQ(pos[3].x, b.startX / 100.0);
    EXPECT_DOUBLE_EQ(pos[3].y, b.startY / 100.0 + 10);
    EXPECT_EQ(d.yMax(), 95.0f);
    EXPECT_EQ(d.yMin(), 30.0f);
    EXPECT_EQ(d.designVersion(), 20);

    // Offsets below 0.1 mm truncate away and leave the version alone.
    Vp3Block c = blockWith({1, 0});
    c.startX = 99;
    c.startY = -99;
    VDLDesign small;
    ASSERT_TRUE(small.importVp3DesignFromData(vp3File({c})));
    EXPECT_EQ(small.stitches()[0].deltaX, 1.0f);
    EXPECT_EQ(small.designVersion(), 10);
}

TEST(Vp3Reader, EmptyBlocksKeepThreadsAndPositionsConsistent) {
    Vp3Block a = blockWith({});
    a.startX = 500;  // 5 units, with no stitch in this block to carry it
    a.dispX = 0;
    Vp3Block b = blockWith({2, 0});
    b.startX = 500;
    b.dispX = 200;
    Vp3Block c = blockWith({});
    Vp3Block last = blockWith({3, 0});
    VDLDesign d;
    ASSERT_TRUE(d.importVp3DesignFromData(vp3File({a, b, c, last})));
    ASSERT_EQ(d.threads().size(), 4u);
    int changes = 0;
    for (const auto& s : d.stitches()) changes += s.isColorChange;
    EXPECT_EQ(changes, 3);
    const auto pos = absolutePositions(d);
    ASSERT_FALSE(pos.empty());
    // Block b's stitch lands 5 + 2 units right of the origin; block c starts back at 0, and
    // the last block's stitch lands at 0 + 3.
    EXPECT_DOUBLE_EQ(pos[1].x, 7.0);
    EXPECT_DOUBLE_EQ(pos.back().x, 3.0);
}

TEST(Vp3Reader, BlockLengthBeyondTheFileStopsAtTheEnd) {
    auto bytes = vp3File({blockWith({1, 0, 2, 0, 0x80, 0x01, 0x00})});
    // Claim a huge block: the stitch loop must stop at the end of the file, and a truncated
    // jump record is not read.
    bytes[114 + 3] = 0x7F;
    VDLDesign d;
    ASSERT_TRUE(d.importVp3DesignFromData(bytes));
    EXPECT_EQ(d.stitches().size(), 2u);

    // A hoop size near the 32-bit limit neither traps nor reads beyond the header.
    VDLDesign big;
    ASSERT_TRUE(big.importVp3DesignFromData(vp3File({blockWith({1, 0})}, 0x7FFFFFFF, -5)));
    EXPECT_EQ(big.hoopHeight(), 0);
}
