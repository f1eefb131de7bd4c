// vardelle-cli render on the bundled sample: the three output kinds and the failures.
#include "TestSupport.h"

#include <cairo.h>
#include <gtest/gtest.h>

#include <cstdlib>

#include <filesystem>

namespace {
const std::string kSample = VARDELLE_SOURCE_DIR "/resources/samples/flower.dst";
}

TEST(CLIRender, WritesPngSvgAndPdf) {
    TempDir dir;
    auto png = runCli(dir, {"render", kSample, dir.file("f.png"), "--size", "64", "--3d", "--jumps"});
    ASSERT_EQ(png.status, 0) << png.err;
    const std::string pngBytes = slurp(dir.file("f.png"));
    ASSERT_GE(pngBytes.size(), 24u);
    EXPECT_EQ(pngBytes.substr(0, 8), "\x89PNG\r\n\x1a\n");
    // IHDR width and height, big-endian, right after the signature and chunk header.
    EXPECT_EQ(pngBytes.substr(16, 8), std::string("\0\0\0\x40\0\0\0\x40", 8));

    EXPECT_EQ(runCli(dir, {"render", kSample, dir.file("f.svg"), "--points", "--thread", "0"}).status, 0);
    EXPECT_NE(slurp(dir.file("f.svg")).find("<svg"), std::string::npos);
    EXPECT_EQ(runCli(dir, {"render", kSample, dir.file("f.pdf")}).status, 0);
    EXPECT_EQ(slurp(dir.file("f.pdf")).substr(0, 5), "%PDF-");
}

TEST(CLIRender, FailuresWriteNothing) {
    TempDir dir;
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"render", kSample, dir.file("f.bmp")},
             {"render", kSample, dir.file("f.png"), "--size", "0"},
             {"render", kSample, dir.file("f.png"), "--thread", "999"},
             {"render", dir.file("missing.dst"), dir.file("f.png")},
         }) {
        const auto r = runCli(dir, args);
        EXPECT_EQ(r.status, 1) << args[2] << ": " << r.err;
        EXPECT_EQ(r.err.rfind("vardelle-cli: ", 0), 0u) << r.err;
    }
    EXPECT_EQ(runCli(dir, {"render", kSample}).status, 2);
    EXPECT_FALSE(std::filesystem::exists(dir.file("f.png")));
    EXPECT_FALSE(std::filesystem::exists(dir.file("f.bmp")));
}

TEST(CLIRender, PixelPathAndCairoGiveTheSamePicture) {
    // PNG is drawn pixel by pixel unless --cairo asks for Cairo; both pictures of the sample are
    // within a few levels of each other on average (the exact limits are in the render tests).
    TempDir dir;
    ASSERT_EQ(runCli(dir, {"render", kSample, dir.file("raster.png"), "--size", "200", "--3d"}).status, 0);
    ASSERT_EQ(runCli(dir, {"render", kSample, dir.file("cairo.png"), "--size", "200", "--3d", "--cairo"}).status, 0);
    auto pixels = [](const std::string& path) {
        cairo_surface_t* s = cairo_image_surface_create_from_png(path.c_str());
        cairo_surface_flush(s);
        const unsigned char* d = cairo_image_surface_get_data(s);
        std::vector<unsigned char> out(d, d + size_t(cairo_image_surface_get_stride(s)) * 200);
        cairo_surface_destroy(s);
        return out;
    };
    const auto a = pixels(dir.file("raster.png")), b = pixels(dir.file("cairo.png"));
    ASSERT_EQ(a.size(), b.size());
    double sum = 0;
    size_t differing = 0;
    for (size_t i = 0; i < a.size(); ++i) {
        sum += std::abs(int(a[i]) - int(b[i]));
        differing += a[i] != b[i];
    }
    EXPECT_LE(sum / double(a.size()), 1.0);
    EXPECT_GT(differing, 0u);  // two different paths really drew them
}
