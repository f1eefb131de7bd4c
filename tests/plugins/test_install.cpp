// The installed tree: `cmake --install` into a fresh prefix, then the thumbnailer entry and
// the MIME package are checked with the desktop's own tools where they are installed, and the
// installed thumbnailer and CLI find their plug-ins and resources without any help.
#include "PluginTestSupport.h"

#include <gtest/gtest.h>

#include <map>
#include <regex>
#include <set>
#include <sstream>

namespace {

bool haveTool(const char* name) {
    const std::string cmd = std::string("command -v ") + name + " >/dev/null 2>&1";
    return std::system(cmd.c_str()) == 0;
}

// Our own types; the image types in the package only add magic to the database's own.
std::set<std::string> declaredMimeTypes(const std::string& xml) {
    std::set<std::string> types;
    const std::regex re("<mime-type type=\"(application/[^\"]+)\"");
    for (auto it = std::sregex_iterator(xml.begin(), xml.end(), re); it != std::sregex_iterator(); ++it)
        types.insert((*it)[1]);
    return types;
}

class InstalledTree : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        prefix_ = new TempDir;
        TempDir logs;
        const ProcessRun r = runProcess(logs, VARDELLE_CMAKE_COMMAND,
                                        {"--install", VARDELLE_BINARY_DIR, "--prefix", prefix_->path().string()});
        installStatus_ = r.status;
        installLog_ = r.out + r.err;
    }
    static void TearDownTestSuite() {
        delete prefix_;
        prefix_ = nullptr;
    }
    void SetUp() override { ASSERT_EQ(installStatus_, 0) << installLog_; }

    static std::string installed(const std::string& rel) { return prefix_->file(rel); }

    static TempDir* prefix_;
    static int installStatus_;
    static std::string installLog_;
    TempDir dir;
};
TempDir* InstalledTree::prefix_ = nullptr;
int InstalledTree::installStatus_ = -1;
std::string InstalledTree::installLog_;

}  // namespace

TEST_F(InstalledTree, HoldsTheHostsPlugInsAndDesktopFiles) {
    for (const char* rel : {"bin/vardelle-thumbnailer", "bin/vardelle-cli", "lib/vardelle/VardelleQuickLook.so",
                            "lib/vardelle/VardelleSpotlight.so", "share/thumbnailers/vardelle.thumbnailer",
                            "share/mime/packages/vardelle-embroidery.xml"})
        EXPECT_TRUE(std::filesystem::is_regular_file(installed(rel))) << rel;
    EXPECT_TRUE(std::filesystem::exists(installed("share/vardelle/Undefined.clr")));
}

TEST_F(InstalledTree, ThumbnailerEntryIsValid) {
    const std::string path = installed("share/thumbnailers/vardelle.thumbnailer");
    const std::string text = slurp(path);

    // Key file syntax: one group, unique keys.
    std::istringstream lines(text);
    std::string line, group;
    std::map<std::string, std::string> keys;
    while (std::getline(lines, line)) {
        if (line.empty() || line[0] == '#') continue;
        if (line.front() == '[') {
            EXPECT_TRUE(group.empty()) << "a second group: " << line;
            group = line;
            continue;
        }
        const size_t eq = line.find('=');
        ASSERT_NE(eq, std::string::npos) << line;
        EXPECT_TRUE(keys.emplace(line.substr(0, eq), line.substr(eq + 1)).second) << "repeated key: " << line;
    }
    EXPECT_EQ(group, "[Thumbnailer Entry]");
    EXPECT_EQ(keys["TryExec"], "vardelle-thumbnailer");
    EXPECT_TRUE(std::filesystem::is_regular_file(installed("bin/" + keys["TryExec"])));
    EXPECT_EQ(keys["Exec"], "vardelle-thumbnailer -s %s %i %o");

    // Every listed type is one the MIME package declares, and every declared type is listed.
    const std::string types = keys["MimeType"];
    ASSERT_FALSE(types.empty());
    EXPECT_EQ(types.back(), ';');
    std::set<std::string> listed;
    std::istringstream list(types);
    for (std::string t; std::getline(list, t, ';');) EXPECT_TRUE(listed.insert(t).second) << "listed twice: " << t;
    EXPECT_EQ(listed, declaredMimeTypes(slurp(installed("share/mime/packages/vardelle-embroidery.xml"))));

    // desktop-file-validate knows only desktop entries: it objects to the group name and the
    // file name of any thumbnailer entry, and to nothing else in a sound one.
    if (!haveTool("desktop-file-validate")) GTEST_SKIP() << "desktop-file-validate is not installed";
    const ProcessRun r = runProcess(dir, "desktop-file-validate", {path});
    std::istringstream report(r.out + r.err);
    for (std::string msg; std::getline(report, msg);) {
        if (msg.find("error:") == std::string::npos && msg.find("warning:") == std::string::npos) continue;
        const bool expected = msg.find("first group is not \"Desktop Entry\"") != std::string::npos ||
                              msg.find("groups extending the format should start with \"X-\"") != std::string::npos ||
                              msg.find("does not have a .desktop extension") != std::string::npos;
        EXPECT_TRUE(expected) << msg;
    }
}

