#pragma once
// A collection view: a scroll view that shows the elements its layout places, with
// views from its data source. Views leave the screen into per-identifier reuse queues
// and come back through the dequeue calls. Every scroll asks the layout whether the
// new bounds make it stale, so a layout that answers yes runs a pass per scroll.
// Changes to the data are announced as sections and items inserted, deleted, reloaded
// and moved; inside performBatchUpdates they are applied together, checked against
// the data source's new counts, and the visible views move to their new places on the
// animation engine.

#include <rt/MainThread.h>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include <ui/CollectionViewLayout.h>
#include <ui/ScrollView.h>

namespace ui {

class CollectionReusableView : public View {
    RT_CLASS(CollectionReusableView, View)
public:
    using View::View;
    const std::string& reuseIdentifier() const { RT_MAIN_THREAD_ONLY(); return reuseIdentifier_; }
    /// Called before the view leaves its reuse queue.
    virtual void prepareForReuse() { RT_MAIN_THREAD_ONLY(); }
    /// The attributes are the view's own copy; the collection view has set the frame,
    /// alpha and hidden flag before this call.
    virtual void applyLayoutAttributes(const rt::Ref<CollectionViewLayoutAttributes>& attributes);
    rt::Ref<CollectionViewLayoutAttributes> layoutAttributes() const { RT_MAIN_THREAD_ONLY(); return attributes_; }

private:
    friend class CollectionView;
    std::string reuseIdentifier_;
    std::string reuseQueue_;  // empty for a view that did not come from a reuse queue
    rt::Ref<CollectionViewLayoutAttributes> attributes_;
};

class CollectionViewCell : public CollectionReusableView {
    RT_CLASS(CollectionViewCell, CollectionReusableView)
public:
    using CollectionReusableView::CollectionReusableView;
};

class CollectionViewDataSource {
public:
    virtual ~CollectionViewDataSource() = default;
    virtual long numberOfSectionsInCollectionView(CollectionView&) { return 1; }
    virtual long numberOfItemsInSection(CollectionView& view, long section) = 0;
    virtual rt::Ref<CollectionViewCell> cellForItemAtIndexPath(CollectionView& view, IndexPath indexPath) = 0;
    /// Nil shows nothing for that element.
    virtual rt::Ref<CollectionReusableView> viewForSupplementaryElementOfKind(CollectionView&, const std::string& /*kind*/,
                                                                            IndexPath) {
        return nullptr;
    }
};

class CollectionView : public ScrollView {
    RT_CLASS(CollectionView, ScrollView)
public:
    static constexpr double kUpdateAnimationDuration = 0.3;
    /// The name of the exception an update inconsistent with the data source raises.
    static constexpr const char* kInvalidUpdateException = "CollectionViewInvalidUpdateException";
    static constexpr const char* kSectionHeaderKind = "CollectionElementKindSectionHeader";
    static constexpr const char* kSectionFooterKind = "CollectionElementKindSectionFooter";

    CollectionView(const Rect& frame, rt::Ref<CollectionViewLayout> layout);

    const rt::Ref<CollectionViewLayout>& collectionViewLayout() const { RT_MAIN_THREAD_ONLY(); return layout_; }
    void setCollectionViewLayout(rt::Ref<CollectionViewLayout> layout);
    CollectionViewDataSource* dataSource() const { RT_MAIN_THREAD_ONLY(); return dataSource_; }
    void setDataSource(CollectionViewDataSource* dataSource);

    // ---- registration and reuse -------------------------------------------------------
    template <class T>
    void registerCellClass(const std::string& reuseIdentifier) {
        cellFactories_[reuseIdentifier] = [] { return rt::make<T>(); };
    }
    template <class T>
    void registerSupplementaryViewClass(const std::string& kind, const std::string& reuseIdentifier) {
        supplementaryFactories_[{kind, reuseIdentifier}] = [] { return rt::make<T>(); };
    }
    /// A queued view of the identifier, or a new one of the registered class. Raises
    /// InvalidArgumentException for an identifier nobody registered.
    rt::Ref<CollectionViewCell> dequeueReusableCell(const std::string& reuseIdentifier, IndexPath indexPath);
    rt::Ref<CollectionReusableView> dequeueReusableSupplementaryView(const std::string& kind,
                                                                     const std::string& reuseIdentifier,
                                                                     IndexPath indexPath);

