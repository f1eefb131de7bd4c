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

VDLDesign sample() {
    VDLDesign d = makeDesign({st(10, -5), st(2.25f, 2.5f), jump(120.5f, -40), st(-7, 3.75f), change(), st(-1.5f, -0.5f),
                              st(30, 31), change(), jump(-200, 10), st(4, 4)},
                             "PEC");
    d.setThreads({VDLThread("007", "Brother"), VDLThread("405", "Brother"), VDLThread("x9", "Brother")});
    d.setDesignName("sample.pec");
    return d;
}

VDLDesign readPec(const Bytes& b, bool expectOk, VDLError* error = nullptr) {
    VDLDesign d;
    EXPECT_EQ(d.importPecDesignFromData(b, error), expectOk);
    return d;
}

void expectSamePositions(const VDLDesign& original, const VDLDesign& read, size_t leadingJumps) {
    ASSERT_EQ(read.stitches().size(), original.stitches().size() + leadingJumps);
    const auto a = absolutePositions(original);
    const auto b = absolutePositions(read);
    for (size_t i = 0; i < a.size(); ++i) {
        // Each pass through the stream rounds by less than one unit, plus half a unit of start
        // jump for an odd width or height.
        EXPECT_LT(std::fabs(b[i + leadingJumps].x - a[i].x), 1.5 * double(leadingJumps)) << i;
        EXPECT_LT(std::fabs(b[i + leadingJumps].y - a[i].y), 1.5 * double(leadingJumps)) << i;
        EXPECT_EQ(read.stitches()[i + leadingJumps].isColorChange, original.stitches()[i].isColorChange) << i;
    }
}

// The PEC block of a blank design as Brother software saves it, from "LA:": the stitch
// section ends at once, its end marker at block offset MARKER (before the start position at
// 528), and the thumbnail follows the marker.
Bytes blankBlock(size_t marker) {
    Bytes b(512, ' ');
    std::memcpy(b.data(), "LA:blank", 8);
    b[48] = 0;   // one colour
    b[49] = 1;   // its Brother index
    const size_t graphics = marker + 1 - 512;
    const Bytes section = {0x00, 0x00, uint8_t(graphics), 0x00, 0x00, 0x31, 0xFF, 0xF0, 0, 0, 0, 0, 0xE0, 0x01, 0xB0, 0x01};
    b.insert(b.end(), section.begin(), section.end());
    b.resize(marker);
    b.push_back(0xFF);
    b.insert(b.end(), 228, 0x00);
    return b;
}

std::vector<std::string> keys(const VDLDesign& d) {
    std::vector<std::string> k;
    for (const auto& t : d.threads()) k.push_back(t.key());
    return k;
}

}  // namespace

TEST(PecFile, LayoutAndWhatASuccessfulWriteChanges) {
    TempDir dir;
    VDLDesign d = sample();
    VDLDesign copy = d;
    d.setDesignHoop(VDLDesign::hoops().front());
    ASSERT_TRUE(d.exportPecDesignToURL(dir.url("s.pec")));
    EXPECT_EQ(d.designType(), "PEC");
    EXPECT_EQ(d.designVersion(), 10);
    EXPECT_FALSE(d.designHoop().has_value());

    // Signature, block, whole-design thumbnail; the graphics offset points at the thumbnail.
    const Bytes b = readBytes(dir.file("s.pec"));
    EXPECT_EQ(std::string(b.begin(), b.begin() + 11), "#PEC0001LA:");
    const size_t go = size_t(b[8 + 514]) | size_t(b[8 + 515]) << 8 | size_t(b[8 + 516]) << 16;
    ASSERT_EQ(8 + 512 + go, b.size() - 228);
    EXPECT_EQ(b[8 + 512 + go - 1], 0xFF);
    EXPECT_EQ(Bytes(b.end() - 228, b.end()), copy.exportPecBitmapToDataForThread(-1));
}

TEST(PecFile, ReaderErrors) {
    VDLError e;
    const Bytes good = sample().exportPecDesignToData();
    auto expectCode = [&](Bytes b, int64_t code, const char* text) {
        e = VDLError();
        VDLDesign d = readPec(b, false, &e);
        EXPECT_EQ(d.designType(), "PEC");
        EXPECT_EQ(e.code, code);
        if (text) {
            EXPECT_EQ(e.localizedRecoverySuggestion(), text);
        }
    };
    expectCode(Bytes(good.begin(), good.begin() + 10), 30, "Unable to import PES/PEC file (missing header).");
    Bytes b = good;
    b[3] = 'S';
    expectCode(b, 30, nullptr);
    b = good;
    b[7] = '2';
    expectCode(b, 31, "Unable to import PES/PEC file (unsupported version).");
    b = good;
    b[8] = 'X';
    expectCode(b, 32, "Unable to import PES file (PEC part missing).");
    expectCode(Bytes(good.begin(), good.begin() + 500), 190, nullptr);
    // The block is not split at a later "LA:": a name that begins with it reads fine.
    VDLDesign named = sample();
    named.setDesignName("LA:x.pec");
    EXPECT_EQ(readPec(named.exportPecDesignToData(), true).stitches().size(), sample().stitches().size() + 1);
}

