#include "TestSupport.h"
#include "VDLDesign.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cfloat>
#include <cmath>
#include <filesystem>
#include <string>
#include <tuple>

namespace {

using Bytes = std::vector<uint8_t>;

VDLStitch st(float dx, float dy) { return VDLStitch(dx, dy, false, false); }
VDLStitch jump(float dx, float dy) { return VDLStitch(dx, dy, true, false); }
VDLStitch change() { return VDLStitch(0, 0, false, true); }

std::string headerOf(const Bytes& b) { return b.size() < 512 ? std::string() : std::string(b.begin(), b.begin() + 512); }
Bytes recordsOf(const Bytes& b) { return b.size() < 512 ? Bytes() : Bytes(b.begin() + 512, b.end()); }

// A header as our writer makes it, with the given label and fields.
std::string header(const std::string& label16, const std::string& rest) {
    std::string h = "LA:" + label16 + "\r" + rest + "MX:+    0\rMY:+    0\rPD:******\r\x1A";
    h.append(512 - h.size(), ' ');
    return h;
}

// Header (written by our writer for a one-stitch design) followed by the given record bytes.
Bytes fileWithRecords(const Bytes& records) {
    VDLDesign d = makeDesign({st(0, 0)});
    Bytes b = d.exportDstDesignToData();
    b.resize(512);
    b.insert(b.end(), records.begin(), records.end());
    return b;
}

VDLDesign readDst(const Bytes& b, bool expectOk = true, VDLError* error = nullptr) {
    VDLDesign d;
    EXPECT_EQ(d.importDstDesignFromData(b, error), expectOk);
    return d;
}

}  // namespace

TEST(DstWriter, HeaderAndRecordsByteForByte) {
    VDLDesign d = makeDesign({st(10, 5), jump(-20, 30), change(), st(5, -40)});
    d.setDesignName("My Rose.dst");
    const Bytes b = d.exportDstDesignToData();
    ASSERT_EQ(b.size(), 512u + 4 * 3 + 4);
    // Positions (10,5) (-10,35) (-10,35) (-5,-5): the sums are negative, so AX/AY carry "-".
    EXPECT_EQ(headerOf(b), header("My Rose         ", "ST:      6\rCO:  1\r+X:   10\r-X:   10\r+Y:   35\r"
                                                     "-Y:    5\rAX:-    5\rAY:-    5\r"));
    const Bytes expected = {
        0x65, 0x40, 0x03,  // (10, 5):  +9 +1 | +9 -3 -1
        0x05, 0xAA, 0x83,  // jump (-20, 30): -27 +9 -3 +1 | +27 +3
        0x00, 0x00, 0xC3,  // colour change
        0x56, 0x52, 0x03,  // (5, -40): +9 -3 -1 | -27 -9 -3 -1
        0x00, 0x00, 0xF3, 0x1A};
    EXPECT_EQ(recordsOf(b), expected);
}

TEST(DstWriter, PositiveSumsAndLabels) {
    VDLDesign d = makeDesign({st(-3, -2), st(15, 9)});
    d.setDesignName("A very long design name.dst");
    Bytes b = d.exportDstDesignToData();
    std::string h = headerOf(b);
    EXPECT_EQ(h.substr(3, 16), "A very long desi");
    EXPECT_EQ(h.substr(74, 10), "AX:+   12\r");
    EXPECT_EQ(h.substr(84, 10), "AY:+    7\r");
    EXPECT_EQ(h.substr(38, 18), "+X:   12\r-X:    3\r");

    d.setDesignName("Müller Rosé.dst");  // accents dropped, one character each
    EXPECT_EQ(headerOf(d.exportDstDesignToData()).substr(3, 16), "Muller Rose     ");
    d.setDesignName("");
    EXPECT_EQ(headerOf(d.exportDstDesignToData()).substr(0, 20), "LA:                \r");
}

