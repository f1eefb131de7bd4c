// vardelle-cli over whole collections: convert --to, thumbnail --cache, info over folders and
// catalogue, run as a separate process on folders made here; and the pool they run on.
#include "TestSupport.h"
#include "VDLPNG.h"
#include "model/batch/VDLBatch.h"
#include "model/batch/VDLThumbnailCache.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>
#include <string>

namespace fs = std::filesystem;

namespace {

// A small design of STITCHES records across about W x H tenths of a millimetre, two threads.
VDLDesign smallDesign(int w = 300, int h = 200, int stitches = 40) {
    std::vector<VDLStitch> records;
    VDLStitch first;
    first.deltaX = -float(w) / 2;
    first.deltaY = -float(h) / 2;
    records.push_back(first);
    for (int i = 1; i < stitches; ++i) {
        VDLStitch s;
        s.deltaX = float(i % 2 ? w : -w);
        s.deltaY = float(h) / float(stitches);
        if (i == stitches / 2) s.isColorChange = true;
        records.push_back(s);
    }
    return makeDesign(records, "DST");
}

void writeDesign(const std::string& path, VDLDesign design) {
    fs::create_directories(fs::path(path).parent_path());
    VDLError error;
    design.setDesignLocation(VDLURL::fileURLWithPath(path));
    ASSERT_TRUE(design.exportDesignToURL(VDLURL::fileURLWithPath(path), &error)) << path << ": " << error.description();
}

bool reads(const std::string& path, const std::string& type) {
    VDLDesign d;
    return d.importDesignFromURL(VDLURL::fileURLWithPath(path)) && d.designType() == type;
}

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// Every file below DIR, as paths relative to it.
std::set<std::string> filesBelow(const std::string& dir) {
    std::set<std::string> names;
    for (const auto& e : fs::recursive_directory_iterator(dir))
        if (!e.is_directory()) names.insert(fs::relative(e.path(), dir).string());
    return names;
}

class Batch : public ::testing::Test {
protected:
    // in/ a.dst, b.exp, sub/c.pes (the bundled sample), "name with spaces \xff.dst",
    // broken.jef, notes.txt, .hidden.dst
    void SetUp() override {
        in = dir.file("in");
        writeDesign(in + "/a.dst", smallDesign());
        writeDesign(in + "/b.exp", smallDesign(500, 100));
        fs::create_directories(in + "/sub");
        fs::copy_file(VARDELLE_SOURCE_DIR "/resources/samples/flower.pes", in + "/sub/c.pes");
        writeDesign(in + "/name with spaces \xff.dst", smallDesign());
        writeBytes(in + "/broken.jef", {1, 2, 3, 4});
        writeBytes(in + "/notes.txt", {'h', 'i'});
        writeDesign(in + "/.hidden.dst", smallDesign());
    }
    TempDir dir;
    std::string in;
};

}  // namespace

TEST_F(Batch, ConvertKeepsTheTreeListsFailuresAndCountsWhatItSkips) {
    const std::string out = dir.file("out");
    // A file where the output folder of sub/ would go: that one design cannot be written
    // (permission bits would not stop root, who runs the tests in CI).
    fs::create_directories(out);
    writeBytes(out + "/sub", {'x'});

    CliRun r = runCli(dir, {"convert", "--to", "jef", "-o", out, "--recursive", "--jobs", "3", in});
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_TRUE(reads(out + "/a.jef", "JEF"));
    EXPECT_TRUE(reads(out + "/b.jef", "JEF"));
    EXPECT_TRUE(reads(out + "/name with spaces \xff.jef", "JEF"));
    // The broken file and the blocked folder: one line each, with the error text and code.
    EXPECT_TRUE(contains(r.err, "vardelle-cli: " + in + "/broken.jef: ")) << r.err;
    EXPECT_TRUE(contains(r.err, in + "/sub/c.pes: " + out + "/sub: ")) << r.err;
    EXPECT_TRUE(contains(r.err, "(code 20)")) << r.err;  // ENOTDIR
    EXPECT_TRUE(contains(r.err, "converted 3, 2 failed")) << r.err;
    EXPECT_TRUE(contains(r.err, "1 hidden file")) << r.err;
    EXPECT_TRUE(contains(r.err, "1 file that is not a design")) << r.err;
    // Nothing but finished outputs: no temporary files, nothing for the failures.
    EXPECT_EQ(filesBelow(out), (std::set<std::string>{"a.jef", "b.jef", "name with spaces \xff.jef", "sub"}));

    // With the way cleared, a second run converts only what is missing and keeps the rest.
    fs::remove(out + "/sub");
    fs::remove(in + "/broken.jef");
    const auto before = fs::last_write_time(out + "/a.jef");
    r = runCli(dir, {"convert", "--to", "JEF", "-o", out, "-r", in});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(reads(out + "/sub/c.jef", "JEF"));
    EXPECT_EQ(fs::last_write_time(out + "/a.jef"), before);
    EXPECT_TRUE(contains(r.err, "converted 1, 3 kept")) << r.err;
}

