// A layout pass of the tabbed-sections layout during a scroll (no data change) over a
// header section and five tab sections of 1,000 items each, against copying the
// attributes of the elements the pass shows (what any pass costs at least); and
// 10,000 item insertions recorded in one batch and replayed, against the same
// insertions made directly inside one performBatchUpdates, as two benchmarks and as
// alternating pairs.

#include <benchmark/benchmark.h>

#include <QXUIKit/UICollectionView/UICollectionViewBatchUpdate.h>
#include <QXUIKit/UICollectionView/UICollectionViewLayoutTabbedSections.h>
#include <fnd/RunLoop.h>

#include <ctime>

#include "AlternatingPairs.h"

#include "UICollectionView/TabbedSectionsData.h"

namespace {

using tabbedtest::Cell;
using tabbedtest::Sections;
using tabbedtest::Supplement;

/// Counts the per-item questions (none may come during a scroll).
struct CountingDelegate : zid::UICollectionViewLayoutTabbedSectionsDelegate {
    long perItem = 0;
    double heightForItemAtIndexPath(ui::IndexPath, double) override {
        ++perItem;
        return 60;
    }
    ui::EdgeInsets edgeInsetsForItemAtIndexPath(ui::IndexPath) override {
        ++perItem;
        return {};
    }
};

struct TabbedPage {
    Sections data;
    CountingDelegate delegate;
    rt::Ref<zid::UICollectionViewLayoutTabbedSections> layout;
    rt::Ref<ui::CollectionView> cv;
    TabbedPage() {
        fnd::RunLoop::main();
        layout = rt::make<zid::UICollectionViewLayoutTabbedSections>();
        layout->setDelegate(&delegate);
        cv = rt::make<ui::CollectionView>(ui::Rect(0, 0, 320, 480), layout);
        cv->registerCellClass<Cell>("cell");
        cv->registerSupplementaryViewClass<Supplement>(ui::CollectionView::kSectionHeaderKind, "s");
        cv->registerSupplementaryViewClass<Supplement>(ui::CollectionView::kSectionFooterKind, "s");
        data.counts = {4, 1000, 1000, 1000, 1000, 1000};
        cv->setDataSource(&data);
        cv->layoutIfNeeded();
        fnd::RunLoop::main()->drain();
        cv->layoutIfNeeded();
        cv->setContentOffset(ui::Point{0, 3000});
        cv->layoutIfNeeded();
    }
};

void BM_TabbedLayout_ScrollPass(benchmark::State& state) {
    TabbedPage page;
    long perItemBefore = page.delegate.perItem;
    double y = 3000;
    for (auto _ : state) {
        y = y == 3000 ? 3001 : 3000;
        page.cv->setContentOffset(ui::Point{0, y});
        page.layout->prepareLayout();
        auto shown = page.layout->layoutAttributesForElementsInRect(page.cv->bounds());
        benchmark::DoNotOptimize(shown.data());
    }
    if (page.delegate.perItem != perItemBefore) state.SkipWithError("a scroll asked the delegate about items");
}
BENCHMARK(BM_TabbedLayout_ScrollPass);

void BM_TabbedLayout_CopyShownAttributes(benchmark::State& state) {
    TabbedPage page;
    auto shown = page.layout->layoutAttributesForElementsInRect(page.cv->bounds());
    for (auto _ : state) {
        std::vector<rt::Ref<ui::CollectionViewLayoutAttributes>> copies;
        copies.reserve(shown.size());
        for (auto& a : shown) copies.push_back(a->copy());
        benchmark::DoNotOptimize(copies.data());
    }
}
BENCHMARK(BM_TabbedLayout_CopyShownAttributes);

constexpr long kChanges = 10000;

struct Growing : ui::CollectionViewDataSource {
    long n = 0;
    long numberOfItemsInSection(ui::CollectionView&, long) override { return n; }
    rt::Ref<ui::CollectionViewCell> cellForItemAtIndexPath(ui::CollectionView& cv, ui::IndexPath p) override {
        return cv.dequeueReusableCell("cell", p);
    }
};

/// A view laid out once with no items; each round inserts kChanges items.
struct GrowingView {
    Growing data;
    rt::Ref<ui::CollectionView> cv;
    GrowingView() {
        fnd::RunLoop::main();
        cv = rt::make<ui::CollectionView>(ui::Rect(0, 0, 320, 480), rt::make<ui::CollectionViewFlowLayout>());
        cv->registerCellClass<Cell>("cell");
        cv->setDataSource(&data);
        cv->layoutIfNeeded();
    }
    void reset() {
        data.n = 0;
        cv->reloadData();
        cv->layoutIfNeeded();
        fnd::RunLoop::main()->drain();
    }
};

void BM_BatchUpdate_RecordedAndReplayed(benchmark::State& state) {
    GrowingView v;
    for (auto _ : state) {
        state.PauseTiming();
        v.reset();
        state.ResumeTiming();
        zid::beginUpdates(*v.cv);
        v.data.n = kChanges;
        for (long i = 0; i < kChanges; ++i) zid::qxInsertItemsAtIndexPaths(*v.cv, {ui::IndexPath{0, i}});
        zid::endUpdates(*v.cv);
    }
}
BENCHMARK(BM_BatchUpdate_RecordedAndReplayed)->Unit(benchmark::kMillisecond);

void BM_BatchUpdate_Direct(benchmark::State& state) {
    GrowingView v;
    for (auto _ : state) {
        state.PauseTiming();
        v.reset();
        state.ResumeTiming();
        v.data.n = kChanges;
        v.cv->performBatchUpdates([&] {
            for (long i = 0; i < kChanges; ++i) v.cv->insertItemsAtIndexPaths({ui::IndexPath{0, i}});
        });
    }
}
BENCHMARK(BM_BatchUpdate_Direct)->Unit(benchmark::kMillisecond);

double threadCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

/// The two above as alternating pairs, each side on a view of its own: a side answers
/// the CPU seconds of one round of kChanges inserts (the view's reset not counted). Two
/// separate benchmarks fall on different moments of a shared machine's load; pairs
/// compare each round with its neighbour.
void BM_BatchUpdate_RecordedVsDirect(benchmark::State& state) {
    GrowingView recorded, direct;
    auto timed = [](GrowingView& v, auto&& round) {
        v.reset();
        double started = threadCpuSeconds();
        v.data.n = kChanges;
        round(v);
        return threadCpuSeconds() - started;
    };
    zidbench::runAlternatingPairs(
        state, 101, "ms", 1e3,
        [&] {
            return timed(recorded, [](GrowingView& v) {
                zid::beginUpdates(*v.cv);
                for (long i = 0; i < kChanges; ++i) zid::qxInsertItemsAtIndexPaths(*v.cv, {ui::IndexPath{0, i}});
                zid::endUpdates(*v.cv);
            });
        },
        [&] {
            return timed(direct, [](GrowingView& v) {
                v.cv->performBatchUpdates([&] {
                    for (long i = 0; i < kChanges; ++i) v.cv->insertItemsAtIndexPaths({ui::IndexPath{0, i}});
                });
            });
        });
}
BENCHMARK(BM_BatchUpdate_RecordedVsDirect)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
