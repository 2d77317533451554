#pragma once
// The recorder of one update batch of a collection view: item changes are kept in the
// order they came and replayed in one performBatchUpdates at the commit; a section
// change, or a request for it, turns the commit into one full reload instead.

#include <cstdint>
#include <functional>
#include <set>
#include <vector>

#include <rt/Object.h>
#include <ui/CollectionView.h>

namespace zid {

class UICollectionViewUpdateProxy : public rt::Object {
    RT_CLASS(UICollectionViewUpdateProxy, rt::Object)
public:
    explicit UICollectionViewUpdateProxy(const rt::Ref<ui::CollectionView>& collectionView);
    static rt::Ref<UICollectionViewUpdateProxy> proxyWithCollectionView(const rt::Ref<ui::CollectionView>& collectionView);

    rt::Ref<ui::CollectionView> collectionView() const { return collectionView_.lock(); }
    bool shouldReloadInsteadOfBatchUpdate() const { return shouldReload_; }
    /// Whether commitUpdates has run.
    bool isCommitted() const { return committed_; }
    /// The item changes recorded so far (none after the commit).
    std::size_t recordedChangeCount() const { return changes_.size(); }

    // Section changes are not replayed: they make the commit a reload.
    void insertSections(const std::set<long>& sections);
    void deleteSections(const std::set<long>& sections);
    void reloadSections(const std::set<long>& sections);
    void moveSection(long section, long newSection);
    void forceReloadAfterUpdate();

    // Item changes are recorded.
    void insertItemsAtIndexPaths(const std::vector<ui::IndexPath>& indexPaths);
    void deleteItemsAtIndexPaths(const std::vector<ui::IndexPath>& indexPaths);
    void reloadItemsAtIndexPaths(const std::vector<ui::IndexPath>& indexPaths);
    void moveItemAtIndexPath(const ui::IndexPath& from, const ui::IndexPath& to);

    /// Runs after the commit on a later turn of the main queue; every block given runs,
    /// once, in the order given.
    void addPostUpdateBlock(std::function<void()> block);
    /// Reloads, or replays the recorded changes in one performBatchUpdates.
    void commitUpdates();

private:
    enum class Kind { Insert, Delete, Reload, Move };
    /// One recorded call, a small plain record: a single index path (the common case)
    /// and a move are kept in it, a call with none or several index paths names its list.
    struct Change {
        Kind kind;
        std::int32_t many;  // index in lists_, or -1 for a single path or a move
        ui::IndexPath first, second;
    };
    void record(Kind kind, const std::vector<ui::IndexPath>& indexPaths);
    void replay(ui::CollectionView& view);
    void finish(ui::CollectionView* view);
    rt::Weak<ui::CollectionView> collectionView_;
    std::vector<Change> changes_;
    std::vector<std::vector<ui::IndexPath>> lists_;
    std::vector<std::function<void()>> postUpdateBlocks_;
    bool shouldReload_ = false;
    bool committed_ = false;
};

}  // namespace zid
