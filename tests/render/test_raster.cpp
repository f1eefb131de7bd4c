// The pixel path against Cairo: the same pictures within a stated difference, the same stitches
// chosen, and no write outside the buffer whatever the stitches.
//
// Thresholds: the mean absolute difference per channel must stay within 1.0 of 255 and the PSNR
// at or above 38 dB. Both paths compute the same shapes; they differ only in the coverage of
// edge pixels (Cairo samples 15 sub-rows per pixel; the pixel path finds it from the distance to
// the stroke, exact along the sides and close at the round ends) and in how round caps are
// flattened, which leaves edge pixels a few levels apart. Measured on the samples: 0.1 to 0.6
// mean, 44 to 50 dB. A wrong colour, width, order or a missing stitch moves whole strokes and
// fails both limits at once.
#include "TestSupport.h"
#include "VDLCairoContext.h"
#include "VDLDesign.h"
#include "VDLRasterRenderer.h"

#include <cairo.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>

namespace {

constexpr double kMaxMeanDifference = 1.0;  // per channel, of 255
constexpr double kMinPSNR = 38.0;           // dB

struct Picture {
    int width = 0, height = 0;
    std::vector<uint32_t> pixels;
    uint32_t at(int x, int y) const { return pixels[size_t(y) * size_t(width) + size_t(x)]; }
};

struct View {
    int width, height;
    bool show3D = false, showJumps = false, showStructure = false;
    int32_t thread = -1;
    double zoom = 1.0;  // > 1 draws the middle of the design magnified
};

// The design drawn through drawDesignInRect into an image context on white, fitted as
// `vardelle-cli render` fits it, by the pixel path or by Cairo.
Picture render(const VDLDesign& d, const View& v, bool raster) {
    VDLSetRasterRenderingEnabled(raster);
    auto ctx = VDLCairoContext::imageContext(v.width, v.height);
    ctx->setFillColor(VDLRGBA{1, 1, 1, 1});
    ctx->fillRect(0, 0, v.width, v.height);
    ctx->flipVertically(v.height);
    const double w = std::max(1.0, double(d.designWidth())), h = std::max(1.0, double(d.designHeight()));
    const double f = std::min(v.width / w, v.height / h) / 1.05 * v.zoom;
    const double cx = d.xMin() + w / 2, cy = d.yMin() + h / 2;
    ctx->translate(v.width / 2.0 - cx * f, v.height / 2.0 - cy * f);
    ctx->scale(f, f);
    const VDLRect visible = VDLMakeRect(cx - v.width / 2.0 / f, cy - v.height / 2.0 / f, v.width / f, v.height / f);
    d.drawDesignInRect(visible, *ctx, v.show3D, v.showJumps, v.showStructure, v.thread);
    VDLSetRasterRenderingEnabled(true);
    Picture p;
    p.width = v.width;
    p.height = v.height;
    p.pixels.resize(size_t(v.width) * size_t(v.height));
    for (int y = 0; y < v.height; ++y)
        std::memcpy(&p.pixels[size_t(y) * size_t(v.width)], ctx->data() + size_t(y) * size_t(ctx->stride()),
                    size_t(v.width) * 4);
    return p;
}

struct Difference {
    double mean = 0, psnr = 0;
};

Difference compare(const Picture& a, const Picture& b) {
    double sum = 0, squares = 0;
    for (size_t i = 0; i < a.pixels.size(); ++i)
        for (int shift = 0; shift < 32; shift += 8) {
            const double d = double((a.pixels[i] >> shift) & 0xFF) - double((b.pixels[i] >> shift) & 0xFF);
            sum += std::fabs(d);
            squares += d * d;
        }
    const double n = double(a.pixels.size()) * 4;
    Difference r;
    r.mean = sum / n;
    r.psnr = squares == 0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 / (squares / n));
    return r;
}

// With VARDELLE_RASTER_DUMP=DIR set, a failing comparison leaves both pictures there.
void dump(const Picture& p, const std::string& path) {
    cairo_surface_t* s = cairo_image_surface_create_for_data(
        reinterpret_cast<unsigned char*>(const_cast<uint32_t*>(p.pixels.data())), CAIRO_FORMAT_ARGB32, p.width, p.height,
        p.width * 4);
    cairo_surface_write_to_png(s, path.c_str());
    cairo_surface_destroy(s);
}