    // ---- data ------------------------------------------------------------------------
    /// The counts as the view last read them from its data source.
    long numberOfSections();
    long numberOfItemsInSection(long section);
    /// Rereads the data, invalidates the layout's data-source counts and lays out anew
    /// on the next pass.
    virtual void reloadData();
    /// The views on screen, cells and others.
    std::vector<rt::Ref<CollectionViewCell>> visibleCells() const;
    rt::Ref<CollectionViewCell> cellForItemAtIndexPath(IndexPath indexPath) const;
    rt::Ref<CollectionReusableView> visibleSupplementaryView(const std::string& kind, IndexPath indexPath) const;
    rt::Ref<CollectionReusableView> visibleDecorationView(const std::string& kind, IndexPath indexPath) const;

    // ---- changes (each alone is a batch of one) --------------------------------------
    virtual void insertSections(const std::set<long>& sections);
    virtual void deleteSections(const std::set<long>& sections);
    virtual void reloadSections(const std::set<long>& sections);
    virtual void moveSection(long section, long newSection);
    virtual void insertItemsAtIndexPaths(const std::vector<IndexPath>& indexPaths);
    virtual void deleteItemsAtIndexPaths(const std::vector<IndexPath>& indexPaths);
    virtual void reloadItemsAtIndexPaths(const std::vector<IndexPath>& indexPaths);
    virtual void moveItemAtIndexPath(const IndexPath& from, const IndexPath& to);
    /// Runs `updates`, then applies every change announced in it in one pass: the
    /// counts are checked against the data source, the layout is invalidated with its
    /// data-source counts, and the visible views move to their new places animated.
    /// The completion runs when the animation ends.
    virtual void performBatchUpdates(const std::function<void()>& updates,
                             std::function<void(bool finished)> completion = {});

    void layoutSubviews() override;

protected:
    void didInitialize() override;
    void contentOffsetDidChange() override;

private:
    struct Changes {
        std::set<long> insertedSections, deletedSections, reloadedSections;
        std::vector<std::pair<long, long>> movedSections;
        std::set<IndexPath> insertedItems, deletedItems, reloadedItems;
        std::vector<std::pair<IndexPath, IndexPath>> movedItems;
        bool empty() const;
    };
    struct ElementKey {
        CollectionElementCategory category;
        std::string kind;
        IndexPath indexPath;
        auto operator<=>(const ElementKey&) const = default;
    };
    using Factory = std::function<rt::Ref<CollectionReusableView>()>;

    void ensureCounts();
    void readCounts(std::vector<long>& into);
    void changed(const std::function<void(Changes&)>& record);
    void applyChanges(const Changes& changes, const std::vector<long>& oldCounts, const std::vector<long>& newCounts);
    void askLayoutAboutBounds(const Rect& newBounds);
    void invalidateForData();
    void updateVisibleViews(bool animated, std::function<void(bool)> completion = {});
    void apply(CollectionReusableView& view, const rt::Ref<CollectionViewLayoutAttributes>& attributes);
    rt::Ref<CollectionReusableView> makeViewFor(const rt::Ref<CollectionViewLayoutAttributes>& attributes);
    void enqueue(const rt::Ref<CollectionReusableView>& view);
    rt::Ref<CollectionReusableView> dequeue(const std::string& queue, const Factory& factory);
    static ElementKey keyOf(const CollectionViewLayoutAttributes& a);

    rt::Ref<CollectionViewLayout> layout_;
    CollectionViewDataSource* dataSource_ = nullptr;
    std::map<std::string, Factory> cellFactories_;
    std::map<std::pair<std::string, std::string>, Factory> supplementaryFactories_;
    std::map<std::string, std::vector<rt::Ref<CollectionReusableView>>> reuseQueues_;
    std::map<ElementKey, rt::Ref<CollectionReusableView>> visible_;
    bool countsValid_ = false;
    std::vector<long> counts_;
    int batchDepth_ = 0;
    Changes pending_;
    std::vector<std::function<void(bool)>> completions_;
    Size laidOutSize_;
};

}  // namespace ui
