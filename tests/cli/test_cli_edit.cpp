// vardelle-cli edit, run as a separate process: each edit on a DST file written by our own
// writer, the order of the edits, and the arguments and failures that leave OUT alone.
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

namespace {


// The needle drops of the ordinary stitches that move, in sewing order.
std::vector<VDLPoint> sewn(const VDLDesign& d) {
    std::vector<VDLPoint> out;
    double x = 0, y = 0;
    for (const auto& s : d.stitches()) {
        x += s.deltaX;
        y += s.deltaY;
        if (!s.isJumpStitch && !s.isColorChange && !s.isNullStitch()) out.push_back({x, y});
    }
    return out;
}

class CLIEdit : public ::testing::Test {
protected:
    void SetUp() override {
        // A 10 x 6 mm rectangle centred on the start point, sewn after a jump to its corner,
        // then a second block of two stitches; the box around it and the start point is
        // centred on (0, 0) as well.
        VDLDesign d = makeDesign({VDLStitch(-50, -30, true, false), VDLStitch(100, 0, false, false),
                                  VDLStitch(0, 60, false, false), VDLStitch(-100, 0, false, false),
                                  VDLStitch(0, -60, false, false), VDLStitch(0, 0, false, true),
                                  VDLStitch(20, 10, false, false), VDLStitch(10, 10, false, false)},
                                 "DST");
        in = dir.file("in.dst");
        VDLError error;
        ASSERT_TRUE(d.exportDesignToURL(VDLURL::fileURLWithPath(in), &error)) << error.message();
        original = read(in);
    }

    VDLDesign read(const std::string& path) {
        VDLDesign d;
        VDLError error;
        EXPECT_TRUE(d.importDesignFromURL(VDLURL::fileURLWithPath(path), &error)) << path << ": " << error.message();
        return d;
    }

    // Runs edit with OPTIONS into OUT and expects each needle drop of IN, sent through MAP,
    // in OUT. DST writes positions rounded down to whole units, so a position a hair below a
    // whole unit (a rotation by float sines) may land one unit lower.
    void expectEdited(const std::vector<std::string>& options, VDLPoint (*map)(VDLPoint),
                      const std::string& name = "out.dst") {
        const std::string out = dir.file(name);
        std::vector<std::string> args = {"edit", in, out};
        args.insert(args.end(), options.begin(), options.end());
        CliRun r = runCli(dir, args);
        ASSERT_EQ(r.status, 0) << r.err;
        const auto want = sewn(original);
        const auto got = sewn(read(out));
        ASSERT_EQ(want.size(), got.size());
        for (size_t i = 0; i < want.size(); ++i) {
            const VDLPoint p = map(want[i]);
            EXPECT_NEAR(got[i].x, p.x, 1.01) << options[0] << " stitch " << i;
            EXPECT_NEAR(got[i].y, p.y, 1.01) << options[0] << " stitch " << i;
        }
    }

    TempDir dir;
    std::string in;
    VDLDesign original;
};

}  // namespace

TEST_F(CLIEdit, EachEditMovesTheStitchesWhereItShould) {
    expectEdited({"--move", "1", "-2.5"}, [](VDLPoint p) { return VDLPoint{p.x + 10, p.y - 25}; });
    expectEdited({"--rotate", "90"}, [](VDLPoint p) { return VDLPoint{-p.y, p.x}; });
    expectEdited({"--flip", "V"}, [](VDLPoint p) { return VDLPoint{-p.x, p.y}; });
    expectEdited({"--scale", "1.2"}, [](VDLPoint p) { return VDLPoint{p.x * 1.2, p.y * 1.2}; });
    expectEdited({"--scale", "-0.5"}, [](VDLPoint p) { return VDLPoint{p.x * -0.5, p.y * -0.5}; });
    expectEdited({"--center"}, [](VDLPoint p) { return p; });  // already centred

    // Basting: a black block in front, 2 mm outside the bounds; the design's blocks follow.
    CliRun r = runCli(dir, {"edit", in, dir.file("basted.dst"), "--basting", "5", "2"});
    ASSERT_EQ(r.status, 0) << r.err;
    const VDLDesign basted = read(dir.file("basted.dst"));
    EXPECT_EQ(basted.numberOfThreads(), original.numberOfThreads() + 1);
    EXPECT_EQ(basted.xMin(), original.xMin() - 20);
    EXPECT_EQ(basted.yMax(), original.yMax() + 20);
    EXPECT_EQ(sewn(basted).back().x, sewn(original).back().x);
}