void expectClose(const VDLDesign& d, const View& v, const std::string& what) {
    const Picture raster = render(d, v, true), cairo = render(d, v, false);
    const Difference diff = compare(raster, cairo);
    if (std::getenv("VARDELLE_RASTER_REPORT")) std::printf("%-28s mean %.3f  PSNR %.1f dB\n", what.c_str(), diff.mean, diff.psnr);
    const char* dir = std::getenv("VARDELLE_RASTER_DUMP");
    if (dir && (diff.mean > kMaxMeanDifference || diff.psnr < kMinPSNR)) {
        dump(raster, std::string(dir) + "/" + what + " raster.png");
        dump(cairo, std::string(dir) + "/" + what + " cairo.png");
    }
    EXPECT_LE(diff.mean, kMaxMeanDifference) << what;
    EXPECT_GE(diff.psnr, kMinPSNR) << what;
}

// Rows of satin-like zigzags in four colours with jumps between them: the shape of a real
// design, with every feature the renderer has (jumps, colour changes, long and short stitches,
// all directions).
VDLDesign fillDesign(int stitches) {
    std::vector<VDLStitch> list;
    list.reserve(size_t(stitches));
    const int perBlock = stitches / 4;
    for (int i = 0; i < stitches; ++i) {
        if (i > 0 && i % perBlock == 0) {
            list.emplace_back(-40.0f, -500.0f, true, false);
            list.emplace_back(0.0f, 3.0f, false, true);
            continue;
        }
        // Rows of 30 zigzag stitches, back and forth, 4 units apart; now and then a jump.
        const int row = (i % perBlock) / 30;
        const float dx = (row % 2 ? -11.0f : 11.0f) + float(i % 7) * 0.3f;
        const float dy = (i % 2 ? 3.0f : -3.0f) + ((i % 30) == 29 ? 4.0f : 0.0f);
        list.emplace_back(dx, dy, (i % 97) == 0, false);
    }
    VDLDesign d = makeDesign(list, "DST");
    std::vector<VDLThread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back(VDLColor(0.9 - 0.2 * t, 0.3 + 0.15 * t, 0.5 + 0.1 * (t % 2)), "t", "", "", "");
    d.setThreads(threads);
    return d;
}

TEST(RasterPath, SamplesMatchCairoAtEverySizeAndMode) {
    const std::string samples = std::string(VARDELLE_SOURCE_DIR) + "/resources/samples/";
    for (const char* name : {"flower.pes", "flower.dst", "flower.jef", "flower.exp", "flower.pcs", "flower.pec"}) {
        VDLDesign d;
        ASSERT_TRUE(d.importDesignFromURL(VDLURL::fileURLWithPath(samples + name))) << name;
        // 24 pixels: strokes a twentieth of a pixel wide, as in a PEC thumbnail of a big design.
        for (int size : {24, 48, 256, name == std::string("flower.pes") ? 700 : 160}) {
            expectClose(d, View{size, size}, std::string(name) + " flat " + std::to_string(size));
            expectClose(d, View{size, size, true}, std::string(name) + " 3D " + std::to_string(size));
        }
    }
    VDLDesign d;
    ASSERT_TRUE(d.importDesignFromURL(VDLURL::fileURLWithPath(samples + "flower.pes")));
    expectClose(d, View{600, 500, false, true, true}, "jumps and points");
    expectClose(d, View{600, 500, true, true, false, 2}, "one thread, 3D, jumps");
    expectClose(d, View{400, 400, true, true, false, -1, 6.0}, "zoomed in 6x");
    expectClose(d, View{400, 400, false, false, false, -1, 40.0}, "zoomed in 40x");

    // The player's display range, then a selection (dimmed design, red selected stitches) and
    // a hidden thread.
    d.setDisplayRange(VDLRange{200, 900});
    expectClose(d, View{500, 500, true, true}, "display range");
    d.setDisplayRange(VDLRange{0, d.stitches().size()});
    for (size_t i = 300; i < 800; ++i) d.stitches()[i].isSelected = true;
    d.setSelectionActive(true);
    expectClose(d, View{500, 500, false, true}, "selection, flat");
    expectClose(d, View{500, 500, true, false}, "selection, 3D");
    d.setSelectionActive(false);
    d.threads()[1].setIsShown(false);
    expectClose(d, View{500, 500, true, false}, "hidden thread");
}

