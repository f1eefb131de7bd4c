#include "TestSupport.h"
#include "VDLDesign.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

namespace {

using Bytes = std::vector<uint8_t>;

VDLStitch st(float dx, float dy) { return VDLStitch(dx, dy, false, false); }
VDLStitch jump(float dx, float dy) { return VDLStitch(dx, dy, true, false); }
VDLStitch change() { return VDLStitch(0, 0, false, true); }
VDLThread brother(const char* key) { return VDLThread(key, "Brother"); }

uint32_t u32At(const Bytes& b, size_t at) {
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}

// A small design with Brother threads, as a file written by our writer.
VDLDesign sample() {
    VDLDesign d = makeDesign({st(10, -5), st(2.5f, 2.5f), jump(120, -40), st(-7, 3), change(), st(-1.5f, -0.5f),
                              st(30, 31), change(), jump(-200, 10), st(4, 4.5f)},
                             "PES");
    d.setThreads({brother("007"), brother("405"), brother("x9")});
    d.setDesignName("sample.pes");
    return d;
}

Bytes sampleFile() {
    VDLDesign d = sample();
    return d.exportPesDesignToData();
}

VDLDesign readPes(const Bytes& b, bool expectOk, VDLError* error = nullptr) {
    VDLDesign d;
    EXPECT_EQ(d.importPesDesignFromData(b, error), expectOk);
    return d;
}

// Every absolute position of ORIGINAL is found in READ (which starts with the block's start jump)
// within the rounding of the PEC stream.
void expectSamePositions(const VDLDesign& original, const VDLDesign& read, size_t leadingJumps = 1) {
    ASSERT_EQ(read.stitches().size(), original.stitches().size() + leadingJumps);
    const auto a = absolutePositions(original);
    const auto b = absolutePositions(read);
    for (size_t i = 0; i < a.size(); ++i) {
        EXPECT_LT(std::fabs(b[i + leadingJumps].x - a[i].x), 1.5) << i;
        EXPECT_LT(std::fabs(b[i + leadingJumps].y - a[i].y), 1.5) << i;
        EXPECT_EQ(read.stitches()[i + leadingJumps].isColorChange, original.stitches()[i].isColorChange) << i;
    }
}

}  // namespace

TEST(PesWriter, HeaderStitchBlocksAndColourTable) {
    // Two leading jumps move the start to (3, 8); they write no points.
    VDLDesign d = makeDesign({jump(5, 5), jump(-2, 3), st(10, -5), st(2.5f, 2.5f), jump(20, 0), change(),
                              st(-1.5f, -0.5f)},
                             "PES");
    d.setThreads({brother("007"), brother("405")});
    d.setDesignName("rose.pes");
    VDLDesign copy = d;
    const Bytes b = d.exportPesDesignToData();

    // Positions x 3..35.5, y 3..8: width 32, height 5.
    Bytes expected = {'#', 'P', 'E', 'S', '0', '0', '0', '1', 0, 0, 0, 0, 0x00, 0x00, 0x01, 0x00, 0x01, 0x00,
                      0xFF, 0xFF, 0x00, 0x00, 0x07, 0x00, 'C', 'E', 'm', 'b', 'O', 'n', 'e'};
    for (int i = 0; i < 2; ++i) expected.insert(expected.end(), {0xEB, 0x03, 0xEB, 0x03, 0xE5, 0x03, 0xE5, 0x03});
    expected.insert(expected.end(), {0x00, 0x00, 0x80, 0x3F, 0, 0, 0, 0, 0, 0, 0, 0, 0x00, 0x00, 0x80, 0x3F,
                                     0x00, 0x00, 0x7A, 0x44, 0x00, 0x00, 0x7A, 0x44});
    expected.insert(expected.end(), {0x01, 0x00, 0x03, 0x00, 0xFD, 0xFF, 0x20, 0x00, 0x05, 0x00});
    expected.insert(expected.end(), 10, 0);
    expected.insert(expected.end(), {0xFF, 0xFF, 0x00, 0x00, 0x07, 0x00, 'C', 'S', 'e', 'w', 'S', 'e', 'g'});
    expected.insert(expected.end(), {
                                        0x00, 0x00, 0x01, 0x00, 0x02, 0x00,  // stitch block, colour 1, 2 points
                                        0x0D, 0x00, 0xFD, 0xFF,              // (13, -3)
                                        0x10, 0x00, 0xFA, 0xFF,              // (15.5, -5.5) rounded: (16, -6)
                                        0x03, 0x08,                          // after the jump
                                        0x00, 0x00, 0x01, 0x00, 0x02, 0x00,  // new stitch block
                                        0x24, 0x00, 0xFA, 0xFF, 0x24, 0x00, 0xFA, 0xFF,
                                        0x03, 0x08,                          // colour change
                                        0x01, 0x00, 0x02, 0x00, 0x02, 0x00,  // colour-change block, next colour
                                        0x24, 0x00, 0xFA, 0xFF, 0x24, 0x00, 0xFA, 0xFF,
                                        0x03, 0x08,                          // and a new stitch block
                                        0x00, 0x00, 0x02, 0x00, 0x03, 0x00,  // three points
                                        0x24, 0x00, 0xFA, 0xFF, 0x24, 0x00, 0xFA, 0xFF,
                                        0x22, 0x00, 0xFB, 0xFF,              // (34, -5)
                                    });
    // Colour table: count, then block number 3 i and colour of each thread, four zero bytes.
    expected.insert(expected.end(), {0x02, 0x00, 0x00, 0x00, 0x01, 0x00, 0x03, 0x00, 0x02, 0x00, 0, 0, 0, 0});
    const size_t pecOffset = expected.size();
    expected[8] = uint8_t(pecOffset);
    ASSERT_GE(b.size(), pecOffset);
    EXPECT_EQ(Bytes(b.begin(), b.begin() + std::ptrdiff_t(pecOffset)), expected);
    EXPECT_EQ(u32At(b, 8), pecOffset);

    // Then the PEC block, the whole-design thumbnail and one per thread.
    Bytes rest = copy.exportPecSegmentToData();
    EXPECT_EQ(std::string(rest.begin(), rest.begin() + 7), "LA:rose");
    for (int t : {-1, 0, 1}) {
        const Bytes thumb = copy.exportPecBitmapToDataForThread(t);
        rest.insert(rest.end(), thumb.begin(), thumb.end());
    }
    EXPECT_EQ(Bytes(b.begin() + std::ptrdiff_t(pecOffset), b.end()), rest);
    EXPECT_EQ(b.size(), pecOffset + copy.exportPecSegmentToData().size() + 3 * 228);
}

