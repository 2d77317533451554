// Batch updates on a collection view that records what reaches it: item batches
// replayed in one pass in call order, section changes and forced reloads ending in one
// reload, nesting, suspension with one reload for dropped changes, begins and ends
// that stay paired across a suspension, and blocks run after their batch.

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <QXFoundation/Diagnostics/Diagnostics.h>
#include <QXFoundation/ObjectAssociation/ObjectAssociation.h>
#include <VirtualTime.h>
#include <rt/Exception.h>

#include "QXUIKit/UICollectionView/UICollectionViewBatchUpdate.h"

using namespace zid;
using ui::IndexPath;

namespace {

std::string pathsText(const std::vector<IndexPath>& paths) {
    std::string s;
    for (auto& p : paths) s += (s.empty() ? "" : ",") + std::to_string(p.section) + "." + std::to_string(p.item);
    return s;
}

/// Records every change, batch and reload that reaches the view (without applying
/// them: the log is what matters here).
class RecordingCollectionView : public ui::CollectionView {
    RT_CLASS(RecordingCollectionView, ui::CollectionView)
public:
    RecordingCollectionView() : CollectionView(ui::Rect(0, 0, 320, 480), rt::make<ui::CollectionViewFlowLayout>()) {}
    void reloadData() override {
        log.push_back("reload");
        CollectionView::reloadData();
    }
    void insertSections(const std::set<long>&) override { log.push_back("insertSections"); }
    void deleteSections(const std::set<long>&) override { log.push_back("deleteSections"); }
    void moveSection(long, long) override { log.push_back("moveSection"); }
    void insertItemsAtIndexPaths(const std::vector<IndexPath>& p) override { log.push_back("insert " + pathsText(p)); }
    void deleteItemsAtIndexPaths(const std::vector<IndexPath>& p) override { log.push_back("delete " + pathsText(p)); }
    void reloadItemsAtIndexPaths(const std::vector<IndexPath>& p) override { log.push_back("reloadItems " + pathsText(p)); }
    void moveItemAtIndexPath(const IndexPath& a, const IndexPath& b) override {
        log.push_back("move " + pathsText({a, b}));
    }
    void performBatchUpdates(const std::function<void()>& updates, std::function<void(bool)> completion) override {
        log.push_back("batch{");
        CollectionView::performBatchUpdates(updates, std::move(completion));
        log.push_back("}");
    }
    std::vector<std::string> log;
};

/// Counts the invalidations that are not for a data change.
class CountingFlow : public ui::CollectionViewFlowLayout {
    RT_CLASS(CountingFlow, ui::CollectionViewFlowLayout)
public:
    void invalidateLayoutWithContext(ui::CollectionViewLayoutInvalidationContext& c) override {
        if (c.invalidateEverything() && !c.invalidateDataSourceCounts()) ++plain;
        CollectionViewFlowLayout::invalidateLayoutWithContext(c);
    }
    int plain = 0;
};

struct Logs : DiagnosticRecorder {
    std::vector<std::string> lines;
    void recordLog(const std::string& text) override { lines.push_back(text); }
};

class BatchUpdate : public zidtest::VirtualTimeTest {
protected:
    void SetUp() override {
        VirtualTimeTest::SetUp();
        view = rt::make<RecordingCollectionView>();
        logs = rt::make<Logs>();
        Diagnostics::registerDiagnosticRecorder(logs);
    }
    void TearDown() override {
        Diagnostics::registerDiagnosticRecorder(nullptr);
        VirtualTimeTest::TearDown();
    }
    using Log = std::vector<std::string>;
    rt::Ref<RecordingCollectionView> view;
    rt::Ref<Logs> logs;
};

TEST_F(BatchUpdate, ItemChangesAreReplayedInOneBatchInCallOrder) {
    beginUpdates(*view);
    qxInsertItemsAtIndexPaths(*view, {{0, 1}});
    qxDeleteItemsAtIndexPaths(*view, {{0, 3}, {0, 4}});
    qxReloadItemsAtIndexPaths(*view, {{0, 2}});
    qxMoveItemAtIndexPath(*view, {0, 5}, {0, 0});
    qxInsertItemsAtIndexPaths(*view, {});
    EXPECT_TRUE(view->log.empty()) << "nothing reaches the view inside the batch";
    EXPECT_EQ(qxUpdateProxy(*view)->recordedChangeCount(), 5u);
    endUpdates(*view);
    EXPECT_EQ(view->log,
              (Log{"batch{", "insert 0.1", "delete 0.3,0.4", "reloadItems 0.2", "move 0.5,0.0", "insert ", "}"}));
    EXPECT_EQ(qxUpdateStackSize(*view), 0);
}

TEST_F(BatchUpdate, ASectionChangeOrAForcedReloadEndsInOneReloadAndNoReplay) {
    for (int variant = 0; variant < 4; ++variant) {
        view->log.clear();
        beginUpdates(*view);
        qxInsertItemsAtIndexPaths(*view, {{0, 0}});
        if (variant == 0) qxInsertSections(*view, {1});
        if (variant == 1) qxDeleteSections(*view, {0});
        if (variant == 2) qxMoveSection(*view, 0, 1);
        if (variant == 3) forceReloadAfterUpdate(*view);
        qxDeleteItemsAtIndexPaths(*view, {{0, 0}});
        endUpdates(*view);
        EXPECT_EQ(view->log, Log{"reload"}) << variant;
        EXPECT_FALSE(qxUpdateProxy(*view)) << variant;
    }
    // Outside a batch, a forced reload and a routed change reach the view at once.
    view->log.clear();
    forceReloadAfterUpdate(*view);
    qxInsertSections(*view, {2});
    EXPECT_EQ(view->log, (Log{"reload", "insertSections"}));
}

TEST_F(BatchUpdate, NestedBatchesCommitAtTheOutermostEnd) {
    beginUpdates(*view);
    beginUpdates(*view);
    beginUpdates(*view);
    qxInsertItemsAtIndexPaths(*view, {{0, 0}});
    endUpdates(*view);
    endUpdates(*view);
    EXPECT_TRUE(view->log.empty());
    EXPECT_EQ(qxUpdateStackSize(*view), 1);
    endUpdates(*view);
    EXPECT_EQ(view->log, (Log{"batch{", "insert 0.0", "}"}));
}

TEST_F(BatchUpdate, ChangesWhileBlockedAreDroppedAndTheOutermostEnableReloadsOnce) {
    blockUpdates(*view);
    blockUpdates(*view);
    EXPECT_FALSE(qxUpdateTarget(*view).view);
    qxInsertItemsAtIndexPaths(*view, {{0, 0}});
    qxDeleteSections(*view, {0});
    EXPECT_TRUE(qxHasChanges(*view));
    enableUpdates(*view);
    EXPECT_TRUE(view->log.empty());
    enableUpdates(*view);
    EXPECT_EQ(view->log, Log{"reload"});

    view->log.clear();
    blockUpdates(*view);
    enableUpdates(*view);
    EXPECT_TRUE(view->log.empty()) << "nothing dropped, nothing reloaded";
}

// A host reads the state through the view's associations under their documented keys.
TEST_F(BatchUpdate, TheStateReadsUnderItsAssociationKeys) {
    auto read = [&](const char* key) { return associatedObjectForKey(*view, key); };
    EXPECT_TRUE(read("kUICollectionView_BatchUpdate_UpdateStackSize").isNil()) << "missing before any call";
    beginUpdates(*view);
    beginUpdates(*view);
    blockUpdates(*view);
    qxInsertItemsAtIndexPaths(*view, {{0, 0}});
    EXPECT_EQ(read("kUICollectionView_BatchUpdate_UpdateStackSize").longLongValue(), 2);
    EXPECT_EQ(read("kUICollectionView_BatchUpdate_BlockStackSize").longLongValue(), 1);
    EXPECT_TRUE(read("kUICollectionView_BatchUpdate_UpdatesBlocked").boolValue());
    EXPECT_TRUE(read("kUICollectionView_BatchUpdate_HasChanges").boolValue());
    EXPECT_EQ(read("kUICollectionView_BatchUpdate_UpdateProxy").object(), qxUpdateProxy(*view));
    enableUpdates(*view);
    endUpdates(*view);
    endUpdates(*view);
    EXPECT_EQ(read("kUICollectionView_BatchUpdate_UpdateStackSize").longLongValue(), 0);
    EXPECT_FALSE(read("kUICollectionView_BatchUpdate_UpdatesBlocked").boolValue());
    EXPECT_TRUE(read("kUICollectionView_BatchUpdate_UpdateProxy").isNil()) << "the batch is over";
}

TEST_F(BatchUpdate, ABatchClosedWhileBlockedCommitsOnceAtTheEnable) {
    beginUpdates(*view);
    qxInsertItemsAtIndexPaths(*view, {{0, 0}});
    blockUpdates(*view);
    qxInsertItemsAtIndexPaths(*view, {{0, 1}});  // dropped
    endUpdates(*view);
    EXPECT_EQ(qxUpdateStackSize(*view), 0) << "the end closes its begin also while blocked";
    EXPECT_TRUE(view->log.empty());
    enableUpdates(*view);
    EXPECT_EQ(view->log, Log{"reload"}) << "one reload in all";

    // Nothing dropped: the batch replays at the enable.
    view->log.clear();
    beginUpdates(*view);
    qxInsertItemsAtIndexPaths(*view, {{0, 0}});
    blockUpdates(*view);
    endUpdates(*view);
    enableUpdates(*view);
    EXPECT_EQ(view->log, (Log{"batch{", "insert 0.0", "}"}));

    // Later changes reach the view directly again.
    view->log.clear();
    qxInsertItemsAtIndexPaths(*view, {{0, 2}});
    EXPECT_EQ(view->log, Log{"insert 0.2"});
}

TEST_F(BatchUpdate, ABeginWhileBlockedIsClosedByItsEndAfterTheEnable) {
    blockUpdates(*view);
    beginUpdates(*view);
    enableUpdates(*view);
    qxInsertItemsAtIndexPaths(*view, {{0, 0}});
    qxInsertItemsAtIndexPaths(*view, {{0, 1}});
    EXPECT_TRUE(view->log.empty()) << "the batch records";
    endUpdates(*view);
    EXPECT_EQ(view->log, (Log{"batch{", "insert 0.0", "insert 0.1", "}"}));

    // A later batch still records and blocking still blocks.
    view->log.clear();
    beginUpdates(*view);
    qxInsertItemsAtIndexPaths(*view, {{0, 2}});
    EXPECT_TRUE(view->log.empty());
    endUpdates(*view);
    blockUpdates(*view);
    qxInsertItemsAtIndexPaths(*view, {{0, 3}});
    EXPECT_EQ(view->log, (Log{"batch{", "insert 0.2", "}"}));
    enableUpdates(*view);
}

TEST_F(BatchUpdate, AnEndOrEnableWithNothingOpenIsIgnoredAndLogged) {
    endUpdates(*view);
    enableUpdates(*view);
    EXPECT_EQ(qxUpdateStackSize(*view), 0);
    EXPECT_EQ(qxBlockStackSize(*view), 0);
    ASSERT_EQ(logs->lines.size(), 2u);
    EXPECT_NE(logs->lines[0].find("endUpdates with nothing open is ignored"), std::string::npos) << logs->lines[0];
    EXPECT_NE(logs->lines[1].find("enableUpdates with nothing open is ignored"), std::string::npos) << logs->lines[1];

    // The next batch records as usual and blocking still blocks.
    beginUpdates(*view);
    qxInsertItemsAtIndexPaths(*view, {{0, 0}});
    EXPECT_TRUE(view->log.empty());
    endUpdates(*view);
    blockUpdates(*view);
    EXPECT_TRUE(qxUpdatesBlocked(*view));
}

TEST_F(BatchUpdate, EveryAfterUpdateBlockRunsOnceInOrderAfterTheBatch) {
    std::vector<int> ran;
    beginUpdates(*view);
    qxInsertItemsAtIndexPaths(*view, {{0, 0}});
    qxPerformAfterUpdate(*view, [&] { ran.push_back(1); });
    qxPerformAfterUpdate(*view, [&] { ran.push_back(2); });
    endUpdates(*view);
    EXPECT_TRUE(ran.empty()) << "the batch has not completed";
    // During the committing window a block joins the committed batch.
    qxPerformAfterUpdate(*view, [&] { ran.push_back(3); });
    drain();
    EXPECT_EQ(ran, (std::vector<int>{1, 2, 3}));
    EXPECT_FALSE(qxUpdateProxy(*view));

    // A reload batch runs its blocks on a later turn too.
    ran.clear();
    beginUpdates(*view);
    forceReloadAfterUpdate(*view);
    qxPerformAfterUpdate(*view, [&] { ran.push_back(4); });
    endUpdates(*view);
    EXPECT_TRUE(ran.empty());
    drain();
    EXPECT_EQ(ran, std::vector<int>{4});
}

TEST_F(BatchUpdate, AnAfterUpdateBlockOutsideABatchRunsOnALaterTurn) {
    bool ran = false;
    qxPerformAfterUpdate(*view, [&] { ran = true; });
    EXPECT_FALSE(ran);
    drain();
    EXPECT_TRUE(ran);
}

TEST_F(BatchUpdate, ANewBatchDuringTheCommittingWindowKeepsItsOwnRecorder) {
    beginUpdates(*view);
    qxInsertItemsAtIndexPaths(*view, {{0, 0}});
    endUpdates(*view);
    auto committed = qxUpdateProxy(*view);
    ASSERT_TRUE(committed);
    EXPECT_TRUE(committed->isCommitted());

    beginUpdates(*view);
    auto fresh = qxUpdateProxy(*view);
    EXPECT_NE(fresh, committed);
    qxInsertItemsAtIndexPaths(*view, {{0, 1}});
    advance(ui::CollectionView::kUpdateAnimationDuration + 0.01);
    drain();
    EXPECT_EQ(qxUpdateProxy(*view), fresh) << "the old batch's end leaves the new recorder in place";
    EXPECT_EQ(fresh->recordedChangeCount(), 1u);
    endUpdates(*view);
    EXPECT_EQ(view->log, (Log{"batch{", "insert 0.0", "}", "batch{", "insert 0.1", "}"}));

    // A forced reload after the commit reloads at once rather than being lost.
    view->log.clear();
    forceReloadAfterUpdate(*view);
    EXPECT_EQ(view->log, Log{"reload"});
}

TEST_F(BatchUpdate, AReplayInvalidatesAFlowLayoutUnlessTheHostIsTheConfiguredOne) {
    auto flow = rt::make<CountingFlow>();
    view->setCollectionViewLayout(flow);
    auto batch = [&] {
        beginUpdates(*view);
        qxInsertItemsAtIndexPaths(*view, {{0, 0}});
        endUpdates(*view);
    };
    batch();
    EXPECT_EQ(flow->plain, 1);
    setBatchUpdateBundleIdentifiers("com.example.host", "com.example.host");
    batch();
    EXPECT_EQ(flow->plain, 1);
    setBatchUpdateBundleIdentifiers("com.example.other", "com.example.host");
    batch();
    EXPECT_EQ(flow->plain, 2);
    setBatchUpdateBundleIdentifiers(std::nullopt, std::nullopt);
}

}  // namespace

