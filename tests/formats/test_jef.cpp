#include "TestSupport.h"
#include "VDLDesign.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

namespace {

void put32(std::vector<uint8_t>& b, size_t at, int32_t v) {
    for (size_t i = 0; i < 4; ++i) b.at(at + i) = uint8_t(uint32_t(v) >> (8 * i));
}

int32_t get32(const std::vector<uint8_t>& b, size_t at) {
    uint32_t v = 0;
    for (size_t i = 0; i < 4; ++i) v |= uint32_t(b[at + i]) << (8 * i);
    return int32_t(v);
}

// A JEF file: header, one chart index and one tension per thread, then STREAM.
std::vector<uint8_t> jefFile(const std::vector<int32_t>& indices, const std::vector<uint8_t>& stream,
                             int8_t version = 10, int32_t hoop = 0, std::vector<int32_t> tensions = {}) {
    const size_t n = indices.size();
    tensions.resize(n, 13);
    std::vector<uint8_t> b(116 + 8 * n, 0);
    put32(b, 0, int32_t(116 + 8 * n));
    b[4] = uint8_t(version);
    put32(b, 24, int32_t(n));
    put32(b, 32, hoop);
    for (size_t i = 0; i < n; ++i) {
        put32(b, 116 + 4 * i, indices[i]);
        put32(b, 116 + 4 * n + 4 * i, tensions[i]);
    }
    b.insert(b.end(), stream.begin(), stream.end());
    return b;
}

int64_t readError(std::vector<uint8_t> bytes) {
    VDLDesign d;
    VDLError e;
    EXPECT_FALSE(d.importJefDesignFromData(bytes, false, &e));
    EXPECT_EQ(e.domain, VDLDesignErrorDomain);
    return e.code;
}

VDLThread janome(const std::string& key, int32_t tension = 13) {
    VDLThread t(key, "Janome");
    t.setTension(tension);
    return t;
}

VDLStitch stitch(float x, float y, bool jump = false, bool change = false) { return VDLStitch(x, y, jump, change); }

}  // namespace

TEST(JefWriter, HeaderAndRecordsAreExact) {
    VDLDesign d = makeDesign({
        stitch(10, -5),
        stitch(100, 20, true),
        stitch(0.75f, 0.75f),         // rounded down, remainders carried on
        stitch(0.5f, -0.25f),
        stitch(3, 4, false, true),    // a colour change keeps its own move
        stitch(-7, 8, true, true),    // change and jump: a still change, then the jump
        stitch(-0.5f, -1),
    });
    d.setThreads({janome("002", 5), janome("220", 7), janome("001")});
    ASSERT_TRUE(d.setHoopFromVendor("Janome", 2));

    const std::vector<uint8_t> b = d.exportJefDesignToData();
    ASSERT_EQ(b.size(), 140u + 26u);
    EXPECT_EQ(get32(b, 0), 140);
    EXPECT_EQ(get32(b, 4), 10);
    for (size_t i = 8; i < 22; ++i) EXPECT_TRUE(b[i] >= '0' && b[i] <= '9') << "date byte " << i;
    EXPECT_EQ(b[22], 0);
    EXPECT_EQ(b[23], 0);
    EXPECT_EQ(get32(b, 24), 3);
    EXPECT_EQ(get32(b, 28), 13);  // 12 records and the end record
    EXPECT_EQ(get32(b, 32), 2);
    EXPECT_EQ(get32(b, 36), 10);   // |xMin|
    EXPECT_EQ(get32(b, 40), 5);    // |yMin|
    EXPECT_EQ(get32(b, 44), 114);  // xMax 114.25 truncated
    EXPECT_EQ(get32(b, 48), 27);   // yMax 27.5 truncated
    for (size_t i = 52; i < 116; ++i) EXPECT_EQ(b[i], 0) << i;
    EXPECT_EQ(get32(b, 116), 1);
    EXPECT_EQ(get32(b, 120), 23);
    EXPECT_EQ(get32(b, 124), 2);
    EXPECT_EQ(get32(b, 128), 5);
    EXPECT_EQ(get32(b, 132), 7);
    EXPECT_EQ(get32(b, 136), 13);
    const std::vector<uint8_t> stream(b.begin() + 140, b.end());
    const std::vector<uint8_t> expected = {
        0x0A, 0xFB,                                       // (10, -5)
        0x80, 0x02, 0x64, 0x14,                           // jump (100, 20)
        0x00, 0x00,                                       // 0.75 → 0
        0x01, 0x00,                                       // 1.25 → 1, 0.5 → 0
        0x80, 0x01, 0x03, 0x04,                           // change (3, 4)
        0x80, 0x01, 0x00, 0x00, 0x80, 0x02, 0xF9, 0x08,   // change + jump (-7, 8)
        0xFF, 0xFF,                                       // -0.25 → -1, -0.5 → -1
        0x80, 0x10,
    };
    EXPECT_EQ(stream, expected);

    // Read back: the change-and-jump comes back as a still change followed by a jump.
    VDLDesign r;
    ASSERT_TRUE(r.importJefDesignFromData(b, false));
    ASSERT_EQ(r.stitches().size(), 8u);
    const VDLStitch& change = r.stitches()[4];
    EXPECT_TRUE(change.isColorChange && !change.isJumpStitch);
    EXPECT_EQ(change.deltaX, 3);
    EXPECT_EQ(change.deltaY, 4);
    EXPECT_TRUE(r.stitches()[5].isColorChange && r.stitches()[5].isNullStitch());
    EXPECT_TRUE(r.stitches()[6].isJumpStitch && !r.stitches()[6].isColorChange);
    EXPECT_EQ(r.stitches()[6].deltaX, -7);
    ASSERT_EQ(r.threads().size(), 3u);
    EXPECT_EQ(r.threads()[1].key(), "220");
    EXPECT_EQ(r.threads()[1].tension(), 7);
    EXPECT_EQ(r.hoopCode(), 2);
}

