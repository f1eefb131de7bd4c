// The hosts as separate processes: the freedesktop thumbnailer and the CLI's thumbnail,
// preview and metadata commands, on good and bad files.
#include "PluginTestSupport.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/xattr.h>

#include <cerrno>

namespace {

class Hosts : public ::testing::Test {
protected:
    TempDir dir;
    std::string bad() {
        const std::string path = dir.file("bad.dst");
        writeBytes(path, std::vector<uint8_t>(600, 'x'));
        return path;
    }
};

bool exists(const std::string& p) { return std::filesystem::exists(p); }

}  // namespace

TEST_F(Hosts, ThumbnailerWritesAPngOfTheRequestedSize) {
    for (const char* sample : {"flower.dst", "flower.pes"}) {
        const std::string out = dir.file(std::string(sample) + ".png");
        ProcessRun r = runProcess(dir, kThumbnailerPath, {"-s", "128", kSamplesDir + "/" + sample, out});
        ASSERT_EQ(r.status, 0) << sample << ": " << r.err;
        EXPECT_EQ(pngSize(out), std::make_pair(128, 128)) << sample;
    }
    // A file URL is as good as a path.
    const std::string out = dir.file("url.png");
    ProcessRun r = runProcess(dir, kThumbnailerPath, {"-s", "32", "file://" + kSamplesDir + "/flower.exp", out});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(pngSize(out), std::make_pair(32, 32));
}

TEST_F(Hosts, ThumbnailerFailsWithoutWritingAndReportsUsage) {
    const std::string out = dir.file("out.png");
    ProcessRun r = runProcess(dir, kThumbnailerPath, {"-s", "128", bad(), out});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("no thumbnail"), std::string::npos) << r.err;
    r = runProcess(dir, kThumbnailerPath, {"-s", "128", dir.file("missing.pes"), out});
    EXPECT_EQ(r.status, 1);
    EXPECT_FALSE(exists(out));
    // An output that cannot be written fails as well, and leaves nothing behind.
    r = runProcess(dir, kThumbnailerPath, {"-s", "64", kSamplesDir + "/flower.dst", dir.file("no/such/dir/x.png")});
    EXPECT_EQ(r.status, 1);

    EXPECT_EQ(runProcess(dir, kThumbnailerPath, {kSamplesDir + "/flower.dst", out}).status, 2);
    EXPECT_EQ(runProcess(dir, kThumbnailerPath, {"-s", "12x", kSamplesDir + "/flower.dst", out}).status, 1);
    EXPECT_FALSE(exists(out));
}

TEST_F(Hosts, ThumbnailerNeedsItsPlugIn) {
    const std::string out = dir.file("out.png");
    ProcessRun r = runProcess(dir, kThumbnailerPath, {"-s", "64", kSamplesDir + "/flower.dst", out},
                              {"VARDELLE_PLUGIN_DIR=" + dir.path().string()});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("VardelleQuickLook.so"), std::string::npos) << r.err;
    EXPECT_FALSE(exists(out));
}

