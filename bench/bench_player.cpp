// The stitch player's tick on a 500,000-stitch design at speed 100 (100 new stitches per tick),
// at the start (1 %), the middle and the end of the design: the canvas worker draws the new
// stitches on top of its cached image. For comparison, the same tick found by walking the list
// from the start, and the whole design drawn again at that position (a tick without the cache).
#include "VDLCanvasRenderer.h"
#include "VDLPlaybackCursor.h"

#include <QGuiApplication>
#include <QImage>

#include <benchmark/benchmark.h>

#include <memory>
#include <optional>

namespace {

constexpr int kStitches = 500000;
constexpr int kSpeed = 100;
const QSize kView(1000, 800);

// Rows of 40-unit stitches over a 2400 x 2000 unit area, 25 colour blocks joined by jumps.
const VDLDesign& bigDesign() {
    static const VDLDesign design = [] {
        VDLDesign d;
        std::vector<VDLStitch> st;
        st.reserve(kStitches);
        const int perBlock = kStitches / 25;
        float x = 0, y = 0;
        for (int i = 0; i < kStitches; ++i) {
            const int inBlock = i % perBlock;
            if (i > 0 && inBlock == 0) {
                st.emplace_back(-x, -y, true, false);
                x = y = 0;
                st.emplace_back(0.0f, 1.0f, false, true);
                y += 1;
                ++i;
                continue;
            }
            const int row = inBlock / 60;
            const float dx = row % 2 == 0 ? 40.0f : -40.0f;
            const float dy = inBlock % 60 == 59 ? 0.1f : (i % 2 ? 6.0f : -6.0f);
            st.emplace_back(dx, dy, false, false);
            x += dx;
            y += dy;
        }
        d.setStitches(std::move(st));
        std::vector<VDLThread> threads;
        for (int t = 0; t < 26; ++t) threads.emplace_back(VDLColor(0.2 + 0.02 * t, 0.8 - 0.02 * t, 0.5), "t", "", "", "");
        d.setThreads(std::move(threads));
        d.recomputeBounds();
        return d;
    }();
    return design;
}

struct Frame {
    VDLRect rect;
    double ppu;
};

Frame frame(const VDLDesign& d) {
    const double w = d.xMax() - d.xMin() + 20, h = d.yMax() - d.yMin() + 20;
    const double ppu = std::min(kView.width() / w, kView.height() / h);
    return {VDLMakeRect(d.xMin() - 10, d.yMax() + 10 - kView.height() / ppu, kView.width() / ppu, kView.height() / ppu),
            ppu};
}

uint64_t positionOf(benchmark::State& state) { return uint64_t(double(kStitches - 2 * kSpeed) * double(state.range(0)) / 100.0); }

// One tick as the canvas worker draws it: the cursor left by the previous tick walks the 100
// new records and hands a small design with only them, drawn on top of the cached image.
void BM_PlaybackTick(benchmark::State& state) {
    auto d = std::make_shared<VDLDesign>(bigDesign());
    const Frame f = frame(*d);
    const uint64_t end = positionOf(state);
    QImage cached(kView, QImage::Format_ARGB32_Premultiplied);
    cached.fill(Qt::transparent);
    d->setDisplayRange(VDLRange{0, end});
    VDLCanvasRenderer::render(*d, cached, f.rect, f.ppu, true, true, false);
    VDLPlaybackCursor previous;  // where the previous tick's walk ended
    previous.segment(d, VDLRange{end - kSpeed + 2, kSpeed - 2});
    for (auto _ : state) {
        VDLPlaybackCursor cursor = previous;
        QImage image = cached;  // the cache is shared with the UI: the worker draws on a copy
        const std::optional<VDLDesign> part = cursor.segment(d, VDLRange{end + 2, kSpeed - 2});
        VDLCanvasRenderer::render(*part, image, f.rect, f.ppu, true, true, false);
        benchmark::DoNotOptimize(image.constBits());
    }
    state.SetLabel(std::to_string(state.range(0)) + " %");
}

// The same tick drawn by the renderer from the whole design with the tick's display range: the
// new stitches only, but found by walking the list from the start.
void BM_PlaybackTickWalkingFromStart(benchmark::State& state) {
    VDLDesign d = bigDesign();
    const Frame f = frame(d);
    const uint64_t end = positionOf(state);
    QImage cached(kView, QImage::Format_ARGB32_Premultiplied);
    cached.fill(Qt::transparent);
    d.setDisplayRange(VDLRange{0, end});
    VDLCanvasRenderer::render(d, cached, f.rect, f.ppu, true, true, false);
    for (auto _ : state) {
        QImage image = cached;
        d.setDisplayRange(VDLRange{end + 2, kSpeed - 2});
        VDLCanvasRenderer::render(d, image, f.rect, f.ppu, true, true, false);
        benchmark::DoNotOptimize(image.constBits());
    }
    state.SetLabel(std::to_string(state.range(0)) + " %");
}

// The same frame drawn from nothing: the whole design up to the position.
void BM_PlaybackFullRedraw(benchmark::State& state) {
    VDLDesign d = bigDesign();
    const Frame f = frame(d);
    const uint64_t end = positionOf(state) + kSpeed;
    for (auto _ : state) {
        QImage image(kView, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        d.setDisplayRange(VDLRange{0, end});
        VDLCanvasRenderer::render(d, image, f.rect, f.ppu, true, true, false);
        benchmark::DoNotOptimize(image.constBits());
    }
    state.SetLabel(std::to_string(state.range(0)) + " %");
}

}  // namespace

BENCHMARK(BM_PlaybackTick)->Arg(1)->Arg(50)->Arg(100)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlaybackTickWalkingFromStart)->Arg(1)->Arg(50)->Arg(100)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlaybackFullRedraw)->Arg(1)->Arg(50)->Arg(100)->Unit(benchmark::kMillisecond)->Iterations(2);

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