TEST(JefWriter, MovesBeyondASignedByteBecomeJumps) {
    // Without the export normalisation a move of -128 would read back as a command byte.
    VDLDesign d = makeDesign({stitch(300, -128), stitch(-128, 5)});
    d.setThreads({janome("002")});
    const std::vector<uint8_t> b = d.exportJefDesignToData();
    VDLDesign r;
    ASSERT_TRUE(r.importJefDesignFromData(b, false));
    const auto want = absolutePositions(d);
    const auto got = absolutePositions(r);
    ASSERT_FALSE(got.empty());
    EXPECT_EQ(got.back(), want.back());
    EXPECT_FALSE(r.stitches().back().isJumpStitch);
    for (const auto& s : r.stitches()) {
        EXPECT_LE(std::abs(s.deltaX), 127);
        EXPECT_LE(std::abs(s.deltaY), 127);
    }
    EXPECT_EQ(get32(b, 28), int32_t((b.size() - 124) / 2));  // every 2-byte record counted
}

TEST(JefReader, VersionAndTypeFollowTheExtension) {
    TempDir dir;
    const std::vector<uint8_t> b = jefFile({2}, {0x01, 0x01, 0x80, 0x10}, 3);
    struct Case {
        const char* name;
        const char* type;
        int32_t version;
    } cases[] = {{"rose.jef+", "JEF+", 30}, {"rose.JEF", "JEF", 3}, {"rose.jef", "JEF", 3}, {"rose.bin", "?", 0}};
    for (const Case& c : cases) {
        writeBytes(dir.file(c.name), b);
        VDLDesign d;
        ASSERT_TRUE(d.importJefDesignFromURL(dir.url(c.name))) << c.name;
        EXPECT_EQ(d.designType(), c.type) << c.name;
        EXPECT_EQ(d.designVersion(), c.version) << c.name;
    }
    VDLDesign plus;
    ASSERT_TRUE(plus.importJefDesignFromData(b, true));
    EXPECT_EQ(plus.designType(), "JEF+");
    EXPECT_EQ(plus.designVersion(), 30);

    VDLDesign missing;
    VDLError e;
    EXPECT_FALSE(missing.importJefDesignFromURL(dir.url("none.jef"), &e));
    EXPECT_EQ(e.domain, VDLPOSIXErrorDomain);
}

