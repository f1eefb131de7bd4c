// The normalisation pass (merge runs of jumps and colour changes, cut long moves, bounds) on a
// large design, against the obvious in-place version that erases merged records and inserts
// colour changes and cut pieces one by one.
#include "NaiveNormalise.h"
#include "VDLDesign.h"

#include <benchmark/benchmark.h>

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <random>

namespace {

// Ordinary stitches with runs of jumps (some long enough to be cut), colour changes between
// jumps, long stitches after jumps, and a few empty moves.
VDLDesign makeBusyDesign(size_t count, const std::string& type) {
    std::mt19937 rng(7);
    std::vector<VDLStitch> list;
    list.reserve(count);
    size_t changes = 0;
    while (list.size() < count) {
        const unsigned kind = rng() % 100;
        const auto value = [&](int range) { return float(int(rng() % unsigned(2 * range + 1)) - range); };
        if (kind < 8) {  // a run of one to three jumps, sometimes around a colour change
            const unsigned run = 1 + rng() % 3;
            for (unsigned k = 0; k < run && list.size() < count; ++k)
                list.emplace_back(value(kind < 2 ? 600 : 90), value(90), true, false);
            if (kind % 2 == 0 && list.size() < count) {
                list.emplace_back(0.0f, 0.0f, false, true);
                ++changes;
            }
        } else if (kind < 10) {
            list.emplace_back(value(200), value(200), false, false);  // a stitch to cut
        } else if (kind < 11) {
            list.emplace_back(0.0f, 0.0f, true, false);  // an empty jump
        } else {
            list.emplace_back(value(40), value(40), false, false);
        }
        list.back().isSelected = rng() % 4 == 0;
    }
    VDLDesign d;
    d.setStitches(std::move(list));
    for (size_t i = 0; i <= changes; ++i) d.threads().emplace_back(std::to_string(i % 20 + 1), "Undefined");
    d.setDesignType(type);
    return d;
}


bool sameResult(const VDLDesign& a, const VDLDesign& b) {
    const auto& sa = a.stitches();
    const auto& sb = b.stitches();
    if (sa.size() != sb.size()) return false;
    for (size_t i = 0; i < sa.size(); ++i) {
        if (std::memcmp(&sa[i].deltaX, &sb[i].deltaX, sizeof(float)) != 0 ||
            std::memcmp(&sa[i].deltaY, &sb[i].deltaY, sizeof(float)) != 0 || sa[i].isJumpStitch != sb[i].isJumpStitch ||
            sa[i].isColorChange != sb[i].isColorChange || sa[i].isSelected != sb[i].isSelected)
            return false;
    }
    return a.xMin() == b.xMin() && a.xMax() == b.xMax() && a.yMin() == b.yMin() && a.yMax() == b.yMax() &&
           a.displayRange() == b.displayRange();
}

// The input per size, built once; on first use the linear pass is checked against the naive
// one on that very input, and the run aborts if they differ in any bit.
const VDLDesign& busyDesign(size_t count) {
    static std::map<size_t, VDLDesign> designs;
    auto found = designs.find(count);
    if (found != designs.end()) return found->second;
    const VDLDesign& d = designs.emplace(count, makeBusyDesign(count, "PES")).first->second;
    // "PES" cuts stitches only; "DST" cuts jumps too (checked on the smaller inputs only, as the
    // step-by-step version takes seconds on the largest).
    for (const char* type : {"PES", "DST"}) {
        if (std::string(type) == "DST" && count > 100000) continue;
        VDLDesign fast = d, slow = d;
        fast.optimizeJumpsFor(type);
        naiveOptimizeJumps(slow, type);
        if (!sameResult(fast, slow)) {
            std::fprintf(stderr, "normalisation pass for %s differs from the step-by-step version at %zu records\n",
                         type, count);
            std::abort();
        }
    }
    return d;
}

void BM_OptimizeJumps(benchmark::State& state) {
    const VDLDesign& input = busyDesign(size_t(state.range(0)));
    for (auto _ : state) {
        state.PauseTiming();
        VDLDesign d = input;
        state.ResumeTiming();
        d.optimizeJumpsFor("PES");
        benchmark::DoNotOptimize(d.stitches().data());
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * state.range(0));
}

void BM_OptimizeJumpsNaive(benchmark::State& state) {
    const VDLDesign& input = busyDesign(size_t(state.range(0)));
    for (auto _ : state) {
        state.PauseTiming();
        VDLDesign d = input;
        state.ResumeTiming();
        naiveOptimizeJumps(d, "PES");
        benchmark::DoNotOptimize(d.stitches().data());
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * state.range(0));
}

}  // namespace

BENCHMARK(BM_OptimizeJumps)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OptimizeJumpsNaive)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OptimizeJumpsNaive)->Arg(1000000)->Iterations(1)->Unit(benchmark::kMillisecond);
