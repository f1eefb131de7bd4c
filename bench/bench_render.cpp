// Rendering a 200,000-stitch design into a 2000 x 2000 image, flat and shaded: the pixel path
// (one and two threads) side by side with Cairo, the reference it replaces for images; then the
// Cairo path against its obvious alternatives: no culling when zoomed in, a gradient built per
// segment instead of per colour block. A context that ignores every call measures the walk.
// The 10K / 100K / 1M lines show the cost growing with the stitches. Times with two threads
// are wall-clock ("Time"); "CPU" is the process's CPU time, both threads together.
#include "BenchDesigns.h"
#include "VDLCairoContext.h"
#include "VDLDesign.h"
#include "VDLPNG.h"
#include "VDLRasterRenderer.h"

#include <benchmark/benchmark.h>

#include <cairo.h>

#include <cmath>
#include <memory>
#include <random>
#include <map>

namespace {

constexpr int kStitches = 200000;
constexpr int kSurface = 2000;

const VDLDesign& designOf(int stitches) {
    static std::map<int, VDLDesign> designs;
    auto it = designs.find(stitches);
    if (it == designs.end()) it = designs.emplace(stitches, makeFillDesign(stitches)).first;
    return it->second;
}

const VDLDesign& bigDesign() { return designOf(kStitches); }

// Satin-like stitches in every direction (a wandering zigzag, 5 to 9 mm long) over 180 mm: the
// slanted edges are the pixel path's harder case.
const VDLDesign& wanderingDesign() {
    static const VDLDesign design = [] {
        std::mt19937 rng(7);
        std::uniform_real_distribution<float> noise(-25, 25);
        std::vector<VDLStitch> list;
        list.reserve(kStitches);
        float px = 0, py = 0;
        for (int i = 0; i < kStitches; ++i) {
            const bool change = i % 20000 == 19999;
            const float tx = 880.0f * std::sin(0.05f * float(i)) + noise(rng);
            const float ty = 880.0f * std::cos(0.037f * float(i)) + noise(rng);
            list.emplace_back(change ? 0.0f : tx - px, change ? 0.0f : ty - py, rng() % 50 == 0, change);
            px += list.back().deltaX, py += list.back().deltaY;
        }
        VDLDesign d;
        d.setStitches(std::move(list));
        for (int t = 0; t < 11; ++t) d.threads().emplace_back(VDLColor(0.1 * t, 0.5, 0.9 - 0.08 * t), "t", "", "", "");
        d.recomputeBounds();
        d.setDisplayRange(VDLRange{0, d.stitches().size()});
        return d;
    }();
    return design;
}

// The view transform: the rectangle R (design units) fills the surface; Y up.
void setUpView(VDLGraphicsContext& ctx, VDLRect r, int width = kSurface, int height = kSurface) {
    const double f = std::min(width / r.size.width, height / r.size.height);
    ctx.flipVertically(height);
    ctx.scale(f, f);
    ctx.translate(-r.minX(), -r.minY());
}

VDLRect wholeDesign() {
    const VDLDesign& d = bigDesign();
    return VDLMakeRect(d.xMin(), d.yMin(), d.xMax() - d.xMin(), d.yMax() - d.yMin());
}

// A tenth of the design's width and height, in its middle: the canvas zoomed in 10x.
VDLRect zoomedIn() {
    const VDLRect all = wholeDesign();
    return VDLMakeRect(all.minX() + 0.45 * all.size.width, all.minY() + 0.45 * all.size.height,
                       0.1 * all.size.width, 0.1 * all.size.height);
}

// Through Cairo: the context path, forced for image contexts too.
void render(benchmark::State& state, bool show3D, VDLRect view, VDLRect drawRect, int stitches = kStitches,
            int width = kSurface, int height = kSurface, const VDLDesign* design = nullptr) {
    const VDLDesign& d = design ? *design : designOf(stitches);
    auto ctx = VDLCairoContext::imageContext(width, height);
    setUpView(*ctx, view, width, height);
    VDLSetRasterRenderingEnabled(false);
    for (auto _ : state) {
        d.drawDesignInRect(drawRect, *ctx, show3D, false, false);
        benchmark::DoNotOptimize(ctx->data());
    }
    VDLSetRasterRenderingEnabled(true);
    state.SetItemsProcessed(int64_t(state.iterations()) * stitches);
}

// The pixel path into the same image, with THREADS bands.
void raster(benchmark::State& state, bool show3D, VDLRect view, int threads, int stitches = kStitches,
            int width = kSurface, int height = kSurface, const VDLDesign* design = nullptr) {
    const VDLDesign& d = design ? *design : designOf(stitches);
    std::vector<uint32_t> pixels(size_t(width) * size_t(height));
    const double f = std::min(width / view.size.width, height / view.size.height);
    const VDLImageTransform t{f, -f, -view.minX() * f, height + view.minY() * f};
    VDLRasterOptions o;
    o.show3D = show3D;
    o.threads = threads;
    const VDLImageBuffer image{reinterpret_cast<uint8_t*>(pixels.data()), width, height, width * 4};
    for (auto _ : state) {
        VDLDrawDesignIntoImage(d, view, image, t, o);
        benchmark::DoNotOptimize(pixels.data());
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * stitches);
}

VDLRect wholeOf(int stitches) {
    const VDLDesign& d = designOf(stitches);
    return VDLMakeRect(d.xMin(), d.yMin(), d.xMax() - d.xMin(), d.yMax() - d.yMin());
}

void BM_RasterFlat(benchmark::State& state) { raster(state, false, wholeDesign(), int(state.range(0))); }
void BM_Raster3D(benchmark::State& state) { raster(state, true, wholeDesign(), int(state.range(0))); }
// The application's canvas: the whole design fitted into a 1000 x 800 view.
void BM_RasterFlatView1000x800(benchmark::State& state) {
    raster(state, false, wholeDesign(), int(state.range(0)), kStitches, 1000, 800);
}
void BM_CairoFlatView1000x800(benchmark::State& state) { render(state, false, wholeDesign(), wholeDesign(), kStitches, 1000, 800); }
// Growth with the stitch count: 10K, 100K, 1M stitches over the same square, 2000 x 2000.
void BM_RasterFlatStitches(benchmark::State& state) {
    const int n = int(state.range(0));
    raster(state, false, wholeOf(n), 2, n);
}
void BM_Raster3DStitches(benchmark::State& state) {
    const int n = int(state.range(0));
    raster(state, true, wholeOf(n), 2, n);
}
void BM_CairoFlatStitches(benchmark::State& state) {
    const int n = int(state.range(0));
    render(state, false, wholeOf(n), wholeOf(n), n);
}
VDLRect wanderingView() {
    const VDLDesign& d = wanderingDesign();
    return VDLMakeRect(d.xMin(), d.yMin(), d.xMax() - d.xMin(), d.yMax() - d.yMin());
}
void BM_RasterWanderingFlat(benchmark::State& state) {
    raster(state, false, wanderingView(), int(state.range(0)), kStitches, kSurface, kSurface, &wanderingDesign());
}
void BM_RasterWandering3D(benchmark::State& state) {
    raster(state, true, wanderingView(), int(state.range(0)), kStitches, kSurface, kSurface, &wanderingDesign());
}
void BM_CairoWanderingFlat(benchmark::State& state) {
    render(state, false, wanderingView(), wanderingView(), kStitches, kSurface, kSurface, &wanderingDesign());
}
void BM_CairoWandering3D(benchmark::State& state) {
    render(state, true, wanderingView(), wanderingView(), kStitches, kSurface, kSurface, &wanderingDesign());
}

// Growth with the covered pixels: the 200K design into images of 500, 1000 and 2000 pixels.
void BM_RasterFlatPixels(benchmark::State& state) {
    const int side = int(state.range(0));
    raster(state, false, wholeDesign(), 2, kStitches, side, side);
}

void BM_RenderFlat(benchmark::State& state) { render(state, false, wholeDesign(), wholeDesign()); }
void BM_Render3D(benchmark::State& state) { render(state, true, wholeDesign(), wholeDesign()); }

// Zoomed in, the renderer skips what lies outside the view; the naive call hands it the whole
// design and leaves the clipping to Cairo.
void BM_RenderZoomed3D_Culled(benchmark::State& state) { render(state, true, zoomedIn(), zoomedIn()); }
void BM_RenderZoomed3D_NoCull(benchmark::State& state) { render(state, true, zoomedIn(), wholeDesign()); }

// Forwards to Cairo but hands it different gradient stops on every call, so a gradient is
// built per segment (what deriving the gradient per stitch costs).
class FreshGradientContext final : public VDLGraphicsContext {
public:
    explicit FreshGradientContext(VDLCairoContext& c) : c_(c) {}
    void saveGState() override { c_.saveGState(); }
    void restoreGState() override { c_.restoreGState(); }
    void setLineCap(VDLLineCap cap) override { c_.setLineCap(cap); }
    void setLineWidth(double w) override { c_.setLineWidth(w); }
    void setLineDash(double p, const std::vector<double>& l) override { c_.setLineDash(p, l); }
    void setStrokeColor(const VDLRGBA& c) override { c_.setStrokeColor(c); }
    void setFillColor(const VDLRGBA& c) override { c_.setFillColor(c); }
    void beginPath() override { c_.beginPath(); }
    void moveTo(double x, double y) override { c_.moveTo(x, y); }
    void lineTo(double x, double y) override { c_.lineTo(x, y); }
    void addArc(double cx, double cy, double r, double a0, double a1, bool cw) override {
        c_.addArc(cx, cy, r, a0, a1, cw);
    }
    void closePath() override { c_.closePath(); }
    void addRect(double x, double y, double w, double h) override { c_.addRect(x, y, w, h); }
    void strokePath() override { c_.strokePath(); }
    void fillPath() override { c_.fillPath(); }
    void eoFillPath() override { c_.eoFillPath(); }
    void clip() override { c_.clip(); }
    void fillRect(double x, double y, double w, double h) override { c_.fillRect(x, y, w, h); }
    void strokeRect(double x, double y, double w, double h) override { c_.strokeRect(x, y, w, h); }
    void drawLinearGradient(const std::vector<VDLGradientStop>& stops, double x0, double y0, double x1,
                            double y1) override {
        std::vector<VDLGradientStop> s = stops;
        flip_ = !flip_;
        s[1].location += flip_ ? 1e-9 : 0;
        c_.drawLinearGradient(s, x0, y0, x1, y1);
    }
    void translate(double tx, double ty) override { c_.translate(tx, ty); }
    void scale(double sx, double sy) override { c_.scale(sx, sy); }
    void selectFont(const std::string& f, double s, bool b) override { c_.selectFont(f, s, b); }
    void showText(double x, double y, const std::string& t) override { c_.showText(x, y, t); }
    double textWidth(const std::string& t) override { return c_.textWidth(t); }

private:
    VDLCairoContext& c_;
    bool flip_ = false;
};

void BM_Render3D_GradientPerSegment(benchmark::State& state) {
    const VDLDesign& d = bigDesign();
    auto cairo = VDLCairoContext::imageContext(kSurface, kSurface);
    FreshGradientContext ctx(*cairo);
    setUpView(ctx, wholeDesign());
    for (auto _ : state) {
        d.drawDesignInRect(wholeDesign(), ctx, true, false, false);
        benchmark::DoNotOptimize(cairo->data());
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * kStitches);
}

// Every call ignored: the cost of the walk, the culling and the colour derivation alone.
class NullContext final : public VDLGraphicsContext {
public:
    void saveGState() override {}
    void restoreGState() override {}
    void setLineCap(VDLLineCap) override {}
    void setLineWidth(double) override {}
    void setLineDash(double, const std::vector<double>&) override {}
    void setStrokeColor(const VDLRGBA&) override {}
    void setFillColor(const VDLRGBA&) override {}
    void beginPath() override {}
    void moveTo(double, double) override {}
    void lineTo(double, double) override {}
    void addArc(double, double, double, double, double, bool) override {}
    void closePath() override {}
    void addRect(double, double, double, double) override {}
    void strokePath() override { ++calls; }
    void fillPath() override {}
    void eoFillPath() override {}
    void clip() override {}
    void fillRect(double, double, double, double) override {}
    void strokeRect(double, double, double, double) override {}
    void drawLinearGradient(const std::vector<VDLGradientStop>&, double, double, double, double) override { ++calls; }
    void translate(double, double) override {}
    void scale(double, double) override {}
    void selectFont(const std::string&, double, bool) override {}
    void showText(double, double, const std::string&) override {}
    double textWidth(const std::string&) override { return 0; }
    int64_t calls = 0;
};

void BM_RenderWalkOnly3D(benchmark::State& state) {
    const VDLDesign& d = bigDesign();
    NullContext ctx;
    for (auto _ : state) {
        d.drawDesignInRect(wholeDesign(), ctx, true, false, false);
        benchmark::DoNotOptimize(ctx.calls);
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * kStitches);
}

// Writing the 2000 x 2000 picture of the wandering design as PNG: our writer (runs only, two
// threads) against Cairo's (libpng's defaults), the same pixels.
const VDLCairoContext& wanderingPicture() {
    static const std::unique_ptr<VDLCairoContext> ctx = [] {
        auto c = VDLCairoContext::imageContext(kSurface, kSurface);
        c->setFillColor(VDLRGBA{1, 1, 1, 1});
        c->fillRect(0, 0, kSurface, kSurface);
        setUpView(*c, wanderingView());
        wanderingDesign().drawDesignInRect(wanderingView(), *c, false, false, false);
        return c;
    }();
    return *ctx;
}
void BM_PngOurs(benchmark::State& state) {
    const VDLCairoContext& c = wanderingPicture();
    size_t bytes = 0;
    for (auto _ : state) bytes = VDLEncodePNG(c.data(), kSurface, kSurface, c.stride()).size();
    state.counters["bytes"] = double(bytes);
}
void BM_PngCairo(benchmark::State& state) {
    const VDLCairoContext& c = wanderingPicture();
    size_t bytes = 0;
    for (auto _ : state) {
        std::vector<uint8_t> png;
        cairo_surface_write_to_png_stream(
            cairo_get_target(c.cairo()),
            [](void* closure, const unsigned char* data, unsigned int length) {
                auto* out = static_cast<std::vector<uint8_t>*>(closure);
                out->insert(out->end(), data, data + length);
                return CAIRO_STATUS_SUCCESS;
            },
            &png);
        bytes = png.size();
    }
    state.counters["bytes"] = double(bytes);
}

}  // namespace

BENCHMARK(BM_PngOurs)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();
BENCHMARK(BM_PngCairo)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RasterFlat)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();
BENCHMARK(BM_RenderFlat)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Raster3D)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();
BENCHMARK(BM_Render3D)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Render3D_GradientPerSegment)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RenderZoomed3D_Culled)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RenderZoomed3D_NoCull)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RenderWalkOnly3D)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RasterFlatView1000x800)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();
BENCHMARK(BM_CairoFlatView1000x800)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RasterFlatStitches)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();
BENCHMARK(BM_Raster3DStitches)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();
BENCHMARK(BM_CairoFlatStitches)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CairoFlatStitches)->Arg(1000000)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RasterFlatPixels)->Arg(500)->Arg(1000)->Arg(2000)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();
BENCHMARK(BM_RasterWanderingFlat)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();
BENCHMARK(BM_CairoWanderingFlat)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_RasterWandering3D)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();
BENCHMARK(BM_CairoWandering3D)->Unit(benchmark::kMillisecond)->Iterations(1);