TEST(DstWriter, RoundingCarriesToTheNextRecord) {
    // Each design starts with a null stitch so that its bounds hold the start point.
    // 0.6 + 0.6: the first record rounds down to 0, the second writes the carried unit.
    Bytes b = recordsOf(makeDesign({st(0, 0), st(0.6f, 0), st(0.6f, 0)}).exportDstDesignToData());
    EXPECT_EQ(b, (Bytes{0x00, 0x00, 0x03, 0x00, 0x00, 0x03, 0x01, 0x00, 0x03, 0x00, 0x00, 0xF3, 0x1A}));

    // +122 is one unit more than a record holds: +121 now, +1 in the next record.
    b = recordsOf(makeDesign({st(0, 0), st(122, 0), st(0, 0)}).exportDstDesignToData());
    EXPECT_EQ(b, (Bytes{0x00, 0x00, 0x03, 0x05, 0x05, 0x07, 0x01, 0x00, 0x03, 0x00, 0x00, 0xF3, 0x1A}));

    // -0.5 rounds down to -1 and carries +0.5, which cancels the next -0.5; AX truncates -1.0.
    Bytes all = makeDesign({st(0, 0), st(-0.5f, 0), st(-0.5f, 0)}).exportDstDesignToData();
    EXPECT_EQ(recordsOf(all),
              (Bytes{0x00, 0x00, 0x03, 0x02, 0x00, 0x03, 0x00, 0x00, 0x03, 0x00, 0x00, 0xF3, 0x1A}));
    EXPECT_EQ(headerOf(all).substr(74, 10), "AX:-    1\r");

    // A colour change that is also a jump is written as a colour change.
    b = recordsOf(makeDesign({VDLStitch(0, 0, true, true)}).exportDstDesignToData());
    EXPECT_EQ(b[2], 0xC3);
}

TEST(DstWriter, RefusedDesignsLeaveNoFileAndNoChange) {
    TempDir dir;
    auto expectRefused = [&](VDLDesign d, int64_t code) {
        d.setDesignType("PES");
        const size_t threads = d.threads().size();
        VDLError e;
        EXPECT_FALSE(d.exportDstDesignToURL(dir.url("x.dst"), &e));
        EXPECT_EQ(e.domain, "vardelle.vdldesign.ErrorDomain");
        EXPECT_EQ(e.code, code);
        EXPECT_FALSE(e.localizedRecoverySuggestion().empty());
        EXPECT_FALSE(std::filesystem::exists(dir.file("x.dst")));
        EXPECT_EQ(d.designType(), "PES");
        EXPECT_EQ(d.threads().size(), threads);
        EXPECT_TRUE(d.exportDstDesignToData().empty());
    };
    expectRefused(makeDesign({st(5, -5), st(5, 10)}), 130);  // start point left of every stitch
    VDLDesign unread = makeDesign({st(1, 1)});
    unread.resetBoundsForReading();  // bounds of a read that found no records
    expectRefused(unread, 130);

    // Bounds that claim a small design but moves that sum beyond the AX field.
    VDLDesign sums = makeDesign({st(60000, 0), st(60000, 0)});
    sums.setXMax(10);
    sums.setXMin(0);
    expectRefused(sums, 132);
    VDLDesign nan = makeDesign({st(NAN, 0)});
    nan.setXMin(0), nan.setXMax(0), nan.setYMin(0), nan.setYMax(0);
    expectRefused(nan, 132);

    VDLDesign colours = makeDesign({st(0, 0)});
    colours.threads().resize(1001, colours.threads()[0]);
    expectRefused(colours, 134);
    colours.threads().resize(1000);  // 999 colour changes still fit the field
    EXPECT_EQ(headerOf(colours.exportDstDesignToData()).substr(31, 7), "CO:999\r");
}

TEST(DstWriter, UrlWriteUpdatesDesignAfterSuccessOnly) {
    TempDir dir;
    VDLDesign d = makeDesign({st(0, 0), st(3, 3), change(), st(1, 1)}, "PES");
    d.threads()[0] = VDLThread("005", "Brother");
    d.setDesignHoop(VDLDesign::hoops().front());
    d.setDesignVersion(60);

    // Into a folder that does not exist: the system error comes back, the design stays.
    VDLError e;
    EXPECT_FALSE(d.exportDstDesignToURL(dir.url("missing/x.dst"), &e));
    EXPECT_EQ(e.domain, "posix");
    EXPECT_EQ(e.code, ENOENT);
    EXPECT_EQ(d.designType(), "PES");
    EXPECT_EQ(d.threads()[0].palette(), "Brother");
    EXPECT_TRUE(d.designHoop().has_value());

    const Bytes data = d.exportDstDesignToData();
    ASSERT_TRUE(d.exportDstDesignToURL(dir.url("x.dst"), &e));
    EXPECT_EQ(readBytes(dir.file("x.dst")), data);
    EXPECT_EQ(d.designType(), "DST");
    EXPECT_EQ(d.designVersion(), 10);
    EXPECT_FALSE(d.designHoop().has_value());
    ASSERT_EQ(d.threads().size(), 2u);
    EXPECT_EQ(d.threads()[0].palette() + d.threads()[0].key() + d.threads()[1].key(), "Undefined12");

    // With the side file in use the design keeps its colours.
    VDLDesign kept = makeDesign({st(0, 0), st(3, 3)});
    kept.threads()[0] = VDLThread("005", "Brother");
    kept.setUseThreadFile(true);
    ASSERT_TRUE(kept.exportDstDesignToURL(dir.url("y.dst")));
    EXPECT_EQ(kept.threads()[0].palette(), "Brother");
}