TEST(RasterPath, LargeDesignMatchesCairoAndBandsDoNotShow) {
    VDLDesign d = fillDesign(20000);
    for (bool show3D : {false, true}) {
        expectClose(d, View{900, 700, show3D, true}, show3D ? "fill 3D" : "fill flat");
        // A thousand pixels wide: strokes about a pixel wide, the application's whole-design view.
        expectClose(d, View{1000, 800, show3D, false}, show3D ? "fill 3D view" : "fill flat view");
        // Two bands give exactly the pixels of one.
        const double f = 700.0 / std::max(d.designWidth(), d.designHeight());
        std::vector<uint32_t> one(900 * 700, 0xFFFFFFFFu), two(900 * 700, 0xFFFFFFFFu);
        VDLImageTransform t{f, -f, 450 - (d.xMin() + d.designWidth() / 2.0) * f, 350 + (d.yMin() + d.designHeight() / 2.0) * f};
        VDLRasterOptions o;
        o.show3D = show3D;
        o.showJumps = true;
        o.threads = 1;
        const VDLRect all = VDLMakeRect(-1e6, -1e6, 2e6, 2e6);
        ASSERT_TRUE(VDLDrawDesignIntoImage(d, all, VDLImageBuffer{reinterpret_cast<uint8_t*>(one.data()), 900, 700, 3600}, t, o));
        o.threads = 2;
        ASSERT_TRUE(VDLDrawDesignIntoImage(d, all, VDLImageBuffer{reinterpret_cast<uint8_t*>(two.data()), 900, 700, 3600}, t, o));
        EXPECT_EQ(one, two);
        // Sixteen pixels at a time (where the processor has AVX-512), eight (AVX2) or four: the
        // same pixels, for strokes thinner than a pixel (the whole design) and wide ones with
        // their round ends (zoomed in 12 times on the middle).
        for (const double zoom : {1.0, 12.0}) {
            VDLImageTransform z = t;
            z.sx *= zoom;
            z.sy *= zoom;
            z.tx = 450 - (450 - t.tx) * zoom;
            z.ty = 350 - (350 - t.ty) * zoom;
            std::vector<uint32_t> widest(900 * 700, 0xFFFFFFFFu);
            ASSERT_TRUE(VDLDrawDesignIntoImage(d, all, VDLImageBuffer{reinterpret_cast<uint8_t*>(widest.data()), 900, 700, 3600}, z, o));
            for (const char* narrower : {"VARDELLE_RASTER_NO_AVX512", "VARDELLE_RASTER_NO_AVX2"}) {
                std::vector<uint32_t> narrow(900 * 700, 0xFFFFFFFFu);
                setenv(narrower, "1", 1);
                ASSERT_TRUE(VDLDrawDesignIntoImage(d, all, VDLImageBuffer{reinterpret_cast<uint8_t*>(narrow.data()), 900, 700, 3600}, z, o));
                unsetenv(narrower);
                EXPECT_TRUE(widest == narrow) << narrower << " at zoom " << zoom;
            }
        }
    }
}

// One colour block per cell of a grid: a jump with the colour change that moves to the cell, a
// null stitch (the first stitch after a jump is drawn only with the jumps), then one thread segment 12
// units long. Block i has its own colour, so the pixel at the middle of segment i tells
// whether and how stitch 3 i + 2 was drawn.
constexpr int kCells = 64;