TEST_F(InstalledTree, MimePackageValidatesAndClaimsEveryExtension) {
    const std::string package = installed("share/mime/packages/vardelle-embroidery.xml");
    if (!haveTool("xmllint")) GTEST_SKIP() << "xmllint is not installed";
    ProcessRun r = runProcess(dir, "xmllint",
                              {"--noout", "--relaxng", VARDELLE_SOURCE_DIR "/tests/plugins/shared-mime-info.rng", package});
    EXPECT_EQ(r.status, 0) << r.out << r.err;

    if (!haveTool("update-mime-database")) GTEST_SKIP() << "update-mime-database is not installed";
    const std::string mimeDir = installed("share/mime");
    r = runProcess(dir, "update-mime-database", {mimeDir});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string globs = slurp(mimeDir + "/globs2");
    for (const char* ext : {"dst", "exp", "vp3", "ksm", "pes", "pec", "jef", "jef+", "jpx", "sew", "pcs", "pcd", "pcq"}) {
        std::string upper = ext;
        for (auto& c : upper) c = char(std::toupper(static_cast<unsigned char>(c)));
        EXPECT_NE(globs.find(std::string(":*.") + ext + "\n"), std::string::npos) << ext;
        EXPECT_NE(globs.find(":*." + upper + ":cs\n"), std::string::npos) << upper;
    }
    // The same weight as the database's own claims on these two: the content decides.
    EXPECT_NE(globs.find("50:application/x-jpx:*.jpx\n"), std::string::npos);
    EXPECT_NE(globs.find("50:application/x-pcd:*.pcd\n"), std::string::npos);

    // What the desktop makes of files, with our database in front of the system's.
    if (!haveTool("gio")) GTEST_SKIP() << "gio is not installed";
    auto contentType = [&](const std::string& file) {
        const ProcessRun g = runProcess(dir, "gio", {"info", "-a", "standard::content-type", file},
                                        {"XDG_DATA_HOME=" + installed("share"), "XDG_DATA_DIRS=/usr/share"});
        const size_t at = g.out.find("standard::content-type: ");
        if (at == std::string::npos) return std::string("<none>");
        const size_t b = at + 24;
        return g.out.substr(b, g.out.find('\n', b) - b);
    };
    const auto sample = readBytes(kSamplesDir + "/flower.jef");
    writeBytes(dir.file("design.jef+"), sample);
    // A JPX design: stitch offset 120, version 1, two threads, hoop 0, a short stream.
    std::vector<uint8_t> jpx(120, 0);
    jpx[0] = 120;
    jpx[4] = 1;
    jpx[32] = 2;
    jpx[60] = 1;
    jpx[64] = 5;
    for (uint8_t b : {0x0A, 0x0A, 0x80, 0x10}) jpx.push_back(b);
    writeBytes(dir.file("design.jpx"), jpx);
    // A PCD design: type 0, one colour, one stitch.
    writeBytes(dir.file("DESIGN.PCD"), {0x32, 0x00, 0x01, 0x00, 0xFF, 0x00, 0x00, 0x00, 0x01, 0x00,
                                        0x00, 0x10, 0x00, 0x00, 0x00, 0x10, 0x00, 0x00, 0x00});
    // The JPEG 2000 family: a JPX image, and a JP2 image (brand "jp2 ") named .jpx; a Photo CD
    // image: 2048 bytes, then its image pack.
    std::vector<uint8_t> jp2 = {0x00, 0x00, 0x00, 0x0C, 'j', 'P', ' ', ' ', 0x0D, 0x0A, 0x87, 0x0A,
                                0x00, 0x00, 0x00, 0x14, 'f', 't', 'y', 'p', 'j', 'p', '2', ' ',
                                0x00, 0x00, 0x00, 0x00, 'j', 'p', '2', ' '};
    jp2.resize(200, 0);
    writeBytes(dir.file("photo2.jpx"), jp2);
    for (int i = 0; i < 3; ++i) jp2[20 + i] = "jpx"[i];
    writeBytes(dir.file("photo.jpx"), jp2);
    std::vector<uint8_t> photoCd(2048, 0xFF);
    for (char c : std::string("PCD_IPI")) photoCd.push_back(uint8_t(c));
    photoCd.resize(4096, 0);
    writeBytes(dir.file("photo.pcd"), photoCd);
    writeBytes(dir.file("brother"), readBytes(kSamplesDir + "/flower.pec"));    // by magic
    writeBytes(dir.file("tajima"), readBytes(kSamplesDir + "/flower.dst"));
    writeBytes(dir.file("pfaff"), {'%', 'v', 's', 'm', '%', 0, 0, 0, 0, 0});
    EXPECT_EQ(contentType(dir.file("design.jpx")), "application/x-jpx");
    EXPECT_EQ(contentType(dir.file("DESIGN.PCD")), "application/x-pcd");
    EXPECT_EQ(contentType(dir.file("photo.jpx")), "image/jpx");
    EXPECT_EQ(contentType(dir.file("photo2.jpx")), "image/jpx");
    EXPECT_EQ(contentType(dir.file("photo.pcd")), "image/x-photo-cd");
    EXPECT_EQ(contentType(dir.file("design.jef+")), "application/x-jef");
    EXPECT_EQ(contentType(dir.file("brother")), "application/x-pec");
    EXPECT_EQ(contentType(dir.file("tajima")), "application/x-dst");
    EXPECT_EQ(contentType(dir.file("pfaff")), "application/x-vp3");
}

TEST_F(InstalledTree, InstalledHostsFindTheirPlugInsAndResources) {
    // Nothing from the build or source tree: no resource or plug-in folder given.
    const std::vector<std::string> env = {"VARDELLE_RESOURCES=", "VARDELLE_PLUGIN_DIR="};
    const std::string out = dir.file("thumb.png");
    ProcessRun r = runProcess(dir, installed("bin/vardelle-thumbnailer"), {"-s", "256", kSamplesDir + "/flower.dst", out}, env);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(pngSize(out), std::make_pair(256, 256));

    r = runProcess(dir, installed("bin/vardelle-cli"), {"metadata", "--json", kSamplesDir + "/flower.dst"}, env);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("\"vardelle_embroidery_colors\": "), std::string::npos) << r.out;
}
