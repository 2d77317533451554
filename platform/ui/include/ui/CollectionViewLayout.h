#pragma once
// What a collection view asks of its layout: the attributes of the elements (cells,
// supplementary views by kind, decoration views by kind) in content coordinates, the
// content size, and whether a change of the bounds makes the layout stale. A layout
// prepares itself lazily: an invalidation marks it, and the collection view's next
// layout pass calls prepareLayout before it asks anything else.

#include <compare>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include <rt/Object.h>
#include <ui/Geometry.h>
#include <ui/IndexPath.h>

namespace ui {

class CollectionView;
class CollectionReusableView;

enum class CollectionElementCategory { Cell, SupplementaryView, DecorationView };

/// Where one element stands and how it shows. Subclasses add fields; they extend
/// copyFieldsTo and isEqual so a copy keeps every field of its class.
class CollectionViewLayoutAttributes : public rt::Object {
    RT_CLASS(CollectionViewLayoutAttributes, rt::Object)
public:
    CollectionViewLayoutAttributes() = default;

    template <class T = CollectionViewLayoutAttributes>
    static rt::Ref<T> forCell(IndexPath indexPath) {
        return element<T>(CollectionElementCategory::Cell, {}, indexPath);
    }
    template <class T = CollectionViewLayoutAttributes>
    static rt::Ref<T> forSupplementaryView(std::string kind, IndexPath indexPath) {
        return element<T>(CollectionElementCategory::SupplementaryView, std::move(kind), indexPath);
    }
    template <class T = CollectionViewLayoutAttributes>
    static rt::Ref<T> forDecorationView(std::string kind, IndexPath indexPath) {
        return element<T>(CollectionElementCategory::DecorationView, std::move(kind), indexPath);
    }

    Rect frame() const { return frame_; }
    void setFrame(const Rect& r) { frame_ = r; }
    double alpha() const { return alpha_; }
    void setAlpha(double a) { alpha_ = a; }
    long zIndex() const { return zIndex_; }
    void setZIndex(long z) { zIndex_ = z; }
    bool isHidden() const { return hidden_; }
    void setHidden(bool h) { hidden_ = h; }
    IndexPath indexPath() const { return indexPath_; }
    void setIndexPath(IndexPath p) { indexPath_ = p; }
    CollectionElementCategory representedElementCategory() const { return category_; }
    /// Empty for cells.
    const std::string& representedElementKind() const { return elementKind_; }

    /// A new object of the same class with every field copied.
    rt::Ref<CollectionViewLayoutAttributes> copy() const;
    using rt::Object::isEqual;
    virtual bool isEqual(const CollectionViewLayoutAttributes& other) const;

protected:
    /// A new, empty object of the receiver's class.
    virtual rt::Ref<CollectionViewLayoutAttributes> makeEmpty() const;
    /// Copies the receiver's fields into `to`, which is of the receiver's class.
    virtual void copyFieldsTo(CollectionViewLayoutAttributes& to) const;

private:
    template <class T>
    static rt::Ref<T> element(CollectionElementCategory category, std::string kind, IndexPath indexPath) {
        auto a = rt::make<T>();
        a->category_ = category;
        a->elementKind_ = std::move(kind);
        a->indexPath_ = indexPath;
        return a;
    }
    Rect frame_;
    double alpha_ = 1;
    long zIndex_ = 0;
    bool hidden_ = false;
    IndexPath indexPath_;
    CollectionElementCategory category_ = CollectionElementCategory::Cell;
    std::string elementKind_;
};

/// What an invalidation covers. The collection view sets the flags for a data change;
/// a layout's own context may make them writable for its callers.
class CollectionViewLayoutInvalidationContext : public rt::Object {
    RT_CLASS(CollectionViewLayoutInvalidationContext, rt::Object)
public:
    bool invalidateEverything() const { return invalidateEverything_; }
    bool invalidateDataSourceCounts() const { return invalidateDataSourceCounts_; }

protected:
    friend class CollectionView;
    friend class CollectionViewLayout;
    void setInvalidateEverything(bool v) { invalidateEverything_ = v; }
    void setInvalidateDataSourceCounts(bool v) { invalidateDataSourceCounts_ = v; }

private:
    bool invalidateEverything_ = false;
    bool invalidateDataSourceCounts_ = false;
};

class CollectionViewLayout : public rt::Object {
    RT_CLASS(CollectionViewLayout, rt::Object)
public:
    using ViewFactory = std::function<rt::Ref<CollectionReusableView>()>;

    /// Nil until the layout is given to a collection view.
    rt::Ref<CollectionView> collectionView() const { return collectionView_.lock(); }

    virtual void prepareLayout() {}
    virtual std::vector<rt::Ref<CollectionViewLayoutAttributes>> layoutAttributesForElementsInRect(const Rect& rect);
    virtual rt::Ref<CollectionViewLayoutAttributes> layoutAttributesForItemAtIndexPath(IndexPath indexPath);
    virtual Size collectionViewContentSize();
    virtual bool shouldInvalidateLayoutForBoundsChange(const Rect& newBounds);
    virtual rt::Ref<CollectionViewLayoutInvalidationContext> invalidationContextForBoundsChange(const Rect& newBounds);
    /// Marks the layout for a new prepareLayout and the collection view for layout.
    virtual void invalidateLayoutWithContext(CollectionViewLayoutInvalidationContext& context);
    /// Invalidates everything.
    void invalidateLayout();
    bool needsPrepare() const { return needsPrepare_; }

    template <class T>
    void registerDecorationClass(const std::string& kind) {
        registerDecorationFactory(kind, [] { return rt::make<T>(); });
    }
    void registerDecorationFactory(const std::string& kind, ViewFactory factory) { decorations_[kind] = std::move(factory); }
    /// Nil for a kind nobody registered.
    rt::Ref<CollectionReusableView> makeDecorationView(const std::string& kind) const;

private:
    friend class CollectionView;
    rt::Weak<CollectionView> collectionView_;
    bool needsPrepare_ = true;
    std::map<std::string, ViewFactory> decorations_;
};

/// Items of one size in rows that wrap at the view's width, sections one below the other.
class CollectionViewFlowLayout : public CollectionViewLayout {
    RT_CLASS(CollectionViewFlowLayout, CollectionViewLayout)
public:
    Size itemSize() const { return itemSize_; }
    void setItemSize(Size s);
    double minimumLineSpacing() const { return lineSpacing_; }
    void setMinimumLineSpacing(double s);
    double minimumInteritemSpacing() const { return interitemSpacing_; }
    void setMinimumInteritemSpacing(double s);

    void prepareLayout() override;
    std::vector<rt::Ref<CollectionViewLayoutAttributes>> layoutAttributesForElementsInRect(const Rect& rect) override;
    rt::Ref<CollectionViewLayoutAttributes> layoutAttributesForItemAtIndexPath(IndexPath indexPath) override;
    Size collectionViewContentSize() override { return contentSize_; }
    bool shouldInvalidateLayoutForBoundsChange(const Rect& newBounds) override;

private:
    Size itemSize_{50, 50};
    double lineSpacing_ = 10;
    double interitemSpacing_ = 10;
    double preparedWidth_ = 0;
    Size contentSize_;
    std::map<IndexPath, rt::Ref<CollectionViewLayoutAttributes>> items_;
};

}  // namespace ui
