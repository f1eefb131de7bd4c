// Reading and writing a 1,000,000-stitch PES design in memory (the data forms; the file writer
// refuses more than 30,000 stitches, the in-memory one does not check). The reader is compared
// with the obvious way of finding the PEC block: the whole file turned into Latin-1 text, split
// at "LA:" and the piece turned back into bytes. The writer is split into its parts: the PEC
// stitch stream alone, one thumbnail, and the whole file with all thumbnails. The thumbnails
// are drawn straight at their 48 x 38 size (one walk); the way they were made before, the whole
// design stroked through Cairo at one pixel per 0.1 mm and then shrunk, is kept beside them.
#include "VDLBytes.h"
#include "VDLCairoContext.h"
#include "VDLDesign.h"
#include "VDLRasterRenderer.h"

#include <cairo.h>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <random>

namespace {

constexpr size_t kStitches = 1000000;
constexpr size_t kChangeEvery = 100000;

// A wandering line inside 120 x 170 mm around the origin: moves of at most 60 units (one
// short-form record), a jump now and then, a colour change every 100,000 records.
VDLDesign makeLargeDesign() {
    std::mt19937 rng(11);
    std::uniform_real_distribution<float> noise(-20, 20);
    std::vector<VDLStitch> list;
    list.reserve(kStitches);
    float px = 0, py = 0;
    size_t changes = 0;
    for (size_t i = 0; i < kStitches; ++i) {
        if (i % kChangeEvery == kChangeEvery - 1) {
            list.emplace_back(0.0f, 0.0f, false, true);
            ++changes;
            continue;
        }
        const float tx = 550.0f * std::sin(0.013f * float(i)) + noise(rng);
        const float ty = 800.0f * std::cos(0.0071f * float(i)) + noise(rng);
        list.emplace_back(std::clamp(tx - px, -60.0f, 60.0f), std::clamp(ty - py, -60.0f, 60.0f), rng() % 64 == 0,
                          false);
        px += list.back().deltaX, py += list.back().deltaY;
    }
    static const char* const keys[] = {"007", "405", "534", "070", "800", "337", "620", "810", "612", "502", "214"};
    VDLDesign d;
    d.setStitches(std::move(list));
    for (size_t i = 0; i <= changes; ++i) d.threads().emplace_back(keys[i % 11], "Brother");
    d.setDesignName("bench.pes");
    d.recomputeBounds();
    return d;
}

VDLDesign& largeDesign() {
    static VDLDesign d = makeLargeDesign();
    return d;
}

const std::vector<uint8_t>& largeFile() {
    static std::vector<uint8_t> f = [] {
        VDLDesign d = largeDesign();
        return d.exportPesDesignToData();
    }();
    return f;
}

void BM_PesRead(benchmark::State& state) {
    const auto& file = largeFile();
    for (auto _ : state) {
        VDLDesign d;
        if (!d.importPesDesignFromData(file)) state.SkipWithError("read failed");
        benchmark::DoNotOptimize(d.stitches().data());
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(kStitches));
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(file.size()));
}

// The literal reading: the file as Latin-1 text, split at every "LA:", back to bytes.
void BM_PesReadViaLatin1Text(benchmark::State& state) {
    const auto& file = largeFile();
    for (auto _ : state) {
        const std::string text = VDLLatin1ToUTF8(file);
        std::vector<std::string> pieces;
        size_t from = 0;
        for (size_t at; (at = text.find("LA:", from)) != std::string::npos; from = at + 3)
            pieces.push_back(text.substr(from, at - from));
        pieces.push_back(text.substr(from));
        if (pieces.size() != 2) {
            state.SkipWithError("unexpected pieces");
            break;
        }
        const std::string latin1 = VDLUTF8ToLatin1(pieces[1]);
        VDLDesign d;
        d.resetBoundsForReading();
        if (!d.importPecSegmentFromData(
                std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(latin1.data()), latin1.size())))
            state.SkipWithError("read failed");
        benchmark::DoNotOptimize(d.stitches().data());
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(kStitches));
}

void BM_PecStitchStreamWrite(benchmark::State& state) {
    VDLDesign d = largeDesign();
    for (auto _ : state) {
        auto bytes = d.exportPecSegmentToData();
        benchmark::DoNotOptimize(bytes.data());
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(kStitches));
}

void BM_PecThumbnailWholeDesign(benchmark::State& state) {
    VDLDesign d = largeDesign();
    for (auto _ : state) {
        auto bytes = d.exportPecBitmapToDataForThread(-1);
        benchmark::DoNotOptimize(bytes.data());
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(kStitches));
}

// The picture of the whole design the way it was made before: an image at one pixel per
// 0.1 mm (its side capped at 8192), every segment stroked through Cairo, then shrunk to 48 x 38.
void BM_PecThumbnailWholeDesignViaCairoImage(benchmark::State& state) {
    VDLDesign d = largeDesign();
    d.setDisplayRange(VDLRange{0, d.stitches().size()});  // the thumbnail shows the whole design
    const double W = d.designWidth() + 20.0, H = d.designHeight() + 20.0;
    const double k = std::min({1.0, 4096.0 / std::sqrt(W * H), 8192.0 / W, 8192.0 / H});
    VDLSetRasterRenderingEnabled(false);
    for (auto _ : state) {
        auto big = VDLCairoContext::imageContext(int(std::ceil(W * k)), int(std::ceil(H * k)));
        big->translate(0, H * k);
        big->scale(k, -k);
        big->translate(-(d.xMin() - 10.0), -(d.yMin() - 10.0));
        d.drawDesignInRect(VDLMakeRect(d.xMin() - 10.0, d.yMin() - 10.0, W, H), *big, false, false, false, -1);
        auto small = VDLCairoContext::imageContext(48, 38);
        cairo_t* cr = small->cairo();
        cairo_scale(cr, 42.0 / (W * k), 42.0 / (W * k));
        cairo_set_source_surface(cr, big->surface(), 0, 0);
        cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_GOOD);
        cairo_paint(cr);
        benchmark::DoNotOptimize(small->data());
    }
    VDLSetRasterRenderingEnabled(true);
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(kStitches));
}

void BM_PesWriteWholeFile(benchmark::State& state) {
    VDLDesign d = largeDesign();
    for (auto _ : state) {
        auto bytes = d.exportPesDesignToData();
        benchmark::DoNotOptimize(bytes.data());
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(kStitches));
}

// The largest design the file writer accepts (30,000 stitches), with its thumbnails.
void BM_PesWrite30000Stitches(benchmark::State& state) {
    const VDLDesign& big = largeDesign();
    VDLDesign d;
    d.setStitches(std::vector<VDLStitch>(big.stitches().begin(), big.stitches().begin() + 30000));
    d.threads().emplace_back("007", "Brother");
    d.setDesignName("bench.pes");
    d.recomputeBounds();
    for (auto _ : state) {
        auto bytes = d.exportPesDesignToData();
        benchmark::DoNotOptimize(bytes.data());
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * 30000);
}

}  // namespace

BENCHMARK(BM_PesRead)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PesReadViaLatin1Text)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PecStitchStreamWrite)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PecThumbnailWholeDesign)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_PecThumbnailWholeDesignViaCairoImage)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_PesWriteWholeFile)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_PesWrite30000Stitches)->Unit(benchmark::kMillisecond);
