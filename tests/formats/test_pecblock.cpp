#include "TestSupport.h"
#include "VDLDesign.h"

#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <string>

namespace {

using Bytes = std::vector<uint8_t>;

VDLStitch st(float dx, float dy) { return VDLStitch(dx, dy, false, false); }
VDLStitch jump(float dx, float dy) { return VDLStitch(dx, dy, true, false); }
VDLStitch change() { return VDLStitch(0, 0, false, true); }

// A block from "LA:" to block offset 527 with the given size fields and colour bytes, followed
// by TAIL (start position and stream). The graphics offset points at the end of the block
// unless given. Returns the data after "LA:", as the block reader takes it.
Bytes blockData(int16_t width, int16_t height, const Bytes& colors, const Bytes& tail, long graphicsEnd = -1) {
    Bytes b(512, ' ');
    b[0] = 'L', b[1] = 'A', b[2] = ':';
    b[48] = uint8_t(colors.size() - 1);
    for (size_t i = 0; i < colors.size(); ++i) b[49 + i] = colors[i];
    const Bytes fields = {0x00, 0x00, 0, 0, 0, 0x31, 0xFF, 0xF0, uint8_t(width), uint8_t(width >> 8),
                          uint8_t(height), uint8_t(height >> 8), 0xE0, 0x01, 0xB0, 0x01};
    b.insert(b.end(), fields.begin(), fields.end());
    b.insert(b.end(), tail.begin(), tail.end());
    const size_t end = graphicsEnd < 0 ? b.size() : size_t(graphicsEnd);
    const size_t go = end - 512;
    b[514] = uint8_t(go), b[515] = uint8_t(go >> 8), b[516] = uint8_t(go >> 16);
    return Bytes(b.begin() + 3, b.end());
}

VDLDesign readBlock(const Bytes& data, bool expectOk, VDLError* error = nullptr) {
    VDLDesign d;
    d.setDesignType("PEC");
    d.resetBoundsForReading();
    EXPECT_EQ(d.importPecSegmentFromData(data, error), expectOk);
    return d;
}

void expectStitch(const VDLStitch& s, float dx, float dy, bool isJump, bool isChange, const char* what) {
    SCOPED_TRACE(what);
    EXPECT_FLOAT_EQ(s.deltaX, dx);
    EXPECT_FLOAT_EQ(s.deltaY, dy);
    EXPECT_EQ(s.isJumpStitch, isJump);
    EXPECT_EQ(s.isColorChange, isChange);
}

VDLThread brother(const char* key) { return VDLThread(key, "Brother"); }

// A picture row: the 6 bytes with the given pixel columns set (lowest bit = leftmost pixel).
Bytes row(const std::set<int>& columns) {
    Bytes r(6, 0);
    for (int c : columns) r[size_t(c / 8)] |= uint8_t(1 << (c % 8));
    return r;
}

std::set<int> span(int from, int to, std::set<int> plus = {}) {
    for (int c = from; c <= to; ++c) plus.insert(c);
    return plus;
}

// The whole thumbnail: the fixed frame plus the picture columns given per row (rows 3..34).
Bytes thumbnail(const std::map<int, std::set<int>>& picture) {
    Bytes out;
    auto add = [&](const Bytes& r) { out.insert(out.end(), r.begin(), r.end()); };
    add(row({}));
    add(row(span(4, 43)));
    add(row({3, 44}));
    for (int r = 3; r <= 34; ++r) {
        std::set<int> cols = r == 3 || r == 34 ? std::set<int>{2, 45} : std::set<int>{1, 46};
        auto it = picture.find(r);
        if (it != picture.end()) cols.insert(it->second.begin(), it->second.end());
        add(row(cols));
    }
    add(row({3, 44}));
    add(row(span(4, 43)));
    add(row({}));
    return out;
}

}  // namespace

