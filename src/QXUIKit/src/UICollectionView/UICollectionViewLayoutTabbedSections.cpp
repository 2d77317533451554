#include "QXUIKit/UICollectionView/UICollectionViewLayoutTabbedSections.h"

#include <QXUIKit/UICollectionView/UICollectionViewLayoutTabbedSectionsTabHeader.h>

#include <algorithm>
#include <cmath>

#include <QXFoundation/Threading/Dispatcher.h>
#include <rt/ChangeScope.h>
#include <rt/Format.h>
#include <rt/KVC.h>

namespace zid {

std::string UICollectionViewLayoutTabbedSectionsDelegate::titleForSection(long section) {
    return rt::format("Section %ld", section);
}

// ---- set-up and delegate forwarding --------------------------------------------------------

namespace {

UICollectionViewLayoutTabbedSectionsDelegate& defaults() {
    static UICollectionViewLayoutTabbedSectionsDelegate d;
    return d;
}

const UICollectionViewLayoutTabbedSections::AttributesByPath& noAttributes() {
    static const UICollectionViewLayoutTabbedSections::AttributesByPath empty;
    return empty;
}

}  // namespace

// Linux is no older system that clips cells wrongly: the workaround stays off unless a
// caller turns it on.
UICollectionViewLayoutTabbedSections::UICollectionViewLayoutTabbedSections() {
    registerDecorationClass<UICollectionViewLayoutTabbedSectionsTabHeader>(kTabHeaderKind);
}

void UICollectionViewLayoutTabbedSections::describe(rt::ClassBuilder<UICollectionViewLayoutTabbedSections>& c) {
    using L = UICollectionViewLayoutTabbedSections;
    c.readonly("tabTitles", [](const L& l) {
        rt::Value::Array titles;
        for (auto& t : l.tabTitles_) titles.emplace_back(t);
        return rt::Value(std::move(titles));
    });
    c.readonly("selectedSection", [](const L& l) { return rt::Value(l.selectedSection_); });
    c.readonly("tabMarkerOffset", [](const L& l) { return rt::Value(l.tabMarkerOffset_); });
}

void UICollectionViewLayoutTabbedSections::setSelectedSection(long section) {
    rt::ChangeScope scope(*this, "selectedSection");
    selectedSection_ = section;
}

void UICollectionViewLayoutTabbedSections::setTabMarkerOffset(double offset) {
    if (offset == tabMarkerOffset_) return;
    rt::ChangeScope scope(*this, "tabMarkerOffset");
    tabMarkerOffset_ = offset;
}

void UICollectionViewLayoutTabbedSections::setTabTitles(std::vector<std::string> titles) {
    rt::ChangeScope scope(*this, "tabTitles");
    tabTitles_ = std::move(titles);
}

#define QX_DELEGATE (delegate_ ? *delegate_ : defaults())
std::string UICollectionViewLayoutTabbedSections::titleForSection(long s) { return QX_DELEGATE.titleForSection(s); }
long UICollectionViewLayoutTabbedSections::numberOfColumnsForSection(long s) { return QX_DELEGATE.numberOfColumnsForSection(s); }
ui::EdgeInsets UICollectionViewLayoutTabbedSections::edgeInsetsForSection(long s) { return QX_DELEGATE.edgeInsetsForSection(s); }
ui::EdgeInsets UICollectionViewLayoutTabbedSections::edgeInsetsForItemAtIndexPath(ui::IndexPath p) {
    return QX_DELEGATE.edgeInsetsForItemAtIndexPath(p);
}
double UICollectionViewLayoutTabbedSections::heightForItemAtIndexPath(ui::IndexPath p, double w) {
    return QX_DELEGATE.heightForItemAtIndexPath(p, w);
}
double UICollectionViewLayoutTabbedSections::tabHeaderHeightForGroupedSections() {
    return QX_DELEGATE.tabHeaderHeightForGroupedSections();
}
double UICollectionViewLayoutTabbedSections::heightForHeaderForSection(long s) { return QX_DELEGATE.heightForHeaderForSection(s); }
double UICollectionViewLayoutTabbedSections::heightForFooterForSection(long s) { return QX_DELEGATE.heightForFooterForSection(s); }
rt::Ref<rt::Object> UICollectionViewLayoutTabbedSections::headerForSection(long s) { return QX_DELEGATE.headerForSection(s); }
rt::Ref<rt::Object> UICollectionViewLayoutTabbedSections::footerForSection(long s) { return QX_DELEGATE.footerForSection(s); }
void UICollectionViewLayoutTabbedSections::didSelectSection(long s) { QX_DELEGATE.didSelectSection(s); }
#undef QX_DELEGATE

const UICollectionViewLayoutTabbedSections::AttributesByPath& UICollectionViewLayoutTabbedSections::layoutInfo(
    const std::string& kind) const {
    if (kind == kCellKey) return cellLayoutInfo_ ? *cellLayoutInfo_ : noAttributes();
    auto it = layoutInfo_.find(kind);
    return it == layoutInfo_.end() ? noAttributes() : it->second;
}

double UICollectionViewLayoutTabbedSections::width() {
    auto cv = collectionView();
    return cv ? cv->bounds().size.width : 0;
}

// ---- coordinate spaces -----------------------------------------------------------------------

UICollectionViewLayoutTabbedSections::Axis UICollectionViewLayoutTabbedSections::axis(Space space, bool vertical,
                                                                                    long section) {
    auto cv = collectionView();
    double scrolled = cv ? (vertical ? cv->contentOffset().y : cv->contentOffset().x) : 0;
    switch (space) {
    case Space::Content: return {1, 0};
    case Space::View: return {1, scrolled};
    // The header-bottom space runs up from the header's bottom edge, in view coordinates.
    case Space::HeaderBottom:
        return vertical ? Axis{-1, vYForHeader_ + headerSectionHeight() + scrolled} : Axis{1, scrolled};
    case Space::Section: {
        ui::Point origin = cPosForSection(section);
        return {1, vertical ? origin.y : origin.x};
    }
    }
    return {1, 0};
}

double UICollectionViewLayoutTabbedSections::convertX(double x, Space from, Space to, long section) {
    return from == to ? x : axis(to, false, section).fromContent(axis(from, false, section).toContent(x));
}

double UICollectionViewLayoutTabbedSections::convertY(double y, Space from, Space to, long section) {
    return from == to ? y : axis(to, true, section).fromContent(axis(from, true, section).toContent(y));
}

ui::Point UICollectionViewLayoutTabbedSections::convertPoint(ui::Point p, Space from, Space to, long section) {
    return ui::Point{convertX(p.x, from, to, section), convertY(p.y, from, to, section)};
}

ui::Rect UICollectionViewLayoutTabbedSections::convertRect(ui::Rect r, Space from, Space to, long section) {
    return ui::Rect(convertPoint(r.origin, from, to, section), r.size);
}

// ---- the layout pass -------------------------------------------------------------------------

void UICollectionViewLayoutTabbedSections::prepareLayout() {
    auto cv = collectionView();
    if (!cv) return;
    lastCollectionViewSize_ = cv->bounds().size;
    adjustHeaderPosition();
    setupGestureRecognizer();
    cv->setDirectionalLockEnabled(true);
    layoutInfo_.clear();
    if (!cellLayoutInfo_) {
        sectionCount_ = cv->numberOfSections();
        std::vector<std::string> titles;
        for (long s = 1; s < cv->numberOfSections(); ++s) titles.push_back(titleForSection(s));
        setTabTitles(std::move(titles));
        cellLayoutInfo_ = std::make_unique<AttributesByPath>();
        sectionCells_.assign(static_cast<std::size_t>(std::max(0L, sectionCount_)), SectionCells());
        for (long s = 0; s < sectionCount_; ++s) {
            layoutSection(s);
            indexSection(s);
        }
    }
    for (long s = 0; s < sectionCount_; ++s) adjustSection(s, cPosForSection(s));
    if (sectionCount_ == 0) return;

    auto tabHeader = ui::CollectionViewLayoutAttributes::forDecorationView<UICollectionViewLayoutTabbedSectionsTabHeaderLayoutAttributes>(
        kTabHeaderKind, ui::IndexPath{0, 0});
    tabHeader->setFrame(frameForTabHeader());
    tabHeader->layout = selfAs<UICollectionViewLayoutTabbedSections>();
    tabHeader->setZIndex(1);
    layoutInfo_[kTabHeaderKey][tabHeader->indexPath()] = tabHeader;
    for (long s = 0; s < sectionCount_; ++s) {
        layoutInfo_[kSectionHeadersKey][ui::IndexPath{s, 0}] =
            makeSupplementary(ui::CollectionView::kSectionHeaderKind, s, sFrameForHeaderForSection(s));
        layoutInfo_[kSectionFootersKey][ui::IndexPath{s, 0}] =
            makeSupplementary(ui::CollectionView::kSectionFooterKind, s, sFrameForFooterForSection(s));
    }
    if (sectionCount_ > 1 && selectedSection_ == 0) {
        rt::Weak<UICollectionViewLayoutTabbedSections> weak = selfAs<UICollectionViewLayoutTabbedSections>();
        rt::make<Dispatcher>(fnd::Queue::main(), false)->setBlock([weak] {
            if (auto self = weak.lock()) self->setSelectedSection(1, false);
        });
    }
}

rt::Ref<ui::CollectionViewLayoutAttributes> UICollectionViewLayoutTabbedSections::makeSupplementary(const char* kind, long section,
                                                                                                     const ui::Rect& sFrame) {
    auto a = ui::CollectionViewLayoutAttributes::forSupplementaryView<UICollectionViewTabbedSectionsLayoutAttributes>(
        kind, ui::IndexPath{section, 0});
    a->sFrame = sFrame;
    a->setFrame(cRectFromSRect(sFrame, section));
    a->setZIndex(1);
    return a;
}

void UICollectionViewLayoutTabbedSections::layoutSection(long s) {
    ui::EdgeInsets insets = edgeInsetsForSection(s);
    double header = heightForHeaderForSection(s);
    long n = numberOfItemsInSection(s);
    long k = columnCount(s);
    double w = width();
    long rows = k > 0 ? (n + k - 1) / k : 0;
    if (rows < 1) return;
    double columnWidth = (w - insets.left - insets.right) / static_cast<double>(k);
    double y = insets.top + header;
    for (long r = 0; r < rows; ++r) {
        double rowHeight = heightForRow(r, s);
        double x = insets.left;
        for (long i = r * k; i < std::min(n, (r + 1) * k); ++i) {
            ui::IndexPath path{s, i};
            ui::EdgeInsets item = edgeInsetsForItemAtIndexPath(path);
            auto a = ui::CollectionViewLayoutAttributes::forCell<UICollectionViewTabbedSectionsLayoutAttributes>(path);
            a->setZIndex(s == 0 ? 1 : 0);
            a->sFrame = ui::Rect(x + item.left, y + item.top, columnWidth - item.left - item.right,
                                 rowHeight - item.top - item.bottom);
            (*cellLayoutInfo_)[path] = a;
            if (s >= 0 && s < static_cast<long>(sectionCells_.size()))
                sectionCells_[static_cast<std::size_t>(s)].items.push_back(a);
            x += columnWidth;
        }
        y += rowHeight;
    }
}

long UICollectionViewLayoutTabbedSections::columnCount(long s) {
    auto it = columnCountCache_.find(s);
    if (it != columnCountCache_.end()) return it->second;
    long k = numberOfColumnsForSection(s);
    columnCountCache_[s] = k;
    return k;
}

double UICollectionViewLayoutTabbedSections::heightForRow(long r, long s) {
    long k = columnCount(s);
    long n = numberOfItemsInSection(s);
    long first = r * k;
    if (k < 1 || first >= n) return 0;
    ui::EdgeInsets insets = edgeInsetsForSection(s);
    double columnWidth = (width() - insets.left - insets.right) / static_cast<double>(k);
    double height = 0;
    for (long i = first; i < std::min(n, first + k); ++i) {
        ui::IndexPath path{s, i};
        ui::EdgeInsets item = edgeInsetsForItemAtIndexPath(path);
        height = std::max(height, item.top + heightForItemAtIndexPath(path, columnWidth - item.left - item.right) + item.bottom);
    }
    return height;
}

long UICollectionViewLayoutTabbedSections::numberOfItemsInSection(long s) {
    auto it = sectionCountCache_.find(s);
    if (it != sectionCountCache_.end()) return it->second;
    auto cv = collectionView();
    long n = cv ? cv->numberOfItemsInSection(s) : 0;
    sectionCountCache_[s] = n;
    return n;
}

ui::Size UICollectionViewLayoutTabbedSections::sizeForSection(long s) {
    auto cached = sectionSizeCache_.find(s);
    if (cached != sectionSizeCache_.end()) return cached->second;
    auto cv = collectionView();
    if (!cv || s >= cv->numberOfSections()) return ui::Size{width(), 0};
    long k = columnCount(s);
    long rows = k > 0 ? (numberOfItemsInSection(s) + k - 1) / k : 0;
    ui::EdgeInsets insets = edgeInsetsForSection(s);
    double h = insets.top + insets.bottom + heightForHeaderForSection(s) + heightForFooterForSection(s);
    for (long r = 0; r < rows; ++r) h += heightForRow(r, s);
    double height = s == 0 ? h + tabHeaderHeightForGroupedSections() : std::max(h, cv->bounds().size.height);
    ui::Size size{cv->bounds().size.width, height};
    sectionSizeCache_[s] = size;
    return size;
}

ui::Point UICollectionViewLayoutTabbedSections::cPosForSection(long s) {
    auto cv = collectionView();
    if (s == 0) {
        ui::Point o = cv ? cv->contentOffset() : ui::Point{};
        return ui::Point{o.x, o.y + vYForHeader_};
    }
    if (s == selectedSection_ && !paging_) return ui::Point{cDeltaX_, headerSectionHeight()};
    return cPosForPagingSection(s);
}

ui::Point UICollectionViewLayoutTabbedSections::cPosForPagingSection(long s) {
    double x = static_cast<double>(s - selectedSection_) * width() + cDeltaX_;
    return ui::Point{x, cYFromBY(bYForSection(s))};
}

double UICollectionViewLayoutTabbedSections::bYForSection(long s) const {
    auto it = bYForSections_.find(s);
    return it == bYForSections_.end() ? 0.0 : static_cast<double>(static_cast<float>(it->second));
}

void UICollectionViewLayoutTabbedSections::indexSection(long s) {
    auto& cells = sectionCells_[static_cast<std::size_t>(s)];
    std::size_t n = cells.items.size();
    cells.prefixMaxY.resize(n);
    cells.suffixMinY.resize(n);
    double most = -HUGE_VAL, least = HUGE_VAL;
    for (std::size_t i = 0; i < n; ++i) cells.prefixMaxY[i] = most = std::max(most, ui::maxY(cells.items[i]->sFrame));
    for (std::size_t i = n; i-- > 0;) cells.suffixMinY[i] = least = std::min(least, ui::minY(cells.items[i]->sFrame));
}

void UICollectionViewLayoutTabbedSections::adjustSection(long s, ui::Point o) {
    if (s >= 0 && s < static_cast<long>(sectionCells_.size())) sectionCells_[static_cast<std::size_t>(s)].origin = o;
}

void UICollectionViewLayoutTabbedSections::place(UICollectionViewTabbedSectionsLayoutAttributes& a, ui::Point o) {
    a.setFrame(ui::rectOffset(a.sFrame, o.x, o.y));
    if (needsWorkaroundForCellVisibility_) adjustContentInsetsForAttributes(a);
    adjustVisibleRectForAttributes(a);
}

void UICollectionViewLayoutTabbedSections::adjustVisibleRectForAttributes(UICollectionViewTabbedSectionsLayoutAttributes& a) {
    auto cv = collectionView();
    // What the collection view shows: its bounds, in content space already.
    ui::Rect visible = cv ? cv->bounds() : ui::Rect();
    ui::Rect frame = a.frame();
    // Edges that only touch count as a common part here (a strip of no width or no
    // height): such an element stays shown, with the touching strip as its visible part.
    ui::Rect i = ui::rectNull();
    double x0 = std::max(ui::minX(frame), ui::minX(visible)), x1 = std::min(ui::maxX(frame), ui::maxX(visible));
    double y0 = std::max(ui::minY(frame), ui::minY(visible)), y1 = std::min(ui::maxY(frame), ui::maxY(visible));
    if (!ui::rectIsNull(frame) && !ui::rectIsNull(visible) && x0 <= x1 && y0 <= y1) i = ui::Rect(x0, y0, x1 - x0, y1 - y0);
    if (ui::rectIsNull(i) || (i.size.width == 0 && i.size.height == 0)) {
        a.setAlpha(0);
        a.visibleRect = i;
    } else {
        a.setAlpha(1);
        a.visibleRect = ui::rectOffset(i, -frame.origin.x, -frame.origin.y);
    }
}

void UICollectionViewLayoutTabbedSections::adjustContentInsetsForAttributes(UICollectionViewTabbedSectionsLayoutAttributes& a) {
    auto cv = collectionView();
    ui::Rect r = vRectFromCRect(a.frame());
    ui::Rect f = cv ? ui::Rect(ui::Point{}, cv->bounds().size) : ui::Rect();
    ui::Rect i = ui::rectIntersection(f, r);
    bool cornerInside = ui::rectContainsPoint(f, r.origin) || ui::rectContainsPoint(f, ui::Point{ui::maxX(r), ui::maxY(r)});
    if (!cornerInside && !ui::rectIsNull(i) && i.size.width != 0 && i.size.height != 0 && !(i == r)) {
        a.contentInsets = ui::EdgeInsets{r.origin.y - i.origin.y, r.origin.x - i.origin.x, ui::maxY(i) - ui::maxY(r),
                                         ui::maxX(i) - ui::maxX(r)};
        a.setFrame(cRectFromVRect(i));
    } else {
        a.contentInsets = ui::EdgeInsets{};
    }
}

void UICollectionViewLayoutTabbedSections::adjustHeaderPosition() {
    auto cv = collectionView();
    if (!cv) return;
    double y = cv->contentOffset().y;
    double h0 = headerSectionHeight();
    if (y - lastScrollPosition_ > 0)
        vYForHeader_ = std::max(-h0, vYForHeader_ - (y - lastScrollPosition_));
    else if (y < -vYForHeader_)
        vYForHeader_ = -y;
    lastScrollPosition_ = y;
}

ui::Rect UICollectionViewLayoutTabbedSections::frameForTabHeader() {
    auto cv = collectionView();
    double tab = tabHeaderHeightForGroupedSections();
    return ui::Rect(cv ? cv->contentOffset().x : 0, cPosForSection(0).y + headerSectionHeight() - tab, width(), tab);
}

ui::Rect UICollectionViewLayoutTabbedSections::sFrameForHeaderForSection(long s) {
    return ui::Rect(0, 0, width(), heightForHeaderForSection(s));
}

ui::Rect UICollectionViewLayoutTabbedSections::sFrameForFooterForSection(long s) {
    double footer = heightForFooterForSection(s);
    double y = sizeForSection(s).height - footer;
    if (s == 0) y -= tabHeaderHeightForGroupedSections();
    return ui::Rect(0, y, width(), footer);
}

ui::Rect UICollectionViewLayoutTabbedSections::sFrameForItemAtIndexPath(ui::IndexPath p) {
    long k = columnCount(p.section);
    if (k < 1) return ui::Rect();
    ui::EdgeInsets insets = edgeInsetsForSection(p.section);
    ui::EdgeInsets item = edgeInsetsForItemAtIndexPath(p);
    long row = p.item / k, column = p.item - row * k;
    double columnWidth = (width() - insets.left - insets.right) / static_cast<double>(k);
    double y = insets.top + heightForHeaderForSection(p.section);
    for (long r = 0; r < row; ++r) y += heightForRow(r, p.section);
    return ui::Rect(insets.left + static_cast<double>(column) * columnWidth + item.left, y + item.top,
                    columnWidth - item.left - item.right, heightForRow(row, p.section) - item.top - item.bottom);
}

ui::Rect UICollectionViewLayoutTabbedSections::frameForItemAtIndexPath(ui::IndexPath p) {
    return cRectFromSRect(sFrameForItemAtIndexPath(p), p.section);
}

// ---- answers -----------------------------------------------------------------------------------

std::vector<rt::Ref<ui::CollectionViewLayoutAttributes>> UICollectionViewLayoutTabbedSections::layoutAttributesForElementsInRect(
    const ui::Rect&) {
    if (!cellLayoutInfo_) prepareLayout();
    std::vector<rt::Ref<ui::CollectionViewLayoutAttributes>> found;
    auto cv = collectionView();
    if (!cv || !cellLayoutInfo_) return found;
    double bottom = cYFromVY(cv->bounds().size.height);
    double headerBottom = cYFromSY(headerSectionHeight(), 0);
    for (auto& [kind, byPath] : layoutInfo_)
        for (auto& [path, a] : byPath) found.push_back(a);
    // A cell is shown when its top is not below the view's bottom; a tab section's cell
    // moreover ends below the header section's bottom (not hidden behind it).
    for (long s = 0; s < static_cast<long>(sectionCells_.size()); ++s) {
        auto& cells = sectionCells_[static_cast<std::size_t>(s)];
        double hi = bottom - cells.origin.y, lo = headerBottom - cells.origin.y;
        std::size_t i = 0;
        if (s != 0)
            i = static_cast<std::size_t>(std::upper_bound(cells.prefixMaxY.begin(), cells.prefixMaxY.end(), lo) -
                                         cells.prefixMaxY.begin());
        for (; i < cells.items.size() && cells.suffixMinY[i] <= hi; ++i) {
            auto& a = cells.items[i];
            if (ui::minY(a->sFrame) > hi || (s != 0 && !(ui::maxY(a->sFrame) > lo))) continue;
            place(*a, cells.origin);
            found.push_back(a);
        }
    }
    return found;
}

rt::Ref<ui::CollectionViewLayoutAttributes> UICollectionViewLayoutTabbedSections::layoutAttributesForItemAtIndexPath(ui::IndexPath p) {
    if (!cellLayoutInfo_) prepareLayout();
    if (!cellLayoutInfo_) return nullptr;
    auto it = cellLayoutInfo_->find(p);
    if (it == cellLayoutInfo_->end()) return nullptr;
    if (p.section >= 0 && p.section < static_cast<long>(sectionCells_.size()))
        place(static_cast<UICollectionViewTabbedSectionsLayoutAttributes&>(*it->second),
              sectionCells_[static_cast<std::size_t>(p.section)].origin);
    return it->second;
}

ui::Size UICollectionViewLayoutTabbedSections::collectionViewContentSize() {
    double height = 0;
    // Fewer than two sections have no tab below the header: the header alone (or nothing).
    if (sectionCount_ >= 1) height = headerSectionHeight();
    if (sectionCount_ >= 2) {
        if (paging_) {
            double tallest = 0;
            for (long s = 1; s < sectionCount_; ++s) tallest = std::max(tallest, sizeForSection(s).height);
            height += tallest;
        } else if (selectedSection_ > 0) {
            height += sizeForSection(selectedSection_).height;
        }
    }
    return ui::Size{width(), height};
}

rt::Ref<ui::CollectionViewLayoutInvalidationContext> UICollectionViewLayoutTabbedSections::invalidationContextForBoundsChange(
    const ui::Rect& newBounds) {
    if (newBounds.size == lastCollectionViewSize_) return CollectionViewLayout::invalidationContextForBoundsChange(newBounds);
    auto context = rt::make<UICollectionViewTabbedSectionsLayoutInvalidationContext>();
    context->setInvalidateDataSourceCounts(true);
    return context;
}

void UICollectionViewLayoutTabbedSections::invalidateLayoutWithContext(ui::CollectionViewLayoutInvalidationContext& context) {
    if (context.invalidateDataSourceCounts()) resetLayout();
    CollectionViewLayout::invalidateLayoutWithContext(context);
}

void UICollectionViewLayoutTabbedSections::resetLayout() {
    cellLayoutInfo_.reset();
    sectionCells_.clear();
    columnCountCache_.clear();
    sectionSizeCache_.clear();
    sectionCountCache_.clear();
}

}  // namespace zid