TEST(JefReader, HeaderThreadsAndStream) {
    const std::vector<uint8_t> stream = {
        0x05, 0xFE,              // (5, -2)
        0x80, 0x04, 0x10, 0x00,  // jump (16, 0), the second jump form
        0x80, 0x03,              // unknown command: a still stitch, two bytes
        0x80, 0x01, 0xFF, 0x02,  // change moving (-1, 2)
        0x80, 0x02, 0x00, 0x9C,  // jump (0, -100)
        0x80, 0x10,              // end: what follows is not read
        0x11, 0x11,
    };
    VDLDesign d;
    ASSERT_TRUE(d.importJefDesignFromData(jefFile({1, 0}, stream, 10, 29, {4, 9}), false));
    EXPECT_EQ(d.designType(), "JEF");
    EXPECT_EQ(d.designVersion(), 10);
    EXPECT_EQ(d.hoopVendor(), "Janome");
    EXPECT_EQ(d.hoopCode(), 29);
    ASSERT_EQ(d.threads().size(), 2u);
    EXPECT_EQ(d.threads()[0].key(), "002");
    EXPECT_EQ(d.threads()[0].tension(), 4);
    EXPECT_EQ(d.threads()[1].tension(), 9);
    // Index 0 is "x9", which the palette lacks: the fallback thread.
    EXPECT_EQ(d.threads()[1].key(), "220");
    EXPECT_EQ(d.threads()[1].palette(), "Janome");

    ASSERT_EQ(d.stitches().size(), 5u);
    const auto& s = d.stitches();
    EXPECT_TRUE(!s[0].isJumpStitch && !s[0].isColorChange);
    EXPECT_TRUE(s[1].isJumpStitch && s[1].deltaX == 16);
    EXPECT_TRUE(s[2].isNullStitch() && !s[2].isJumpStitch && !s[2].isColorChange);
    EXPECT_TRUE(s[3].isColorChange && !s[3].isJumpStitch && s[3].deltaX == -1 && s[3].deltaY == 2);
    EXPECT_TRUE(s[4].isJumpStitch && s[4].deltaY == -100);
    EXPECT_EQ(d.xMin(), 5);
    EXPECT_EQ(d.xMax(), 21);
    EXPECT_EQ(d.yMin(), -100);
    EXPECT_EQ(d.yMax(), 0);
}

TEST(JefReader, StreamWithoutEndRecordReadsUpToTheLastCompleteRecord) {
    // A command with fewer than four bytes left and a lone last byte are both dropped.
    for (const auto& tail : std::vector<std::vector<uint8_t>>{{0x80, 0x02, 0x05}, {0x80, 0x01}, {0x07}}) {
        std::vector<uint8_t> stream = {0x01, 0x02, 0x03, 0x04};
        stream.insert(stream.end(), tail.begin(), tail.end());
        VDLDesign d;
        ASSERT_TRUE(d.importJefDesignFromData(jefFile({2}, stream), false));
        EXPECT_EQ(d.stitches().size(), 2u);
        EXPECT_EQ(absolutePositions(d).back(), (VDLPoint{4, 6}));
    }
}

TEST(JefReader, MissingThreadsAreAddedAndSurplusThreadsFail) {
    // One declared thread, one colour change: the second block gets a recoloured copy.
    VDLDesign d;
    ASSERT_TRUE(d.importJefDesignFromData(jefFile({1}, {0x01, 0x01, 0x80, 0x01, 0x00, 0x00, 0x02, 0x02}, 10, 0, {6}),
                                          false));
    ASSERT_EQ(d.threads().size(), 2u);
    VDLThread expected("002", "Janome");
    expected.changeToColor(VDLColor(0.5, 0.6, 0.6), "Janome");
    EXPECT_EQ(d.threads()[1].key(), expected.key());
    EXPECT_EQ(d.threads()[1].color(), expected.color());
    EXPECT_EQ(d.threads()[1].palette(), "Janome");
    EXPECT_EQ(d.threads()[1].tension(), 6);

    // Many changes, one thread: every block gets its thread.
    std::vector<uint8_t> changes;
    for (int i = 0; i < 500; ++i) changes.insert(changes.end(), {0x80, 0x01, 0x01, 0x00});
    VDLDesign many;
    ASSERT_TRUE(many.importJefDesignFromData(jefFile({1}, changes), false));
    EXPECT_EQ(many.threads().size(), 501u);

    // More threads than blocks, and no thread at all, both fail with 24.
    EXPECT_EQ(readError(jefFile({1, 2, 3}, {0x01, 0x01, 0x01, 0x01})), 24);
    EXPECT_EQ(readError(jefFile({}, std::vector<uint8_t>(8, 0x01))), 24);
}