TEST(DstReader, RecordsDecodeByTheBitTable) {
    const Bytes records = {0x01, 0x00, 0x03,   // (+1, 0)
                           0x80, 0x00, 0x03,   // (0, +1)
                           0x00, 0x00, 0x07,   // (+81, 0)
                           0x00, 0x00, 0xA3,   // jump (0, +81)
                           0x02, 0x42, 0xDB,   // colour change (-1 -3 -81, -3 -81), move kept
                           0x00, 0x00, 0xF3, 0x1A};
    VDLDesign d = readDst(fileWithRecords(records));
    EXPECT_EQ(d.designType(), "DST");
    EXPECT_EQ(d.designVersion(), 10);
    // deltaX, deltaY, jump, colour change of each record.
    std::vector<std::tuple<float, float, bool, bool>> got;
    for (const VDLStitch& s : d.stitches()) got.emplace_back(s.deltaX, s.deltaY, s.isJumpStitch, s.isColorChange);
    EXPECT_EQ(got, (std::vector<std::tuple<float, float, bool, bool>>{{1, 0, false, false},
                                                                      {0, 1, false, false},
                                                                      {81, 0, false, false},
                                                                      {0, 81, true, false},
                                                                      {-85, -84, false, true}}));
    ASSERT_EQ(d.threads().size(), 2u);
    EXPECT_EQ(d.threads()[1].palette() + d.threads()[1].key(), "Undefined2");
    // Bounds of the end points (1,0) (1,1) (82,1) (82,82) (-3,-2).
    EXPECT_EQ(d.xMin(), -3);
    EXPECT_EQ(d.xMax(), 82);
    EXPECT_EQ(d.yMin(), -2);
    EXPECT_EQ(d.yMax(), 82);
}

TEST(DstReader, EndOfDataRules) {
    // 516 bytes ending in the end record: success with no records, bounds left unset.
    Bytes b = fileWithRecords({0x00, 0x00, 0xF3});
    VDLError e;
    readDst(b, false, &e);  // 515 bytes: too short even with a valid header
    EXPECT_EQ(e.code, 123);
    b.push_back(0x1A);
    ASSERT_EQ(b.size(), 516u);
    VDLDesign d = readDst(b);
    EXPECT_TRUE(d.stitches().empty());
    EXPECT_EQ(d.threads().size(), 1u);
    EXPECT_EQ(d.xMin(), FLT_MAX);
    EXPECT_EQ(d.xMax(), -FLT_MAX);

    // Without an end record, the record that ends the file exactly is the design's last
    // stitch and is read; nothing after the end record is.
    d = readDst(fileWithRecords({0x01, 0x00, 0x03, 0x80, 0x00, 0x03}));
    ASSERT_EQ(d.stitches().size(), 2u);
    EXPECT_EQ(d.stitches()[1].deltaY, 1.0f);
    EXPECT_EQ(d.yMax(), 1.0f);
    d = readDst(fileWithRecords({0x01, 0x00, 0x03, 0x00, 0x00, 0xF3, 0x01, 0x00, 0x03, 0x1A}));
    EXPECT_EQ(d.stitches().size(), 1u);
    // A partial record at the end is ignored.
    d = readDst(fileWithRecords({0x01, 0x00, 0x03, 0x01, 0x00}));
    EXPECT_EQ(d.stitches().size(), 1u);
}

TEST(DstReader, ColourChangesCycleThroughTwentyKeys) {
    Bytes records;
    for (int i = 0; i < 21; ++i) records.insert(records.end(), {0x01, 0x00, 0xC3});
    records.insert(records.end(), {0x00, 0x00, 0xF3, 0x1A});
    VDLDesign d = readDst(fileWithRecords(records));
    ASSERT_EQ(d.threads().size(), 22u);
    for (size_t i = 0; i < 22; ++i) EXPECT_EQ(d.threads()[i].key(), std::to_string(i % 20 + 1)) << i;
}

