// Choosing readers and writers by extension, the codes common to every format, the thread side
// file around import/export, and the hoop check of the hoop-bearing writers.
#include "TestSupport.h"
#include "VDLDesign.h"
#include "VDLThreadFile.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <string>

namespace {

// A DST file: a header holding every tag the reader looks for, then the records given
// (3 bytes each), then the end record.
std::vector<uint8_t> dstFile(const std::vector<std::array<uint8_t, 3>>& records, bool endRecord = true) {
    std::string header = "LA:rose            \rST:      1\rCO:  0\r+X:    1\r-X:    0\r+Y:    0\r-Y:    0\r"
                         "AX:+    1\rAY:+    0\r";
    header.resize(512, ' ');
    std::vector<uint8_t> bytes(header.begin(), header.end());
    for (const auto& r : records) bytes.insert(bytes.end(), r.begin(), r.end());
    if (endRecord) bytes.insert(bytes.end(), {0x00, 0x00, 0xF3, 0x1A});
    return bytes;
}

constexpr std::array<uint8_t, 3> kStitchRight = {0x01, 0x00, 0x03};   // X +1
constexpr std::array<uint8_t, 3> kStitchUp9 = {0x20, 0x00, 0x03};     // Y +9
constexpr std::array<uint8_t, 3> kColorChange = {0x00, 0x00, 0xC3};   // no move


VDLDesign someDesign() {
    // Stitches on every side of the start point, as DST needs.
    return makeDesign({{10, 10, false, false}, {-20, -25, false, false}, {0, 0, true, true}, {5, 5, false, false}});
}

std::string threadFileXML(int entries) {
    std::vector<VDLThread> threads;
    for (int i = 0; i < entries; ++i)
        threads.emplace_back(VDLColor(0.1 * i, 0.5, 1.0), "Name " + std::to_string(i), "K" + std::to_string(i),
                             "Madeira Rayon", "Madeira Rayon");
    return VDLThreadFileDataForThreads(threads);
}

void writeText(const std::string& path, const std::string& text) { writeBytes(path, {text.begin(), text.end()}); }

}  // namespace

TEST(Dispatch, UnknownExtensionFailsWith10AndKeepsOnlyNameAndLocation) {
    TempDir dir;
    writeText(dir.file("rose.xyz"), "anything");
    writeText(dir.file("rose.threads"), threadFileXML(0));
    VDLDesign d = someDesign();
    d.setUseThreadFile(false);
    VDLError e;
    EXPECT_FALSE(d.importDesignFromURL(dir.url("rose.xyz"), &e));
    EXPECT_EQ(e.domain, VDLDesignErrorDomain);
    EXPECT_EQ(e.code, 10);
    EXPECT_EQ(e.localizedRecoverySuggestion(), "Unknown file format (UTI).");
    EXPECT_TRUE(d.threads().empty());
    EXPECT_TRUE(d.stitches().empty());
    EXPECT_EQ(d.designName(), "rose.xyz");
    EXPECT_EQ(d.designLocation(), dir.url("rose.xyz"));
    // The thread file is not consulted for a file no reader takes (its 0 entries would match).
    EXPECT_FALSE(d.useThreadFile());

    // No extension at all, and no out-parameter: the same answer, nothing made.
    EXPECT_FALSE(d.importDesignFromURL(dir.url("rose")));
}

TEST(Dispatch, FilesThatCannotBeReadEndInTheSystemError) {
    TempDir dir;
    std::filesystem::create_directory(dir.file("folder.dst"));
    writeText(dir.file("locked.pes"), "#PES0001");
    ::chmod(dir.file("locked.pes").c_str(), 0);

    struct Case {
        std::string name;
        int err;
    } cases[] = {{"missing.dst", ENOENT}, {"folder.dst", EISDIR}, {"missing.jef+", ENOENT}};
    for (const auto& c : cases) {
        VDLDesign d;
        VDLError e;
        EXPECT_FALSE(d.importDesignFromURL(dir.url(c.name), &e)) << c.name;
        EXPECT_EQ(e.domain, VDLPOSIXErrorDomain) << c.name;
        EXPECT_EQ(e.code, c.err) << c.name;
        EXPECT_EQ(d.designName(), c.name);
    }
    if (::geteuid() != 0) {  // root reads whatever the permission bits say
        VDLDesign d;
        VDLError e;
        EXPECT_FALSE(d.importDesignFromURL(dir.url("locked.pes"), &e));
        EXPECT_EQ(e.domain, VDLPOSIXErrorDomain);
        EXPECT_EQ(e.code, EACCES);
    }
}

