// The selection transforms and deleting on a 500,000-stitch design. Move and delete are also
// run as the obvious in-place versions that insert each bridging jump (and erase each deleted
// stitch) in the vector as the walk goes; both are checked to give the same list first.
#include "VDLDesign.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <random>

namespace {

constexpr size_t kStitches = 500000;

// Ordinary stitches with a jump now and then and a colour change every 20,000 records. Runs
// of `selected` stitches every `period` records are selected.
VDLDesign makeLargeDesign(size_t period, size_t selected) {
    std::mt19937 rng(11);
    std::uniform_real_distribution<float> small(-40, 40), far(-110, 110);
    std::vector<VDLStitch> list;
    list.reserve(kStitches);
    size_t changes = 0;
    for (size_t i = 0; i < kStitches; ++i) {
        if (i % 20000 == 19999) {
            list.emplace_back(0.0f, 0.0f, false, true);
            ++changes;
        } else if (rng() % 50 == 0) {
            list.emplace_back(far(rng), far(rng), true, false);
        } else {
            list.emplace_back(small(rng), small(rng), false, false);
        }
        list.back().isSelected = i % period >= period / 2 && i % period < period / 2 + selected;
    }
    VDLDesign d;
    d.setStitches(std::move(list));
    for (size_t i = 0; i <= changes; ++i) d.threads().emplace_back(std::to_string(i % 20 + 1), "Undefined");
    d.setDesignType("DST");
    d.optimizeJumpsFor("DST");
    d.setSelectionActive(true);
    return d;
}

const VDLDesign& sparseSelection() {
    static const VDLDesign d = makeLargeDesign(1000, 200);  // 500 runs of 200
    return d;
}

// The move walk inserting its jumps into the list in place.
void naiveMove(VDLDesign& d, VDLPoint v) {
    auto& list = d.stitches();
    bool prevSelected = false;
    for (int32_t i = 0; i < int32_t(list.size()); ++i) {
        const bool selected = list[size_t(i)].isSelected;
        if (selected && !prevSelected)
            i = d.insertJump(v, i);
        else if (!selected && prevSelected && i > 0)
            i = d.insertJump(VDLPoint{0.0 - v.x, 0.0 - v.y}, i);
        prevSelected = selected;
    }
    d.optimizeJumpsFor(d.designType());
}

// Deleting step by step: erase each selected stitch, insert each bridging jump, erase each
// emptied colour change and its thread, all in place.
void naiveDelete(VDLDesign& d) {
    auto& v = d.stitches();
    auto& threads = d.threads();
    double px = 0, py = 0, rx = 0, ry = 0;
    bool inRun = false;
    for (int32_t i = 0; i < int32_t(v.size());) {
        VDLStitch& s = v[size_t(i)];
        const double ex = px + s.deltaX, ey = py + s.deltaY;
        if (!s.isSelected) {
            if (inRun) i = d.insertJump(VDLPoint{px - rx, py - ry}, i);
            inRun = false;
            ++i;
        } else {
            if (!inRun) rx = px, ry = py;
            if (s.isColorChange) {
                s.deltaX = s.deltaY = 0;
                ++i;
            } else {
                v.erase(v.begin() + i);
            }
            inRun = true;
        }
        px = ex;
        py = ey;
    }
    size_t k = 0;
    for (size_t i = 0; i < v.size(); ++i) {
        if (!v[i].isColorChange) continue;
        const size_t m = k + 1;
        bool empty = true;
        for (size_t j = i + 1; j < v.size(); ++j) {
            if (v[j].isColorChange) break;
            if (v[j].isJumpStitch || v[j].isNullStitch()) continue;
            empty = false;
            break;
        }
        if (!empty) {
            k = m;
            continue;
        }
        if (m < threads.size()) threads.erase(threads.begin() + long(m));
        if (v[i].isNullStitch()) {
            v.erase(v.begin() + long(i));
            --i;
        } else {
            v[i].isColorChange = false;
        }
    }
    size_t f = 0;
    while (f < v.size() && !v[f].isColorChange && (v[f].isJumpStitch || v[f].isNullStitch())) ++f;
    if (f < v.size() && v[f].isColorChange) {
        if (v[f].isNullStitch())
            v.erase(v.begin() + long(f));
        else
            v[f].isColorChange = false;
        if (!threads.empty()) threads.erase(threads.begin());
    }
    d.optimizeJumpsFor(d.designType());
    if (v.empty()) {
        threads.clear();
        d.setXMin(-100), d.setXMax(100), d.setYMin(-100), d.setYMax(100);
    }
}

bool sameList(const VDLDesign& a, const VDLDesign& b) {
    const auto &sa = a.stitches(), &sb = b.stitches();
    if (sa.size() != sb.size() || a.threads().size() != b.threads().size()) return false;
    for (size_t i = 0; i < sa.size(); ++i) {
        const VDLStitch &x = sa[i], &y = sb[i];
        if (std::memcmp(&x.deltaX, &y.deltaX, sizeof(float)) != 0 ||
            std::memcmp(&x.deltaY, &y.deltaY, sizeof(float)) != 0 || x.isJumpStitch != y.isJumpStitch ||
            x.isColorChange != y.isColorChange || x.isSelected != y.isSelected)
            return false;
    }
    return a.xMin() == b.xMin() && a.xMax() == b.xMax() && a.yMin() == b.yMin() && a.yMax() == b.yMax();
}

template <class Edit>
void runEdit(benchmark::State& state, Edit edit) {
    const VDLDesign& source = sparseSelection();
    for (auto _ : state) {
        state.PauseTiming();
        VDLDesign d = source;
        state.ResumeTiming();
        edit(d);
        benchmark::DoNotOptimize(d.stitches().data());
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(source.stitches().size()));
}

template <class Fast, class Naive>
bool checkSame(benchmark::State& state, Fast fast, Naive naive) {
    VDLDesign a = sparseSelection(), b = sparseSelection();
    fast(a);
    naive(b);
    if (sameList(a, b)) return true;
    state.SkipWithError("the in-place version gives a different list");
    return false;
}

void BM_Move(benchmark::State& state) {
    runEdit(state, [](VDLDesign& d) { d.moveSelectionByVector({25, -12}); });
}
void BM_MoveNaiveInPlace(benchmark::State& state) {
    if (!checkSame(state, [](VDLDesign& d) { d.moveSelectionByVector({25, -12}); },
                   [](VDLDesign& d) { naiveMove(d, {25, -12}); }))
        return;
    runEdit(state, [](VDLDesign& d) { naiveMove(d, {25, -12}); });
}
void BM_Rotate(benchmark::State& state) {
    runEdit(state, [](VDLDesign& d) { d.rotateSelectionByDegrees(45); });
}
void BM_Resize(benchmark::State& state) {
    runEdit(state, [](VDLDesign& d) { d.resizeSelectionByPercent(1.25f); });
}
void BM_Flip(benchmark::State& state) {
    runEdit(state, [](VDLDesign& d) { d.flipSelection("V"); });
}
void BM_Delete(benchmark::State& state) {
    runEdit(state, [](VDLDesign& d) { d.deleteSelection(); });
}
void BM_DeleteNaiveInPlace(benchmark::State& state) {
    if (!checkSame(state, [](VDLDesign& d) { d.deleteSelection(); }, [](VDLDesign& d) { naiveDelete(d); }))
        return;
    runEdit(state, [](VDLDesign& d) { naiveDelete(d); });
}
// The normalisation pass alone, which every edit ends with.
void BM_NormaliseOnly(benchmark::State& state) {
    runEdit(state, [](VDLDesign& d) { d.optimizeJumpsFor("DST"); });
}

}  // namespace

BENCHMARK(BM_Move)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MoveNaiveInPlace)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Rotate)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Resize)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Flip)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Delete)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DeleteNaiveInPlace)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_NormaliseOnly)->Unit(benchmark::kMillisecond);