VDLDesign indexColoured() {
    std::vector<VDLStitch> list;
    float x = 0, y = 0;
    for (int i = 0; i < kCells; ++i) {
        const float cx = float(i % 8) * 40.0f, cy = float(i / 8) * 40.0f;
        list.emplace_back(cx - x, cy - y, true, i > 0);
        list.emplace_back(0.0f, 0.0f, false, false);
        list.emplace_back(12.0f, 0.0f, false, false);
        x = cx + 12.0f;
        y = cy;
    }
    VDLDesign d = makeDesign(list, "DST");
    std::vector<VDLThread> threads;
    for (int i = 0; i < kCells; ++i)
        threads.emplace_back(VDLColor(double(i % 4) / 4, double((i / 4) % 4) / 4, double(i / 16) / 4), "t", "", "", "");
    d.setThreads(threads);
    return d;
}

// For each cell: 0 not drawn, 1 dimmed, 2 drawn in its colour, 3 red over it (selected).
std::vector<int> classify(const VDLDesign& d, VDLRect rect, int32_t thread, bool raster) {
    VDLSetRasterRenderingEnabled(raster);
    constexpr int kSide = 400;
    auto ctx = VDLCairoContext::imageContext(kSide, kSide);
    ctx->flipVertically(kSide);
    ctx->translate(20, 20);
    ctx->scale(1.2, 1.2);
    d.drawDesignInRect(rect, *ctx, false, false, false, thread);
    VDLSetRasterRenderingEnabled(true);
    std::vector<int> out;
    for (int i = 0; i < kCells; ++i) {
        const double ux = float(i % 8) * 40.0 + 6.0, uy = float(i / 8) * 40.0;
        const VDLRGBA p = ctx->pixel(int(20 + ux * 1.2), int(kSide - (20 + uy * 1.2)));
        const int cls = p.a == 0 ? 0 : p.a < 0.5 ? 1 : (p.r > 0.55 && p.g < 0.2 && p.b < 0.2 && d.stitches()[size_t(3 * i + 2)].isSelected) ? 3 : 2;
        out.push_back(cls);
    }
    return out;
}

TEST(RasterPath, ChoosesTheSameStitchesAsTheContextPath) {
    VDLDesign d = indexColoured();
    const VDLRect all = VDLMakeRect(-100, -100, 600, 600);
    auto both = [&](VDLRect rect, int32_t thread, const char* what) {
        const std::vector<int> raster = classify(d, rect, thread, true);
        EXPECT_EQ(raster, classify(d, rect, thread, false)) << what;
        return raster;
    };

    std::vector<int> all2(kCells, 2);
    EXPECT_EQ(both(all, -1, "everything"), all2);

    // One thread: only its cell.
    std::vector<int> only5(kCells, 0);
    only5[5] = 2;
    EXPECT_EQ(both(all, 5, "thread 5"), only5);

    // Cull: a rectangle around the first row leaves the cells more than 50 units away out.
    const std::vector<int> culled = both(VDLMakeRect(0, 0, 60, 10), -1, "cull");
    for (int i = 0; i < kCells; ++i) EXPECT_EQ(culled[size_t(i)], (i % 8) <= 2 && i / 8 <= 1 ? 2 : 0) << i;

    // Display range (30, 30) draws stitches 29 to 60: cells 9 to 19 (stitch 3 i + 2).
    d.setDisplayRange(VDLRange{30, 30});
    const std::vector<int> ranged = both(all, -1, "display range");
    for (int i = 0; i < kCells; ++i) EXPECT_EQ(ranged[size_t(i)], i >= 9 && i <= 19 ? 2 : 0) << i;
    d.setDisplayRange(VDLRange{0, d.stitches().size()});

    // Hidden threads draw dimmed; an active selection dims everything and marks the selected.
    d.threads()[3].setIsShown(false);
    d.threads()[40].setIsShown(false);
    const std::vector<int> hidden = both(all, -1, "hidden");
    for (int i = 0; i < kCells; ++i) EXPECT_EQ(hidden[size_t(i)], i == 3 || i == 40 ? 1 : 2) << i;
    d.stitches()[3 * 7 + 2].isSelected = true;
    d.stitches()[3 * 50 + 2].isSelected = true;
    d.setSelectionActive(true);
    const std::vector<int> selected = both(all, -1, "selection");
    for (int i = 0; i < kCells; ++i) EXPECT_EQ(selected[size_t(i)], i == 7 || i == 50 ? 3 : 1) << i;
}