TEST(Dispatch, ReadersThatFindNothingEndInTheirCodeOr11Or12) {
    TempDir dir;
    writeBytes(dir.file("empty.exp"), {});  // an empty EXP stream reads fine: no stitches
    writeBytes(dir.file("empty.dst"), {});  // DST: no header
    std::vector<uint8_t> dst = dstFile({}, false);
    dst.insert(dst.end(), {0x00, 0x00, 0xF3, 0x1A});  // 516 bytes: header, end record, 0x1A
    writeBytes(dir.file("header.dst"), dst);
    // A JPX header declaring no threads, then one stitch and the end command.
    std::vector<uint8_t> jpx(120, 0);
    jpx[0] = 120;
    jpx[4] = 1;
    jpx.insert(jpx.end(), {0x0A, 0x0A, 0x80, 0x10});
    writeBytes(dir.file("nothreads.jpx"), jpx);

    const std::pair<const char*, int64_t> cases[] = {
        {"empty.exp", 11}, {"empty.dst", 123}, {"header.dst", 11}, {"nothreads.jpx", 12}};
    for (const auto& [name, code] : cases) {
        VDLDesign d;
        VDLError e;
        EXPECT_FALSE(d.importDesignFromURL(dir.url(name), &e)) << name;
        EXPECT_EQ(e.code, code) << name;
        EXPECT_EQ(e.domain, VDLDesignErrorDomain) << name;
    }
}

TEST(Dispatch, JefPlusIsReadByTheJefReaderButNeverWritten) {
    // One thread, version byte 3, one stitch and the end command.
    std::vector<uint8_t> jef(124, 0);
    jef[0] = 124;
    jef[4] = 3;
    jef[24] = 1;
    jef[116] = 1;
    jef[120] = 13;
    jef.insert(jef.end(), {0x0A, 0x0A, 0x80, 0x10});
    TempDir dir;
    writeBytes(dir.file("rose.jef+"), jef);
    VDLDesign d;
    VDLError e;
    ASSERT_TRUE(d.importDesignFromURL(dir.url("rose.jef+"), &e)) << e.description();
    EXPECT_EQ(d.designType(), "JEF+");
    EXPECT_EQ(d.designVersion(), 30);
    EXPECT_EQ(d.stitches().size(), 1u);

    VDLDesign out = someDesign();
    EXPECT_FALSE(out.exportDesignToURL(dir.url("rose.jef+"), &e));
    EXPECT_EQ(e.code, 50);
    EXPECT_EQ(e.localizedRecoverySuggestion(), "Unsupported file format (UTI) for export.");
    EXPECT_EQ(out.designName(), "rose.jef+");
    EXPECT_EQ(readBytes(dir.file("rose.jef+")), jef);
    EXPECT_FALSE(out.exportDesignToURL(dir.url("rose.vp3"), nullptr));
    EXPECT_FALSE(std::filesystem::exists(dir.file("rose.vp3")));
}

TEST(Dispatch, ExportChecksThreadsBeforeStitches) {
    TempDir dir;
    VDLDesign d;
    d.setDesignName("before");
    VDLError e;
    EXPECT_FALSE(d.exportDesignToURL(dir.url("x.dst"), &e));
    EXPECT_EQ(e.code, 13);
    EXPECT_EQ(e.localizedRecoverySuggestion(), "Unable to export embroidery file (no threads found).");
    d.threads().emplace_back("1", "Undefined");
    EXPECT_FALSE(d.exportDesignToURL(dir.url("x.dst"), &e));
    EXPECT_EQ(e.code, 14);
    EXPECT_EQ(e.localizedRecoverySuggestion(), "Unable to export embroidery file (no stitches found).");
    EXPECT_EQ(d.designName(), "before");  // the name changes only past these checks
    EXPECT_FALSE(std::filesystem::exists(dir.file("x.dst")));
}

