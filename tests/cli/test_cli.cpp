// vardelle-cli info, dump and convert, run as a separate process on files made here.
#include "TestSupport.h"
#include "VDLThreadFile.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace {


// A DST file: header with every tag, then stitch (+1, 0), stitch (0, +9), colour change,
// jump (-81, -3), stitch (+1, 0), end.
std::vector<uint8_t> roseDst() {
    std::string header = "LA:rose            \rST:      7\rCO:  1\r+X:    2\r-X:   79\r+Y:    9\r-Y:    0\r"
                         "AX:-   79\rAY:+    6\r";
    header.resize(512, ' ');
    std::vector<uint8_t> bytes(header.begin(), header.end());
    const uint8_t records[] = {0x01, 0x00, 0x03, 0x20, 0x00, 0x03, 0x00, 0x00, 0xC3,
                               0x00, 0x40, 0x8B, 0x01, 0x00, 0x03, 0x00, 0x00, 0xF3, 0x1A};
    for (uint8_t b : records) bytes.push_back(b);
    return bytes;
}

class CLI : public ::testing::Test {
protected:
    void SetUp() override {
        rose = dir.file("rose.dst");
        writeBytes(rose, roseDst());
    }
    TempDir dir;
    std::string rose;
};

}  // namespace

TEST_F(CLI, InfoPrintsTheSummary) {
    CliRun r = runCli(dir, {"info", rose});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.rfind("rose.dst (DST Version 1.0)\n", 0), 0u) << r.out;
    EXPECT_NE(r.out.find("4 stitches including 1 jumps"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("2 color changes"), std::string::npos) << r.out;
    EXPECT_TRUE(r.err.empty());
}

TEST_F(CLI, InfoJsonHasTheNumbersAndEscapedThreads) {
    // A thread file with texts that need escaping in JSON.
    VDLThread a(VDLColor(1, 0.5, 0), "Say \"hi\"\\\n", "", "", "");
    VDLThread b(VDLColor(0, 0, 1), "Blue", "1004", "Madeira Rayon", "Madeira Rayon");
    const std::string xml = VDLThreadFileDataForThreads({a, b});
    writeBytes(dir.file("rose.threads"), {xml.begin(), xml.end()});

    CliRun r = runCli(dir, {"info", "--json", rose});
    ASSERT_EQ(r.status, 0) << r.err;
    for (const char* part :
         {"\"name\": \"rose.dst\"", "\"type\": \"DST\"", "\"version\": 10", "\"width\": 81", "\"height\": 9",
          "\"xMin\": -80", "\"xMax\": 1", "\"yMin\": 0", "\"yMax\": 9", "\"stitches\": 4", "\"jumps\": 1",
          "\"threads\": 2", "\"differentColors\": 2", "\"hoop\": null", "\"palette\": \"\"", "\"useThreadFile\": true",
          "{\"key\": \"\", \"palette\": \"\", \"name\": \"Say \\\"hi\\\"\\\\\\n\", \"red\": 255, \"green\": 128, "
          "\"blue\": 0}",
          "{\"key\": \"1004\", \"palette\": \"Madeira Rayon\", \"name\": \"Blue\", \"red\": 0, \"green\": 0, \"blue\": 255}"})
        EXPECT_NE(r.out.find(part), std::string::npos) << part << "\n" << r.out;
    EXPECT_EQ(r.out.front(), '{');
    EXPECT_EQ(r.out.substr(r.out.size() - 2), "}\n");
}