TEST(PesWriter, LimitsAndWhatASuccessfulWriteChanges) {
    TempDir dir;
    VDLError e;
    auto write = [&](VDLDesign d) {
        e = VDLError();
        return d.exportPesDesignToURL(dir.url("limit.pes"), &e) ? 0 : e.code;
    };
    // Width and height: 130.0 x 180.0 mm fit, one tenth more does not.
    EXPECT_EQ(write(makeDesign({jump(-650, -900), jump(1300, 1800)}, "PES")), 0);
    EXPECT_EQ(write(makeDesign({jump(-650, 0), jump(1301, 0)}, "PES")), 200);
    EXPECT_EQ(e.localizedRecoverySuggestion(), "The design is larger than supported by PES v1.0.");
    EXPECT_EQ(write(makeDesign({jump(0, -900), jump(0, 1801)}, "PES")), 200);
    // Centred within 65.0 / 90.0 mm of the origin.
    EXPECT_EQ(write(makeDesign({jump(-650, 0), st(5, 5)}, "PES")), 0);
    EXPECT_EQ(write(makeDesign({jump(-650.5f, 0), st(5, 5)}, "PES")), 201);
    EXPECT_EQ(e.localizedRecoverySuggestion(), "The design needs to be centered.");
    EXPECT_EQ(write(makeDesign({jump(650.5f, 0)}, "PES")), 201);
    EXPECT_EQ(write(makeDesign({jump(0, -900.5f)}, "PES")), 201);
    EXPECT_EQ(write(makeDesign({jump(0, 900.5f)}, "PES")), 201);
    // 64 threads, 30000 stitches.
    std::vector<VDLStitch> list = {st(1, 1)};
    for (int i = 0; i < 63; ++i) list.insert(list.end(), {change(), st(1, 1)});
    EXPECT_EQ(write(makeDesign(list, "PES")), 0);
    list.insert(list.end(), {change(), st(1, 1)});
    EXPECT_EQ(write(makeDesign(list, "PES")), 202);
    EXPECT_EQ(e.localizedRecoverySuggestion(), "Too many colors");
    list.clear();
    for (int i = 0; i < 30000; ++i) list.push_back(st(i % 2 ? -3.0f : 3.0f, 0));
    EXPECT_EQ(write(makeDesign(list, "PES")), 0);
    list.push_back(st(1, 0));
    EXPECT_EQ(write(makeDesign(list, "PES")), 203);
    EXPECT_EQ(e.localizedRecoverySuggestion(), "Too many stitches");

    // Type, version and hoop change only when the file was written.
    VDLDesign d = sample();
    d.setDesignType("DST");
    d.setDesignVersion(0);
    d.setDesignHoop(VDLDesign::hoops().front());
    EXPECT_FALSE(d.exportPesDesignToURL(VDLURL::fileURLWithPath(dir.file("missing/folder.pes")), &e));
    EXPECT_EQ(e.domain, "posix");
    EXPECT_EQ(d.designType(), "DST");
    EXPECT_TRUE(d.designHoop().has_value());
    ASSERT_TRUE(d.exportPesDesignToURL(dir.url("ok.pes"), &e));
    EXPECT_EQ(d.designType(), "PES");
    EXPECT_EQ(d.designVersion(), 10);
    EXPECT_FALSE(d.designHoop().has_value());
    EXPECT_EQ(readBytes(dir.file("ok.pes")), sampleFile());
}