namespace {

class Cell : public ui::CollectionViewCell {
    RT_CLASS(Cell, ui::CollectionViewCell)
};

/// One section of n items.
struct Items : ui::CollectionViewDataSource {
    long n = 2;
    long numberOfItemsInSection(ui::CollectionView&, long) override { return n; }
    rt::Ref<ui::CollectionViewCell> cellForItemAtIndexPath(ui::CollectionView& cv, IndexPath p) override {
        return cv.dequeueReusableCell("c", p);
    }
};

TEST_F(BatchUpdate, AHostWhoseDataHoldsTheWholeBatchPassesTheViewsChecks) {
    Items items;
    auto cv = rt::make<ui::CollectionView>(ui::Rect(0, 0, 320, 480), rt::make<ui::CollectionViewFlowLayout>());
    cv->registerCellClass<Cell>("c");
    cv->setDataSource(&items);
    cv->layoutIfNeeded();
    beginUpdates(*cv);
    items.n = 4;
    qxInsertItemsAtIndexPaths(*cv, {{0, 2}});
    qxInsertItemsAtIndexPaths(*cv, {{0, 3}});
    EXPECT_NO_THROW(endUpdates(*cv));
    EXPECT_EQ(cv->visibleCells().size(), 4u);

    // A change dropped while blocked inside a batch turns the batch into the one reload,
    // rather than a reload now and a replay of changes the reload already shows.
    beginUpdates(*cv);
    items.n = 5;
    qxInsertItemsAtIndexPaths(*cv, {{0, 4}});
    blockUpdates(*cv);
    items.n = 6;
    qxInsertItemsAtIndexPaths(*cv, {{0, 5}});
    enableUpdates(*cv);
    EXPECT_NO_THROW(endUpdates(*cv));
    EXPECT_EQ(cv->visibleCells().size(), 6u);
    EXPECT_FALSE(qxUpdateProxy(*cv));

    // A replay the view refuses still ends the batch: its blocks run and the next batch
    // records afresh.
    bool ran = false;
    beginUpdates(*cv);
    items.n = 9;  // three more, one announced
    qxInsertItemsAtIndexPaths(*cv, {{0, 6}});
    qxPerformAfterUpdate(*cv, [&] { ran = true; });
    EXPECT_THROW(endUpdates(*cv), rt::Exception);
    EXPECT_FALSE(qxUpdateProxy(*cv));
    drain();
    EXPECT_TRUE(ran);
    EXPECT_EQ(cv->numberOfItemsInSection(0), 9) << "the view shows the data as it is";
}

}  // namespace
