#include <ui/CollectionViewLayout.h>

#include <algorithm>
#include <cmath>

#include <ui/CollectionView.h>

namespace ui {

rt::Ref<CollectionViewLayoutAttributes> CollectionViewLayoutAttributes::copy() const {
    auto c = makeEmpty();
    copyFieldsTo(*c);
    return c;
}

rt::Ref<CollectionViewLayoutAttributes> CollectionViewLayoutAttributes::makeEmpty() const {
    return rt::make<CollectionViewLayoutAttributes>();
}

void CollectionViewLayoutAttributes::copyFieldsTo(CollectionViewLayoutAttributes& to) const {
    to.frame_ = frame_;
    to.alpha_ = alpha_;
    to.zIndex_ = zIndex_;
    to.hidden_ = hidden_;
    to.indexPath_ = indexPath_;
    to.category_ = category_;
    to.elementKind_ = elementKind_;
}

bool CollectionViewLayoutAttributes::isEqual(const CollectionViewLayoutAttributes& o) const {
    return frame_ == o.frame_ && alpha_ == o.alpha_ && zIndex_ == o.zIndex_ && hidden_ == o.hidden_ &&
           indexPath_ == o.indexPath_ && category_ == o.category_ && elementKind_ == o.elementKind_;
}

// ---- the base layout -------------------------------------------------------------------

std::vector<rt::Ref<CollectionViewLayoutAttributes>> CollectionViewLayout::layoutAttributesForElementsInRect(const Rect&) {
    return {};
}

rt::Ref<CollectionViewLayoutAttributes> CollectionViewLayout::layoutAttributesForItemAtIndexPath(IndexPath) {
    return nullptr;
}

Size CollectionViewLayout::collectionViewContentSize() { return Size(); }

bool CollectionViewLayout::shouldInvalidateLayoutForBoundsChange(const Rect&) { return false; }

rt::Ref<CollectionViewLayoutInvalidationContext> CollectionViewLayout::invalidationContextForBoundsChange(const Rect&) {
    return rt::make<CollectionViewLayoutInvalidationContext>();
}

void CollectionViewLayout::invalidateLayoutWithContext(CollectionViewLayoutInvalidationContext&) {
    needsPrepare_ = true;
    if (auto cv = collectionView()) cv->setNeedsLayout();
}

void CollectionViewLayout::invalidateLayout() {
    auto context = rt::make<CollectionViewLayoutInvalidationContext>();
    context->setInvalidateEverything(true);
    invalidateLayoutWithContext(*context);
}

rt::Ref<CollectionReusableView> CollectionViewLayout::makeDecorationView(const std::string& kind) const {
    auto it = decorations_.find(kind);
    return it == decorations_.end() ? nullptr : it->second();
}

// ---- the flow layout -------------------------------------------------------------------

void CollectionViewFlowLayout::setItemSize(Size s) {
    itemSize_ = s;
    invalidateLayout();
}

void CollectionViewFlowLayout::setMinimumLineSpacing(double s) {
    lineSpacing_ = s;
    invalidateLayout();
}

void CollectionViewFlowLayout::setMinimumInteritemSpacing(double s) {
    interitemSpacing_ = s;
    invalidateLayout();
}

void CollectionViewFlowLayout::prepareLayout() {
    items_.clear();
    contentSize_ = Size();
    auto cv = collectionView();
    if (!cv) return;
    double width = cv->bounds().size.width;
    preparedWidth_ = width;
    long perRow = 1;
    if (itemSize_.width > 0)
        perRow = std::max(1L, static_cast<long>(std::floor((width + interitemSpacing_) / (itemSize_.width + interitemSpacing_))));
    double y = 0;
    for (long s = 0, sections = cv->numberOfSections(); s < sections; ++s) {
        long n = cv->numberOfItemsInSection(s);
        for (long i = 0; i < n; ++i) {
            long row = i / perRow, column = i % perRow;
            auto a = CollectionViewLayoutAttributes::forCell(IndexPath{s, i});
            a->setFrame(Rect(column * (itemSize_.width + interitemSpacing_), y + row * (itemSize_.height + lineSpacing_),
                             itemSize_.width, itemSize_.height));
            items_[a->indexPath()] = a;
        }
        long rows = (n + perRow - 1) / perRow;
        if (rows > 0) y += rows * itemSize_.height + (rows - 1) * lineSpacing_ + lineSpacing_;
    }
    contentSize_ = Size{width, std::max(0.0, y - lineSpacing_)};
}

std::vector<rt::Ref<CollectionViewLayoutAttributes>> CollectionViewFlowLayout::layoutAttributesForElementsInRect(const Rect& rect) {
    std::vector<rt::Ref<CollectionViewLayoutAttributes>> found;
    for (auto& [path, a] : items_)
        if (rectIntersectsRect(a->frame(), rect)) found.push_back(a);
    return found;
}

rt::Ref<CollectionViewLayoutAttributes> CollectionViewFlowLayout::layoutAttributesForItemAtIndexPath(IndexPath indexPath) {
    auto it = items_.find(indexPath);
    return it == items_.end() ? nullptr : it->second;
}

bool CollectionViewFlowLayout::shouldInvalidateLayoutForBoundsChange(const Rect& newBounds) {
    return newBounds.size.width != preparedWidth_;
}

}  // namespace ui