TEST(PesReader, SignatureAndVersions) {
    VDLError e;
    readPes({'#', 'P', 'E', 'S', '0', '0', '0'}, false, &e);
    EXPECT_EQ(e.code, 30);
    EXPECT_EQ(e.localizedRecoverySuggestion(), "Unable to import PES file (missing header).");
    Bytes b = sampleFile();
    b[3] = 'C';
    EXPECT_EQ(readPes(b, false, &e).designType(), "PES");
    EXPECT_EQ(e.code, 30);

    auto withDigits = [](const char* digits) {
        Bytes f = sampleFile();
        std::memcpy(f.data() + 4, digits, 4);
        return f;
    };
    for (const char* refused : {"0022", "0101", "0112", "0010", "0000", "abcd"}) {
        e = VDLError();
        readPes(withDigits(refused), false, &e);
        EXPECT_EQ(e.code, 31) << refused;
        EXPECT_EQ(e.localizedRecoverySuggestion(), "Unable to import PES file (unsupported version).");
    }
    EXPECT_EQ(readPes(withDigits("0001"), true).designVersion(), 10);
    EXPECT_EQ(readPes(withDigits("0071"), true).designVersion(), 71);
    EXPECT_EQ(readPes(withDigits("0025"), true).designVersion(), 25);
    EXPECT_EQ(readPes(withDigits("0060"), true).designVersion(), 60);
    // The versions current Brother software writes, read through their PEC block.
    for (const auto& [digits, version] : {std::pair{"0100", 100}, {"0110", 110}, {"0111", 111}}) {
        const VDLDesign d = readPes(withDigits(digits), true);
        EXPECT_EQ(d.designVersion(), version) << digits;
        expectSamePositions(sample(), d);
    }
}

TEST(PesReader, FindingThePecBlock) {
    VDLError e;
    // No label at all.
    Bytes b = sampleFile();
    b.resize(u32At(b, 8));
    readPes(b, false, &e);
    EXPECT_EQ(e.code, 32);
    EXPECT_EQ(e.localizedRecoverySuggestion(), "Unable to import PES file (PEC part missing).");

    // "LA:" in the header before the block: refused, the text under the failure-reason key.
    b = sampleFile();
    std::memcpy(b.data() + 12, "LA:", 3);
    readPes(b, false, &e);
    EXPECT_EQ(e.code, 33);
    EXPECT_EQ(e.localizedFailureReason(),
              "Unable to import PES file (PEC multiparts not supported by PES file version).");
    EXPECT_EQ(e.localizedRecoverySuggestion(), "");

    // A second "LA:" inside the block (here: a name that starts with it) is part of that block
    // when the header's PEC offset points at the first one; otherwise the file is refused.
    VDLDesign d = sample();
    d.setDesignName("LA:rose.pes");
    b = d.exportPesDesignToData();
    VDLDesign read = readPes(b, true);
    EXPECT_EQ(read.stitches().size(), sample().stitches().size() + 1);
    std::memset(b.data() + 8, 0, 4);
    readPes(b, false, &e);
    EXPECT_EQ(e.code, 33);

    // Errors of the block pass through.
    b = {'#', 'P', 'E', 'S', '0', '0', '0', '1', 'L', 'A', ':'};
    b.resize(400, ' ');
    readPes(b, false, &e);
    EXPECT_EQ(e.code, 190);
}

TEST(PesRoundTrip, PositionsThreadsAndVersion) {
    TempDir dir;
    VDLDesign original = sample();
    VDLDesign written = original;
    ASSERT_TRUE(written.exportPesDesignToURL(dir.url("a.pes")));

    // The CSewSeg section is not read: blanking it changes nothing.
    Bytes file = readBytes(dir.file("a.pes"));
    std::fill(file.begin() + 104, file.begin() + std::ptrdiff_t(u32At(file, 8)), 0);
    writeBytes(dir.file("b.pes"), file);

    for (const char* name : {"a.pes", "b.pes"}) {
        VDLDesign back;
        ASSERT_TRUE(back.importPesDesignFromURL(dir.url(name)));
        EXPECT_EQ(back.designType(), "PES");
        EXPECT_EQ(back.designVersion(), 10);
        expectSamePositions(original, back);
        ASSERT_EQ(back.threads().size(), 3u);
        EXPECT_EQ(back.threads()[0].key(), "007");
        EXPECT_EQ(back.threads()[1].key(), "405");
        EXPECT_EQ(back.threads()[2].key(), "x9");
    }
}
