#include "TestSupport.h"
#include "VDLDesign.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cfloat>
#include <cmath>
#include <filesystem>

namespace {

using Bytes = std::vector<uint8_t>;

VDLStitch st(float dx, float dy) { return VDLStitch(dx, dy, false, false); }
VDLStitch jump(float dx, float dy) { return VDLStitch(dx, dy, true, false); }
VDLStitch change() { return VDLStitch(0, 0, false, true); }

VDLDesign readExp(const Bytes& b, bool expectOk = true, VDLError* error = nullptr) {
    VDLDesign d;
    EXPECT_EQ(d.importExpDesignFromData(b, error), expectOk);
    return d;
}

void expectStitch(const VDLStitch& s, float dx, float dy, bool isJump, bool isChange, const char* what) {
    EXPECT_EQ(s.deltaX, dx) << what;
    EXPECT_EQ(s.deltaY, dy) << what;
    EXPECT_EQ(s.isJumpStitch, isJump) << what;
    EXPECT_EQ(s.isColorChange, isChange) << what;
}

}  // namespace

TEST(ExpReader, RecordKinds) {
    const Bytes b = {0x0A, 0xF6,               // stitch (10, -10)
                     0x80, 0x01, 0x00, 0x00,   // colour change
                     0x80, 0x04, 0x05, 0xFB,   // even escape byte: jump (5, -5)
                     0x80, 0x80, 0x12, 0x34,   // null stitch
                     0x80, 0x81, 0x05, 0x05,   // negative odd escape byte: jump (5, 5)
                     0x80, 0x7F, 0x33, 0x33,   // 127 is odd: colour change, move ignored
                     0x7F, 0x81};              // stitch (127, -127)
    VDLDesign d = readExp(b);
    EXPECT_EQ(d.designType(), "EXP");
    EXPECT_EQ(d.designVersion(), 10);
    ASSERT_EQ(d.stitches().size(), 7u);
    const auto& s = d.stitches();
    expectStitch(s[0], 10, -10, false, false, "stitch");
    expectStitch(s[1], 0, 0, false, true, "colour change");
    expectStitch(s[2], 5, -5, true, false, "jump 04");
    expectStitch(s[3], 0, 0, false, false, "null stitch");
    expectStitch(s[4], 5, 5, true, false, "jump 81");
    expectStitch(s[5], 0, 0, false, true, "colour change 7F");
    expectStitch(s[6], 127, -127, false, false, "largest stitch");
    ASSERT_EQ(d.threads().size(), 3u);
    EXPECT_EQ(d.threads()[0].key(), "1");
    EXPECT_EQ(d.threads()[1].key(), "2");
    EXPECT_EQ(d.threads()[2].palette(), "Undefined");
    // End points (10,-10) (10,-10) (15,-15) (15,-15) (20,-10) (20,-10) (147,-137).
    EXPECT_EQ(d.xMin(), 10);
    EXPECT_EQ(d.xMax(), 147);
    EXPECT_EQ(d.yMin(), -137);
    EXPECT_EQ(d.yMax(), -10);
}

TEST(ExpReader, ColourChangesCycleThroughTwentyKeys) {
    Bytes b;
    for (int i = 0; i < 21; ++i) b.insert(b.end(), {0x80, 0x01, 0x00, 0x00});
    VDLDesign d = readExp(b);
    ASSERT_EQ(d.threads().size(), 22u);
    EXPECT_EQ(d.stitches().size(), 21u);
    for (size_t i = 0; i < 22; ++i) EXPECT_EQ(d.threads()[i].key(), std::to_string(i % 20 + 1)) << i;
}

TEST(ExpReader, EndsOfFile) {
    // An escape record cut off by the end stops reading without an error.
    VDLDesign d = readExp({0x01, 0x02, 0x80, 0x01});
    EXPECT_EQ(d.stitches().size(), 1u);
    EXPECT_EQ(d.threads().size(), 1u);
    d = readExp({0x80, 0x02, 0x05, 0x05, 0x80, 0x02});
    EXPECT_EQ(d.stitches().size(), 1u);

    // An empty file reads as no stitches and the first thread, bounds unset.
    d = readExp({});
    EXPECT_TRUE(d.stitches().empty());
    EXPECT_EQ(d.threads().size(), 1u);
    EXPECT_EQ(d.xMin(), FLT_MAX);
    EXPECT_EQ(d.yMax(), -FLT_MAX);

    // An odd length is refused before anything is read.
    VDLError e;
    d = readExp({0x01, 0x02, 0x03}, false, &e);
    EXPECT_EQ(e.domain, "vardelle.vdldesign.ErrorDomain");
    EXPECT_EQ(e.code, 100);
    EXPECT_EQ(e.localizedRecoverySuggestion(), "Unable to read EXP: file contains uneven number of bytes.");
    EXPECT_TRUE(d.stitches().empty());
    EXPECT_TRUE(d.threads().empty());
}

