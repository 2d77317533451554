#include "QXUIKit/UICollectionView/UICollectionViewBatchUpdate.h"

#include <mutex>

#include <QXFoundation/Assert/QXAssert.h>
#include <QXFoundation/ObjectAssociation/ObjectAssociation.h>
#include <QXFoundation/Threading/Dispatcher.h>

#include "BatchUpdateSettings.h"

namespace zid {

namespace {

constexpr const char* kUpdateStackSize = "kUICollectionView_BatchUpdate_UpdateStackSize";
constexpr const char* kBlockStackSize = "kUICollectionView_BatchUpdate_BlockStackSize";
constexpr const char* kUpdateProxy = "kUICollectionView_BatchUpdate_UpdateProxy";
constexpr const char* kUpdatesBlocked = "kUICollectionView_BatchUpdate_UpdatesBlocked";
constexpr const char* kHasChanges = "kUICollectionView_BatchUpdate_HasChanges";
/// The outermost end came while updates were blocked: the outermost enable commits.
constexpr const char* kCommitPending = "kUICollectionView_BatchUpdate_CommitPending";

long readLong(const ui::CollectionView& view, const char* key) {
    return static_cast<long>(associatedObjectForKey(view, key).longLongValue());
}
bool readBool(const ui::CollectionView& view, const char* key) { return associatedObjectForKey(view, key).boolValue(); }
void store(ui::CollectionView& view, const char* key, const rt::Value& value) { setAssociatedObject(view, value, key); }

struct Identifiers {
    std::mutex mutex;
    std::optional<std::string> host, skipFor;
};
Identifiers& identifiers() {
    static auto* ids = new Identifiers;
    return *ids;
}

/// Sends a routed change where it belongs: dropped (and remembered) while blocked,
/// recorded inside a batch, straight to the view outside one.
template <class ToProxy, class ToView>
void route(ui::CollectionView& view, ToProxy&& toProxy, ToView&& toView) {
    if (qxUpdatesBlocked(view)) {
        store(view, kHasChanges, true);
        return;
    }
    if (qxUpdateStackSize(view) == 0) {
        toView(view);
        return;
    }
    if (auto proxy = qxUpdateProxy(view)) toProxy(*proxy);
}

void ignored(const char* what) {
    QXDiagnosticsTrace("%@ with nothing open is ignored", std::string(what));
}

}  // namespace

bool batchUpdateSkipsFlowLayoutInvalidation() {
    auto& ids = identifiers();
    std::lock_guard lock(ids.mutex);
    return ids.host && ids.skipFor && *ids.host == *ids.skipFor;
}

void setBatchUpdateBundleIdentifiers(std::optional<std::string> host, std::optional<std::string> skipFor) {
    auto& ids = identifiers();
    std::lock_guard lock(ids.mutex);
    ids.host = std::move(host);
    ids.skipFor = std::move(skipFor);
}

long qxUpdateStackSize(const ui::CollectionView& view) { return readLong(view, kUpdateStackSize); }
long qxBlockStackSize(const ui::CollectionView& view) { return readLong(view, kBlockStackSize); }
bool qxUpdatesBlocked(const ui::CollectionView& view) { return readBool(view, kUpdatesBlocked); }
bool qxHasChanges(const ui::CollectionView& view) { return readBool(view, kHasChanges); }

rt::Ref<UICollectionViewUpdateProxy> qxUpdateProxy(const ui::CollectionView& view) {
    return associatedObjectForKey(view, kUpdateProxy).as<UICollectionViewUpdateProxy>();
}

void setQxUpdateProxy(ui::CollectionView& view, const rt::Ref<UICollectionViewUpdateProxy>& proxy) {
    store(view, kUpdateProxy, proxy ? rt::Value(proxy) : rt::Value());
}

UICollectionViewUpdateTarget qxUpdateTarget(ui::CollectionView& view) {
    if (qxUpdatesBlocked(view)) return {};
    if (qxUpdateStackSize(view) != 0) return {qxUpdateProxy(view), nullptr};
    return {nullptr, view.selfAs<ui::CollectionView>()};
}

void beginUpdates(ui::CollectionView& view) {
    QXMainThreadAssert();
    long depth = qxUpdateStackSize(view);
    store(view, kUpdateStackSize, depth + 1);
    if (depth == 0) setQxUpdateProxy(view, UICollectionViewUpdateProxy::proxyWithCollectionView(view.selfAs<ui::CollectionView>()));
}

void endUpdates(ui::CollectionView& view) {
    QXMainThreadAssert();
    long depth = qxUpdateStackSize(view);
    if (depth <= 0) {
        ignored("endUpdates");
        return;
    }
    store(view, kUpdateStackSize, depth - 1);
    if (depth - 1 != 0) return;
    if (qxUpdatesBlocked(view)) {
        store(view, kCommitPending, true);
        return;
    }
    if (auto proxy = qxUpdateProxy(view)) proxy->commitUpdates();
}

void blockUpdates(ui::CollectionView& view) {
    QXMainThreadAssert();
    long depth = qxBlockStackSize(view);
    store(view, kBlockStackSize, depth + 1);
    if (depth == 0) {
        store(view, kUpdatesBlocked, true);
        store(view, kHasChanges, false);
    }
}

void enableUpdates(ui::CollectionView& view) {
    QXMainThreadAssert();
    long depth = qxBlockStackSize(view);
    if (depth <= 0) {
        ignored("enableUpdates");
        return;
    }
    store(view, kBlockStackSize, depth - 1);
    if (depth - 1 != 0) return;
    store(view, kUpdatesBlocked, false);
    bool dropped = qxHasChanges(view);
    auto proxy = qxUpdateProxy(view);
    if (readBool(view, kCommitPending)) {
        // The batch closed while blocked commits now: one reload when a change was dropped.
        store(view, kCommitPending, false);
        if (proxy) {
            if (dropped) proxy->forceReloadAfterUpdate();
            proxy->commitUpdates();
        } else if (dropped) {
            qxReloadData(view);
        }
    } else if (dropped && qxUpdateStackSize(view) != 0 && proxy) {
        // Inside an open batch a reload now would be followed by the replay of changes
        // the reload already shows: the batch becomes the one reload instead.
        proxy->forceReloadAfterUpdate();
    } else if (dropped) {
        qxReloadData(view);
    }
}

void qxInsertSections(ui::CollectionView& view, const std::set<long>& sections) {
    QXMainThreadAssert();
    route(view, [&](UICollectionViewUpdateProxy& p) { p.insertSections(sections); },
          [&](ui::CollectionView& v) { v.insertSections(sections); });
}

void qxDeleteSections(ui::CollectionView& view, const std::set<long>& sections) {
    QXMainThreadAssert();
    route(view, [&](UICollectionViewUpdateProxy& p) { p.deleteSections(sections); },
          [&](ui::CollectionView& v) { v.deleteSections(sections); });
}

void qxMoveSection(ui::CollectionView& view, long section, long newSection) {
    QXMainThreadAssert();
    route(view, [&](UICollectionViewUpdateProxy& p) { p.moveSection(section, newSection); },
          [&](ui::CollectionView& v) { v.moveSection(section, newSection); });
}

void qxInsertItemsAtIndexPaths(ui::CollectionView& view, const std::vector<ui::IndexPath>& indexPaths) {
    QXMainThreadAssert();
    route(view, [&](UICollectionViewUpdateProxy& p) { p.insertItemsAtIndexPaths(indexPaths); },
          [&](ui::CollectionView& v) { v.insertItemsAtIndexPaths(indexPaths); });
}

void qxDeleteItemsAtIndexPaths(ui::CollectionView& view, const std::vector<ui::IndexPath>& indexPaths) {
    QXMainThreadAssert();
    route(view, [&](UICollectionViewUpdateProxy& p) { p.deleteItemsAtIndexPaths(indexPaths); },
          [&](ui::CollectionView& v) { v.deleteItemsAtIndexPaths(indexPaths); });
}

void qxReloadItemsAtIndexPaths(ui::CollectionView& view, const std::vector<ui::IndexPath>& indexPaths) {
    QXMainThreadAssert();
    route(view, [&](UICollectionViewUpdateProxy& p) { p.reloadItemsAtIndexPaths(indexPaths); },
          [&](ui::CollectionView& v) { v.reloadItemsAtIndexPaths(indexPaths); });
}

void qxMoveItemAtIndexPath(ui::CollectionView& view, const ui::IndexPath& from, const ui::IndexPath& to) {
    QXMainThreadAssert();
    route(view, [&](UICollectionViewUpdateProxy& p) { p.moveItemAtIndexPath(from, to); },
          [&](ui::CollectionView& v) { v.moveItemAtIndexPath(from, to); });
}

void qxPerformAfterUpdate(ui::CollectionView& view, std::function<void()> block) {
    QXMainThreadAssert();
    if (auto proxy = qxUpdateProxy(view)) {
        proxy->addPostUpdateBlock(std::move(block));
        return;
    }
    rt::make<Dispatcher>(fnd::Queue::main(), false)->setBlock(std::move(block));
}

void forceReloadAfterUpdate(ui::CollectionView& view) {
    QXMainThreadAssert();
    auto proxy = qxUpdateProxy(view);
    // A batch already committed no longer looks at the flag: reload now.
    if (proxy && !proxy->isCommitted())
        proxy->forceReloadAfterUpdate();
    else
        qxReloadData(view);
}

void qxReloadData(ui::CollectionView& view) {
    view.reloadData();
    view.layoutIfNeeded();
}

}  // namespace zid
