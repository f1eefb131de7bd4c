// A 1,000,000-stitch design in a real canvas and scroll view (offscreen, 1000 x 800 visible), the
// way a user looks at it: the first picture after opening, every zoom step from 100 % to 1500 %,
// Fit from 1500 %, and a scroll to each corner at 1500 %. For every view change two times are
// told: until a picture of the right scale covers the whole visible area (the "first frame":
// the UI thread's own work plus, when nothing of the right scale is at hand, the wait for it),
// and until the exact picture is there. The obvious alternative, drawing the visible area again
// for every change without the view's caches, runs beside it.
#include "BenchDesigns.h"
#include "VDLCanvasRenderer.h"
#include "VDLDesignView.h"
#include "VDLScrollView.h"
#include "VDLThreadListDelegate.h"
#include "VDLThreadListView.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QScrollBar>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <functional>

namespace {

constexpr int kStitches = 1000000;
const QSize kView(1000, 800);

// Twenty layered fills over 200 x 100 mm (the rendering benchmark's design at a million stitches).
const VDLDesign& hugeDesign() {
    static const VDLDesign design = makeFillDesign(kStitches);
    return design;
}

struct Window {
    VDLDesign design = hugeDesign();
    VDLScrollView scroll;
    VDLDesignView* view = new VDLDesignView;
    Window() {
        scroll.setDesignView(view);
        scroll.resize(kView);
        scroll.show();
        // The visible area exactly 1000 x 800, whatever the rulers and scroll bars take.
        const QSize vp = scroll.viewport()->size();
        scroll.resize(kView * 2 - vp);
        QApplication::processEvents();
    }
};

struct Times {
    double firstFrame = 0;  // ms until a picture of the right scale covers the view
    double exact = 0;       // ms until the exact picture
};

// Runs CHANGE and measures both times. The first frame is the paint that follows the change;
// when the canvas cannot yet cover the view at the new scale, the time runs on until it can.
Times measure(Window& w, const std::function<void()>& change) {
    QElapsedTimer t;
    t.start();
    change();
    Times r;
    for (;;) {
        w.view->repaint();
        if (w.view->coversVisibleAreaAtScale()) break;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 2);
        if (t.elapsed() > 60000) break;
    }
    r.firstFrame = double(t.nsecsElapsed()) / 1e6;
    w.view->waitForRender(120000);
    w.view->repaint();
    r.exact = double(t.nsecsElapsed()) / 1e6;
    return r;
}

struct Summary {
    double worstFirst = 0, worstExact = 0, sumFirst = 0, sumExact = 0;
    int n = 0;
    void add(const Times& t) {
        worstFirst = std::max(worstFirst, t.firstFrame);
        worstExact = std::max(worstExact, t.exact);
        sumFirst += t.firstFrame;
        sumExact += t.exact;
        ++n;
    }
    void report(benchmark::State& state) const {
        state.counters["first_worst_ms"] = worstFirst;
        state.counters["first_mean_ms"] = n ? sumFirst / n : 0;
        state.counters["exact_worst_ms"] = worstExact;
        state.counters["exact_mean_ms"] = n ? sumExact / n : 0;
    }
};

// Opening: the design handed to a fresh canvas until its exact picture (reading the file excluded).
void BM_HugeFirstPicture(benchmark::State& state) {
    hugeDesign();
    Summary s;
    for (auto _ : state) {
        Window w;
        s.add(measure(w, [&] { w.view->setDesign(&w.design); }));
    }
    s.report(state);
}
BENCHMARK(BM_HugeFirstPicture)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// Zoom In from 100 % to 1500 % in the application's steps of 25 %.
void BM_HugeZoomSteps(benchmark::State& state) {
    Window w;
    w.view->setDesign(&w.design);
    w.view->waitForIdle(120000);
    Summary s;
    for (auto _ : state) {
        for (int percent = 125; percent <= 1500; percent += 25) {
            const Times t = measure(w, [&] { w.view->setScale(float(percent) / 100.0f); });
            if (t.exact > s.worstExact) state.counters["exact_worst_at_percent"] = percent;
            s.add(t);
        }
        state.PauseTiming();
        w.view->setScale(1.0f);
        w.view->waitForIdle(120000);
        state.ResumeTiming();
    }
    s.report(state);
}
BENCHMARK(BM_HugeZoomSteps)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

// Fit (100 %) from 1500 %, centred.
void BM_HugeFitFrom1500(benchmark::State& state) {
    Window w;
    w.view->setDesign(&w.design);
    Summary s;
    for (auto _ : state) {
        state.PauseTiming();
        w.view->setScale(15.0f);
        w.view->waitForIdle(120000);
        state.ResumeTiming();
        s.add(measure(w, [&] {
            w.view->setScale(1.0f);
            w.view->centerDesign();
        }));
    }
    s.report(state);
}
BENCHMARK(BM_HugeFitFrom1500)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// At 1500 %, a scroll to each corner of the design in turn.
void BM_HugeScrollToCorners(benchmark::State& state) {
    Window w;
    w.view->setDesign(&w.design);
    w.view->setScale(15.0f);
    w.view->waitForIdle(120000);
    const VDLDesign& d = w.design;
    const VDLPoint corners[] = {{d.xMin(), d.yMax()}, {d.xMax(), d.yMax()}, {d.xMax(), d.yMin()}, {d.xMin(), d.yMin()}};
    Summary s;
    for (auto _ : state)
        for (const VDLPoint& c : corners) s.add(measure(w, [&] { w.view->scrollPointToCentre(c); }));
    s.report(state);
}
BENCHMARK(BM_HugeScrollToCorners)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

