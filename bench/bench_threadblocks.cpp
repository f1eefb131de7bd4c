// Moving and combining thread blocks of a 500,000-stitch design, against the obvious versions
// that follow the step-by-step walk on the list in place: the move cuts its block out record
// by record and inserts the bridging jump and the block as it goes; the combine clears the
// colour change and runs the in-place normalisation walk that erases merged records and
// inserts colour changes one by one. Both pairs are checked to give the same design first.
#include "NaiveNormalise.h"
#include "VDLDesign.h"

#include <benchmark/benchmark.h>

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>

namespace {

constexpr size_t kStitches = 500000;
constexpr size_t kBlockLength = 2000;  // 250 blocks

// Ordinary stitches with a jump now and then and a colour change every kBlockLength records,
// normalised for "DST".
const VDLDesign& largeDesign() {
    static const VDLDesign design = [] {
        std::mt19937 rng(5);
        std::uniform_real_distribution<float> small(-40, 40), far(-110, 110);
        std::vector<VDLStitch> list;
        list.reserve(kStitches);
        size_t changes = 0;
        for (size_t i = 0; i < kStitches; ++i) {
            if (i % kBlockLength == kBlockLength - 1) {
                list.emplace_back(0.0f, 0.0f, false, true);
                ++changes;
            } else if (rng() % 50 == 0) {
                list.emplace_back(far(rng), far(rng), true, false);
            } else {
                list.emplace_back(small(rng), small(rng), false, false);
            }
        }
        VDLDesign d;
        d.setStitches(std::move(list));
        for (size_t i = 0; i <= changes; ++i) d.threads().emplace_back(std::to_string(i % 20 + 1), "Undefined");
        d.setDesignType("DST");
        d.optimizeJumpsFor("DST");
        return d;
    }();
    return design;
}

// The block move as the walk describes it, on the list in place.
void stepwiseMove(VDLDesign& d, int32_t f, int32_t t) {
    auto& list = d.stitches();
    int32_t c = 0;
    double ax = 0, ay = 0, bx = 0, by = 0;
    std::vector<VDLStitch> block;
    size_t i = 0;
    while (i < list.size()) {
        VDLStitch& s = list[i];
        const int32_t cc = c + (s.isColorChange ? 1 : 0);
        if (cc > f) break;
        c = cc;
        if (cc < f) {
            ax += s.deltaX, ay += s.deltaY, bx += s.deltaX, by += s.deltaY;
            ++i;
        } else {
            bx += s.deltaX, by += s.deltaY;
            s.isColorChange = false;
            block.push_back(s);
            list.erase(list.begin() + long(i));
        }
    }
    if (i < list.size()) {
        VDLStitch bridge(float(bx - ax), float(by - ay), true, list[i].isColorChange);
        list[i].isColorChange = false;
        list.insert(list.begin() + long(i), bridge);
    }
    list[0].isColorChange = true;
    int32_t count = -1;
    size_t j = 0;
    double cx = 0, cy = 0;
    for (; j < list.size(); ++j) {
        if (list[j].isColorChange) ++count;
        if (count == t) break;
        cx += list[j].deltaX, cy += list[j].deltaY;
    }
    if (t != 0) {
        list[0].isColorChange = false;
        block[0].isColorChange = true;
    }
    list.insert(list.begin() + long(j), VDLStitch(float(ax - cx), float(ay - cy), true, false));
    for (size_t k = 0; k < block.size(); ++k) list.insert(list.begin() + long(j + 1 + k), block[k]);
    list.insert(list.begin() + long(j + 1 + block.size()), VDLStitch(float(cx - bx), float(cy - by), true, false));
    VDLThread moved = d.threads()[size_t(f)];
    d.threads().erase(d.threads().begin() + f);
    d.threads().insert(d.threads().begin() + t, moved);
    d.optimizeJumpsFor(d.designType());
}


void inPlaceCombine(VDLDesign& d, int32_t k) {
    int32_t changes = 0;
    for (VDLStitch& s : d.stitches()) {
        if (s.isColorChange) ++changes;
        if (changes == k) {
            s.isColorChange = false;
            d.threads().erase(d.threads().begin() + k);
            break;
        }
    }
    naiveOptimizeJumps(d, "DST");
}

bool same(const VDLDesign& a, const VDLDesign& b) {
    const auto& sa = a.stitches();
    const auto& sb = b.stitches();
    if (sa.size() != sb.size() || a.threads().size() != b.threads().size()) return false;
    for (size_t i = 0; i < sa.size(); ++i)
        if (std::memcmp(&sa[i].deltaX, &sb[i].deltaX, sizeof(float)) != 0 ||
            std::memcmp(&sa[i].deltaY, &sb[i].deltaY, sizeof(float)) != 0 || sa[i].isJumpStitch != sb[i].isJumpStitch ||
            sa[i].isColorChange != sb[i].isColorChange)
            return false;
    for (size_t i = 0; i < a.threads().size(); ++i)
        if (a.threads()[i].key() != b.threads()[i].key()) return false;
    return a.xMin() == b.xMin() && a.xMax() == b.xMax() && a.yMin() == b.yMin() && a.yMax() == b.yMax();
}

void check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "%s differs from the step-by-step version\n", what);
        std::abort();
    }
}

// Block `from` to `to`: an early block moved late (the in-place cut shifts nearly the whole
// list once per record of the block) and a late block moved early.
void BM_MoveThread(benchmark::State& state) {
    const int32_t from = int32_t(state.range(0)), to = int32_t(state.range(1));
    static bool checked[2] = {false, false};
    if (!checked[from > to]) {
        VDLDesign fast = largeDesign(), slow = largeDesign();
        fast.moveThreadFromIndex(from, to);
        stepwiseMove(slow, from, to);
        check(same(fast, slow), "moveThreadFromIndex");
        checked[from > to] = true;
    }
    for (auto _ : state) {
        state.PauseTiming();
        VDLDesign d = largeDesign();
        state.ResumeTiming();
        d.moveThreadFromIndex(from, to);
        benchmark::DoNotOptimize(d.stitches().data());
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(kStitches));
}

void BM_MoveThreadStepwise(benchmark::State& state) {
    const int32_t from = int32_t(state.range(0)), to = int32_t(state.range(1));
    for (auto _ : state) {
        state.PauseTiming();
        VDLDesign d = largeDesign();
        state.ResumeTiming();
        stepwiseMove(d, from, to);
        benchmark::DoNotOptimize(d.stitches().data());
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(kStitches));
}

void BM_CombineThreads(benchmark::State& state) {
    static bool checked = false;
    if (!checked) {
        VDLDesign fast = largeDesign(), slow = largeDesign();
        fast.deleteThreadAtIndex(125);
        inPlaceCombine(slow, 125);
        check(same(fast, slow), "deleteThreadAtIndex");
        checked = true;
    }
    for (auto _ : state) {
        state.PauseTiming();
        VDLDesign d = largeDesign();
        state.ResumeTiming();
        d.deleteThreadAtIndex(125);
        benchmark::DoNotOptimize(d.stitches().data());
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(kStitches));
}

void BM_CombineThreadsInPlace(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        VDLDesign d = largeDesign();
        state.ResumeTiming();
        inPlaceCombine(d, 125);
        benchmark::DoNotOptimize(d.stitches().data());
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(kStitches));
}

}  // namespace

BENCHMARK(BM_MoveThread)->Args({1, 200})->Args({200, 1})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MoveThreadStepwise)->Args({1, 200})->Args({200, 1})->Iterations(2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CombineThreads)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CombineThreadsInPlace)->Iterations(2)->Unit(benchmark::kMillisecond);