TEST_F(Hosts, CliThumbnailAndPreviewInEveryOutputType) {
    const std::string sample = kSamplesDir + "/flower.pes";
    ProcessRun r = runProcess(dir, kCliPath, {"thumbnail", sample, dir.file("t.png"), "--size", "64"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(pngSize(dir.file("t.png")), std::make_pair(64, 64));
    r = runProcess(dir, kCliPath, {"thumbnail", sample, dir.file("t600.png")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(pngSize(dir.file("t600.png")), std::make_pair(600, 600));

    r = runProcess(dir, kCliPath, {"preview", sample, dir.file("p.png")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(pngSize(dir.file("p.png")), std::make_pair(800, 600));
    r = runProcess(dir, kCliPath, {"preview", sample, dir.file("p.pdf")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(slurp(dir.file("p.pdf")).rfind("%PDF-", 0), 0u);
    r = runProcess(dir, kCliPath, {"preview", sample, dir.file("p.svg")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(slurp(dir.file("p.svg")).find("<svg"), std::string::npos);

    EXPECT_EQ(runProcess(dir, kCliPath, {"preview", sample, dir.file("p.jpg")}).status, 1);
    EXPECT_EQ(runProcess(dir, kCliPath, {"thumbnail", sample, dir.file("t.png"), "--size", "0"}).status, 1);
}

TEST_F(Hosts, CliOnABadFileWritesNothing) {
    const std::string file = bad();
    ProcessRun r = runProcess(dir, kCliPath, {"thumbnail", file, dir.file("t.png")});
    EXPECT_EQ(r.status, 1);
    r = runProcess(dir, kCliPath, {"preview", file, dir.file("p.pdf")});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Error importing preview-URL=" + file + ": "), std::string::npos) << r.err;
    EXPECT_FALSE(exists(dir.file("t.png")));
    EXPECT_FALSE(exists(dir.file("p.pdf")));
}

TEST_F(Hosts, CliMetadataPrintsAndStoresTheAttributes) {
    const std::string file = writeRectangleDesign(dir, "rect.dst");
    ASSERT_FALSE(file.empty());
    VDLDesign design;
    ASSERT_TRUE(design.importDesignFromURL(VDLURL::fileURLWithPath(file)));
    const std::string stitches = std::to_string(design.numberOfStitches());

    ProcessRun r = runProcess(dir, kCliPath, {"metadata", file});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "vardelle_embroidery_width: 100\nvardelle_embroidery_height: 50\nvardelle_embroidery_stitches: " +
                         stitches + "\nvardelle_embroidery_colors: 2\n");
    r = runProcess(dir, kCliPath, {"metadata", "--json", file});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "{\"vardelle_embroidery_width\": 100, \"vardelle_embroidery_height\": 50, "
                     "\"vardelle_embroidery_stitches\": " + stitches + ", \"vardelle_embroidery_colors\": 2}\n");

    // Extended attributes need a file system that keeps user attributes.
    if (setxattr(file.c_str(), "user.vardelle.probe", "1", 1, 0) != 0) GTEST_SKIP() << "no user xattrs here";
    removexattr(file.c_str(), "user.vardelle.probe");
    r = runProcess(dir, kCliPath, {"metadata", file, "--xattr"});
    ASSERT_EQ(r.status, 0) << r.err;
    auto xattr = [](const std::string& path, const char* name) {
        char buf[64];
        const ssize_t n = getxattr(path.c_str(), name, buf, sizeof buf);
        return n < 0 ? std::string("<none>") : std::string(buf, size_t(n));
    };
    EXPECT_EQ(xattr(file, "user.vardelle.width"), "100");
    EXPECT_EQ(xattr(file, "user.vardelle.height"), "50");
    EXPECT_EQ(xattr(file, "user.vardelle.stitches"), stitches);
    EXPECT_EQ(xattr(file, "user.vardelle.colors"), "2");

    // A file that does not import: status 1, its attributes untouched.
    const std::string b = bad();
    ASSERT_EQ(setxattr(b.c_str(), "user.vardelle.width", "9", 1, 0), 0);
    r = runProcess(dir, kCliPath, {"metadata", b, "--xattr"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.out.empty());
    EXPECT_EQ(xattr(b, "user.vardelle.width"), "9");
    EXPECT_EQ(xattr(b, "user.vardelle.height"), "<none>");
}

TEST_F(Hosts, ASideFileOrPreferencesNestedBeyondAnyOfOursAreLeftAside) {
    // A DST beside a side file 100,000 arrays deep, and preferences just as deep: the
    // thumbnailer, the metadata plug-in and the CLI read the design with its own threads.
    const std::string design = dir.file("deep.dst");
    std::filesystem::copy_file(kSamplesDir + "/flower.dst", design);
    std::string deep = "<?xml version=\"1.0\"?><plist version=\"1.0\">";
    for (int i = 0; i < 100000; ++i) deep += "<array>";
    writeBytes(dir.file("deep.threads"), std::vector<uint8_t>(deep.begin(), deep.end()));
    std::filesystem::create_directories(dir.path() / "config" / "vardelle");
    std::string prefs = "<plist version=\"1.0\">";
    for (int i = 0; i < 100000; ++i) prefs += "<dict><key>ShowJumps</key>";
    writeBytes(dir.file("config/vardelle/vardelle.app.plist"), std::vector<uint8_t>(prefs.begin(), prefs.end()));
    const std::vector<std::string> env{"XDG_CONFIG_HOME=" + dir.file("config")};

    ProcessRun r = runProcess(dir, kThumbnailerPath, {"-s", "64", design, dir.file("t.png")}, env);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(pngSize(dir.file("t.png")), std::make_pair(64, 64));
    r = runProcess(dir, kCliPath, {"metadata", design}, env);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("vardelle_embroidery_colors:"), std::string::npos) << r.out;
    r = runProcess(dir, kCliPath, {"info", design}, env);
    EXPECT_EQ(r.status, 0) << r.err;
    r = runProcess(dir, kCliPath, {"preview", design, dir.file("p.png")}, env);
    EXPECT_EQ(r.status, 0) << r.err;

    // A FIFO as the preferences file does not hold the preview up.
    std::filesystem::remove(dir.file("config/vardelle/vardelle.app.plist"));
    ASSERT_EQ(::mkfifo(dir.file("config/vardelle/vardelle.app.plist").c_str(), 0600), 0);
    r = runProcess(dir, kCliPath, {"preview", design, dir.file("p2.png")}, env);
    EXPECT_EQ(r.status, 0) << r.err;
}
