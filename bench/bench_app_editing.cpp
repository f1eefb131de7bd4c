// Editing in the application: undo and redo of a move on a 1,000,000-stitch design (the snapshot
// swap against restoring by copying the snapshot back), a paste of 100,000 stitches through the
// clipboard archive, and the thread-list pictures of a 50-thread, 500,000-stitch design.
#ifdef VARDELLE_BENCH_APP
#include "VDLDesignClipboard.h"
#include "VDLSnapshotCommand.h"
#include "VDLThreadListView.h"
#include "VDLUndoTarget.h"

#include <QMimeData>
#include <QUndoStack>

#include <benchmark/benchmark.h>

#include <memory>

namespace {
VDLDesign blockDesign(int blocks, int perBlock) {
    VDLDesign d;
    std::vector<VDLStitch> s;
    s.reserve(size_t(blocks) * size_t(perBlock));
    for (int b = 0; b < blocks; ++b)
        for (int i = 0; i < perBlock; ++i)
            s.emplace_back(float((i % 41) - 20) * 0.7f + float(b % 5), float(((i / 41) % 37) - 18) * 0.5f, false,
                           b > 0 && i == 0);
    d.setStitches(std::move(s));
    for (int b = 0; b < blocks; ++b) d.threads().emplace_back(std::to_string(b % 20 + 1), "Undefined");
    d.setDesignType("DST");
    d.recomputeBounds();
    d.setDisplayRange(VDLRange{0, d.stitches().size()});
    return d;
}

struct Target : VDLUndoTarget {
    VDLDesign design;
    VDLDesign& myDesign() override { return design; }
    void swapDesign(VDLDesign& other) override { std::swap(design, other); }
    void designPropertiesChanged() override {}
};

// One undo and one redo of a move of every stitch: two swaps of whole designs.
void BM_UndoRedoMoveSnapshotSwap(benchmark::State& state) {
    Target t;
    t.design = blockDesign(10, 100000);
    t.design.selectAll();
    QUndoStack stack;
    stack.push(new VDLSnapshotCommand(t, "move", [&t] { t.design.moveSelectionByVector({12, 7}); }));
    for (auto _ : state) {
        stack.undo();
        stack.redo();
        benchmark::DoNotOptimize(t.design.stitches().data());
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * 2 * int64_t(t.design.stitches().size()));
}
BENCHMARK(BM_UndoRedoMoveSnapshotSwap)->Unit(benchmark::kMillisecond);

// The obvious alternative: each undo or redo copies the kept design back.
void BM_UndoRedoMoveSnapshotCopy(benchmark::State& state) {
    VDLDesign before = blockDesign(10, 100000);
    before.selectAll();
    VDLDesign after = before;
    after.moveSelectionByVector({12, 7});
    VDLDesign live = after;
    for (auto _ : state) {
        live = before;
        live = after;
        benchmark::DoNotOptimize(live.stitches().data());
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * 2 * int64_t(live.stitches().size()));
}
BENCHMARK(BM_UndoRedoMoveSnapshotCopy)->Unit(benchmark::kMillisecond);

// Paste of 100,000 stitches: decode the clipboard archive and append to a 100,000-stitch design.
void BM_Paste100k(benchmark::State& state) {
    VDLDesign source = blockDesign(10, 10000);
    source.selectAll();
    std::unique_ptr<QMimeData> data(VDLDesignClipboard::mimeDataForCopy(source, QImage()));
    const VDLDesign base = blockDesign(5, 20000);
    for (auto _ : state) {
        VDLDesign d = base;
        auto pasted = VDLDesignClipboard::designFromMimeData(data.get());
        pasted->selectAll();
        d.deselectAll();
        d.appendDesign(*pasted);
        benchmark::DoNotOptimize(d.stitches().data());
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * 100000);
}
BENCHMARK(BM_Paste100k)->Unit(benchmark::kMillisecond);

// The thread-list pictures of 50 blocks of 10,000 stitches, 64 x 64 at ratio 1 and 128 x 128 at 2.
void BM_ThreadListPictures(benchmark::State& state) {
    const VDLDesign d = blockDesign(50, 10000);
    const int side = int(state.range(0));
    for (auto _ : state)
        for (int i = 0; i < 50; ++i) benchmark::DoNotOptimize(VDLThreadListView::renderThreadIcon(d, i, side));
    state.SetItemsProcessed(int64_t(state.iterations()) * 50);
}
BENCHMARK(BM_ThreadListPictures)->Arg(64)->Arg(128)->Unit(benchmark::kMillisecond);
}  // namespace
#endif
