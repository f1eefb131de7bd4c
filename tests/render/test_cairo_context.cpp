// The Cairo context: pixels land where a Y-up drawing puts them, outputs are well-formed, and
// bad input never leaves Cairo in its dead error state.
#include "TestSupport.h"
#include "VDLCairoContext.h"
#include "VDLDesign.h"
#include "VDLError.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cmath>
#include <filesystem>
#include <string>

namespace {

bool startsWith(const std::vector<uint8_t>& bytes, const std::string& magic) {
    return bytes.size() >= magic.size() && std::string(bytes.begin(), bytes.begin() + long(magic.size())) == magic;
}

bool isWhiteish(const VDLRGBA& c) { return c.a > 0.99 && c.r > 0.9 && c.g > 0.9 && c.b > 0.9; }
bool isTransparent(const VDLRGBA& c) { return c.a == 0; }

std::unique_ptr<VDLCairoContext> whiteImage(int w, int h) {
    auto ctx = VDLCairoContext::imageContext(w, h);
    ctx->setFillColor({1, 1, 1, 1});
    ctx->fillRect(0, 0, w, h);
    return ctx;
}

}  // namespace

TEST(CairoContext, FlippedDesignLandsYUpWithItsThreadColours) {
    // Red block along the bottom edge, blue block up the left edge, in a 100 x 100 image with
    // one design unit per pixel.
    VDLDesign d = makeDesign({VDLStitch(10, 10, false, false), VDLStitch(80, 0, false, false),
                              VDLStitch(-80, 0, true, false), VDLStitch(0, 1, false, true),
                              VDLStitch(0, 1, false, false), VDLStitch(0, 78, false, false)});
    d.setThreads({VDLThread(VDLColor(1, 0, 0), "r", "", "", ""), VDLThread(VDLColor(0, 0, 1), "b", "", "", "")});
    auto ctx = whiteImage(100, 100);
    ctx->flipVertically(100);
    d.drawDesignInRect(VDLMakeRect(0, 0, 100, 100), *ctx, false, false, false);
    ASSERT_TRUE(ctx->ok());

    // Design y = 10 is image row 89/90; design y = 50 on x = 10 is the blue line.
    const VDLRGBA red = ctx->pixel(50, 89);
    EXPECT_GT(red.r, 0.9);
    EXPECT_LT(red.g, 0.1);
    const VDLRGBA blue = ctx->pixel(10, 50);
    EXPECT_GT(blue.b, 0.9);
    EXPECT_LT(blue.r, 0.1);
    EXPECT_TRUE(isWhiteish(ctx->pixel(50, 10)));  // the top row of the design is empty
    EXPECT_TRUE(isWhiteish(ctx->pixel(50, 50)));  // the jump is hidden
    EXPECT_TRUE(isTransparent(VDLCairoContext::imageContext(4, 4)->pixel(1, 1)));
    EXPECT_TRUE(isTransparent(ctx->pixel(-1, 200)));  // outside the image: no read
}