TEST(JefReader, MalformedHeadersFailInOrder) {
    EXPECT_EQ(readError(std::vector<uint8_t>(51, 0)), 20);
    EXPECT_EQ(readError({}), 20);

    std::vector<uint8_t> b = jefFile({1}, {0x01, 0x01});
    std::vector<uint8_t> shortTable(b.begin(), b.begin() + 119);  // shorter than 120 + 4n
    EXPECT_EQ(readError(shortTable), 21);

    std::vector<uint8_t> huge = b;
    put32(huge, 24, 0x7FFFFFFF);
    EXPECT_EQ(readError(huge), 21);
    put32(huge, 24, -3);
    EXPECT_EQ(readError(huge), 21);

    // Room for two indices (128 bytes) but not for the tensions behind them.
    std::vector<uint8_t> noTensions(130, 0);
    put32(noTensions, 24, 2);
    put32(noTensions, 0, 120);
    EXPECT_EQ(readError(noTensions), 21);

    std::vector<uint8_t> offset = b;
    put32(offset, 0, -8);
    EXPECT_EQ(readError(offset), 23);
    put32(offset, 0, int32_t(offset.size()) - 3);
    EXPECT_EQ(readError(offset), 23);
    put32(offset, 0, 0x7FFFFFFF);
    EXPECT_EQ(readError(offset), 23);

    // The texts are the JEF reader's own.
    VDLDesign d;
    VDLError e;
    EXPECT_FALSE(d.importJefDesignFromData(offset, false, &e));
    EXPECT_EQ(e.localizedRecoverySuggestion(), "Unable to import JEF file (invalid offset).");
}

TEST(JefWriter, RoundTripKeepsPositionsThreadsAndHoop) {
    // A walk of fractional moves within the export limits, with jumps and colour changes.
    std::vector<VDLStitch> stitches;
    uint32_t seed = 12345;
    auto next = [&seed](int range) {
        seed = seed * 1103515245u + 12345u;
        return int((seed >> 8) % uint32_t(2 * range + 1)) - range;
    };
    float x = 0, y = 0;
    for (int i = 0; i < 3000; ++i) {
        float dx = float(next(120)) + float(next(99)) / 100.0f;
        float dy = float(next(120)) + float(next(99)) / 100.0f;
        if (std::abs(x + dx) > 900) dx = -dx;
        if (std::abs(y + dy) > 900) dy = -dy;
        x += dx;
        y += dy;
        stitches.push_back(stitch(dx, dy, i % 37 == 5, i % 500 == 499));
    }
    VDLDesign d = makeDesign(stitches, "DST");
    const char* keys[] = {"002", "225", "207", "204", "226", "001", "214"};
    std::vector<VDLThread> threads;
    for (size_t i = 0; i < d.threads().size(); ++i) threads.push_back(janome(keys[i % 7], int32_t(i)));
    d.setThreads(threads);
    ASSERT_TRUE(d.setHoopFromVendor("Janome", 29));

    TempDir dir;
    VDLError e;
    ASSERT_TRUE(d.exportJefDesignToURL(dir.url("walk.jef"), &e)) << e.description();
    EXPECT_EQ(d.designType(), "JEF");
    EXPECT_EQ(d.designVersion(), 10);
    EXPECT_EQ(d.hoopCode(), 29);

    VDLDesign r;
    ASSERT_TRUE(r.importJefDesignFromURL(dir.url("walk.jef"), &e)) << e.description();
    ASSERT_EQ(r.stitches().size(), d.stitches().size());
    const auto want = absolutePositions(d);
    const auto got = absolutePositions(r);
    for (size_t i = 0; i < want.size(); ++i) {
        // Rounding down with the remainder carried: at most one unit behind, never ahead.
        ASSERT_LE(got[i].x, want[i].x + 1e-3) << i;
        ASSERT_GT(got[i].x, want[i].x - 1 - 1e-3) << i;
        ASSERT_LE(got[i].y, want[i].y + 1e-3) << i;
        ASSERT_GT(got[i].y, want[i].y - 1 - 1e-3) << i;
        ASSERT_EQ(r.stitches()[i].isJumpStitch, d.stitches()[i].isJumpStitch) << i;
        ASSERT_EQ(r.stitches()[i].isColorChange, d.stitches()[i].isColorChange) << i;
    }
    ASSERT_EQ(r.threads().size(), d.threads().size());
    for (size_t i = 0; i < d.threads().size(); ++i) {
        EXPECT_EQ(r.threads()[i].key(), d.threads()[i].key());
        EXPECT_EQ(r.threads()[i].tension(), d.threads()[i].tension());
    }
    EXPECT_EQ(r.hoopCode(), 29);
}