TEST_F(CLIEdit, EditsApplyInTheOrderGivenAndWithinTheLimitsOfOut) {
    // Moving then centring ends centred; centring then moving ends moved. (DST wants the
    // start point inside the design, so the moves stay short.)
    expectEdited({"--move", "2", "0", "--center"}, [](VDLPoint p) { return p; });
    expectEdited({"--center", "--move", "2", "0"}, [](VDLPoint p) { return VDLPoint{p.x + 20, p.y}; });
    // Basting then scaling scales the frame's distance too; scaling then basting does not.
    ASSERT_EQ(runCli(dir, {"edit", in, dir.file("bs.dst"), "--basting", "5", "2", "--scale", "1.2"}).status, 0);
    ASSERT_EQ(runCli(dir, {"edit", in, dir.file("sb.dst"), "--scale", "1.2", "--basting", "5", "2"}).status, 0);
    EXPECT_NEAR(read(dir.file("bs.dst")).xMin(), -50 * 1.2 - 24, 1.01);
    EXPECT_NEAR(read(dir.file("sb.dst")).xMin(), -50 * 1.2 - 20, 1.01);
    // A repeated option is applied again.
    expectEdited({"--rotate", "45", "--rotate", "45"}, [](VDLPoint p) { return VDLPoint{-p.y, p.x}; });

    // A move of 30 cm is cut into jumps the target format can encode (EXP: 126 units).
    expectEdited({"--move", "300", "0"}, [](VDLPoint p) { return VDLPoint{p.x + 3000, p.y}; }, "far.exp");
    const VDLDesign far = read(dir.file("far.exp"));
    for (const auto& s : far.stitches()) EXPECT_LE(std::fabs(s.deltaX), 126.0f);
    EXPECT_GT(far.stitches().size(), original.stitches().size() + 20);
}

TEST_F(CLIEdit, BadArgumentsAreUsageErrorsAndLeaveOutAlone) {
    const std::string out = dir.file("keep.dst");
    const std::vector<uint8_t> old = {'o', 'l', 'd'};
    writeBytes(out, old);
    const std::vector<std::vector<std::string>> misuses = {
        {"--scale", "0"},        {"--scale", "-0.0"},    {"--scale", "abc"},    {"--scale", "nan"},
        {"--scale", "1e9"},      {"--scale"},            {"--rotate", "1.5"},   {"--rotate", "x"},
        {"--rotate", "99999999999"}, {"--flip", "v"},    {"--flip", "X"},       {"--move", "1"},
        {"--move", "1", "y"},    {"--move", "inf", "0"}, {"--basting", "0", "2"}, {"--basting", "5", "-1"},
        {"--basting", "5"},      {"--spin"},             {"--center", "extra"},
    };
    for (const auto& options : misuses) {
        std::vector<std::string> args = {"edit", in, out};
        args.insert(args.end(), options.begin(), options.end());
        CliRun r = runCli(dir, args);
        EXPECT_EQ(r.status, 2) << options[0] << " " << (options.size() > 1 ? options[1] : "");
        EXPECT_NE(r.err.find("usage: vardelle-cli edit IN OUT"), std::string::npos) << r.err;
    }
    CliRun zero = runCli(dir, {"edit", in, out, "--scale", "0"});
    EXPECT_NE(zero.err.find("vardelle-cli: edit: --scale 0 would shrink the design to a point"), std::string::npos)
        << zero.err;
    EXPECT_EQ(runCli(dir, {"edit", in}).status, 2);
    EXPECT_EQ(readBytes(out), old);
}

TEST_F(CLIEdit, FailuresNameTheFileAndLeaveOutAlone) {
    const std::vector<uint8_t> old = {'o', 'l', 'd'};
    writeBytes(dir.file("keep.dst"), old);
    writeBytes(dir.file("keep.jef"), old);
    writeBytes(dir.file("keep.vp3"), old);
    struct Case {
        std::vector<std::string> args;
        std::string file;
        std::string tail;
    } cases[] = {
        {{"edit", dir.file("missing.dst"), dir.file("keep.dst"), "--center"}, dir.file("missing.dst"),
         "No such file or directory (code 2)"},
        {{"edit", in, dir.file("keep.vp3"), "--rotate", "10"}, dir.file("keep.vp3"),
         "Unsupported file format (UTI) for export. (code 50)"},
        // Fifty times larger, the design fits no Janome hoop: the writer refuses it.
        {{"edit", in, dir.file("keep.jef"), "--scale", "50"}, dir.file("keep.jef"), "(code 63)"},
        {{"edit", in, dir.file("nowhere/out.dst")}, dir.file("nowhere/out.dst"), "No such file or directory (code 2)"},
    };
    for (const auto& c : cases) {
        CliRun r = runCli(dir, c.args);
        EXPECT_EQ(r.status, 1) << c.file;
        const std::string line = "vardelle-cli: " + c.file + ": ";
        const auto at = r.err.find(line);
        ASSERT_NE(at, std::string::npos) << r.err;
        EXPECT_NE(r.err.find(c.tail + "\n", at), std::string::npos) << r.err;
    }
    EXPECT_EQ(readBytes(dir.file("keep.dst")), old);
    EXPECT_EQ(readBytes(dir.file("keep.jef")), old);
    EXPECT_EQ(readBytes(dir.file("keep.vp3")), old);

    // IN and OUT may be the same file: it is read whole before it is replaced.
    const std::string same = dir.file("same.dst");
    writeBytes(same, readBytes(in));
    ASSERT_EQ(runCli(dir, {"edit", same, same, "--move", "1", "0"}).status, 0);
    const auto moved = sewn(read(same));
    EXPECT_NEAR(moved.front().x, sewn(original).front().x + 10, 0.51);
}
