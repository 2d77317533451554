#include "QXUIKit/UICollectionView/UICollectionViewBatchUpdate.h"

#include <mutex>

#include <QXFoundation/Assert/QXAssert.h>
#include <QXFoundation/ObjectAssociation/ObjectAssociation.h>
#include <QXFoundation/Threading/Dispatcher.h>

#include "BatchUpdateSettings.h"

namespace zid {

namespace {

// The associations that carry a view's batch state for a host to read.
constexpr const char* kUpdateStackSize = "kUICollectionView_BatchUpdate_UpdateStackSize";
constexpr const char* kBlockStackSize = "kUICollectionView_BatchUpdate_BlockStackSize";
constexpr const char* kUpdateProxy = "kUICollectionView_BatchUpdate_UpdateProxy";
constexpr const char* kUpdatesBlocked = "kUICollectionView_BatchUpdate_UpdatesBlocked";
constexpr const char* kHasChanges = "kUICollectionView_BatchUpdate_HasChanges";
/// The outermost end came while updates were blocked: the outermost enable commits.
constexpr const char* kCommitPending = "kUICollectionView_BatchUpdate_CommitPending";
// The same state in one object, which the code here reads: a routed change costs one
// look-up instead of three. Every change of it is written through to the associations.
// (A key that differs from theirs in its first letters: a look-up compares it with them.)
constexpr const char* kBatchState = "BatchUpdate.State";

class BatchState : public rt::Object {
    RT_CLASS(BatchState, rt::Object)
public:
    long updateDepth = 0, blockDepth = 0;
    bool blocked = false;
    bool hasChanges = false;
    bool commitPending = false;
    rt::Ref<UICollectionViewUpdateProxy> proxy;
};

// The view's state, or null before anything was stored (all counts 0, nothing set).
// (Only this file stores under the key: what it holds is a BatchState.)
rt::Ref<BatchState> stateOf(const ui::CollectionView& view) {
    return std::static_pointer_cast<BatchState>(associatedObjectForKey(view, kBatchState).object());
}
BatchState& stateFor(ui::CollectionView& view) {
    return *associatedObjectOrMake<BatchState>(view, kBatchState, [] { return rt::make<BatchState>(); });
}

void store(ui::CollectionView& view, const char* key, const rt::Value& value) { setAssociatedObject(view, value, key); }
// Writes the state through to its associations (after each change of it).
void publish(ui::CollectionView& view, const BatchState& state) {
    store(view, kUpdateStackSize, state.updateDepth);
    store(view, kBlockStackSize, state.blockDepth);
    store(view, kUpdateProxy, state.proxy ? rt::Value(state.proxy) : rt::Value());
    store(view, kUpdatesBlocked, state.blocked);
    store(view, kHasChanges, state.hasChanges);
    store(view, kCommitPending, state.commitPending);
}

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
    auto state = stateOf(view);
    if (state && state->blocked) {
        state->hasChanges = true;
        store(view, kHasChanges, true);
        return;
    }
    if (!state || state->updateDepth == 0) {
        toView(view);
        return;
    }
    // recording does not touch the state, which holds the proxy meanwhile
    if (auto* proxy = state->proxy.get()) toProxy(*proxy);
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

long qxUpdateStackSize(const ui::CollectionView& view) {
    auto state = stateOf(view);
    return state ? state->updateDepth : 0;
}
long qxBlockStackSize(const ui::CollectionView& view) {
    auto state = stateOf(view);
    return state ? state->blockDepth : 0;
}
bool qxUpdatesBlocked(const ui::CollectionView& view) {
    auto state = stateOf(view);
    return state && state->blocked;
}
bool qxHasChanges(const ui::CollectionView& view) {
    auto state = stateOf(view);
    return state && state->hasChanges;
}

rt::Ref<UICollectionViewUpdateProxy> qxUpdateProxy(const ui::CollectionView& view) {
    auto state = stateOf(view);
    return state ? state->proxy : nullptr;
}

void setQxUpdateProxy(ui::CollectionView& view, const rt::Ref<UICollectionViewUpdateProxy>& proxy) {
    auto& state = stateFor(view);
    state.proxy = proxy;
    store(view, kUpdateProxy, proxy ? rt::Value(proxy) : rt::Value());
}

UICollectionViewUpdateTarget qxUpdateTarget(ui::CollectionView& view) {
    auto state = stateOf(view);
    if (state && state->blocked) return {};
    if (state && state->updateDepth != 0) return {state->proxy, nullptr};
    return {nullptr, view.selfAs<ui::CollectionView>()};
}

namespace {
/// Closes one level of the depth and answers the state; an unbalanced call (no level
/// open) is reported and answers null.
rt::Ref<BatchState> leaveLevel(ui::CollectionView& view, long BatchState::*depth, const char* call) {
    QXMainThreadAssert();
    auto state = stateOf(view);
    if (!state || (*state).*depth <= 0) {
        ignored(call);
        return nullptr;
    }
    --((*state).*depth);
    return state;
}
}  // namespace

void beginUpdates(ui::CollectionView& view) {
    QXMainThreadAssert();
    auto& state = stateFor(view);
    if (state.updateDepth++ == 0) state.proxy = UICollectionViewUpdateProxy::proxyWithCollectionView(view.selfAs<ui::CollectionView>());
    publish(view, state);
}

void endUpdates(ui::CollectionView& view) {
    auto state = leaveLevel(view, &BatchState::updateDepth, "endUpdates");
    if (!state) return;
    if (state->updateDepth == 0 && state->blocked) state->commitPending = true;
    publish(view, *state);
    if (state->updateDepth != 0 || state->blocked) return;
    if (auto proxy = state->proxy) proxy->commitUpdates();
}

void blockUpdates(ui::CollectionView& view) {
    QXMainThreadAssert();
    auto& state = stateFor(view);
    if (state.blockDepth++ == 0) {
        state.blocked = true;
        state.hasChanges = false;
    }
    publish(view, state);
}

void enableUpdates(ui::CollectionView& view) {
    auto state = leaveLevel(view, &BatchState::blockDepth, "enableUpdates");
    if (!state) return;
    if (state->blockDepth == 0) state->blocked = false;
    bool commit = state->blockDepth == 0 && state->commitPending;
    if (commit) state->commitPending = false;
    publish(view, *state);
    if (state->blockDepth != 0) return;
    bool dropped = state->hasChanges;
    auto proxy = state->proxy;
    if (commit) {
        // The batch closed while blocked commits now: one reload when a change was dropped.
        if (proxy) {
            if (dropped) proxy->forceReloadAfterUpdate();
            proxy->commitUpdates();
        } else if (dropped) {
            qxReloadData(view);
        }
    } else if (dropped && state->updateDepth != 0 && proxy) {
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