TEST(ExpWriter, RecordsByteForByte) {
    // Jumps are led in by 80 04, the form other programs read as a jump (80 02 they sew).
    VDLDesign d = makeDesign({st(10, -10), jump(5, -5), change(), st(-126, 126), jump(126, -126)}, "EXP");
    const Bytes b = d.exportExpDesignToData();
    EXPECT_EQ(b, (Bytes{0x0A, 0xF6,                          //
                        0x80, 0x04, 0x05, 0xFB,              // jump
                        0x80, 0x01, 0x00, 0x00, 0x00, 0x00,  // colour change
                        0x82, 0x7E,                          //
                        0x80, 0x04, 0x7E, 0x82}));
    const VDLDesign back = readExp(b);
    ASSERT_EQ(back.stitches().size(), 6u);
    EXPECT_TRUE(back.stitches()[1].isJumpStitch);
    EXPECT_TRUE(back.stitches()[5].isJumpStitch);
    EXPECT_EQ(back.stitches()[5].deltaX, 126.0f);
}

TEST(ExpWriter, RoundingCarriesToTheNextRecord) {
    // 0.4 three times: residuals 0.4, 0.8, 0.2, so the third record writes the unit.
    EXPECT_EQ(makeDesign({st(0.4f, 0), st(0.4f, 0), st(0.4f, 0)}, "EXP").exportExpDesignToData(),
              (Bytes{0x00, 0x00, 0x00, 0x00, 0x01, 0x00}));
    // -1.5 rounds down to -2 and carries +0.5 into the next record.
    EXPECT_EQ(makeDesign({st(-1.5f, 0), st(-1.5f, 0)}, "EXP").exportExpDesignToData(),
              (Bytes{0xFE, 0x00, 0xFF, 0x00}));
    // A move beyond a byte (a list that skipped normalisation) never writes the escape byte
    // 0x80 as a move: it writes -127 and carries the rest.
    const Bytes b = makeDesign({st(-130, 200), st(0, 0)}, "EXP").exportExpDesignToData();
    EXPECT_EQ(b, (Bytes{0x81, 0x7F, 0xFD, 0x49}));
    EXPECT_EQ(readExp(b).stitches().size(), 2u);
}

TEST(ExpWriter, UrlWriteUpdatesDesignAfterSuccessOnly) {
    TempDir dir;
    VDLDesign d = makeDesign({st(3, 3), change(), st(1, 1)}, "PES");
    d.threads()[0] = VDLThread("005", "Brother");
    d.setDesignHoop(VDLDesign::hoops().front());
    d.setDesignVersion(60);

    VDLError e;
    EXPECT_FALSE(d.exportExpDesignToURL(dir.url("missing/x.exp"), &e));
    EXPECT_EQ(e.domain, "posix");
    EXPECT_EQ(e.code, ENOENT);
    EXPECT_EQ(d.designType(), "PES");
    EXPECT_EQ(d.designVersion(), 60);
    EXPECT_EQ(d.threads()[0].palette(), "Brother");
    EXPECT_TRUE(d.designHoop().has_value());

    const Bytes data = d.exportExpDesignToData();
    ASSERT_TRUE(d.exportExpDesignToURL(dir.url("x.exp"), &e));
    EXPECT_EQ(readBytes(dir.file("x.exp")), data);
    EXPECT_EQ(d.designType(), "EXP");
    EXPECT_EQ(d.designVersion(), 10);
    EXPECT_FALSE(d.designHoop().has_value());
    ASSERT_EQ(d.threads().size(), 2u);
    EXPECT_EQ(d.threads()[0].palette() + d.threads()[0].key() + d.threads()[1].key(), "Undefined12");

    VDLDesign kept = makeDesign({st(3, 3)});
    kept.threads()[0] = VDLThread("005", "Brother");
    kept.setUseThreadFile(true);
    ASSERT_TRUE(kept.exportExpDesignToURL(dir.url("y.exp")));
    EXPECT_EQ(kept.threads()[0].palette(), "Brother");
}

TEST(ExpRoundTrip, PositionsSurviveWithinOneUnit) {
    std::vector<VDLStitch> list;
    for (int v = -126; v <= 126; ++v) list.push_back(v % 7 == 0 ? jump(float(v), float(-v)) : st(float(v), float(-v)));
    for (int i = 0; i < 400; ++i) {
        const float dx = std::fmod(float(i) * 37.37f, 252.0f) - 126.0f;
        const float dy = std::fmod(float(i) * 11.13f, 200.0f) - 100.0f;
        list.push_back(i % 50 == 7 ? change() : i % 9 == 0 ? jump(dx, dy) : st(dx, dy));
    }
    VDLDesign d = makeDesign(list, "EXP");
    const Bytes first = d.exportExpDesignToData();
    VDLDesign back = readExp(first);
    EXPECT_EQ(back.threads().size(), d.threads().size());

    // A written colour change reads back as the colour change and a null stitch after it.
    const auto model = absolutePositions(d), read = absolutePositions(back);
    size_t j = 0;
    for (size_t i = 0; i < list.size(); ++i, ++j) {
        ASSERT_LT(j, back.stitches().size());
        EXPECT_EQ(back.stitches()[j].isJumpStitch, list[i].isJumpStitch) << i;
        EXPECT_EQ(back.stitches()[j].isColorChange, list[i].isColorChange) << i;
        if (list[i].isColorChange) ++j;
        EXPECT_LE(read[j].x, model[i].x + 1e-3) << i;
        EXPECT_GT(read[j].x, model[i].x - 1 - 1e-3) << i;
        EXPECT_LE(read[j].y, model[i].y + 1e-3) << i;
        EXPECT_GT(read[j].y, model[i].y - 1 - 1e-3) << i;
        if (i < 253) {
            EXPECT_EQ(back.stitches()[j].deltaX, list[i].deltaX) << i;
        }
    }
    EXPECT_EQ(j, back.stitches().size());
}