// The stitch player on the whole design at 100 %: the position slider dragged to 30 places,
// forwards and back (each a redraw of the player's position), once the player has been
// through the design; then 100 ticks at the highest speed (100 stitches every 0.1 s).
void BM_HugePlayerSlider(benchmark::State& state) {
    Window w;
    w.view->setDesign(&w.design);
    w.view->waitForIdle(120000);
    Summary s;
    double tickWorst = 0;
    for (auto _ : state) {
        state.PauseTiming();
        w.view->setAnimationProgress(0.999);  // the player went through the design once
        w.view->waitForRender(120000);
        state.ResumeTiming();
        uint32_t seed = 12345;
        for (int k = 0; k < 30; ++k) {
            seed = seed * 1664525u + 1013904223u;
            const double progress = double(seed >> 8) / double(1u << 24);
            s.add(measure(w, [&] { w.view->setAnimationProgress(progress); }));
        }
        w.view->setAnimationStep(100);
        for (int k = 0; k < 100; ++k) {
            QElapsedTimer t;
            t.start();
            w.view->nextAnimationStep();
            w.view->waitForRender(120000);
            tickWorst = std::max(tickWorst, double(t.nsecsElapsed()) / 1e6);
        }
    }
    s.report(state);
    state.counters["tick_worst_ms"] = tickWorst;
    state.counters["checkpoints"] = w.view->checkpointCount();
}
BENCHMARK(BM_HugePlayerSlider)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

// The thread list of a million stitches in 200 colour blocks: the rows at once on the UI thread
// (ui_ms), every block's picture within all_ms. Beside it, the pictures drawn the obvious way:
// each from the whole design with its thread filter (naive_ms).
struct ListDocument : VDLThreadListDelegate {
    VDLDesign design;
    VDLDesign& myDesign() override { return design; }
    void showThread(int) override {}
    void showAllThreads() override {}
    void moveThreadFromIndex(int, int) override {}
    void deleteThreadWithIndex(int) override {}
};

void BM_HugeThreadList(benchmark::State& state) {
    ListDocument doc;
    doc.design = hugeDesign();
    std::vector<VDLStitch> stitches = doc.design.stitches();
    for (size_t k = 0; k < stitches.size(); ++k) stitches[k].isColorChange = k > 0 && k % 5000 == 0;
    doc.design.setStitches(std::move(stitches));
    std::vector<VDLThread> threads;
    for (int t = 0; t < 200; ++t) threads.emplace_back(VDLColor(0.3 + 0.003 * t, 0.7 - 0.003 * t, 0.5), "t", "", "", "");
    doc.design.setThreads(std::move(threads));
    VDLThreadListView list;
    list.setParentDocument(&doc);
    list.resize(240, 800);
    list.show();
    double ui = 0, all = 0;
    for (auto _ : state) {
        QElapsedTimer t;
        t.start();
        list.updateThreadList();
        ui = double(t.nsecsElapsed()) / 1e6;
        list.waitForIcons(120000);
        all = double(t.nsecsElapsed()) / 1e6;
    }
    QElapsedTimer t;
    t.start();
    for (int i = 0; i < 200; ++i) benchmark::DoNotOptimize(VDLThreadListView::renderThreadIcon(doc.design, i, 64));
    state.counters["ui_ms"] = ui;
    state.counters["all_ms"] = all;
    state.counters["naive_ms"] = double(t.nsecsElapsed()) / 1e6;
}
BENCHMARK(BM_HugeThreadList)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

// The alternative: the visible area drawn again, flat, for each zoom step (no caches, no preview:
// its first frame is its exact picture).
void BM_HugeZoomStepsRedrawingEachTime(benchmark::State& state) {
    const VDLDesign& d = hugeDesign();
    QImage image(kView, QImage::Format_ARGB32_Premultiplied);
    const double fitPpu = std::min(kView.width() / (d.xMax() - d.xMin() + 40), kView.height() / (d.yMax() - d.yMin() + 40));
    const VDLPoint c{(d.xMin() + d.xMax()) / 2, (d.yMin() + d.yMax()) / 2};
    Summary s;
    for (auto _ : state) {
        for (int percent = 125; percent <= 1500; percent += 25) {
            QElapsedTimer t;
            t.start();
            const double ppu = fitPpu * percent / 100.0;
            const VDLRect rect = VDLMakeRect(c.x - kView.width() / 2.0 / ppu, c.y - kView.height() / 2.0 / ppu,
                                             kView.width() / ppu, kView.height() / ppu);
            image.fill(Qt::transparent);
            VDLCanvasRenderer::render(d, image, rect, ppu, true, true, false);
            const double ms = double(t.nsecsElapsed()) / 1e6;
            s.add(Times{ms, ms});
        }
    }
    s.report(state);
}
BENCHMARK(BM_HugeZoomStepsRedrawingEachTime)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

}  // namespace

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
