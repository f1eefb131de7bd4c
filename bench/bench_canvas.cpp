// The canvas: one full redraw of a 200,000-stitch design in a 1000 x 800 view, flat and 3D, on
// the worker's path (library renderer into the cached image); and scrolling a drawn view, which
// paints the cached image at its new offset, against drawing the design again for every step.
#include "VDLCanvasRenderer.h"
#include "VDLDesignView.h"
#include "VDLScrollView.h"

#include <QApplication>
#include <QPainter>
#include <QScrollBar>

#include <benchmark/benchmark.h>

#include <cstdlib>

namespace {

constexpr int kStitches = 200000;
const QSize kView(1000, 800);

// Rows of 50-unit stitches across a 2000 x 2000 unit square, 20 blocks joined by jumps.
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
                st.emplace_back(-x, -y, true, false);
                x = 0;
                y = 0;
                st.emplace_back(0.0f, 1.0f, false, true);
                y += 1;
                continue;
            }
            const int row = inBlock / 40;
            const float dx = (row % 2 == 0 ? 50.0f : -50.0f);
            const float dy = (inBlock % 40 == 39) ? 4.0f : 0.3f * float((i / perBlock) % 3) - 0.3f;
            st.emplace_back(dx, dy, false, false);
            x += dx;
            y += dy;
        }
        d.setStitches(std::move(st));
        std::vector<VDLThread> threads;
        for (int t = 0; t < 21; ++t) threads.emplace_back(VDLColor(0.2 + 0.03 * t, 0.8 - 0.03 * t, 0.5), "t", "", "", "");
        d.setThreads(std::move(threads));
        d.recomputeBounds();
        d.setDisplayRange(VDLRange{0, d.stitches().size()});
        return d;
    }();
    return design;
}

// The whole design fitted into the view, as the canvas shows it at 100 %.
void fullRedraw(benchmark::State& state, bool show3D) {
    const VDLDesign& d = bigDesign();
    const double w = d.xMax() - d.xMin(), h = d.yMax() - d.yMin();
    const double ppu = std::min(kView.width() / w, kView.height() / h);
    const VDLRect rect = VDLMakeRect(d.xMin(), d.yMin(), kView.width() / ppu, kView.height() / ppu);
    QImage image(kView, QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        image.fill(Qt::transparent);
        VDLCanvasRenderer::render(d, image, rect, ppu, show3D, true, false);
        benchmark::DoNotOptimize(image.constBits());
    }
    state.counters["stitches/s"] = benchmark::Counter(double(kStitches), benchmark::Counter::kIsIterationInvariantRate);
}
void BM_CanvasFullRedrawFlat(benchmark::State& state) { fullRedraw(state, false); }
void BM_CanvasFullRedraw3D(benchmark::State& state) { fullRedraw(state, true); }
BENCHMARK(BM_CanvasFullRedrawFlat)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_CanvasFullRedraw3D)->Unit(benchmark::kMillisecond)->UseRealTime();

// A real window zoomed to 300 %, drawn once; each step scrolls 40 pixels back or forth and
// paints the visible area the way the window does after a scroll.
struct DrawnWindow {
    VDLDesign design = bigDesign();
    VDLScrollView scroll;
    VDLDesignView* view = new VDLDesignView;
    DrawnWindow() {
        scroll.setDesignView(view);
        scroll.resize(kView);
        scroll.show();
        view->setDesign(&design);
        view->setScale(3.0f);
        view->waitForRender(600000);
    }
};

void BM_CanvasScrollBlit(benchmark::State& state) {
    DrawnWindow w;
    QImage target(w.scroll.viewport()->size(), QImage::Format_ARGB32_Premultiplied);
    QScrollBar* bar = w.scroll.horizontalScrollBar();
    const int start = bar->value();
    const int renders = w.view->fullRenderCount();
    int k = 0;
    for (auto _ : state) {
        bar->setValue(start + ((k++ & 1) ? 40 : -40));
        const QRect visible = w.scroll.visibleRect().toAlignedRect();
        w.view->render(&target, QPoint(), QRegion(visible));
        benchmark::DoNotOptimize(target.constBits());
    }
    state.counters["redraws"] = double(w.view->fullRenderCount() - renders);  // 0: pure blits
}
BENCHMARK(BM_CanvasScrollBlit)->Unit(benchmark::kMicrosecond)->UseRealTime();

// The obvious alternative: draw the design again for every scroll step (flat, culled to view).
void BM_CanvasScrollRedraw(benchmark::State& state) {
    DrawnWindow w;
    QImage image(w.scroll.viewport()->size(), QImage::Format_ARGB32_Premultiplied);
    QScrollBar* bar = w.scroll.horizontalScrollBar();
    const int start = bar->value();
    int k = 0;
    for (auto _ : state) {
        bar->setValue(start + ((k++ & 1) ? 40 : -40));
        const QRectF visible = w.scroll.visibleRect();
        const VDLPoint a = w.view->designPointAt(visible.topLeft());
        const double ppu = w.view->pixelsPerUnit();
        const VDLRect rect = VDLMakeRect(a.x, a.y - visible.height() / ppu, visible.width() / ppu, visible.height() / ppu);
        image.fill(Qt::transparent);
        VDLCanvasRenderer::render(w.design, image, rect, ppu, false, true, false);
        benchmark::DoNotOptimize(image.constBits());
    }
}
BENCHMARK(BM_CanvasScrollRedraw)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