TEST(RasterPath, RandomExtremeStitchesNeverWriteOutsideTheImage) {
    // The image sits inside a larger guarded allocation: rows above and below and columns to
    // the right (the stride) must keep their pattern. AddressSanitizer watches the rest.
    std::mt19937 rng(1234);
    const float extremes[] = {0.0f, -0.0f, 1e-30f, 1e-3f, 0.5f, 7.0f, 1e3f, 1e6f, 1e12f, 1e20f, 3e38f, -3e38f};
    auto value = [&]() -> float {
        switch (rng() % 4) {
            case 0: return extremes[rng() % std::size(extremes)] * ((rng() & 1) ? 1.0f : -1.0f);
            case 1: return float(int(rng() % 200) - 100);
            case 2: return 0.0f;
            default: return std::ldexp(float(rng() % 1000) / 1000.0f, int(rng() % 256) - 128);
        }
    };
    constexpr uint32_t kGuard = 0xA5C3E1F7u;
    for (int round = 0; round < 400; ++round) {
        std::vector<VDLStitch> list;
        const int n = 1 + int(rng() % 60);
        for (int i = 0; i < n; ++i) {
            VDLStitch s(value(), value(), rng() % 3 == 0, rng() % 7 == 0);
            s.isSelected = rng() % 4 == 0;
            list.push_back(s);
        }
        VDLDesign d = makeDesign(list, "DST");
        d.setSelectionActive(rng() % 3 == 0);
        d.setDisplayRange(VDLRange{0, uint64_t(n)});
        const int w = 1 + int(rng() % 70), h = 1 + int(rng() % 70), pad = 3;
        const int strideWords = w + pad;
        std::vector<uint32_t> buffer(size_t(strideWords) * size_t(h + 2 * pad), kGuard);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) buffer[size_t(y + pad) * size_t(strideWords) + size_t(x)] = 0;
        const double scales[] = {1e-9, 1e-3, 0.1, 1.0, 3.7, 100.0, 1e6};
        VDLImageTransform t{scales[rng() % 7] * ((rng() & 1) ? 1 : -1), scales[rng() % 7] * ((rng() & 1) ? 1 : -1),
                            double(int(rng() % 400) - 200), double(int(rng() % 400) - 200)};
        VDLRasterOptions o;
        o.show3D = rng() & 1;
        o.showJumps = rng() & 1;
        o.showStructure = rng() % 3 == 0;
        o.threads = 1 + int(rng() % 3);
        const VDLRect rect = rng() & 1 ? VDLMakeRect(-1e30, -1e30, 2e30, 2e30) : VDLMakeRect(value(), value(), value(), value());
        VDLDrawDesignIntoImage(d, rect,
                               VDLImageBuffer{reinterpret_cast<uint8_t*>(&buffer[size_t(pad) * size_t(strideWords)]), w, h,
                                              strideWords * 4},
                               t, o);
        for (int y = 0; y < h + 2 * pad; ++y)
            for (int x = 0; x < strideWords; ++x) {
                const bool inside = y >= pad && y < h + pad && x < w;
                if (!inside) {
                    ASSERT_EQ(buffer[size_t(y) * size_t(strideWords) + size_t(x)], kGuard) << "round " << round;
                }
            }
    }
}

