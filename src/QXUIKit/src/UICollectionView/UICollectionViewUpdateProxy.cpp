#include "QXUIKit/UICollectionView/UICollectionViewUpdateProxy.h"

#include <QXFoundation/Threading/Dispatcher.h>
#include <QXUIKit/UICollectionView/UICollectionViewBatchUpdate.h>

#include "BatchUpdateSettings.h"

namespace zid {

UICollectionViewUpdateProxy::UICollectionViewUpdateProxy(const rt::Ref<ui::CollectionView>& collectionView)
    : collectionView_(collectionView) {}

rt::Ref<UICollectionViewUpdateProxy> UICollectionViewUpdateProxy::proxyWithCollectionView(
    const rt::Ref<ui::CollectionView>& collectionView) {
    return rt::make<UICollectionViewUpdateProxy>(collectionView);
}

void UICollectionViewUpdateProxy::insertSections(const std::set<long>&) { shouldReload_ = true; }
void UICollectionViewUpdateProxy::deleteSections(const std::set<long>&) { shouldReload_ = true; }
void UICollectionViewUpdateProxy::reloadSections(const std::set<long>&) { shouldReload_ = true; }
void UICollectionViewUpdateProxy::moveSection(long, long) { shouldReload_ = true; }
void UICollectionViewUpdateProxy::forceReloadAfterUpdate() { shouldReload_ = true; }

void UICollectionViewUpdateProxy::record(Kind kind, const std::vector<ui::IndexPath>& indexPaths) {
    if (indexPaths.size() == 1) {
        changes_.push_back(Change{kind, -1, indexPaths[0], {}});
        return;
    }
    lists_.push_back(indexPaths);
    changes_.push_back(Change{kind, static_cast<std::int32_t>(lists_.size() - 1), {}, {}});
}
void UICollectionViewUpdateProxy::insertItemsAtIndexPaths(const std::vector<ui::IndexPath>& indexPaths) {
    record(Kind::Insert, indexPaths);
}
void UICollectionViewUpdateProxy::deleteItemsAtIndexPaths(const std::vector<ui::IndexPath>& indexPaths) {
    record(Kind::Delete, indexPaths);
}
void UICollectionViewUpdateProxy::reloadItemsAtIndexPaths(const std::vector<ui::IndexPath>& indexPaths) {
    record(Kind::Reload, indexPaths);
}
void UICollectionViewUpdateProxy::moveItemAtIndexPath(const ui::IndexPath& from, const ui::IndexPath& to) {
    changes_.push_back(Change{Kind::Move, -1, from, to});
}

void UICollectionViewUpdateProxy::addPostUpdateBlock(std::function<void()> block) {
    if (block) postUpdateBlocks_.push_back(std::move(block));
}

void UICollectionViewUpdateProxy::finish(ui::CollectionView* view) {
    auto self = selfAs<UICollectionViewUpdateProxy>();
    if (view && qxUpdateProxy(*view) == self) setQxUpdateProxy(*view, nullptr);
    auto blocks = std::move(postUpdateBlocks_);
    postUpdateBlocks_.clear();
    if (!blocks.empty()) {
        auto dispatcher = rt::make<Dispatcher>(fnd::Queue::main(), false);
        dispatcher->setBlock([blocks] {
            for (auto& b : blocks) b();
        });
    }
    changes_.clear();
    lists_.clear();
}

void UICollectionViewUpdateProxy::commitUpdates() {
    committed_ = true;
    auto view = collectionView();
    if (!view) {
        finish(nullptr);
        return;
    }
    if (shouldReload_) {
        // The reload shows the data source as it is now: the recorded changes are in it.
        qxReloadData(*view);
        finish(view.get());
        return;
    }
    // A replay the view refuses (the counts do not add up) leaves the view reloaded;
    // the batch still ends, so later blocks and batches are not tied to it.
    try {
        replay(*view);
    } catch (...) {
        finish(view.get());
        throw;
    }
}

void UICollectionViewUpdateProxy::replay(ui::CollectionView& view) {
    auto self = selfAs<UICollectionViewUpdateProxy>();
    rt::Weak<ui::CollectionView> weakView = view.selfAs<ui::CollectionView>();
    view.performBatchUpdates(
        [&] {
            if (!batchUpdateSkipsFlowLayoutInvalidation())
                if (auto flow = std::dynamic_pointer_cast<ui::CollectionViewFlowLayout>(view.collectionViewLayout()))
                    flow->invalidateLayout();
            std::vector<ui::IndexPath> one(1);
            for (auto& c : changes_) {
                if (c.kind == Kind::Move) {
                    view.moveItemAtIndexPath(c.first, c.second);
                    continue;
                }
                one[0] = c.first;
                const auto& paths = c.many < 0 ? one : lists_[static_cast<std::size_t>(c.many)];
                switch (c.kind) {
                case Kind::Insert: view.insertItemsAtIndexPaths(paths); break;
                case Kind::Delete: view.deleteItemsAtIndexPaths(paths); break;
                case Kind::Reload: view.reloadItemsAtIndexPaths(paths); break;
                case Kind::Move: break;
                }
            }
        },
        [self, weakView](bool) {
            auto v = weakView.lock();
            self->finish(v.get());
        });
}

}  // namespace zid
