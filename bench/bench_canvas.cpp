// The canvas: one full redraw of a 200,000-stitch design in a 1000 x 800 view, flat and 3D, on
// the worker's path (library renderer into the cached image); and scrolling a drawn view, which
// paints the cached image at its new offset, against drawing the design again for every step.
#include "BenchDesigns.h"
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

// The 200,000-stitch fill design of the rendering benchmark.
const VDLDesign& bigDesign() {
    static const VDLDesign design = makeFillDesign(kStitches);
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

// The same, held to eight pixels at a time (where the processor would do sixteen), and to four:
// what the wider rows bring, the pixels being the same.
void narrowRedraw(benchmark::State& state, const char* narrower, bool show3D) {
    setenv(narrower, "1", 1);
    fullRedraw(state, show3D);
    unsetenv(narrower);
}
void BM_CanvasFullRedrawFlatEightWide(benchmark::State& state) { narrowRedraw(state, "VARDELLE_RASTER_NO_AVX512", false); }
void BM_CanvasFullRedraw3DEightWide(benchmark::State& state) { narrowRedraw(state, "VARDELLE_RASTER_NO_AVX512", true); }
void BM_CanvasFullRedrawFlatFourWide(benchmark::State& state) { narrowRedraw(state, "VARDELLE_RASTER_NO_AVX2", false); }
BENCHMARK(BM_CanvasFullRedrawFlatEightWide)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_CanvasFullRedraw3DEightWide)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_CanvasFullRedrawFlatFourWide)->Unit(benchmark::kMillisecond)->UseRealTime();

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
