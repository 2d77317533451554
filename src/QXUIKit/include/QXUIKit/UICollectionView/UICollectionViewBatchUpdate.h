#pragma once
// Batch updates of a collection view for several independent callers: update batches
// nest (the outermost end commits), updates can be suspended (changes made meanwhile
// are dropped and the outermost enable reloads once), and section and item changes
// are routed to the view at once, to the batch's recorder, or nowhere while suspended.
// Begins and ends are counted also while suspended, each end closing its begin; a
// batch whose outermost end came while suspended commits at the outermost enable.
// An end or enable with nothing open is ignored and logged. Main thread only: a call
// from elsewhere is logged and carried out.

#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include <QXUIKit/UICollectionView/UICollectionViewUpdateProxy.h>
#include <ui/CollectionView.h>

namespace zid {

void beginUpdates(ui::CollectionView& view);
void endUpdates(ui::CollectionView& view);
void blockUpdates(ui::CollectionView& view);
void enableUpdates(ui::CollectionView& view);

void qxInsertSections(ui::CollectionView& view, const std::set<long>& sections);
void qxDeleteSections(ui::CollectionView& view, const std::set<long>& sections);
void qxMoveSection(ui::CollectionView& view, long section, long newSection);
void qxInsertItemsAtIndexPaths(ui::CollectionView& view, const std::vector<ui::IndexPath>& indexPaths);
void qxDeleteItemsAtIndexPaths(ui::CollectionView& view, const std::vector<ui::IndexPath>& indexPaths);
void qxReloadItemsAtIndexPaths(ui::CollectionView& view, const std::vector<ui::IndexPath>& indexPaths);
void qxMoveItemAtIndexPath(ui::CollectionView& view, const ui::IndexPath& from, const ui::IndexPath& to);

/// Runs the block after the current batch (or the batch being committed), else on a
/// later turn of the main queue; never inline.
void qxPerformAfterUpdate(ui::CollectionView& view, std::function<void()> block);
/// Turns the current batch into a reload, or reloads now.
void forceReloadAfterUpdate(ui::CollectionView& view);
/// reloadData, then layoutIfNeeded.
void qxReloadData(ui::CollectionView& view);

/// Where a routed change goes: nowhere while updates are blocked (both empty), the
/// batch's recorder inside a batch, else the view itself.
struct UICollectionViewUpdateTarget {
    rt::Ref<UICollectionViewUpdateProxy> proxy;
    rt::Ref<ui::CollectionView> view;
};
UICollectionViewUpdateTarget qxUpdateTarget(ui::CollectionView& view);

// The per-view state.
long qxUpdateStackSize(const ui::CollectionView& view);
long qxBlockStackSize(const ui::CollectionView& view);
rt::Ref<UICollectionViewUpdateProxy> qxUpdateProxy(const ui::CollectionView& view);
void setQxUpdateProxy(ui::CollectionView& view, const rt::Ref<UICollectionViewUpdateProxy>& proxy);
bool qxUpdatesBlocked(const ui::CollectionView& view);
bool qxHasChanges(const ui::CollectionView& view);

/// A deployment setting: when the host's bundle identifier equals `skipFor`, a replay
/// does not invalidate a flow layout first. Both unset by default (the layout is
/// invalidated).
void setBatchUpdateBundleIdentifiers(std::optional<std::string> host, std::optional<std::string> skipFor);

}  // namespace zid