TEST(Dispatch, FailedExportLeavesTheExistingFileAndThreadFile) {
    TempDir dir;
    const std::vector<uint8_t> old = {'o', 'l', 'd'};
    writeBytes(dir.file("keep.dst"), old);
    writeText(dir.file("keep.threads"), "stale");
    // Every stitch right of the start point: DST cannot write it.
    VDLDesign d = makeDesign({{10, 0, false, false}, {10, 5, false, false}});
    d.setDesignLocation(dir.url("keep.dst"));
    VDLError e;
    EXPECT_FALSE(d.exportDesignToURL(dir.url("keep.dst"), &e));
    EXPECT_EQ(e.code, 130);
    EXPECT_EQ(readBytes(dir.file("keep.dst")), old);
    EXPECT_EQ(readBytes(dir.file("keep.threads")), (std::vector<uint8_t>{'s', 't', 'a', 'l', 'e'}));
    EXPECT_EQ(d.designName(), "keep.dst");

    // A target inside a missing folder: the system error comes back unchanged.
    EXPECT_FALSE(someDesign().exportDesignToURL(dir.url("nowhere/x.dst"), &e));
    EXPECT_EQ(e.domain, VDLPOSIXErrorDomain);
    EXPECT_EQ(e.code, ENOENT);
}

TEST(Dispatch, ExportWritesOrDeletesTheThreadFileBesideTheLocation) {
    TempDir dir;
    VDLDesign d = someDesign();
    d.threads()[1] = VDLThread(VDLColor(1, 0, 0), "Red", "", "", "");
    d.setDesignLocation(dir.url("Rose.DST"));
    d.setUseThreadFile(true);
    VDLError e;
    const bool ok = d.exportDesignToURL(dir.url("Rose.DST"), &e);
    ASSERT_TRUE(ok) << e.description();
    ASSERT_TRUE(std::filesystem::exists(dir.file("Rose.threads")));

    VDLDesign back;
    ASSERT_TRUE(back.importDesignFromURL(dir.url("Rose.DST"), &e)) << e.description();
    EXPECT_EQ(back.threads()[1].name(), "Red");

    // Without the flag the next export removes it.
    d.setUseThreadFile(false);
    ASSERT_TRUE(d.exportDesignToURL(dir.url("Rose.DST"), &e));
    EXPECT_FALSE(std::filesystem::exists(dir.file("Rose.threads")));

    // A design with no location yet never touches a ".threads" in the working folder.
    const auto cwd = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    writeText(dir.file(".threads"), "x");
    VDLDesign fresh = someDesign();
    EXPECT_TRUE(fresh.exportDesignToURL(dir.url("fresh.dst"), &e));
    EXPECT_TRUE(std::filesystem::exists(dir.file(".threads")));
    std::filesystem::current_path(cwd);
}

TEST(Dispatch, UpperCaseExtensionAndThreadFileOfMatchingCount) {
    TempDir dir;
    // Three colour changes: four threads.
    writeBytes(dir.file("ROSE.DST"),
               dstFile({kStitchRight, kColorChange, kStitchUp9, kColorChange, kStitchRight, kColorChange, kStitchUp9}));
    writeText(dir.file("ROSE.threads"), threadFileXML(3));
    VDLDesign d;
    VDLError e;
    const bool ok = d.importDesignFromURL(dir.url("ROSE.DST"), &e);
    ASSERT_TRUE(ok) << e.description();
    EXPECT_EQ(d.designType(), "DST");
    EXPECT_EQ(d.designName(), "ROSE.DST");
    EXPECT_EQ(d.displayRange(), (VDLRange{0, 7}));
    EXPECT_FALSE(d.useThreadFile());
    ASSERT_EQ(d.threads().size(), 4u);
    EXPECT_EQ(d.threads()[3].palette(), "Undefined");
    EXPECT_EQ(d.threads()[3].key(), "4");

    writeText(dir.file("ROSE.threads"), threadFileXML(4));
    ASSERT_TRUE(d.importDesignFromURL(dir.url("ROSE.DST"), &e));
    EXPECT_TRUE(d.useThreadFile());
    ASSERT_EQ(d.threads().size(), 4u);
    EXPECT_EQ(d.threads()[3].name(), "Name 3");
    EXPECT_EQ(d.threads()[3].key(), "K3");
    EXPECT_EQ(d.threads()[3].palette(), "Madeira Rayon");
    EXPECT_EQ(d.threads()[3].color(), VDLColor(double(float(0.1 * 3)), 0.5, 1.0));
}

