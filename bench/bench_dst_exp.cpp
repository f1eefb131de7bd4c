// Reading and writing a 1,000,000-record DST and EXP design in memory (the data forms). The
// DST reader is compared with the obvious decoder that tests the 20 move bits of each record
// one by one; both readers are compared with a plain copy of the stitch list as a floor.
#include "VDLDesign.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <random>

namespace {

constexpr size_t kRecords = 1000000;

// A wandering line that stays within ±1000 units of the start: moves below 110 units, a jump
// now and then and a colour change every 20,000 records.
VDLDesign makeLargeDesign() {
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> noise(-25, 25);
    std::vector<VDLStitch> list;
    list.reserve(kRecords);
    float px = 0, py = 0;
    size_t changes = 0;
    for (size_t i = 0; i < kRecords; ++i) {
        if (i % 20000 == 19999) {
            list.emplace_back(0.0f, 0.0f, false, true);
            ++changes;
            continue;
        }
        const float tx = 900.0f * std::sin(0.05f * float(i)) + noise(rng);
        const float ty = 900.0f * std::cos(0.037f * float(i)) - 900.0f + noise(rng);
        list.emplace_back(tx - px, ty - py, rng() % 50 == 0, false);
        px = tx, py = ty;
    }
    VDLDesign d;
    d.setStitches(std::move(list));
    for (size_t i = 0; i <= changes; ++i) d.threads().emplace_back(std::to_string(i % 20 + 1), "Undefined");
    d.setDesignName("bench.dst");
    d.recomputeBounds();
    d.setXMax(std::max(d.xMax(), 0.0f)), d.setXMin(std::min(d.xMin(), 0.0f));
    d.setYMax(std::max(d.yMax(), 0.0f)), d.setYMin(std::min(d.yMin(), 0.0f));
    return d;
}

VDLDesign& largeDesign() {
    static VDLDesign d = makeLargeDesign();
    return d;
}

const std::vector<uint8_t>& dstBytes() {
    static const std::vector<uint8_t> b = [] {
        auto bytes = largeDesign().exportDstDesignToData();
        if (bytes.empty()) std::abort();
        return bytes;
    }();
    return b;
}

const std::vector<uint8_t>& expBytes() {
    static const std::vector<uint8_t> b = largeDesign().exportExpDesignToData();
    return b;
}

// The obvious decoder: every move bit tested on its own.
std::vector<VDLStitch> naiveDstDecode(const std::vector<uint8_t>& b) {
    std::vector<VDLStitch> out;
    for (size_t p = 512; p + 3 < b.size(); p += 3) {
        const uint8_t b0 = b[p], b1 = b[p + 1], b2 = b[p + 2];
        if (b2 == 0xF3) break;
        int x = 0, y = 0;
        if (b0 & 0x01) x += 1;
        if (b0 & 0x02) x -= 1;
        if (b0 & 0x04) x += 9;
        if (b0 & 0x08) x -= 9;
        if (b0 & 0x80) y += 1;
        if (b0 & 0x40) y -= 1;
        if (b0 & 0x20) y += 9;
        if (b0 & 0x10) y -= 9;
        if (b1 & 0x01) x += 3;
        if (b1 & 0x02) x -= 3;
        if (b1 & 0x04) x += 27;
        if (b1 & 0x08) x -= 27;
        if (b1 & 0x80) y += 3;
        if (b1 & 0x40) y -= 3;
        if (b1 & 0x20) y += 27;
        if (b1 & 0x10) y -= 27;
        if (b2 & 0x04) x += 81;
        if (b2 & 0x08) x -= 81;
        if (b2 & 0x20) y += 81;
        if (b2 & 0x10) y -= 81;
        out.emplace_back(float(x), float(y), (b2 & 0xC3) == 0x83, (b2 & 0xC3) == 0xC3);
    }
    return out;
}

void BM_DstRead(benchmark::State& state) {
    const auto& bytes = dstBytes();
    for (auto _ : state) {
        VDLDesign d;
        if (!d.importDstDesignFromData(bytes)) std::abort();
        benchmark::DoNotOptimize(d.stitches().data());
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(kRecords));
}

void BM_DstReadNaiveDecode(benchmark::State& state) {
    const auto& bytes = dstBytes();
    for (auto _ : state) {
        auto list = naiveDstDecode(bytes);
        benchmark::DoNotOptimize(list.data());
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(kRecords));
}

void BM_DstWrite(benchmark::State& state) {
    VDLDesign& d = largeDesign();
    for (auto _ : state) {
        auto bytes = d.exportDstDesignToData();
        benchmark::DoNotOptimize(bytes.data());
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(kRecords));
}

void BM_ExpRead(benchmark::State& state) {
    const auto& bytes = expBytes();
    for (auto _ : state) {
        VDLDesign d;
        if (!d.importExpDesignFromData(bytes)) std::abort();
        benchmark::DoNotOptimize(d.stitches().data());
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(kRecords));
}

void BM_ExpWrite(benchmark::State& state) {
    VDLDesign& d = largeDesign();
    for (auto _ : state) {
        auto bytes = d.exportExpDesignToData();
        benchmark::DoNotOptimize(bytes.data());
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(kRecords));
}

void BM_CopyStitchList(benchmark::State& state) {
    const auto& list = largeDesign().stitches();
    for (auto _ : state) {
        std::vector<VDLStitch> copy(list);
        benchmark::DoNotOptimize(copy.data());
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(kRecords));
}

}  // namespace

BENCHMARK(BM_DstRead)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DstReadNaiveDecode)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DstWrite)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ExpRead)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ExpWrite)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CopyStitchList)->Unit(benchmark::kMillisecond);