TEST(CairoContext, ShadedTubesStayInsideTheirCapsule) {
    // Vertical, horizontal and diagonal tubes, both directions: each capsule must hug its
    // segment (a cap arc running the wrong way round would reach across the segment's
    // middle or leave the body empty).
    struct Case {
        float x0, y0, x1, y1;
    } cases[] = {{20, 10, 20, 90}, {20, 90, 20, 10}, {10, 50, 90, 50}, {90, 50, 10, 50}, {10, 10, 90, 90}, {90, 90, 10, 10}};
    for (const auto& c : cases) {
        // The first stitch only leads to the start; the second is the thread segment.
        VDLDesign d = makeDesign({VDLStitch(c.x0, c.y0, false, false), VDLStitch(c.x1 - c.x0, c.y1 - c.y0, false, false)});
        d.setThreads({VDLThread(VDLColor(0.2, 0.6, 0.2), "g", "", "", "")});
        // Four pixels per design unit, so the 2.45-unit tube is about 10 pixels wide.
        auto ctx = whiteImage(400, 400);
        ctx->flipVertically(400);
        ctx->scale(4, 4);
        d.drawDesignInRect(VDLMakeRect(0, 0, 100, 100), *ctx, true, false, false);
        ASSERT_TRUE(ctx->ok());
        const double mx = (c.x0 + c.x1) / 2 * 4, my = 400 - (c.y0 + c.y1) / 2 * 4;
        const VDLRGBA mid = ctx->pixel(int(mx), int(my));
        EXPECT_FALSE(isWhiteish(mid)) << c.x0 << "," << c.y0;
        EXPECT_GT(mid.g, mid.r) << c.x0 << "," << c.y0;
        // 10 design units beside the middle, across the segment: white.
        const double len = std::hypot(c.x1 - c.x0, c.y1 - c.y0);
        const double nx = -(c.y1 - c.y0) / len, ny = (c.x1 - c.x0) / len;
        EXPECT_TRUE(isWhiteish(ctx->pixel(int(mx + nx * 40), int(my - ny * 40)))) << c.x0 << "," << c.y0;
        // Beyond the end caps along the segment: white.
        const double dx = (c.x1 - c.x0) / len, dy = (c.y1 - c.y0) / len;
        // The rounded caps bulge outwards: just past either end, on the axis, the light middle
        // of the gradient shows rather than the dark outline beneath.
        EXPECT_GT(ctx->pixel(int(c.x1 * 4 + dx * 2), int(400 - c.y1 * 4 - dy * 2)).g, 0.6) << c.x0 << "," << c.y0;
        EXPECT_GT(ctx->pixel(int(c.x0 * 4 - dx * 2), int(400 - c.y0 * 4 + dy * 2)).g, 0.6) << c.x0 << "," << c.y0;
        EXPECT_TRUE(isWhiteish(ctx->pixel(int(c.x1 * 4 + dx * 20), int(400 - c.y1 * 4 - dy * 20))));
    }
}

TEST(CairoContext, GradientIsPlacedByItsEndPointsAndDoesNotExtend) {
    auto ctx = VDLCairoContext::imageContext(100, 20);
    const std::vector<VDLGradientStop> stops{{0, {0, 0, 0, 1}}, {1, {1, 1, 1, 1}}};
    ctx->drawLinearGradient(stops, 20, 0, 80, 0);
    EXPECT_TRUE(isTransparent(ctx->pixel(10, 10)));
    EXPECT_TRUE(isTransparent(ctx->pixel(90, 10)));
    EXPECT_LT(ctx->pixel(22, 10).r, 0.1);
    EXPECT_GT(ctx->pixel(78, 10).r, 0.9);
    EXPECT_NEAR(ctx->pixel(50, 10).r, 0.5, 0.03);

    // The same stops at another place and direction (the pattern is reused): right to left,
    // clipped to the lower half.
    auto ctx2 = VDLCairoContext::imageContext(100, 20);
    ctx2->drawLinearGradient(stops, 20, 0, 80, 0);
    ctx2->saveGState();
    ctx2->addRect(0, 10, 100, 10);
    ctx2->clip();
    ctx2->drawLinearGradient(stops, 60, 0, 40, 0);
    ctx2->restoreGState();
    EXPECT_GT(ctx2->pixel(41, 15).r, 0.9);
    EXPECT_LT(ctx2->pixel(59, 15).r, 0.1);
    EXPECT_LT(ctx2->pixel(22, 5).r, 0.1);  // upper half untouched by the second gradient
    // A gradient without an axis paints nothing.
    ctx2->drawLinearGradient(stops, 5, 5, 5, 5);
    EXPECT_TRUE(isTransparent(ctx2->pixel(5, 5)));
    EXPECT_TRUE(ctx2->ok());
}