TEST(RasterPath, RefusesUnusableTargetsAndFallsBackForTransformsItCannotDraw) {
    VDLDesign d = fillDesign(400);
    uint32_t px[16] = {};
    const VDLImageBuffer good{reinterpret_cast<uint8_t*>(px), 4, 4, 16};
    EXPECT_FALSE(VDLDrawDesignIntoImage(d, VDLRect{}, VDLImageBuffer{nullptr, 4, 4, 16}, {}));
    EXPECT_FALSE(VDLDrawDesignIntoImage(d, VDLRect{}, VDLImageBuffer{good.data, 4, 4, 8}, {}));
    EXPECT_FALSE(VDLDrawDesignIntoImage(d, VDLRect{}, good, VDLImageTransform{0, 1, 0, 0}));
    EXPECT_FALSE(VDLDrawDesignIntoImage(d, VDLRect{}, good, VDLImageTransform{NAN, 1, 0, 0}));

    // A rotated, a clipped and a vector context are drawn through the context; an image context
    // under scale and translation lends its pixels.
    auto image = VDLCairoContext::imageContext(50, 50);
    VDLPixelTarget target;
    image->translate(3, 50);
    image->scale(2, -2);
    ASSERT_TRUE(image->beginPixelAccess(target));
    image->endPixelAccess();
    EXPECT_EQ(target.transform.sx, 2);
    EXPECT_EQ(target.transform.sy, -2);
    EXPECT_EQ(target.transform.ty, 50);
    image->saveGState();
    image->addRect(0, 0, 5, 5);
    image->clip();
    EXPECT_FALSE(image->beginPixelAccess(target));
    image->restoreGState();
    cairo_rotate(image->cairo(), 0.3);
    EXPECT_FALSE(image->beginPixelAccess(target));
    EXPECT_FALSE(VDLCairoContext::pdfContext(50, 50)->beginPixelAccess(target));
}

}  // namespace

// A drawing no longer wanted stops: the question is asked while drawing, and once it answers
// yes the rest of the design is left undrawn.
TEST(RasterPath, StopsWhenTheDrawingIsNoLongerWanted) {
    const VDLDesign d = fillDesign(40000);
    const double f = 1500.0 / std::max(d.designWidth(), d.designHeight());
    const VDLImageTransform t{f, -f, 50 - d.xMin() * f, 180 + d.yMin() * f};
    const VDLRect all = VDLMakeRect(-1e6, -1e6, 2e6, 2e6);
    auto painted = [&](const std::function<bool()>& cancelled) {
        std::vector<uint32_t> pixels(1600 * 200, 0xFFFFFFFFu);
        VDLRasterOptions o;
        o.threads = 1;
        o.cancelled = cancelled;
        EXPECT_TRUE(VDLDrawDesignIntoImage(d, all, VDLImageBuffer{reinterpret_cast<uint8_t*>(pixels.data()), 1600, 200, 1600 * 4}, t, o));
        return std::count_if(pixels.begin(), pixels.end(), [](uint32_t p) { return p != 0xFFFFFFFFu; });
    };
    int asked = 0;
    const auto whole = painted([&] { return ++asked < 0; });
    ASSERT_GT(asked, 4);
    EXPECT_GT(whole, 1000);
    EXPECT_EQ(painted([] { return true; }), 0);
    int calls = 0;
    const auto part = painted([&] { return ++calls > asked / 2; });
    EXPECT_GT(part, 0);
    EXPECT_LT(part, whole);
}