TEST(PecBlockReader, DecodesEveryRecordForm) {
    const Bytes stream = {
        0x90, 0x03, 0x90, 0x02,  // start position (3, 2) of a 6 x 4 design: first jump (0, 0)
        0x05, 0x7B,              // short forms: (5, -5), Y negated
        0x90, 0x05, 0x03,        // flagged long X, short Y: an ordinary stitch
        0x80, 0x10, 0x8F, 0xF0,  // flagless long forms 16, -16: ordinary
        0x81, 0x00, 0x81, 0x00,  // 256, 256 (Y negated) without the jump flag: still a jump
        0xA0, 0x05, 0x90, 0x05,  // another flag bit: jump
        0x90, 0x05, 0x80, 0x05,  // flagged X, flagless long Y: ordinary
        0xFE, 0xB0, 0xFF,        // colour change; the third byte is skipped, even 0xFF
        0xFE, 0x10, 0x90, 0x00,  // 0xFE not followed by 0xB0 is a long X (-496)
        0xFF};
    VDLDesign d = readBlock(blockData(6, 4, {66, 0}, stream), true);
    const auto& s = d.stitches();
    ASSERT_EQ(s.size(), 9u);
    expectStitch(s[0], 0, 0, true, false, "start");
    expectStitch(s[1], 5, 5, false, false, "short");
    expectStitch(s[2], 5, -3, false, false, "long X short Y");
    expectStitch(s[3], 16, 16, false, false, "0x80 / 0x8F");
    expectStitch(s[4], 256, -256, true, false, "0x81");
    expectStitch(s[5], 5, -5, true, false, "0xA0");
    expectStitch(s[6], 5, -5, false, false, "flagless Y");
    expectStitch(s[7], 0, 0, false, true, "change");
    expectStitch(s[8], -496, 0, true, false, "0xFE long");
    // Colour index 66 reads as the thread of index 1; index 0 has no thread: fallback "005".
    ASSERT_EQ(d.threads().size(), 2u);
    EXPECT_EQ(d.threads()[0].key(), "007");
    EXPECT_EQ(d.threads()[0].palette(), "Brother");
    EXPECT_EQ(d.threads()[1].key(), "005");
    // Positions 0,0 5,5 10,2 26,18 282,-238 287,-243 292,-248 292,-248 -204,-248.
    EXPECT_FLOAT_EQ(d.xMin(), -204);
    EXPECT_FLOAT_EQ(d.xMax(), 292);
    EXPECT_FLOAT_EQ(d.yMin(), -248);
    EXPECT_FLOAT_EQ(d.yMax(), 18);
}

TEST(PecBlockReader, StartPositionOneByteLaterAndOddSizes) {
    // Start position at block offset 529. The first try (at 528) reads a start position and then
    // runs off the data in the middle of a record; the second try succeeds.
    const Bytes tail = {0x00, 0x90, 0x05, 0x90, 0x03, 0x10, 0x10, 0xFF};
    VDLDesign d = readBlock(blockData(11, 7, {1}, tail), true);
    ASSERT_EQ(d.stitches().size(), 2u);
    // Start (5, 3) of an 11 x 7 design: the jump from the origin is (5 - 5.5, 3.5 - 3).
    expectStitch(d.stitches()[0], -0.5f, 0.5f, true, false, "start");
    expectStitch(d.stitches()[1], 16, -16, false, false, "stitch");
    EXPECT_EQ(d.threads().size(), 1u);
    EXPECT_FLOAT_EQ(d.xMin(), -0.5f);
    EXPECT_FLOAT_EQ(d.yMin(), -15.5f);
}

TEST(PecBlockReader, ErrorCodes) {
    VDLError e;
    // 190: fewer than 529 bytes after the label.
    Bytes small = blockData(0, 0, {1}, {0x90, 0x00, 0x90, 0x00, 0xFF});
    small.resize(528);
    readBlock(small, false, &e);
    EXPECT_EQ(e.code, 190);
    EXPECT_EQ(e.domain, "vardelle.vdldesign.ErrorDomain");
    EXPECT_EQ(e.localizedRecoverySuggestion(), "Unable to import PEC segment (segment too small for attributes).");

    // 191: the graphics offset points beyond the data.
    const Bytes ok = {0x90, 0x00, 0x90, 0x00, 0x01, 0x01, 0xFF};
    readBlock(blockData(0, 0, {1}, ok, 512 + 16 + 7 + 1), false, &e);
    EXPECT_EQ(e.code, 191);
    EXPECT_EQ(e.localizedRecoverySuggestion(), "Unable to import PEC segment (segment too small for bitmap pointer).");

    // 192: the end marker lies beyond the graphics offset ...
    readBlock(blockData(0, 0, {1}, ok, 512 + 16 + 6), false, &e);
    EXPECT_EQ(e.code, 192);
    EXPECT_EQ(e.localizedRecoverySuggestion(), "Unable to import PEC segment (stitches not terminated).");
    // ... there is none at all, or a record runs past the data (long X, long Y, colour change).
    for (const Bytes& tail : {Bytes{0x90, 0x00, 0x90, 0x00, 0x01, 0x01}, Bytes{0x90, 0x00, 0x90, 0x00, 0x01, 0x90},
                              Bytes{0x90, 0x00, 0x90, 0x00, 0x90}, Bytes{0x90, 0x00, 0x90, 0x00, 0xFE, 0xB0},
                              Bytes{0x90, 0x00, 0x90, 0x00, 0x01}}) {
        e = VDLError();
        readBlock(blockData(0, 0, {1}, tail), false, &e);
        EXPECT_EQ(e.code, 192);
    }
    // The longest form that still fits is read: the block ends right after the end marker.
    readBlock(blockData(0, 0, {1}, ok), true);
}

