// The collection library on its own: finding files, naming outputs, PNG text, and files written
// from many threads at once.
#include "TestSupport.h"
#include "VDLFile.h"
#include "VDLPNG.h"
#include "model/batch/VDLBatch.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <thread>

namespace fs = std::filesystem;

TEST(BatchCollect, WalksFoldersOnceThroughLinksAndCountsWhatItLeavesOut) {
    TempDir dir;
    const std::string root = dir.file("designs");
    fs::create_directories(root + "/a/b");
    for (const char* name : {"/one.DST", "/a/two.pes", "/a/b/three.jef+", "/a/b/notes.txt", "/a/.secret.pes"})
        writeBytes(root + name, {1});
    fs::create_directory_symlink("..", root + "/a/b/up");          // a loop back to a/
    fs::create_symlink(root + "/missing.dst", root + "/gone.dst");  // a dangling link

    VDLBatchScan scan = VDLBatchCollect({root}, true);
    std::vector<std::string> relative;
    for (const auto& f : scan.files) relative.push_back(f.relative);
    EXPECT_EQ(relative, (std::vector<std::string>{"a/b/three.jef+", "a/two.pes", "one.DST"}));
    EXPECT_EQ(scan.hidden, 1u);
    EXPECT_EQ(scan.other, 1u);
    ASSERT_EQ(scan.problems.size(), 2u);
    const auto loop = std::find_if(scan.problems.begin(), scan.problems.end(), [](const auto& p) { return p.loop; });
    ASSERT_NE(loop, scan.problems.end());
    EXPECT_EQ(loop->path, root + "/a/b/up");
    const auto gone = std::find_if(scan.problems.begin(), scan.problems.end(), [](const auto& p) { return !p.loop; });
    EXPECT_EQ(gone->path, root + "/gone.dst");
    EXPECT_EQ(gone->message, "No such file or directory");

    // Not recursive: the files directly inside, the folder counted; a file given by name, once
    // however often it is reached.
    scan = VDLBatchCollect({root, root + "/a/two.pes", root + "/a/.secret.pes", root + "/a/../a/two.pes"}, false);
    ASSERT_EQ(scan.files.size(), 2u);
    EXPECT_EQ(scan.files[1].relative, "two.pes");
    EXPECT_EQ(scan.folders, 1u);
    EXPECT_EQ(scan.hidden, 1u);
}

TEST(BatchConvertTarget, KeepsTheTreeAndReplacesOnlyTheLastExtension) {
    const VDLBatchFile deep{"/in/x/y/rose.v2.dst", "x/y/rose.v2.dst"};
    EXPECT_EQ(VDLBatchConvertTarget(deep, "JEF", "/out"), "/out/x/y/rose.v2.jef");
    EXPECT_EQ(VDLBatchConvertTarget(deep, "PES", ""), "/in/x/y/rose.v2.pes");
    EXPECT_EQ(VDLBatchConvertTarget({"/in/.d/rose", "rose"}, "DST", ""), "/in/.d/rose.dst");
    EXPECT_EQ(VDLBatchConvertTarget({"/in/rose.jef+", "rose.jef+"}, "DST", "/out/"), "/out/rose.dst");
}

TEST(PNGText, PairsComeBackAndUnusableKeywordsAreLeftOut) {
    const uint32_t pixels[4] = {0xff0000ff, 0xff00ff00, 0xffff0000, 0};
    const VDLPNGText text = {{"Thumb::URI", "file:///a%20b.dst"}, {"", "no keyword"}, {std::string(80, 'k'), "too long"},
                             {"Thumb::MTime", "1700000000"}};
    const std::vector<uint8_t> png = VDLEncodePNG(reinterpret_cast<const uint8_t*>(pixels), 2, 2, 8, text);
    ASSERT_FALSE(png.empty());
    EXPECT_EQ(VDLReadPNGText(png.data(), png.size()),
              (VDLPNGText{{"Thumb::URI", "file:///a%20b.dst"}, {"Thumb::MTime", "1700000000"}}));
    EXPECT_TRUE(VDLReadPNGText(png.data(), 7).empty());
    // A cut file gives what comes before the cut, never reads past it.
    EXPECT_LE(VDLReadPNGText(png.data(), 60).size(), 1u);
}

TEST(AtomicFiles, ManyThreadsWritingNewFilesKeepTheCreationMask) {
    // Reading the mask by setting it, as writers once did, let a thread see it cleared (and
    // leave it cleared): files came out writable by everyone.
    TempDir dir;
    const mode_t old = ::umask(022);
    EXPECT_EQ(VDLCurrentUmask(), 022u);
    std::vector<std::thread> threads;
    for (int t = 0; t < 6; ++t)
        threads.emplace_back([&, t] {
            VDLDeferredFileSync deferred;
            for (int i = 0; i < 150; ++i)
                VDLWriteFileAtomically(dir.file(std::to_string(t) + "-" + std::to_string(i)), std::vector<uint8_t>{1, 2});
        });
    for (auto& t : threads) t.join();
    VDLSyncFiles({dir.path().string()});
    EXPECT_EQ(VDLCurrentUmask(), 022u);
    size_t files = 0;
    for (const auto& e : fs::directory_iterator(dir.path())) {
        struct stat st;
        ASSERT_EQ(::stat(e.path().c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0644u) << e.path();
        ++files;
    }
    EXPECT_EQ(files, 900u);
    ::umask(old);
}
