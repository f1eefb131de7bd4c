// Opening a 1,000,000-stitch DST file to the first painted frame of its window. The document
// reads the file on the UI thread and hands the drawing to the canvas's worker; the UI thread is
// free again once the window is up. The obvious alternative, drawing the design on the UI
// thread before the window can paint, is measured beside it: its whole time is UI time.
#include "BenchDesigns.h"
#include "VDLAppController.h"
#include "VDLCanvasRenderer.h"
#include "VDLDefaults.h"
#include "VDLDesignView.h"
#include "VDLDocument.h"
#include "VDLDocumentController.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdlib>

namespace {

constexpr int kStitches = 1000000;

// Rows of 30-unit stitches (3 mm) across a 240 × 240 mm area, 10 colour blocks.
const QString& bigDstPath() {
    static QTemporaryDir dir;
    static const QString path = [] {
        const QString p = dir.path() + QStringLiteral("/million.dst");
        writeRowsDst(p.toStdString(), kStitches);
        return p;
    }();
    return path;
}

// Our way: open (UI thread) → window shown → worker draws → first frame painted.
void BM_OpenDstToFirstFrame(benchmark::State& state) {
    const QString path = bigDstPath();
    double uiMs = 0, frameMs = 0;
    for (auto _ : state) {
        QElapsedTimer t;
        t.start();
        VDLDocument* doc = VDLDocumentController::sharedDocumentController()->openDocumentWithContentsOfURL(path, nullptr, true);
        if (!doc) {
            state.SkipWithError("open failed");
            break;
        }
        QApplication::processEvents();
        uiMs += double(t.nsecsElapsed()) / 1e6;
        doc->patternView()->waitForRender(120000);
        doc->patternView()->repaint();
        frameMs += double(t.nsecsElapsed()) / 1e6;
        state.PauseTiming();
        VDLDocumentController::sharedDocumentController()->closeAllDocumentsForTesting();
        QApplication::processEvents();
        state.ResumeTiming();
    }
    state.counters["ui_thread_ms"] = benchmark::Counter(uiMs / double(state.iterations()));
    state.counters["first_frame_ms"] = benchmark::Counter(frameMs / double(state.iterations()));
}
BENCHMARK(BM_OpenDstToFirstFrame)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// The alternative: read and draw the whole design on the UI thread before anything is shown.
void BM_OpenDstDrawingOnUiThread(benchmark::State& state) {
    const QString path = bigDstPath();
    double uiMs = 0;
    for (auto _ : state) {
        QElapsedTimer t;
        t.start();
        VDLDesign d;
        d.importDesignFromURL(VDLURL::fileURLWithPath(path.toStdString()));
        QImage image(QSize(900, 560), QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        const double w = d.xMax() - d.xMin(), h = d.yMax() - d.yMin();
        const double ppu = std::min(900.0 / w, 560.0 / h);
        VDLCanvasRenderer::render(d, image, VDLMakeRect(d.xMin(), d.yMin(), w, h), ppu, true, true, false);
        benchmark::DoNotOptimize(image.constBits());
        uiMs += double(t.nsecsElapsed()) / 1e6;
    }
    state.counters["ui_thread_ms"] = benchmark::Counter(uiMs / double(state.iterations()));
}
BENCHMARK(BM_OpenDstDrawingOnUiThread)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// What reading alone costs (the part of opening that stays on the UI thread).
void BM_ImportDstOnly(benchmark::State& state) {
    const QString path = bigDstPath();
    for (auto _ : state) {
        VDLDesign d;
        d.importDesignFromURL(VDLURL::fileURLWithPath(path.toStdString()));
        benchmark::DoNotOptimize(d.stitches().data());
    }
}
BENCHMARK(BM_ImportDstOnly)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QTemporaryDir home;
    setenv("XDG_CONFIG_HOME", (home.path() + "/config").toUtf8().constData(), 1);
    setenv("XDG_STATE_HOME", (home.path() + "/state").toUtf8().constData(), 1);
    setenv("XDG_DATA_HOME", (home.path() + "/data").toUtf8().constData(), 1);  // the desktop's recent files
    QApplication app(argc, argv);
    VDLDefaults::standard().reload();
    VDLAppController::registerDefaults();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