TEST(PecBlockWriter, BlockByteForByte) {
    VDLDesign d = makeDesign({st(10, -5), jump(-300, 20), change(), st(-3, 2.5f), change(), st(1, 1)}, "PES");
    d.setThreads({brother("007"), brother("405"), brother("x9")});
    d.setDesignName("rose.pes");
    const Bytes b = d.exportPecSegmentToData();

    Bytes expected;
    auto add = [&](const std::string& s) { expected.insert(expected.end(), s.begin(), s.end()); };
    add("LA:rose            \r            ");
    expected.insert(expected.end(), {0xFF, 0x00, 0x06, 0x26});
    add("            ");
    expected.insert(expected.end(), {0x02, 1, 2, 62});
    expected.resize(512, ' ');
    // Positions reach x -293..10 and y -5..18.5: width 303, height 23; the start is (151, 11).
    expected.insert(expected.end(), {0x00, 0x00, 0x25, 0x00, 0x00, 0x31, 0xFF, 0xF0, 0x2F, 0x01, 0x17, 0x00,
                                     0xE0, 0x01, 0xB0, 0x01, 0x90, 0x97, 0x90, 0x0B});
    expected.insert(expected.end(), {
                                        0x0A, 0x05,              // (10, -5), Y negated
                                        0x9E, 0xD4, 0x9F, 0xEC,  // jump (-300, 20): 12-bit -300, -20
                                        0xFE, 0xB0, 0x02,        // first change
                                        0x7D, 0x7D,              // (-3, 2.5): y = floor(-2.5) = -3
                                        0xFE, 0xB0, 0x01,        // second change
                                        0x01, 0x7F,              // (1, 1): y = floor(0.5 - 1) = -1
                                        0xFF});
    EXPECT_EQ(b, expected);
    EXPECT_EQ(b.size(), 512u + 0x25);
}

TEST(PecBlockWriter, LabelColourBytesAndChangeAlternation) {
    VDLDesign d = makeDesign({st(1, 1), change(), st(1, 1), change(), change(), st(1, 1), change(), change()}, "PES");
    d.setDesignName("A very long design name.pes");
    Bytes b = d.exportPecSegmentToData();
    EXPECT_EQ(std::string(b.begin(), b.begin() + 20), "LA:A very long desi\r");
    EXPECT_EQ(b[48], 0x05);  // six threads
    // The "Undefined" threads were converted to the Brother chart: every index is a chart index.
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(d.threads()[size_t(i)].palette(), "Brother");
        EXPECT_TRUE(VDLDesign::brotherColorCodes().count(b[49 + size_t(i)]));
    }
    EXPECT_EQ(b[55], ' ');
    Bytes changes;
    for (size_t i = 532; i + 2 < b.size(); ++i)
        if (b[i] == 0xFE && b[i + 1] == 0xB0) changes.push_back(b[i + 2]);
    EXPECT_EQ(changes, (Bytes{2, 1, 2, 1, 2}));

    // Names are written in ISO Latin-1, one byte per character.
    d.setDesignName("Blüte.pes");
    b = d.exportPecSegmentToData();
    EXPECT_EQ(std::string(b.begin(), b.begin() + 20), "LA:Bl\xFCte           \r");
}

