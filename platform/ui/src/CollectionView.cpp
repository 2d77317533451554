#include <ui/CollectionView.h>

#include <algorithm>

#include <rt/MainThread.h>
#include <rt/Exception.h>
#include <rt/Format.h>
#include <ui/Animation.h>

namespace ui {

namespace {

constexpr const char* kCellQueue = "cell:";
constexpr const char* kSupplementaryQueue = "supplementary:";
constexpr const char* kDecorationQueue = "decoration:";

[[noreturn]] void invalidUpdate(const std::string& reason) {
    throw rt::Exception(CollectionView::kInvalidUpdateException, reason);
}

/// Where each of `oldCount` positions goes when `removed` (old positions) leave,
/// `added` (new positions) arrive and `moves` take one old position to one new one:
/// the remaining positions keep their order in the free new ones. -1 for a position
/// that leaves. Raises when the counts do not add up or a position is out of range.
std::vector<long> mapPositions(long oldCount, long newCount, const std::set<long>& removed, const std::set<long>& added,
                               const std::vector<std::pair<long, long>>& moves, const std::string& what) {
    std::set<long> gone = removed, taken = added;
    for (auto [from, to] : moves) {
        gone.insert(from);
        taken.insert(to);
    }
    for (long p : gone)
        if (p < 0 || p >= oldCount)
            invalidUpdate(rt::format("%@ %ld removed or moved, but there were only %ld before the update", what, p, oldCount));
    for (long p : taken)
        if (p < 0 || p >= newCount)
            invalidUpdate(rt::format("%@ %ld inserted or moved to, but there are only %ld after the update", what, p, newCount));
    long kept = oldCount - static_cast<long>(gone.size());
    if (kept + static_cast<long>(taken.size()) != newCount)
        invalidUpdate(rt::format("the number of %@s after the update (%ld) must equal the number before it (%ld), plus "
                                 "those inserted or moved in (%ld), minus those deleted or moved out (%ld)",
                                 what, newCount, oldCount, static_cast<long>(taken.size()), static_cast<long>(gone.size())));
    std::vector<long> map(static_cast<std::size_t>(oldCount), -1);
    long next = 0;
    for (long p = 0; p < oldCount; ++p) {
        if (gone.count(p)) continue;
        while (taken.count(next)) ++next;
        map[static_cast<std::size_t>(p)] = next++;
    }
    for (auto [from, to] : moves) map[static_cast<std::size_t>(from)] = to;
    return map;
}

}  // namespace

void CollectionReusableView::applyLayoutAttributes(const rt::Ref<CollectionViewLayoutAttributes>&) {
    RT_MAIN_THREAD_ONLY();
}

bool CollectionView::Changes::empty() const {
    return insertedSections.empty() && deletedSections.empty() && reloadedSections.empty() && movedSections.empty() &&
           insertedItems.empty() && deletedItems.empty() && reloadedItems.empty() && movedItems.empty();
}

CollectionView::CollectionView(const Rect& frame, rt::Ref<CollectionViewLayout> layout)
    : ScrollView(frame), layout_(std::move(layout)) {}

void CollectionView::didInitialize() {
    ScrollView::didInitialize();
    if (layout_) layout_->collectionView_ = selfAs<CollectionView>();
}

void CollectionView::setCollectionViewLayout(rt::Ref<CollectionViewLayout> layout) {
    RT_MAIN_THREAD_ONLY();
    if (layout_ == layout) return;
    if (layout_) layout_->collectionView_.reset();
    layout_ = std::move(layout);
    if (layout_) layout_->collectionView_ = selfAs<CollectionView>();
    // Decoration views belong to the layout that registered them.
    reloadData();
    for (auto it = reuseQueues_.begin(); it != reuseQueues_.end();)
        it = it->first.rfind(kDecorationQueue, 0) == 0 ? reuseQueues_.erase(it) : std::next(it);
}

void CollectionView::setDataSource(CollectionViewDataSource* dataSource) {
    RT_MAIN_THREAD_ONLY();
    dataSource_ = dataSource;
    reloadData();
}

// ---- reuse -------------------------------------------------------------------------------

rt::Ref<CollectionReusableView> CollectionView::dequeue(const std::string& queue, const Factory& factory) {
    auto& q = reuseQueues_[queue];
    rt::Ref<CollectionReusableView> view;
    if (!q.empty()) {
        view = q.back();
        q.pop_back();
        view->prepareForReuse();
    } else {
        view = factory();
        if (!view) return nullptr;
    }
    view->reuseQueue_ = queue;
    return view;
}

rt::Ref<CollectionViewCell> CollectionView::dequeueReusableCell(const std::string& reuseIdentifier, IndexPath) {
    RT_MAIN_THREAD_ONLY();
    auto f = cellFactories_.find(reuseIdentifier);
    if (f == cellFactories_.end())
        throw rt::Exception(rt::Exception::InvalidArgument,
                            rt::format("no cell class is registered for the reuse identifier \"%@\"", reuseIdentifier));
    auto view = std::dynamic_pointer_cast<CollectionViewCell>(dequeue(kCellQueue + reuseIdentifier, f->second));
    view->reuseIdentifier_ = reuseIdentifier;
    return view;
}

rt::Ref<CollectionReusableView> CollectionView::dequeueReusableSupplementaryView(const std::string& kind,
                                                                                 const std::string& reuseIdentifier,
                                                                                 IndexPath) {
    RT_MAIN_THREAD_ONLY();
    auto f = supplementaryFactories_.find({kind, reuseIdentifier});
    if (f == supplementaryFactories_.end())
        throw rt::Exception(rt::Exception::InvalidArgument,
                            rt::format("no view class is registered for the kind \"%@\" and the reuse identifier \"%@\"",
                                       kind, reuseIdentifier));
    auto view = dequeue(kSupplementaryQueue + kind + "/" + reuseIdentifier, f->second);
    view->reuseIdentifier_ = reuseIdentifier;
    return view;
}

void CollectionView::enqueue(const rt::Ref<CollectionReusableView>& view) {
    view->removeFromSuperview();
    if (!view->reuseQueue_.empty()) reuseQueues_[view->reuseQueue_].push_back(view);
}

// ---- data ----------------------------------------------------------------------------------

void CollectionView::readCounts(std::vector<long>& into) {
    into.clear();
    if (!dataSource_) return;
    long sections = std::max(0L, dataSource_->numberOfSectionsInCollectionView(*this));
    into.reserve(static_cast<std::size_t>(sections));
    for (long s = 0; s < sections; ++s) into.push_back(std::max(0L, dataSource_->numberOfItemsInSection(*this, s)));
}

void CollectionView::ensureCounts() {
    if (countsValid_) return;
    readCounts(counts_);
    countsValid_ = true;
}

long CollectionView::numberOfSections() {
    RT_MAIN_THREAD_ONLY();
    ensureCounts();
    return static_cast<long>(counts_.size());
}

long CollectionView::numberOfItemsInSection(long section) {
    RT_MAIN_THREAD_ONLY();
    ensureCounts();
    if (section < 0 || section >= static_cast<long>(counts_.size())) return 0;
    return counts_[static_cast<std::size_t>(section)];
}

void CollectionView::invalidateForData() {
    if (!layout_) return;
    auto context = rt::make<CollectionViewLayoutInvalidationContext>();
    context->setInvalidateEverything(true);
    context->setInvalidateDataSourceCounts(true);
    layout_->invalidateLayoutWithContext(*context);
    setNeedsLayout();
}

void CollectionView::reloadData() {
    RT_MAIN_THREAD_ONLY();
    countsValid_ = false;
    auto shown = std::move(visible_);
    visible_.clear();
    for (auto& [key, view] : shown) enqueue(view);
    invalidateForData();
}

std::vector<rt::Ref<CollectionViewCell>> CollectionView::visibleCells() const {
    RT_MAIN_THREAD_ONLY();
    std::vector<rt::Ref<CollectionViewCell>> cells;
    for (auto& [key, view] : visible_)
        if (key.category == CollectionElementCategory::Cell)
            if (auto c = std::dynamic_pointer_cast<CollectionViewCell>(view)) cells.push_back(c);
    return cells;
}

rt::Ref<CollectionViewCell> CollectionView::cellForItemAtIndexPath(IndexPath indexPath) const {
    RT_MAIN_THREAD_ONLY();
    auto it = visible_.find(ElementKey{CollectionElementCategory::Cell, "", indexPath});
    return it == visible_.end() ? nullptr : std::dynamic_pointer_cast<CollectionViewCell>(it->second);
}

rt::Ref<CollectionReusableView> CollectionView::visibleSupplementaryView(const std::string& kind, IndexPath indexPath) const {
    RT_MAIN_THREAD_ONLY();
    auto it = visible_.find(ElementKey{CollectionElementCategory::SupplementaryView, kind, indexPath});
    return it == visible_.end() ? nullptr : it->second;
}

rt::Ref<CollectionReusableView> CollectionView::visibleDecorationView(const std::string& kind, IndexPath indexPath) const {
    RT_MAIN_THREAD_ONLY();
    auto it = visible_.find(ElementKey{CollectionElementCategory::DecorationView, kind, indexPath});
    return it == visible_.end() ? nullptr : it->second;
}

// ---- layout --------------------------------------------------------------------------------

void CollectionView::contentOffsetDidChange() {
    ScrollView::contentOffsetDidChange();
    askLayoutAboutBounds(bounds());
}

void CollectionView::askLayoutAboutBounds(const Rect& newBounds) {
    if (!layout_ || !layout_->shouldInvalidateLayoutForBoundsChange(newBounds)) return;
    auto context = layout_->invalidationContextForBoundsChange(newBounds);
    layout_->invalidateLayoutWithContext(*context);
}

void CollectionView::layoutSubviews() {
    RT_MAIN_THREAD_ONLY();
    ScrollView::layoutSubviews();
    if (bounds().size != laidOutSize_) {
        laidOutSize_ = bounds().size;
        askLayoutAboutBounds(bounds());
    }
    updateVisibleViews(false);
}

CollectionView::ElementKey CollectionView::keyOf(const CollectionViewLayoutAttributes& a) {
    return ElementKey{a.representedElementCategory(), a.representedElementKind(), a.indexPath()};
}

rt::Ref<CollectionReusableView> CollectionView::makeViewFor(const rt::Ref<CollectionViewLayoutAttributes>& a) {
    switch (a->representedElementCategory()) {
    case CollectionElementCategory::Cell:
        return dataSource_ ? dataSource_->cellForItemAtIndexPath(*this, a->indexPath()) : nullptr;
    case CollectionElementCategory::SupplementaryView:
        return dataSource_ ? dataSource_->viewForSupplementaryElementOfKind(*this, a->representedElementKind(), a->indexPath())
                           : nullptr;
    case CollectionElementCategory::DecorationView: {
        const std::string& kind = a->representedElementKind();
        if (!layout_) return nullptr;
        rt::Ref<CollectionViewLayout> layout = layout_;
        return dequeue(kDecorationQueue + kind, [layout, kind] { return layout->makeDecorationView(kind); });
    }
    }
    return nullptr;
}

void CollectionView::apply(CollectionReusableView& view, const rt::Ref<CollectionViewLayoutAttributes>& attributes) {
    // The view gets its own copy, of the layout's class with every field, so a later
    // pass that changes the layout's object does not change what the view was given.
    auto copy = attributes->copy();
    view.setFrame(copy->frame());
    view.setAlpha(copy->alpha());
    view.setHidden(copy->isHidden());
    view.attributes_ = copy;
    view.applyLayoutAttributes(copy);
}

void CollectionView::updateVisibleViews(bool animated, std::function<void(bool)> completion) {
    if (!layout_) {
        if (completion) completion(true);
        return;
    }
    if (layout_->needsPrepare_) {
        layout_->needsPrepare_ = false;
        layout_->prepareLayout();
    }
    setContentSize(layout_->collectionViewContentSize());
    auto attributes = layout_->layoutAttributesForElementsInRect(bounds());
    std::stable_sort(attributes.begin(), attributes.end(),
                     [](const auto& a, const auto& b) { return a->zIndex() < b->zIndex(); });

    // Views whose element is gone go first, so the data source can reuse them for the
    // elements that come in (after their fade when animated).
    std::set<ElementKey> wanted;
    for (auto& a : attributes) wanted.insert(keyOf(*a));
    std::map<ElementKey, rt::Ref<CollectionReusableView>> leaving;
    for (auto it = visible_.begin(); it != visible_.end();) {
        if (wanted.count(it->first)) {
            ++it;
            continue;
        }
        if (animated)
            leaving.insert(*it);
        else
            enqueue(it->second);
        it = visible_.erase(it);
    }

    std::map<ElementKey, rt::Ref<CollectionReusableView>> next;
    std::vector<std::pair<rt::Ref<CollectionReusableView>, rt::Ref<CollectionViewLayoutAttributes>>> moving, appearing;
    for (auto& a : attributes) {
        ElementKey key = keyOf(*a);
        if (next.count(key)) continue;
        auto old = visible_.find(key);
        rt::Ref<CollectionReusableView> view;
        if (old != visible_.end()) {
            view = old->second;
            visible_.erase(old);
            moving.emplace_back(view, a);
        } else {
            view = makeViewFor(a);
            if (!view) continue;
            appearing.emplace_back(view, a);
        }
        next[key] = view;
    }
    visible_ = std::move(next);

    for (auto& entry : appearing) {
        // Plain names rather than a structured binding: the blocks below capture them.
        auto& view = entry.first;
        auto& a = entry.second;
        if (view->superview().get() != this) addSubview(view);
        performWithoutAnimation([&] { apply(*view, a); });
        if (animated) {
            double alpha = view->alpha();
            performWithoutAnimation([&] { view->setAlpha(0); });
            animate(kUpdateAnimationDuration, [&] { view->setAlpha(alpha); });
        }
    }
    // Stack the views by their z-index (the attributes came sorted).
    for (auto& a : attributes) {
        auto it = visible_.find(keyOf(*a));
        if (it != visible_.end()) bringSubviewToFront(it->second);
    }
    rt::Weak<CollectionView> weak = selfAs<CollectionView>();
    if (!animated) {
        for (auto& [view, a] : moving) apply(*view, a);
        if (completion) completion(true);
        return;
    }
    animate(kUpdateAnimationDuration, [&] {
        for (auto& [view, a] : moving) apply(*view, a);
        for (auto& [key, view] : leaving) view->setAlpha(0);
    }, [weak, leaving, completion](bool finished) {
        auto self = weak.lock();
        for (auto& [key, view] : leaving) {
            // A view that came back in the meantime stays.
            if (self && self->visible_.count(key) && self->visible_[key] == view) continue;
            if (self) self->enqueue(view); else view->removeFromSuperview();
        }
        if (completion) completion(finished);
    });
}

// ---- changes -------------------------------------------------------------------------------

void CollectionView::changed(const std::function<void(Changes&)>& record) {
    if (batchDepth_ > 0) {
        record(pending_);
        return;
    }
    performBatchUpdates([&] { record(pending_); });
}

void CollectionView::insertSections(const std::set<long>& sections) {
    RT_MAIN_THREAD_ONLY();
    changed([&](Changes& c) { c.insertedSections.insert(sections.begin(), sections.end()); });
}
void CollectionView::deleteSections(const std::set<long>& sections) {
    RT_MAIN_THREAD_ONLY();
    changed([&](Changes& c) { c.deletedSections.insert(sections.begin(), sections.end()); });
}
void CollectionView::reloadSections(const std::set<long>& sections) {
    RT_MAIN_THREAD_ONLY();
    changed([&](Changes& c) { c.reloadedSections.insert(sections.begin(), sections.end()); });
}
void CollectionView::moveSection(long section, long newSection) {
    RT_MAIN_THREAD_ONLY();
    changed([&](Changes& c) { c.movedSections.emplace_back(section, newSection); });
}
void CollectionView::insertItemsAtIndexPaths(const std::vector<IndexPath>& indexPaths) {
    RT_MAIN_THREAD_ONLY();
    changed([&](Changes& c) { c.insertedItems.insert(indexPaths.begin(), indexPaths.end()); });
}
void CollectionView::deleteItemsAtIndexPaths(const std::vector<IndexPath>& indexPaths) {
    RT_MAIN_THREAD_ONLY();
    changed([&](Changes& c) { c.deletedItems.insert(indexPaths.begin(), indexPaths.end()); });
}
void CollectionView::reloadItemsAtIndexPaths(const std::vector<IndexPath>& indexPaths) {
    RT_MAIN_THREAD_ONLY();
    changed([&](Changes& c) { c.reloadedItems.insert(indexPaths.begin(), indexPaths.end()); });
}
void CollectionView::moveItemAtIndexPath(const IndexPath& from, const IndexPath& to) {
    RT_MAIN_THREAD_ONLY();
    changed([&](Changes& c) { c.movedItems.emplace_back(from, to); });
}

void CollectionView::performBatchUpdates(const std::function<void()>& updates, std::function<void(bool)> completion) {
    RT_MAIN_THREAD_ONLY();
    // The counts before the change, read now if the view has not read them yet.
    ensureCounts();
    if (completion) completions_.push_back(std::move(completion));
    ++batchDepth_;
    try {
        if (updates) updates();
    } catch (...) {
        --batchDepth_;
        throw;
    }
    if (--batchDepth_ > 0) return;  // an inner batch joins the outer one

    Changes changes = std::move(pending_);
    pending_ = Changes();
    auto completions = std::move(completions_);
    completions_.clear();
    auto done = [completions](bool finished) {
        for (auto& c : completions) c(finished);
    };

    std::vector<long> oldCounts = counts_, newCounts;
    readCounts(newCounts);
    try {
        applyChanges(changes, oldCounts, newCounts);
    } catch (const rt::Exception&) {
        // The view cannot follow the change: it shows the data as it is now, and the
        // caller hears why.
        reloadData();
        throw;
    }
    counts_ = std::move(newCounts);
    invalidateForData();
    updateVisibleViews(true, done);
}

void CollectionView::applyChanges(const Changes& c, const std::vector<long>& oldCounts, const std::vector<long>& newCounts) {
    long oldSections = static_cast<long>(oldCounts.size()), newSections = static_cast<long>(newCounts.size());
    for (long s : c.reloadedSections)
        if (s < 0 || s >= oldSections)
            invalidUpdate(rt::format("section %ld reloaded, but there were only %ld before the update", s, oldSections));
    auto sectionMap = mapPositions(oldSections, newSections, c.deletedSections, c.insertedSections, c.movedSections, "section");

    // Items, section by section of the new numbering (inserted sections are all new).
    std::map<long, long> fromSection;  // new section -> old section
    for (long s = 0; s < oldSections; ++s)
        if (long n = sectionMap[static_cast<std::size_t>(s)]; n >= 0) fromSection[n] = s;
    std::map<long, std::set<long>> removed, added;  // by old section / by new section
    std::map<long, std::vector<std::pair<long, long>>> movedWithin;
    std::vector<std::pair<IndexPath, IndexPath>> movedAcross;
    for (auto& p : c.deletedItems) removed[p.section].insert(p.item);
    for (auto& p : c.insertedItems) added[p.section].insert(p.item);
    for (auto& p : c.reloadedItems)
        if (p.section < 0 || p.section >= oldSections || p.item < 0 ||
            p.item >= oldCounts[static_cast<std::size_t>(p.section)])
            invalidUpdate(rt::format("item %ld of section %ld reloaded, but it did not exist before the update", p.item,
                                     p.section));
    for (auto& [from, to] : c.movedItems) {
        if (from.section >= 0 && from.section < oldSections && sectionMap[static_cast<std::size_t>(from.section)] == to.section)
            movedWithin[from.section].emplace_back(from.item, to.item);
        else {
            removed[from.section].insert(from.item);
            added[to.section].insert(to.item);
            movedAcross.emplace_back(from, to);
        }
    }
    for (auto& [s, items] : removed)
        if (s < 0 || s >= oldSections)
            invalidUpdate(rt::format("items of section %ld deleted or moved, but there were only %ld sections before the update",
                                     s, oldSections));
    for (auto& [s, items] : added)
        if (s < 0 || s >= newSections)
            invalidUpdate(rt::format("items inserted or moved into section %ld, but there are only %ld sections after the update",
                                     s, newSections));

    std::map<long, std::vector<long>> itemMaps;  // by old section
    for (long ns = 0; ns < newSections; ++ns) {
        auto from = fromSection.find(ns);
        if (from == fromSection.end()) {
            // An inserted section is whole after the update; items named in it are its own.
            for (long i : added[ns])
                if (i >= newCounts[static_cast<std::size_t>(ns)])
                    invalidUpdate(rt::format("item %ld inserted into section %ld, which has only %ld", i, ns,
                                             newCounts[static_cast<std::size_t>(ns)]));
            continue;
        }
        long os = from->second;
        if (c.reloadedSections.count(os)) continue;  // its views are replaced whatever its count
        itemMaps[os] = mapPositions(oldCounts[static_cast<std::size_t>(os)], newCounts[static_cast<std::size_t>(ns)],
                                    removed[os], added[ns], movedWithin[os],
                                    rt::format("item of section %ld", ns));
    }

    // The visible views follow their elements to the new index paths; those whose
    // element left or was reloaded go.
    std::map<ElementKey, rt::Ref<CollectionReusableView>> kept;
    for (auto& [key, view] : visible_) {
        ElementKey k = key;
        long os = key.indexPath.section;
        bool stays = true;
        if (key.category != CollectionElementCategory::DecorationView) {
            long ns = os >= 0 && os < oldSections ? sectionMap[static_cast<std::size_t>(os)] : -1;
            stays = ns >= 0 && !c.reloadedSections.count(os);
            k.indexPath.section = ns;
            if (stays && key.category == CollectionElementCategory::Cell) {
                auto& map = itemMaps[os];
                long oi = key.indexPath.item;
                long ni = oi >= 0 && oi < static_cast<long>(map.size()) ? map[static_cast<std::size_t>(oi)] : -1;
                for (auto& [from, to] : movedAcross)
                    if (from == key.indexPath) {
                        k.indexPath = to;
                        ni = to.item;
                    }
                stays = ni >= 0 && !c.reloadedItems.count(key.indexPath);
                if (stays) k.indexPath.item = ni;
            }
        }
        if (stays)
            kept[k] = view;
        else
            enqueue(view);
    }
    visible_ = std::move(kept);
}

}  // namespace ui