// Single stitches at every width the renderer meets (a tenth of a pixel in a thumbnail to ten
// pixels zoomed in), lengths and directions, against their exact coverage: the outline and
// the inner line of each found by sampling every pixel 32 x 32 times, laid over white with the
// same colours. Mean difference per covered pixel and channel: at most 3 levels from a pixel
// wide up, 10 below; no pixel more than 64 (measured: 8.2 and 18.4 at worst). A wrong side,
// end, width or colour leaves whole rows of pixels 50 levels and more apart.
TEST(RasterPath, SingleStitchesMatchTheirExactArea) {
    std::mt19937 rng(5);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    double worstMean = 0, worstMax = 0;
    for (const double scale : {0.03, 0.12, 0.3, 0.5, 1.0, 3.0}) {  // pixels per design unit
        for (int trial = 0; trial < 12; ++trial) {
            const double len = (0.2 + 12.0 * unit(rng)) / std::sqrt(scale);  // design units
            const double angle = 6.2832 * unit(rng);
            const VDLDesign d = makeDesign({{0.0f, 0.0f, false, false},
                                            {float(len * std::cos(angle)), float(len * std::sin(angle)), false, false}});
            const int size = 48;
            // Y down, the stitch starting near the middle of the image at a random fraction.
            const double ox = size / 2.0 + unit(rng) - len * scale * std::cos(angle) / 2;
            const double oy = size / 2.0 + unit(rng) + len * scale * std::sin(angle) / 2;
            std::vector<uint32_t> pixels(size * size, 0xFFFFFFFFu);
            VDLRasterOptions o;
            o.threads = 1;
            ASSERT_TRUE(VDLDrawDesignIntoImage(d, VDLMakeRect(-1e4, -1e4, 2e4, 2e4),
                                               VDLImageBuffer{reinterpret_cast<uint8_t*>(pixels.data()), size, size, size * 4},
                                               VDLImageTransform{scale, -scale, ox, oy}, o));
            const double px = ox, py = oy;
            const double qx = ox + len * scale * std::cos(angle), qy = oy - len * scale * std::sin(angle);
            auto inside = [&](double x, double y, double r) {
                const double dx = qx - px, dy = qy - py, l2 = dx * dx + dy * dy;
                const double t = l2 > 0 ? std::clamp(((x - px) * dx + (y - py) * dy) / l2, 0.0, 1.0) : 0.0;
                const double ex = x - px - t * dx, ey = y - py - t * dy;
                return ex * ex + ey * ey <= r * r;
            };
            const double rOuter = 1.75 * scale, rInner = 0.7 * 1.75 * scale;
            const VDLColor& c = d.threads()[0].color();
            const double flat[3] = {c.red(), c.green(), c.blue()};
            double sum = 0, most = 0;
            int counted = 0;
            // Outside the stitch's box every pixel is white in both (the drawing may not
            // reach out there at all: checked on the whole image).
            const int bx0 = std::max(0, int(std::floor(std::min(px, qx) - rOuter)) - 1);
            const int bx1 = std::min(size, int(std::ceil(std::max(px, qx) + rOuter)) + 1);
            const int by0 = std::max(0, int(std::floor(std::min(py, qy) - rOuter)) - 1);
            const int by1 = std::min(size, int(std::ceil(std::max(py, qy) + rOuter)) + 1);
            for (int y = 0; y < size; ++y)
                for (int x = 0; x < size; ++x)
                    if (x < bx0 || x >= bx1 || y < by0 || y >= by1) {
                        EXPECT_EQ(pixels[size_t(y * size + x)], 0xFFFFFFFFu);
                    }
            for (int y = by0; y < by1; ++y)
                for (int x = bx0; x < bx1; ++x) {
                    int outer = 0, inner = 0;
                    for (int j = 0; j < 32; ++j)
                        for (int i = 0; i < 32; ++i) {
                            const double sx = x + (i + 0.5) / 32, sy = y + (j + 0.5) / 32;
                            outer += inside(sx, sy, rOuter);
                            inner += inside(sx, sy, rInner);
                        }
                    if (!outer) continue;
                    const double a = outer / 1024.0, b = inner / 1024.0;
                    const uint32_t got = pixels[size_t(y * size + x)];
                    for (int k = 0; k < 3; ++k) {
                        const double dark = std::clamp(flat[k] - 0.2, 0.0, 1.0), light = std::clamp(flat[k], 0.0, 1.0);
                        const double want = 255.0 * (light * b + (1 - b) * (dark * a + (1 - a)));
                        const double diff = std::fabs(double((got >> (16 - 8 * k)) & 0xff) - want);
                        sum += diff;
                        most = std::max(most, diff);
                    }
                    counted += 3;
                }
            ASSERT_GT(counted, 0);
            worstMean = std::max(worstMean, sum / counted);
            worstMax = std::max(worstMax, most);
            // Strokes under a pixel wide keep the ends of the reference's flattened pens (up to
            // a fifth less than a true half disc), and 32 x 32 samples are coarse for them.
            EXPECT_LE(sum / counted, scale >= 0.5 ? 3.0 : 10.0) << "scale " << scale << " length " << len << " angle " << angle;
            EXPECT_LE(most, 64.0) << "scale " << scale << " length " << len << " angle " << angle;
        }
    }
    if (std::getenv("VARDELLE_RASTER_REPORT")) std::printf("single stitches: worst mean %.2f, worst pixel %.1f\n", worstMean, worstMax);
}