TEST_F(Batch, ConvertNeverReplacesAnOutputWithoutForce) {
    const std::vector<uint8_t> old = {'o', 'l', 'd'};
    writeBytes(in + "/a.pes", old);
    CliRun r = runCli(dir, {"convert", "--to", "pes", in + "/a.dst"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(readBytes(in + "/a.pes"), old);
    EXPECT_TRUE(contains(r.err, "1 kept")) << r.err;

    r = runCli(dir, {"convert", "--to", "pes", "--force", in + "/a.dst"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(reads(in + "/a.pes", "PES"));
    EXPECT_TRUE(contains(r.err, "converted 1, 0 failed")) << r.err;

    // Beside the inputs, a file already in the target format is left alone, even with --force.
    r = runCli(dir, {"convert", "--to", "dst", "--force", in + "/a.dst"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(contains(r.err, "1 kept")) << r.err;
}

TEST_F(Batch, ConvertReportsTheWritersOwnMessageForADesignTooLarge) {
    writeDesign(dir.file("big/huge.dst"), smallDesign(4000, 4000, 400));  // 40 cm: no Janome hoop
    CliRun r = runCli(dir, {"convert", "--to", "jef", dir.file("big")});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(contains(r.err, "huge.jef: Design exceeds all hoop sizes. (code 63)")) << r.err;
    EXPECT_FALSE(fs::exists(dir.file("big/huge.jef")));
}

TEST_F(Batch, ConvertThreadSideFileFollowsTheDesign) {
    VDLDesign d = smallDesign();
    d.setUseThreadFile(true);
    writeDesign(in + "/kept.dst", d);  // writes kept.threads beside it
    ASSERT_TRUE(fs::exists(in + "/kept.threads"));
    CliRun r = runCli(dir, {"convert", "--to", "exp", "-o", dir.file("out"), in + "/kept.dst"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(fs::exists(dir.file("out/kept.threads")));
    // A design without its own thread colours leaves no side file beside its output.
    r = runCli(dir, {"convert", "--to", "exp", "-o", dir.file("out"), in + "/a.dst"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(fs::exists(dir.file("out/a.exp")));
    EXPECT_FALSE(fs::exists(dir.file("out/a.threads")));
}

TEST_F(Batch, BadArgumentsAreUsageErrors) {
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"convert", "--to", "xyz", in}, {"convert", "--to", "jef"}, {"convert", "-r", in},
          {"convert", "--to", "jef", "--jobs", "0", in}, {"convert", "--to", "jef", "--bogus", in},
          {"convert", "--to", "jef", "-o", in + "/a.dst", in}, {"thumbnail", "--cache", "--size", "huge", in},
          {"catalogue", "--paper", "a5", in}, {"catalogue", "--per-page", "0", in}, {"info", "--csv"}}) {
        CliRun r = runCli(dir, args);
        EXPECT_EQ(r.status, 2) << args[0] << " " << args[1] << "\n" << r.err;
    }
}

TEST_F(Batch, ThumbnailCacheEntriesCarryTheirKeysAndAreNamedByTheURI) {
    const std::string cache = dir.file("cache");
    ::setenv("XDG_CACHE_HOME", cache.c_str(), 1);
    CliRun r = runCli(dir, {"thumbnail", "--cache", "--size", "large", "-r", in});
    EXPECT_EQ(r.status, 1) << r.err;  // broken.jef
    EXPECT_TRUE(contains(r.err, "thumbnails made 4, 1 failed")) << r.err;

    // MD5 as the file managers compute it.
    EXPECT_EQ(VDLMD5Hex(""), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(VDLMD5Hex("The quick brown fox jumps over the lazy dog"), "9e107d9d372bb6826bd81d3542a419d6");

    const std::string spaced = in + "/name with spaces \xff.dst";
    const std::string uri = "file://" + in + "/name%20with%20spaces%20%FF.dst";
    EXPECT_EQ(VDLThumbnailURIForPath(spaced), uri);
    const std::string entry = cache + "/thumbnails/large/" + VDLMD5Hex(uri) + ".png";
    ASSERT_TRUE(fs::exists(entry)) << entry;
    const std::vector<uint8_t> png = readBytes(entry);
    std::map<std::string, std::string> keys;
    for (const auto& [k, v] : VDLReadPNGText(png.data(), png.size())) keys[k] = v;
    struct stat st;
    ASSERT_EQ(::stat(spaced.c_str(), &st), 0);
    EXPECT_EQ(keys["Thumb::URI"], uri);
    EXPECT_EQ(keys["Thumb::MTime"], std::to_string(st.st_mtime));
    EXPECT_EQ(keys["Thumb::Size"], std::to_string(st.st_size));
    EXPECT_EQ(keys["Thumb::Mimetype"], "application/x-dst");
    // 256 x 256 pixels (IHDR), readable by the owner only, in folders only the owner enters.
    ASSERT_GT(png.size(), 24u);
    EXPECT_EQ((png[16] << 24 | png[17] << 16 | png[18] << 8 | png[19]), 256);
    EXPECT_EQ((png[20] << 24 | png[21] << 16 | png[22] << 8 | png[23]), 256);
    ASSERT_EQ(::stat(entry.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    ASSERT_EQ(::stat((cache + "/thumbnails/large").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);

    // The broken file is recorded as a failure of ours, with its URI and time.
    const std::string brokenURI = VDLThumbnailURIForPath(in + "/broken.jef");
    const std::string failed = cache + "/thumbnails/fail/vardelle-" VARDELLE_VERSION "/" + VDLMD5Hex(brokenURI) + ".png";
    ASSERT_TRUE(fs::exists(failed));
    const std::vector<uint8_t> failPng = readBytes(failed);
    const auto failKeys = VDLReadPNGText(failPng.data(), failPng.size());
    EXPECT_NE(std::find(failKeys.begin(), failKeys.end(), std::make_pair(std::string("Thumb::URI"), brokenURI)),
              failKeys.end());
    EXPECT_EQ(filesBelow(cache + "/thumbnails/large").size(), 4u);  // no temporary files left

    // A second run finds everything current; a changed file is drawn again.
    r = runCli(dir, {"thumbnail", "--cache", "--size", "large", "-r", in});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(contains(r.err, "thumbnails made 0, 5 already current")) << r.err;
    fs::last_write_time(in + "/a.dst", fs::last_write_time(in + "/a.dst") + std::chrono::seconds(5));
    r = runCli(dir, {"thumbnail", "--cache", "--size", "large", "-r", in});
    EXPECT_TRUE(contains(r.err, "thumbnails made 1, 4 already current")) << r.err;
    ::unsetenv("XDG_CACHE_HOME");
}

TEST_F(Batch, InfoOverFoldersGivesJsonLinesAndCsvInFileOrder) {
    CliRun r = runCli(dir, {"info", "--json", "-r", "-j", "2", in});
    EXPECT_EQ(r.status, 1);  // broken.jef
    std::vector<std::string> lines;
    for (size_t at = 0, end; (end = r.out.find('\n', at)) != std::string::npos; at = end + 1)
        lines.push_back(r.out.substr(at, end - at));
    ASSERT_EQ(lines.size(), 4u) << r.out;
    // JSON is UTF-8: the byte of another encoding in a file name becomes U+FFFD.
    const char* order[] = {"/a.dst\"", "/b.exp\"", "/name with spaces \\ufffd.dst\"", "/sub/c.pes\""};
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(lines[i].front(), '{');
        EXPECT_EQ(lines[i].back(), '}');
        EXPECT_TRUE(contains(lines[i], order[i])) << lines[i];
        EXPECT_TRUE(contains(lines[i], "\"threadList\": [")) << lines[i];
    }
    EXPECT_TRUE(contains(lines[3], "\"type\": \"PES\""));
    EXPECT_TRUE(contains(r.err, in + "/broken.jef: ")) << r.err;

    r = runCli(dir, {"info", "--csv", in + "/sub", in + "/a.dst"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.rfind("file,name,type,version,width,height,", 0), 0u) << r.out;
    EXPECT_TRUE(contains(r.out, "\r\n" + in + "/sub/c.pes,c.pes,PES,")) << r.out;
    EXPECT_TRUE(contains(r.out, "\r\n" + in + "/a.dst,a.dst,DST,")) << r.out;
}

TEST_F(Batch, CataloguePagesCarryTheDesignsAndPageNumbers) {
    if (std::system("pdftotext -v >/dev/null 2>&1") != 0) GTEST_SKIP() << "pdftotext (poppler-utils) is missing";
    const std::string pdf = dir.file("cat.pdf");
    CliRun r = runCli(dir, {"catalogue", "-o", pdf, "--per-page", "2", "--paper", "letter", "-r", in});
    EXPECT_EQ(r.status, 1) << r.err;  // broken.jef, shown with its error
    EXPECT_TRUE(contains(r.err, "cat.pdf: 3 pages")) << r.err;
    const std::string text = dir.file("cat.txt");
    ASSERT_EQ(std::system(("pdftotext -layout " + shellQuoted(pdf) + " " + shellQuoted(text)).c_str()), 0);
    const std::string pages = slurp(text);
    EXPECT_EQ(std::count(pages.begin(), pages.end(), '\f'), 3) << pages;
    for (const char* part : {"in — 5 designs", "Page 1 of 3", "Page 3 of 3", "a.dst", "b.exp", "broken.jef", "c.pes",
                             "stitches", "DST", "PES", "mm"})
        EXPECT_TRUE(contains(pages, part)) << part << "\n" << pages;
    // A thread of the sample with its name beside its swatch.
    VDLDesign flower;
    ASSERT_TRUE(flower.importDesignFromURL(VDLURL::fileURLWithPath(in + "/sub/c.pes")));
    EXPECT_TRUE(contains(pages, flower.threads().front().name())) << pages;

    // Each readable design has its picture (drawn ahead on the pool), the broken one none.
    const std::string images = dir.file("images.txt");
    if (std::system(("pdfimages -list " + shellQuoted(pdf) + " >" + shellQuoted(images)).c_str()) == 0) {
        const std::string list = slurp(images);
        size_t pictures = 0;  // the rows under the two header lines
        for (size_t at = 0, row = 0, end; (end = list.find('\n', at)) != std::string::npos; at = end + 1, ++row)
            if (row >= 2 && end > at) ++pictures;
        EXPECT_EQ(pictures, 4u) << list;
    }

    // An existing file is kept without --force.
    const auto size = fs::file_size(pdf);
    r = runCli(dir, {"catalogue", "-o", pdf, in + "/a.dst"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(fs::file_size(pdf), size);
    r = runCli(dir, {"catalogue", "-o", pdf, "--force", "--title", "Spring", in + "/a.dst"});
    EXPECT_EQ(r.status, 0) << r.err;
    ASSERT_EQ(std::system(("pdftotext " + shellQuoted(pdf) + " " + shellQuoted(text)).c_str()), 0);
    EXPECT_TRUE(contains(slurp(text), "Spring"));
}

TEST(BatchRun, StopsHandingOutWorkOnceCancelledAndReportsEachItemOnce) {
    std::atomic<bool> cancel{false};
    std::vector<int> reported(1000, 0);
    const size_t ran = VDLBatchRun(
        reported.size(), 4,
        [&](size_t i) -> VDLBatchOutcome {
            if (i == 50) cancel = true;
            if (i % 7 == 0) throw std::runtime_error("boom");
            return {};
        },
        [&](size_t i, const VDLBatchOutcome& o) {
            ++reported[i];
            if (i % 7 == 0) {
                EXPECT_EQ(o.status, VDLBatchOutcome::Status::Failed);
            }
        },
        &cancel);
    EXPECT_GE(ran, 51u);
    EXPECT_LT(ran, 60u);  // at most the items in flight finish after the flag
    EXPECT_EQ(size_t(std::count(reported.begin(), reported.end(), 1)), ran);
    EXPECT_EQ(std::count_if(reported.begin(), reported.end(), [](int n) { return n > 1; }), 0);
}

TEST_F(Batch, AFullDiskFailsEachFileWithItsOwnLineAndLeavesNoPieces) {
    // A small file system of its own (root only; skipped where mounting is not allowed).
    const std::string small = dir.file("small");
    fs::create_directories(small);
    if (std::system(("mount -t tmpfs -o size=96k tmpfs " + shellQuoted(small) + " 2>/dev/null").c_str()) != 0)
        GTEST_SKIP() << "cannot mount a small tmpfs here";
    for (int i = 0; i < 12; ++i)
        fs::copy_file(VARDELLE_SOURCE_DIR "/resources/samples/flower.dst", in + "/sub/f" + std::to_string(i) + ".dst");
    CliRun r = runCli(dir, {"convert", "--to", "jef", "-o", small, in + "/sub"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(contains(r.err, "No space left on device (code 28)")) << r.err;
    // What was written is whole; nothing else is left.
    size_t written = 0;
    for (const auto& e : fs::directory_iterator(small)) {
        EXPECT_EQ(e.path().extension(), ".jef") << e.path();
        EXPECT_TRUE(reads(e.path().string(), "JEF")) << e.path();
        ++written;
    }
    EXPECT_GT(written, 0u);
    EXPECT_LT(written, 13u);
    std::system(("umount " + shellQuoted(small)).c_str());
}

TEST_F(Batch, CtrlCStopsTheRunWithWholeFilesAndASummary) {
    for (int i = 0; i < 400; ++i)
        fs::copy_file(VARDELLE_SOURCE_DIR "/resources/samples/flower.pes", in + "/sub/f" + std::to_string(i) + ".pes");
    const std::string out = dir.file("out");
    const std::string err = dir.file("err.txt");
    // The shell starts the run in the background, interrupts it once its first output is there
    // (so the run has its Ctrl+C handler, however loaded the machine) and waits.
    const std::string cmd = shellQuoted(VARDELLE_BINARY_DIR "/vardelle-cli") + " convert --to dst --jobs 2 -o " +
                            shellQuoted(out) + " " + shellQuoted(in + "/sub") + " 2>" + shellQuoted(err) +
                            " & pid=$!; i=0; while [ $i -lt 400 ] && ! ls " + shellQuoted(out) +
                            "/*.dst >/dev/null 2>&1; do sleep 0.05; i=$((i+1)); done; kill -INT $pid; wait $pid; echo $? >" + shellQuoted(dir.file("rc"));
    ASSERT_EQ(std::system(("sh -c " + shellQuoted(cmd)).c_str()), 0);
    const std::string messages = slurp(err);
    const int status = std::stoi(slurp(dir.file("rc")));
    size_t written = 0;
    if (fs::exists(out))
        for (const auto& e : fs::directory_iterator(out)) {
            EXPECT_EQ(e.path().extension(), ".dst") << e.path();  // no temporary pieces
            EXPECT_TRUE(reads(e.path().string(), "DST")) << e.path();
            ++written;
        }
    if (written < 401) {  // stopped before the end (a very fast machine may finish first)
        EXPECT_EQ(status, 1) << messages;
        EXPECT_TRUE(contains(messages, "stopped by Ctrl+C after ")) << messages;
        EXPECT_TRUE(contains(messages, "converted " + std::to_string(written) + ",")) << messages;
    } else {
        EXPECT_EQ(status, 0) << messages;
    }
}