TEST(JefWriter, FailedHoopCheckKeepsTheHoopAndWritesNothing) {
    TempDir dir;
    const std::string existing = dir.file("old.jef");
    const std::vector<uint8_t> oldBytes = {1, 2, 3};
    writeBytes(existing, oldBytes);

    struct Case {
        const char* what;
        std::vector<VDLStitch> stitches;
        std::string vendor;
        int32_t code;
        int64_t error;
        const char* text;
    } cases[] = {
        {"wider than the hoop", {stitch(300, 0), stitch(-600, 0)}, "Janome", 1, 60, "Design exceeds the current hoop size."},
        {"off centre", {stitch(126, 0), stitch(126, 0), stitch(126, 0), stitch(126, 0), stitch(126, 0)}, "Janome", 0, 62,
         "Stitches ouside the current hoop."},
        {"hoop not writable", {stitch(10, 10)}, "Janome", 5, 51, "Unable to export JEF file (unsupported hoop)."},
        {"no Janome hoop fits", {stitch(1500, 0), stitch(-3000, 0)}, "Pfaff", 3, 63, "Design exceeds all hoop sizes."},
    };
    for (const Case& c : cases) {
        VDLDesign d = makeDesign(c.stitches, "DST");
        d.setThreads({VDLThread("1", "Undefined")});
        ASSERT_TRUE(d.setHoopFromVendor(c.vendor, c.code));
        const VDLHoop before = *d.designHoop();
        VDLError e;
        EXPECT_FALSE(d.exportJefDesignToURL(VDLURL::fileURLWithPath(existing), &e)) << c.what;
        EXPECT_EQ(e.code, c.error) << c.what;
        EXPECT_EQ(e.localizedRecoverySuggestion(), c.text) << c.what;
        ASSERT_TRUE(d.designHoop().has_value()) << c.what;
        EXPECT_EQ(*d.designHoop(), before) << c.what;
        EXPECT_EQ(d.designHoop()->code(), c.code) << c.what;
        EXPECT_EQ(d.designType(), "DST") << c.what;
        EXPECT_EQ(d.threads()[0].palette(), "Undefined") << c.what;
        EXPECT_EQ(readBytes(existing), oldBytes) << c.what;
        EXPECT_FALSE(d.exportJefDesignToURL(dir.url("new.jef"))) << c.what;
        EXPECT_FALSE(std::filesystem::exists(dir.file("new.jef"))) << c.what;
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

TEST(JefWriter, HoopOfAnotherVendorIsReplacedByTheJanomeHoopFound) {
    TempDir dir;
    VDLDesign d = makeDesign({stitch(100, 100), stitch(-200, -200)}, "DST");
    d.setThreads({VDLThread("1", "Undefined")});
    ASSERT_TRUE(d.setHoopFromVendor("Pfaff", 3));
    ASSERT_TRUE(d.exportJefDesignToURL(dir.url("a.jef")));
    const auto expected = d.findHoopFromVendor("Janome");
    ASSERT_TRUE(expected.has_value());
    ASSERT_TRUE(d.designHoop().has_value());
    EXPECT_EQ(*d.designHoop(), *expected);
    EXPECT_EQ(get32(readBytes(dir.file("a.jef")), 32), expected->code());

    // A write that fails (no such folder) passes the system error on and changes nothing.
    VDLDesign f = makeDesign({stitch(10, 10)}, "DST");
    f.setThreads({VDLThread("1", "Undefined")});
    ASSERT_TRUE(f.setHoopFromVendor("Pfaff", 3));
    VDLError e;
    EXPECT_FALSE(f.exportJefDesignToURL(dir.url("missing/b.jef"), &e));
    EXPECT_EQ(e.domain, VDLPOSIXErrorDomain);
    EXPECT_EQ(f.hoopVendor(), "Pfaff");
    EXPECT_EQ(f.designType(), "DST");
    EXPECT_EQ(f.threads()[0].palette(), "Undefined");
}

TEST(JefWriter, ExportThroughTheDispatchCutsLongMovesToSignedBytes) {
    TempDir dir;
    VDLDesign d = makeDesign({stitch(10, 10), stitch(400.5f, -300.25f, true), stitch(-250, 0), stitch(3, 3)}, "DST");
    d.setThreads({janome("225")});
    ASSERT_TRUE(d.setHoopFromVendor("Janome", 4));
    VDLError e;
    ASSERT_TRUE(d.exportDesignToURL(dir.url("long.jef"), &e)) << e.description();
    VDLDesign r;
    ASSERT_TRUE(r.importDesignFromURL(dir.url("long.jef"), &e)) << e.description();
    EXPECT_EQ(r.designType(), "JEF");
    for (const VDLStitch& s : r.stitches()) {
        EXPECT_LE(std::abs(s.deltaX), 126);
        EXPECT_LE(std::abs(s.deltaY), 126);
    }
    const VDLPoint end = absolutePositions(r).back();
    EXPECT_NEAR(end.x, 163.5, 1.0);
    EXPECT_NEAR(end.y, -287.25, 1.0);
    ASSERT_EQ(r.threads().size(), 1u);
    EXPECT_EQ(r.threads()[0].key(), "225");
    EXPECT_EQ(r.hoopCode(), 4);
}

TEST(JefWriter, DesignExactlyAsLargeAsAHoopGoesIntoTheNextOneThatHoldsIt) {
    // A centred 50.0 x 50.0 mm DST: it fits "C/FA/M3" (50 x 50) by size, but its edges lie on
    // that hoop's half-size lines, so the converter picks hoop "A" (110 x 110).
    TempDir dir;
    VDLDesign square = makeDesign({stitch(-250, -250, true), stitch(500, 0), stitch(0, 500), stitch(-500, 0),
                                   stitch(0, -500)},
                                  "DST");
    ASSERT_TRUE(square.exportDesignToURL(dir.url("square.dst")));
    VDLDesign d;
    VDLError e;
    ASSERT_TRUE(d.importDesignFromURL(dir.url("square.dst"), &e)) << e.description();
    ASSERT_EQ(d.designWidth(), 500);
    ASSERT_TRUE(d.exportDesignToURL(dir.url("square.jef"), &e)) << e.description();
    EXPECT_EQ(d.designHoop()->name(), "A");
    EXPECT_EQ(get32(readBytes(dir.file("square.jef")), 32), 0);

    // A hoop the user chose is checked as it is.
    VDLDesign chosen;
    ASSERT_TRUE(chosen.importDesignFromURL(dir.url("square.dst")));
    ASSERT_TRUE(chosen.setHoopFromVendor("Janome", 1));
    EXPECT_FALSE(chosen.exportDesignToURL(dir.url("chosen.jef"), &e));
    EXPECT_EQ(e.code, 62);
    EXPECT_EQ(chosen.designHoop()->name(), "C/FA/M3");
}