TEST_F(CLI, DumpPrintsThreadsThenRecords) {
    VDLThread a(VDLColor(1, 0.5, 0), "Orange", "", "", "");
    VDLThread b(VDLColor(0, 0, 1), "Blue", "10 04", "Madeira Rayon", "Madeira Rayon");
    const std::string xml = VDLThreadFileDataForThreads({a, b});
    writeBytes(dir.file("rose.threads"), {xml.begin(), xml.end()});
    CliRun r = runCli(dir, {"dump", rose});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out,
              "thread 0 - - 255 128 0\n"
              "thread 1 10_04 Madeira_Rayon 0 0 255\n"
              "stitch 0 1 0 -\n"
              "stitch 1 0 9 -\n"
              "stitch 2 0 0 C\n"
              "stitch 3 -81 -3 J\n"
              "stitch 4 1 0 -\n");

    CliRun help = runCli(dir, {"dump", "--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("'-'"), std::string::npos) << help.out;
    EXPECT_NE(help.out.find("'_'"), std::string::npos) << help.out;
}

TEST_F(CLI, ConvertWritesTheTargetFormat) {
    const std::string out = dir.file("copy.exp");
    CliRun r = runCli(dir, {"convert", rose, out});
    ASSERT_EQ(r.status, 0) << r.err;
    CliRun back = runCli(dir, {"dump", out});
    ASSERT_EQ(back.status, 0) << back.err;
    // The same needle positions: the last record ends at (-79, 6) whatever the records.
    VDLDesign d;
    ASSERT_TRUE(d.importDesignFromURL(VDLURL::fileURLWithPath(out)));
    const auto positions = absolutePositions(d);
    EXPECT_EQ(positions.back(), (VDLPoint{-79, 6}));
    EXPECT_EQ(d.numberOfThreads(), 2);
}

TEST_F(CLI, FailuresNameTheFileAndLeaveTargetsAlone) {
    std::filesystem::create_directory(dir.file("folder.dst"));
    writeBytes(dir.file("empty.dst"), {});
    writeBytes(dir.file("rose.xyz"), {1, 2, 3});
    const std::vector<uint8_t> old = {'o', 'l', 'd'};
    writeBytes(dir.file("keep.dst"), old);
    writeBytes(dir.file("keep.xyz"), old);

    struct Case {
        std::vector<std::string> args;
        std::string file;
        std::string tail;
    } cases[] = {
        {{"info", dir.file("missing.dst")}, dir.file("missing.dst"), "No such file or directory (code 2)"},
        {{"dump", dir.file("folder.dst")}, dir.file("folder.dst"), "Is a directory (code 21)"},
        {{"info", dir.file("empty.dst")}, dir.file("empty.dst"), "(code 123)"},
        {{"info", "--json", dir.file("rose.xyz")}, dir.file("rose.xyz"), "Unknown file format (UTI). (code 10)"},
        {{"convert", dir.file("empty.dst"), dir.file("keep.dst")}, dir.file("empty.dst"), "(code 123)"},
        {{"convert", rose, dir.file("keep.xyz")}, dir.file("keep.xyz"), "Unsupported file format (UTI) for export. (code 50)"},
        {{"convert", rose, dir.file("nowhere/out.dst")}, dir.file("nowhere/out.dst"), "No such file or directory (code 2)"},
        {{"convert", rose, dir.file("folder.dst")}, dir.file("folder.dst"), "Is a directory (code 21)"},
    };
    for (const auto& c : cases) {
        CliRun r = runCli(dir, c.args);
        EXPECT_EQ(r.status, 1) << c.args[0] << " " << c.file;
        const std::string line = "vardelle-cli: " + c.file + ": ";
        const auto at = r.err.find(line);
        ASSERT_NE(at, std::string::npos) << r.err;
        const std::string rest = r.err.substr(at + line.size());
        EXPECT_NE(rest.find(c.tail + "\n"), std::string::npos) << r.err;
        EXPECT_TRUE(r.out.empty()) << r.out;
    }
    EXPECT_EQ(readBytes(dir.file("keep.dst")), old);
    EXPECT_EQ(readBytes(dir.file("keep.xyz")), old);
    EXPECT_TRUE(std::filesystem::is_directory(dir.file("folder.dst")));

    if (::geteuid() != 0) {  // root reads whatever the permission bits say
        ::chmod(rose.c_str(), 0);
        CliRun r = runCli(dir, {"info", rose});
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.err.find("Permission denied (code 13)"), std::string::npos) << r.err;
    }
}

TEST_F(CLI, UsageErrorsExitWith2) {
    const std::vector<std::vector<std::string>> misuses = {
        {},
        {"info"},
        {"info", rose, "--bogus"},
        {"dump", rose, rose},
        {"convert", rose},
        {"frobnicate"},
    };
    for (const auto& args : misuses) {
        CliRun r = runCli(dir, args);
        EXPECT_EQ(r.status, 2) << (args.empty() ? "(none)" : args[0]);
        EXPECT_FALSE(r.err.empty());
    }
}

TEST_F(CLI, VersionAndShortHelp) {
    CliRun v = runCli(dir, {"--version"});
    EXPECT_EQ(v.status, 0) << v.err;
    EXPECT_EQ(v.out, std::string("vardelle-cli (Vardelle) ") + VARDELLE_VERSION + "\n");
    EXPECT_TRUE(v.err.empty());

    CliRun h = runCli(dir, {"-h"});
    EXPECT_EQ(h.status, 0) << h.err;
    EXPECT_EQ(h.out.rfind("usage: vardelle-cli COMMAND", 0), 0u) << h.out;
    EXPECT_NE(h.out.find("--version"), std::string::npos) << h.out;
}