TEST(DstReader, HeaderErrors) {
    VDLError e;
    readDst(Bytes(515, ' '), false, &e);
    EXPECT_EQ(e.code, 123);
    EXPECT_EQ(e.domain, "vardelle.vdldesign.ErrorDomain");
    EXPECT_EQ(e.localizedRecoverySuggestion(), "Unable to import DST file (missing header).");

    // Each tag missing from an otherwise complete header gives its own code.
    const Bytes good = fileWithRecords({0x00, 0x00, 0xF3, 0x1A});
    const std::pair<std::string, int64_t> tags[] = {{"LA:", 110}, {"ST:", 112}, {"CO:", 113},
                                                    {"+X:", 114}, {"-X:", 115}, {"+Y:", 116},
                                                    {"-Y:", 117}, {"AX:", 118}, {"AY:", 119}};
    for (const auto& [tag, code] : tags) {
        std::string h = headerOf(good);
        h[h.find(tag) + 2] = ';';
        Bytes b(h.begin(), h.end());
        b.insert(b.end(), {0x00, 0x00, 0xF3, 0x1A});
        VDLDesign d;
        e = {};
        EXPECT_FALSE(d.importDstDesignFromData(b, &e)) << tag;
        EXPECT_EQ(e.code, code) << tag;
        EXPECT_EQ(d.designType(), "DST");
    }

    // Tags in another order and at other offsets are accepted, but only within 511 bytes.
    std::string h(512, ' ');
    h.replace(0, 27, "AY:AX:-Y:+Y:-X:+X:CO:ST:LA:");
    Bytes b(h.begin(), h.end());
    b.insert(b.end(), {0x01, 0x00, 0x03, 0x00, 0x00, 0xF3});
    EXPECT_EQ(readDst(b).stitches().size(), 1u);
    h.replace(0, 3, "   ");
    h.replace(508, 3, "AY:");  // last character at offset 510: still inside
    b.assign(h.begin(), h.end());
    b.insert(b.end(), {0x00, 0x00, 0xF3, 0x1A});
    EXPECT_TRUE(readDst(b).stitches().empty());
    h.replace(508, 4, " AY:");  // ends at offset 511: outside
    b.assign(h.begin(), h.end());
    b.insert(b.end(), {0x00, 0x00, 0xF3, 0x1A});
    e = {};
    readDst(b, false, &e);
    EXPECT_EQ(e.code, 119);
}

TEST(DstReader, InvalidFunctionCodeKeepsEarlierRecords) {
    for (uint8_t bad : {uint8_t(0x43), uint8_t(0x00), uint8_t(0x81)}) {
        VDLError e;
        VDLDesign d = readDst(fileWithRecords({0x01, 0x00, 0x03, 0x00, 0x00, bad, 0x00, 0x00, 0xF3, 0x1A}), false, &e);
        EXPECT_EQ(e.code, 111);
        EXPECT_EQ(d.stitches().size(), 1u);
    }
}

TEST(DstRoundTrip, PositionsSurviveWithinOneUnit) {
    // Both signs on both axes first, every encodable whole move, then fractional moves, jumps
    // and colour changes.
    std::vector<VDLStitch> list = {st(50, 50), st(-100, -100), st(50, 50)};
    const size_t wholeBegin = list.size();
    for (int v = -121; v <= 121; ++v) list.push_back(st(float(v), float(-v)));
    const size_t wholeEnd = list.size();
    for (int i = 0; i < 400; ++i) {
        const float dx = std::fmod(float(i) * 37.37f, 240.0f) - 120.0f;
        const float dy = std::fmod(float(i) * 11.13f, 200.0f) - 100.0f;
        list.push_back(i % 50 == 7 ? change() : i % 9 == 0 ? jump(dx, dy) : st(dx, dy));
    }
    VDLDesign d = makeDesign(list);
    const Bytes first = d.exportDstDesignToData();
    ASSERT_FALSE(first.empty());

    VDLDesign back = readDst(first);
    ASSERT_EQ(back.stitches().size(), list.size());
    EXPECT_EQ(back.threads().size(), d.threads().size());
    const auto model = absolutePositions(d), read = absolutePositions(back);
    for (size_t i = 0; i < list.size(); ++i) {
        EXPECT_EQ(back.stitches()[i].isJumpStitch, list[i].isJumpStitch && !list[i].isColorChange) << i;
        EXPECT_EQ(back.stitches()[i].isColorChange, list[i].isColorChange) << i;
        // Written positions are the model positions rounded down.
        EXPECT_LE(read[i].x, model[i].x + 1e-3) << i;
        EXPECT_GT(read[i].x, model[i].x - 1 - 1e-3) << i;
        EXPECT_LE(read[i].y, model[i].y + 1e-3) << i;
        EXPECT_GT(read[i].y, model[i].y - 1 - 1e-3) << i;
        if (i >= wholeBegin && i < wholeEnd) {
            EXPECT_EQ(back.stitches()[i].deltaX, list[i].deltaX) << i;
            EXPECT_EQ(back.stitches()[i].deltaY, list[i].deltaY) << i;
        }
    }
    // A design read from a file writes the same records again.
    EXPECT_EQ(recordsOf(back.exportDstDesignToData()), recordsOf(first));
}
