// Rendering a 200,000-stitch design into a 2000 x 2000 Cairo image, flat and shaded, against
// the obvious alternatives: no culling when zoomed in, a gradient built per segment instead of
// per colour block. A context that ignores every call measures the walk itself.
#include "VDLCairoContext.h"
#include "VDLDesign.h"

#include <benchmark/benchmark.h>

#include <cmath>

namespace {

constexpr int kStitches = 200000;
constexpr int kSurface = 2000;

// Tatami-like rows across a 2000 x 2000 unit square (200 mm), 20 colour blocks, a jump
// between blocks: what a large fill design looks like.
const VDLDesign& bigDesign() {
    static const VDLDesign design = [] {
        VDLDesign d;
        std::vector<VDLStitch> st;
        st.reserve(kStitches);
        const int perBlock = kStitches / 20;
        float x = 0, y = 0;
        for (int i = 0; i < kStitches; ++i) {
            const int inBlock = i % perBlock;
            if (i > 0 && inBlock == 0) {
                st.emplace_back(-x, -y, true, false);  // back to the start for the next block
                x = 0;
                y = 0;
                st.emplace_back(0.0f, 1.0f, false, true);
                y += 1;
                continue;
            }
            // Rows of 40 stitches of 50 units, 4 units apart, back and forth; each block is
            // offset a little so the blocks overlap like layered fills.
            const int row = inBlock / 40;
            const float dx = (row % 2 == 0 ? 50.0f : -50.0f);
            const float dy = (inBlock % 40 == 39) ? 4.0f : 0.3f * float((i / perBlock) % 3) - 0.3f;
            st.emplace_back(dx, dy, false, false);
            x += dx;
            y += dy;
        }
        d.setStitches(std::move(st));
        std::vector<VDLThread> threads;
        for (int t = 0; t < 21; ++t)
            threads.emplace_back(VDLColor(0.2 + 0.03 * t, 0.8 - 0.03 * t, 0.5), "t", "", "", "");
        d.setThreads(std::move(threads));
        d.recomputeBounds();
        d.setDisplayRange(VDLRange{0, d.stitches().size()});
        return d;
    }();
    return design;
}

// The view transform: the rectangle R (design units) fills the surface; Y up.
void setUpView(VDLGraphicsContext& ctx, VDLRect r) {
    const double f = std::min(kSurface / r.size.width, kSurface / r.size.height);
    ctx.flipVertically(kSurface);
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

void render(benchmark::State& state, bool show3D, VDLRect view, VDLRect drawRect) {
    const VDLDesign& d = bigDesign();
    auto ctx = VDLCairoContext::imageContext(kSurface, kSurface);
    setUpView(*ctx, view);
    for (auto _ : state) {
        d.drawDesignInRect(drawRect, *ctx, show3D, false, false);
        benchmark::DoNotOptimize(ctx->data());
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * kStitches);
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

}  // namespace

BENCHMARK(BM_RenderFlat)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Render3D)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Render3D_GradientPerSegment)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RenderZoomed3D_Culled)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RenderZoomed3D_NoCull)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RenderWalkOnly3D)->Unit(benchmark::kMillisecond);