TEST(CairoContext, BadInputLeavesTheContextUsable) {
    auto ctx = whiteImage(50, 50);
    ctx->selectFont("No Such Font Family", 10, true);
    ctx->setFillColor({0, 0, 0, 1});
    ctx->showText(5, 20, "Ab\xff\xfe\xc3(");  // not UTF-8
    EXPECT_GT(ctx->textWidth("\xe2\x82"), 0);
    ctx->setLineDash(0, {-1, 2});
    ctx->setLineDash(0, {0, 0});
    ctx->restoreGState();  // unbalanced
    ctx->saveGState();
    ctx->scale(0, 1);  // singular: draws nothing until restored
    ctx->fillRect(0, 0, 50, 50);
    ctx->restoreGState();
    EXPECT_TRUE(isWhiteish(ctx->pixel(45, 45)));
    ctx->moveTo(std::nan(""), 1);
    ctx->addArc(1, 1, -5, 0, 1, false);
    ctx->beginPath();
    ctx->addRect(40, 40, 10, 10);
    ctx->setFillColor({0, 0, 1, 1});
    ctx->fillPath();
    ASSERT_TRUE(ctx->ok());
    EXPECT_GT(ctx->pixel(45, 45).b, 0.9);
    EXPECT_LT(ctx->pixel(45, 45).r, 0.1);

    // A surface Cairo cannot make: not ok, no output, an error, no crash.
    auto huge = VDLCairoContext::imageContext(100000, 100000);
    EXPECT_FALSE(huge->ok());
    huge->fillRect(0, 0, 10, 10);
    EXPECT_EQ(huge->data(), nullptr);
    VDLError error;
    EXPECT_TRUE(huge->outputData(&error).empty());
    EXPECT_EQ(error.domain, "cairo");
}

TEST(CairoContext, OutputsAreWellFormedAndWrittenAtomically) {
    VDLDesign d = makeDesign({VDLStitch(0, 0, false, false), VDLStitch(50, 50, false, false)});
    auto png = whiteImage(64, 64);
    auto pdf = VDLCairoContext::pdfContext(200, 100);
    auto svg = VDLCairoContext::svgContext(200, 100);
    for (VDLCairoContext* c : {png.get(), pdf.get(), svg.get()}) {
        c->flipVertically(c->height());
        d.drawDesignInRect(VDLMakeRect(0, 0, 50, 50), *c, true, true, true);
        c->selectFont("Sans", 11, false);
        c->showText(5, 5, "Stitches: 2");
    }
    VDLError pngError;
    const auto pngBytes = png->outputData(&pngError);
    EXPECT_TRUE(png->ok()) << pngError.description();
    EXPECT_TRUE(startsWith(pngBytes, "\x89PNG\r\n\x1a\n"));
    const auto pdfBytes = pdf->outputData();
    EXPECT_TRUE(startsWith(pdfBytes, "%PDF-"));
    EXPECT_NE(std::string(pdfBytes.end() - 8, pdfBytes.end()).find("%%EOF"), std::string::npos);
    const auto svgBytes = svg->outputData();
    EXPECT_TRUE(startsWith(svgBytes, "<?xml"));
    const std::string svgText(svgBytes.begin(), svgBytes.end());
    EXPECT_NE(svgText.find("<svg"), std::string::npos);
    EXPECT_NE(svgText.find("</svg>"), std::string::npos);
    EXPECT_EQ(svg->outputData(), svgBytes);  // finishing is done once

    TempDir dir;
    ASSERT_TRUE(png->writeToFile(dir.file("a.png")));
    EXPECT_EQ(readBytes(dir.file("a.png")), pngBytes);
    writeBytes(dir.file("b.pdf"), {'o', 'l', 'd'});
    ASSERT_TRUE(pdf->writeToFile(dir.file("b.pdf")));
    EXPECT_EQ(readBytes(dir.file("b.pdf")), pdfBytes);

    // A folder that does not exist: the system error comes back.
    VDLError error;
    EXPECT_FALSE(png->writeToFile(dir.file("missing/a.png"), &error));
    EXPECT_EQ(error.domain, "posix");
    EXPECT_EQ(error.code, ENOENT);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 2);  // no leftovers
}