TEST(PecRoundTrip, PecPesAndBack) {
    TempDir dir;
    const VDLDesign original = sample();

    // PEC -> PEC: the stitches plus the leading start jump, the same colour indices.
    VDLDesign d = original;
    ASSERT_TRUE(d.exportPecDesignToURL(dir.url("a.pec")));
    VDLDesign pec;
    ASSERT_TRUE(pec.importPecDesignFromURL(dir.url("a.pec")));
    EXPECT_EQ(pec.designType(), "PEC");
    EXPECT_EQ(pec.designVersion(), 10);
    expectSamePositions(original, pec, 1);
    EXPECT_EQ(keys(pec), keys(original));
    EXPECT_TRUE(pec.stitches()[0].isJumpStitch);

    // PEC -> PES -> PEC.
    ASSERT_TRUE(pec.exportPesDesignToURL(dir.url("b.pes")));
    VDLDesign pes;
    ASSERT_TRUE(pes.importPesDesignFromURL(dir.url("b.pes")));
    expectSamePositions(original, pes, 2);
    EXPECT_EQ(keys(pes), keys(original));
    ASSERT_TRUE(pes.exportPecDesignToURL(dir.url("c.pec")));
    VDLDesign last;
    ASSERT_TRUE(last.importPecDesignFromURL(dir.url("c.pec")));
    expectSamePositions(original, last, 3);
    EXPECT_EQ(keys(last), keys(original));
    const Bytes a = readBytes(dir.file("a.pec")), c = readBytes(dir.file("c.pec"));
    EXPECT_EQ(Bytes(a.begin() + 8 + 48, a.begin() + 8 + 52), Bytes(c.begin() + 8 + 48, c.begin() + 8 + 52));
}

TEST(PecFile, StreamTooLongForTheThumbnailOffsetIsRefused) {
    // 4.2 million jumps need more than the 24-bit graphics offset can address.
    std::vector<VDLStitch> list(4200000, jump(1, 0));
    list.push_back(st(1, 0));
    VDLDesign d = makeDesign(list, "PEC");
    TempDir dir;
    VDLError e;
    EXPECT_FALSE(d.exportPecDesignToURL(dir.url("huge.pec"), &e));
    EXPECT_EQ(e.code, 203);
    EXPECT_FALSE(std::filesystem::exists(dir.file("huge.pec")));
    EXPECT_EQ(d.designType(), "PEC");
}

TEST(PecFile, BlankDesignsHoldNoStitchesRatherThanABrokenStream) {
    TempDir dir;
    // A bare PEC file, and a current-version PES file around the same kind of block.
    Bytes pec = {'#', 'P', 'E', 'C', '0', '0', '0', '1'};
    const Bytes block = blankBlock(524);
    pec.insert(pec.end(), block.begin(), block.end());
    writeBytes(dir.file("blank.pec"), pec);
    Bytes pes = {'#', 'P', 'E', 'S', '0', '1', '1', '0', 16, 0, 0, 0, 0, 0, 0, 0};
    const Bytes later = blankBlock(527);
    pes.insert(pes.end(), later.begin(), later.end());
    writeBytes(dir.file("blank.pes"), pes);

    for (const char* name : {"blank.pec", "blank.pes"}) {
        VDLDesign d;
        VDLError e;
        EXPECT_FALSE(d.importDesignFromURL(dir.url(name), &e)) << name;
        EXPECT_EQ(e.code, 11) << name;
        EXPECT_EQ(e.localizedRecoverySuggestion(), "File holds no stitches.") << name;
    }
    // Read directly, the block gives its one thread and no stitches.
    VDLDesign d = readPec(pec, true);
    EXPECT_TRUE(d.stitches().empty());
    ASSERT_EQ(d.threads().size(), 1u);
    EXPECT_EQ(d.threads()[0].key(), "007");

    // A marker that is not there is still a stream without end.
    pec[8 + 524] = 0x00;
    VDLError e;
    readPec(pec, false, &e);
    EXPECT_EQ(e.code, 192);
}