// ---- Hoop check ----------------------------------------------------------------------------

namespace {

const char* kExceeds = "Design exceeds the current hoop size.";
const char* kUnsupported = "Unable to export JEF file (unsupported hoop).";

// A design spanning X from 0 to WIDTH and Y from 0 to HEIGHT, shifted by (dx, dy) first.
VDLDesign boxDesign(float width, float height, float dx = 0, float dy = 0) {
    std::vector<VDLStitch> s;
    s.emplace_back(dx, dy, true, false);
    s.emplace_back(width, 0, false, false);
    s.emplace_back(0, height, false, false);
    s.emplace_back(-width, 0, false, false);
    return makeDesign(s);
}

VDLHoop catalogueHoop(const std::string& vendor, const std::string& name) {
    for (const auto& h : VDLDesign::hoops())
        if (h.vendor() == vendor && h.name() == name) return h;
    ADD_FAILURE() << "no hoop " << name;
    return {};
}

}  // namespace

TEST(HoopCheck, AssignsTheFirstFittingHoopOfTheVendor) {
    VDLDesign d = boxDesign(400, 400, -200, -200);  // 40 x 40 mm, centred
    VDLError e;
    ASSERT_TRUE(d.checkHoopForVendor("Janome", kExceeds, kUnsupported, &e));
    EXPECT_EQ(d.designHoop()->name(), "C/FA/M3");
    // Another vendor's hoop is replaced too.
    d.setDesignHoop(catalogueHoop("Janome", "SQ"));
    ASSERT_TRUE(d.checkHoopForVendor("Pfaff", kExceeds, kUnsupported, &e));
    EXPECT_EQ(d.designHoop()->name(), "S");
    // A hoop of the vendor that fits stays, even if a smaller one would do.
    d.setDesignHoop(catalogueHoop("Janome", "SQ"));
    ASSERT_TRUE(d.checkHoopForVendor("Janome", kExceeds, kUnsupported, &e));
    EXPECT_EQ(d.designHoop()->name(), "SQ");
}

TEST(HoopCheck, EveryFailurePutsTheOldHoopBack) {
    const VDLHoop pfaff = catalogueHoop("Pfaff", "S");
    VDLError e;

    // 250 mm wide: no writable Janome hoop is that wide.
    VDLDesign huge = boxDesign(2500, 100, -1250, -50);
    huge.setDesignHoop(pfaff);
    EXPECT_FALSE(huge.checkHoopForVendor("Janome", kExceeds, kUnsupported, &e));
    EXPECT_EQ(e.code, 63);
    EXPECT_EQ(e.localizedRecoverySuggestion(), "Design exceeds all hoop sizes.");
    EXPECT_EQ(huge.designHoop(), pfaff);
    huge.setDesignHoop(std::nullopt);
    EXPECT_FALSE(huge.checkHoopForVendor("Janome", kExceeds, kUnsupported, nullptr));
    EXPECT_FALSE(huge.designHoop().has_value());

    // 60 mm in the 50 mm Janome hoop it already has: code 60 with the writer's own text.
    VDLDesign wide = boxDesign(600, 100, -300, -50);
    wide.setDesignHoop(catalogueHoop("Janome", "C/FA/M3"));
    EXPECT_FALSE(wide.checkHoopForVendor("Janome", kExceeds, kUnsupported, &e));
    EXPECT_EQ(e.code, 60);
    EXPECT_EQ(e.localizedRecoverySuggestion(), kExceeds);
    EXPECT_EQ(wide.designHoop()->name(), "C/FA/M3");

    // 100 mm wide fits hoop "A" (110 mm) but lies so far right of the centre that no hoop
    // holds it.
    VDLDesign offCentre = boxDesign(1000, 100, 1300);
    offCentre.setDesignHoop(pfaff);
    EXPECT_FALSE(offCentre.checkHoopForVendor("Janome", kExceeds, kUnsupported, &e));
    EXPECT_EQ(e.code, 62);
    EXPECT_EQ(e.localizedRecoverySuggestion(), "Stitches ouside the current hoop.");
    EXPECT_EQ(offCentre.designHoop(), pfaff);

    // A small design in the round T1 hoop, which machines accept but files cannot name.
    VDLDesign small = boxDesign(100, 100, -50, -50);
    small.setDesignHoop(catalogueHoop("Janome", "T1"));
    EXPECT_FALSE(small.checkHoopForVendor("Janome", kExceeds, kUnsupported, &e));
    EXPECT_EQ(e.code, 51);
    EXPECT_EQ(e.localizedRecoverySuggestion(), kUnsupported);
    EXPECT_EQ(small.designHoop()->name(), "T1");
}