TEST(PecBlockWriter, RoundingIsCarried) {
    // 0.75 per stitch: whole units 0, 1, 1, 1 in X; Y is negated before rounding down.
    VDLDesign d = makeDesign({st(0.75f, 0.75f), st(0.75f, 0.75f), st(0.75f, 0.75f), st(0.75f, 0.75f)}, "PES");
    Bytes b = d.exportPecSegmentToData();
    EXPECT_EQ(Bytes(b.begin() + 532, b.end()), (Bytes{0x00, 0x7F, 0x01, 0x7F, 0x01, 0x7F, 0x01, 0x00, 0xFF}));

    // Read back: the start jump, then whole-unit moves within one unit of the original.
    VDLDesign back = readBlock(Bytes(b.begin() + 3, b.end()), true);
    const auto read = absolutePositions(back);
    ASSERT_EQ(read.size(), 5u);
    EXPECT_EQ(read[4].x, 3.0);
    EXPECT_EQ(read[4].y, 3.0);
    EXPECT_EQ(read[1].y, 1.0);
}

TEST(PecThumbnail, EmptyThreadGivesTheFrame) {
    VDLDesign d = makeDesign({st(0, 0), st(30, 0), change(), st(5, 5)}, "PES");
    const Bytes frame = thumbnail({});
    ASSERT_EQ(frame.size(), 228u);
    EXPECT_EQ(Bytes(frame.begin() + 6, frame.begin() + 18),
              (Bytes{0xF0, 0xFF, 0xFF, 0xFF, 0xFF, 0x0F, 0x08, 0x00, 0x00, 0x00, 0x00, 0x10}));
    EXPECT_EQ(d.exportPecBitmapToDataForThread(5), frame);  // no such thread: nothing drawn
    EXPECT_NE(d.exportPecBitmapToDataForThread(-1), frame);
    // The second block's only segment starts after a colour change, so nothing of it is drawn.
    EXPECT_EQ(d.exportPecBitmapToDataForThread(1), frame);
}

TEST(PecThumbnail, LightLineAtFullScaleShowsItsOutline) {
    // A 22-unit line: the image is 42 x 20 pixels, drawn 1:1 at (3, 9) of the small bitmap.
    // The line lies on image row boundary 10; its 3.5-wide stroke with round caps touches
    // pixels x 8..33, y 8..11. A white thread is light inside, so only the outline is drawn.
    VDLDesign d = makeDesign({st(0, 0), st(22, 0)}, "PES");
    d.setThreads({VDLThread(VDLColor(1, 1, 1), "white", "", "", "")});
    d.setDisplayRange(VDLRange{0, 0});  // the player's position does not matter
    std::map<int, std::set<int>> picture;
    picture[17] = span(11, 36);
    picture[18] = {11, 36};
    picture[19] = {11, 36};
    picture[20] = span(11, 36);
    EXPECT_EQ(d.exportPecBitmapToDataForThread(-1), thumbnail(picture));
}

TEST(PecThumbnail, TopOfTheDesignIsTheTopRow) {
    // An L of black thread: a 22-unit line along the bottom and a 10-unit stroke up at its right
    // end. Image 42 x 30 at (3, 4); the horizontal stroke covers image rows 18..21 (x 8..33),
    // the vertical one columns 30..33 from row 8 down.
    VDLDesign d = makeDesign({st(0, 0), st(22, 0), st(0, 10)}, "PES");
    d.setThreads({VDLThread(VDLColor(0, 0, 0), "black", "", "", "")});
    std::map<int, std::set<int>> picture;
    for (int r = 12; r <= 21; ++r) picture[r] = span(33, 36);
    for (int r = 22; r <= 25; ++r) picture[r] = span(11, 36);
    EXPECT_EQ(d.exportPecBitmapToDataForThread(-1), thumbnail(picture));
}

TEST(PecThumbnail, LargeDesignIsScaledIntoThePictureArea) {
    // A filled 400 x 300 black area: image 420 x 320, scaled by 0.1 to 42 x 32 at (3, 3). Every
    // pixel of the picture area holds some of it; all are drawn (outline or dark).
    std::vector<VDLStitch> list = {st(0, 0)};
    for (int k = 0; k < 100; ++k) {
        list.push_back(st(k % 2 ? -400.0f : 400.0f, 0));
        list.push_back(st(0, 3));
    }
    list.push_back(st(400, 0));
    VDLDesign d = makeDesign(list, "PES");
    d.setThreads({VDLThread(VDLColor(0, 0, 0), "black", "", "", "")});
    ASSERT_EQ(d.designWidth(), 400);
    ASSERT_EQ(d.designHeight(), 300);
    std::map<int, std::set<int>> picture;
    for (int r = 3; r <= 34; ++r) picture[r] = span(3, 44);
    EXPECT_EQ(d.exportPecBitmapToDataForThread(-1), thumbnail(picture));
}