TEST(Dispatch, FilesWhoseExtensionLiesAreReadByTheirContent) {
    TempDir dir;
    VDLDesign source = someDesign();
    source.setDesignName("rose.pes");
    const std::vector<uint8_t> pes = source.exportPesDesignToData();
    const std::vector<uint8_t> pec = source.exportPecDesignToData();
    writeBytes(dir.file("pes-inside.pec"), pes);
    writeBytes(dir.file("pec-inside.pes"), pec);
    writeBytes(dir.file("pes-inside.dst"), pes);
    writeBytes(dir.file("vp3-inside.dst"), readBytes(VARDELLE_SOURCE_DIR "/tests/fuzz/corpus/vp3/two_blocks.vp3"));

    const std::pair<const char*, const char*> cases[] = {
        {"pes-inside.pec", "PES"}, {"pec-inside.pes", "PEC"}, {"pes-inside.dst", "PES"}, {"vp3-inside.dst", "VP3"}};
    for (const auto& [name, type] : cases) {
        VDLDesign d;
        VDLError e;
        ASSERT_TRUE(d.importDesignFromURL(dir.url(name), &e)) << name << ": " << e.description();
        EXPECT_EQ(d.designType(), type) << name;
        EXPECT_EQ(d.designName(), name);
        if (std::string(type) != "VP3") {
            // The PEC block's start jump, then the design's records.
            ASSERT_EQ(d.stitches().size(), source.stitches().size() + 1) << name;
            EXPECT_EQ(d.threads().size(), source.threads().size()) << name;
        }
    }

    // A signature that is not one of ours keeps the reader's code; a file of another format
    // with a fault of its own ends in that format's code.
    writeBytes(dir.file("other.pec"), {'#', 'P', 'X', 'S', '0', '0', '0', '1', 'L', 'A', ':'});
    std::vector<uint8_t> badVersion = pes;
    badVersion[6] = '2';
    writeBytes(dir.file("badversion.pec"), badVersion);  // "#PES0021": the PES reader's own code
    const std::pair<const char*, int64_t> refused[] = {{"other.pec", 30}, {"badversion.pec", 31}};
    for (const auto& [name, code] : refused) {
        VDLDesign d;
        VDLError e;
        EXPECT_FALSE(d.importDesignFromURL(dir.url(name), &e)) << name;
        EXPECT_EQ(e.code, code) << name;
    }
}

TEST(Dispatch, DstHeaderOfZeroBytesReadsAsADesignWithoutLabel) {
    TempDir dir;
    std::vector<uint8_t> zeros(512, 0);
    for (const auto& r : {kStitchRight, kColorChange, kStitchUp9}) zeros.insert(zeros.end(), r.begin(), r.end());
    writeBytes(dir.file("plain.dst"), zeros);  // no end record either
    VDLDesign d;
    VDLError e;
    ASSERT_TRUE(d.importDesignFromURL(dir.url("plain.dst"), &e)) << e.description();
    EXPECT_EQ(d.designType(), "DST");
    EXPECT_EQ(d.designName(), "plain.dst");
    EXPECT_EQ(d.stitches().size(), 3u);
    EXPECT_EQ(d.threads().size(), 2u);

    // A header that is not all zero still needs its tags: one stray byte and it is refused.
    zeros[300] = ' ';
    writeBytes(dir.file("stray.dst"), zeros);
    EXPECT_FALSE(d.importDesignFromURL(dir.url("stray.dst"), &e));
    EXPECT_EQ(e.code, 110);
}
