#pragma once
// A collection-view layout that makes a page with tabs of the sections: section 0, the
// header section, is a full-width block whose bottom strip holds the tab bar (the
// "tabHeader" decoration) and which scrolls away as the content moves up; sections 1
// to n-1, the tab sections, stand side by side one view width apart, the selected one
// in view below the header, each laid out as a grid and keeping its own vertical
// position while another is shown. A horizontal pan slides all tabs with the finger
// and pages to a neighbour past a quarter of the width.
//
// Four coordinate spaces: content (c, the collection view's content coordinates, in
// which frames are given), view (v = c minus the content offset), section (s, from
// the origin of one section) and header-bottom (b: x as in view space, y measured
// upward from the bottom edge of the header section). Every ordered pair has a
// conversion for x, y, points and rectangles (a rectangle keeps its size).

#include <map>
#include <string>
#include <vector>

#include <QXUIKit/UICollectionView/QXLayoutAttributesWith.h>
#include <ui/CollectionView.h>
#include <ui/GestureRecognizer.h>

namespace zid {

class UICollectionViewLayoutTabbedSections;

/// The frame in section space, how far the content reaches beyond a clipped frame, and
/// the visible part in the element's own coordinates.
struct UICollectionViewTabbedSectionsLayoutFields {
    ui::Rect sFrame;
    ui::EdgeInsets contentInsets;
    ui::Rect visibleRect;
    bool operator==(const UICollectionViewTabbedSectionsLayoutFields&) const = default;
};

/// Attributes of cells, section headers and footers.
class UICollectionViewTabbedSectionsLayoutAttributes
    : public QXLayoutAttributesWith<UICollectionViewTabbedSectionsLayoutAttributes,
                                    UICollectionViewTabbedSectionsLayoutFields> {
    RT_CLASS(UICollectionViewTabbedSectionsLayoutAttributes, ui::CollectionViewLayoutAttributes)
};

/// The layout a tab header reflects; equal when both name the same layout (or none).
struct UICollectionViewLayoutTabbedSectionsTabHeaderFields {
    rt::Weak<UICollectionViewLayoutTabbedSections> layout;
    bool operator==(const UICollectionViewLayoutTabbedSectionsTabHeaderFields& o) const {
        return o.layout.lock() == layout.lock();
    }
};

/// The tab header's attributes carry the layout the header reflects.
class UICollectionViewLayoutTabbedSectionsTabHeaderLayoutAttributes
    : public QXLayoutAttributesWith<UICollectionViewLayoutTabbedSectionsTabHeaderLayoutAttributes,
                                    UICollectionViewLayoutTabbedSectionsTabHeaderFields> {
    RT_CLASS(UICollectionViewLayoutTabbedSectionsTabHeaderLayoutAttributes, ui::CollectionViewLayoutAttributes)
};

class UICollectionViewTabbedSectionsLayoutInvalidationContext : public ui::CollectionViewLayoutInvalidationContext {
    RT_CLASS(UICollectionViewTabbedSectionsLayoutInvalidationContext, ui::CollectionViewLayoutInvalidationContext)
public:
    using CollectionViewLayoutInvalidationContext::setInvalidateDataSourceCounts;
    using CollectionViewLayoutInvalidationContext::setInvalidateEverything;
};

/// Every method optional; the bodies are the defaults.
class UICollectionViewLayoutTabbedSectionsDelegate {
public:
    virtual ~UICollectionViewLayoutTabbedSectionsDelegate() = default;
    virtual std::string titleForSection(long section);
    virtual long numberOfColumnsForSection(long) { return 1; }
    virtual ui::EdgeInsets edgeInsetsForSection(long) { return ui::EdgeInsets{0, 0, 40, 0}; }
    virtual ui::EdgeInsets edgeInsetsForItemAtIndexPath(ui::IndexPath) { return {}; }
    virtual double heightForItemAtIndexPath(ui::IndexPath, double /*width*/) { return 60; }
    virtual double tabHeaderHeightForGroupedSections() { return 40; }
    virtual double heightForHeaderForSection(long) { return 0; }
    virtual double heightForFooterForSection(long) { return 0; }
    /// Offered to the data source; the layout never asks.
    virtual rt::Ref<rt::Object> headerForSection(long) { return nullptr; }
    virtual rt::Ref<rt::Object> footerForSection(long) { return nullptr; }
    virtual void didSelectSection(long) {}
};

class UICollectionViewLayoutTabbedSections : public ui::CollectionViewLayout, public ui::GestureRecognizerDelegate {
    RT_CLASS(UICollectionViewLayoutTabbedSections, ui::CollectionViewLayout)
public:
    static constexpr const char* kTabHeaderKind = "tabHeader";
    static constexpr const char* kCellKey = "cell";
    static constexpr const char* kTabHeaderKey = "tab header";
    static constexpr const char* kSectionHeadersKey = "section headers";
    static constexpr const char* kSectionFootersKey = "section footers";
    using AttributesByPath = std::map<ui::IndexPath, rt::Ref<ui::CollectionViewLayoutAttributes>>;

    UICollectionViewLayoutTabbedSections();
    /// Takes its pan off the collection view: the pan's delegate is this layout.
    ~UICollectionViewLayoutTabbedSections() override;
    /// "tabTitles", "selectedSection" and "tabMarkerOffset" are observable.
    static void describe(rt::ClassBuilder<UICollectionViewLayoutTabbedSections>& c);

    UICollectionViewLayoutTabbedSectionsDelegate* delegate() const { return delegate_; }
    void setDelegate(UICollectionViewLayoutTabbedSectionsDelegate* d) { delegate_ = d; }

    // ---- state ---------------------------------------------------------------------------
    const std::vector<std::string>& tabTitles() const { return tabTitles_; }
    double tabMarkerOffset() const { return tabMarkerOffset_; }
    long selectedSection() const { return selectedSection_; }
    /// Only stores the number; it does not page.
    void setSelectedSection(long section);
    bool paging() const { return paging_; }
    double cDeltaX() const { return cDeltaX_; }
    double vYForHeader() const { return vYForHeader_; }
    long sectionCount() const { return sectionCount_; }
    bool needsWorkaroundForCellVisibility() const { return needsWorkaroundForCellVisibility_; }
    void setNeedsWorkaroundForCellVisibility(bool on) { needsWorkaroundForCellVisibility_ = on; }
    ui::Size lastCollectionViewSize() const { return lastCollectionViewSize_; }
    const rt::Ref<ui::PanGestureRecognizer>& panGestureRecognizer() const { return pan_; }
    /// What the layout answers with, by kind key ("cell", "tab header", "section
    /// headers", "section footers"); empty for a kind not laid out. A cell's frame and
    /// visibility are those of the last time it was handed out.
    const AttributesByPath& layoutInfo(const std::string& kind) const;
    /// Whether the cell attributes of the last full layout are kept (no full layout due).
    bool hasCellLayoutInfo() const { return cellLayoutInfo_ != nullptr; }
    std::size_t cachedSectionSizeCount() const { return sectionSizeCache_.size(); }

    // ---- the collection view's questions -------------------------------------------------
    void prepareLayout() override;
    std::vector<rt::Ref<ui::CollectionViewLayoutAttributes>> layoutAttributesForElementsInRect(const ui::Rect& rect) override;
    rt::Ref<ui::CollectionViewLayoutAttributes> layoutAttributesForItemAtIndexPath(ui::IndexPath indexPath) override;
    ui::Size collectionViewContentSize() override;
    bool shouldInvalidateLayoutForBoundsChange(const ui::Rect&) override { return true; }
    rt::Ref<ui::CollectionViewLayoutInvalidationContext> invalidationContextForBoundsChange(const ui::Rect& newBounds) override;
    void invalidateLayoutWithContext(ui::CollectionViewLayoutInvalidationContext& context) override;

    // ---- geometry ------------------------------------------------------------------------
    /// The next pass is a full one: cell attributes and the three caches go; saved
    /// positions, the selection, the header position and the titles stay.
    void resetLayout();
    void layoutSection(long section);
    /// Places the section's cells at its origin. A pass runs for every scroll step, so
    /// the cells take their frame and visibility when they are handed out (the elements
    /// in a rectangle, one item), not all at once.
    void adjustSection(long section, ui::Point sectionOffset);
    void adjustVisibleRectForAttributes(UICollectionViewTabbedSectionsLayoutAttributes& attributes);
    void adjustContentInsetsForAttributes(UICollectionViewTabbedSectionsLayoutAttributes& attributes);
    void adjustHeaderPosition();
    ui::Size sizeForSection(long section);
    double heightForRow(long row, long section);
    ui::Point cPosForSection(long section);
    ui::Point cPosForPagingSection(long section);
    long numberOfItemsInSection(long section);
    ui::Rect frameForTabHeader();
    ui::Rect sFrameForHeaderForSection(long section);
    ui::Rect sFrameForFooterForSection(long section);
    ui::Rect sFrameForItemAtIndexPath(ui::IndexPath indexPath);
    ui::Rect frameForItemAtIndexPath(ui::IndexPath indexPath);

    // ---- the delegate's answers, or the defaults -----------------------------------------
    std::string titleForSection(long section);
    long numberOfColumnsForSection(long section);
    ui::EdgeInsets edgeInsetsForSection(long section);
    ui::EdgeInsets edgeInsetsForItemAtIndexPath(ui::IndexPath indexPath);
    double heightForItemAtIndexPath(ui::IndexPath indexPath, double width);
    double tabHeaderHeightForGroupedSections();
    double heightForHeaderForSection(long section);
    double heightForFooterForSection(long section);
    rt::Ref<rt::Object> headerForSection(long section);
    rt::Ref<rt::Object> footerForSection(long section);
    void didSelectSection(long section);

    // ---- coordinate spaces ---------------------------------------------------------------
    enum class Space { Content, View, Section, HeaderBottom };
    double convertX(double x, Space from, Space to, long section = 0);
    double convertY(double y, Space from, Space to, long section = 0);
    ui::Point convertPoint(ui::Point p, Space from, Space to, long section = 0);
    ui::Rect convertRect(ui::Rect r, Space from, Space to, long section = 0);

#define QX_TABBED_CONVERSIONS(to, From, ToSpace, FromSpace)                                                              \
    double to##XFrom##From##X(double x) { return convertX(x, Space::FromSpace, Space::ToSpace); }                        \
    double to##YFrom##From##Y(double y) { return convertY(y, Space::FromSpace, Space::ToSpace); }                        \
    ui::Point to##PosFrom##From##Pos(ui::Point p) { return convertPoint(p, Space::FromSpace, Space::ToSpace); }          \
    ui::Rect to##RectFrom##From##Rect(ui::Rect r) { return convertRect(r, Space::FromSpace, Space::ToSpace); }
#define QX_TABBED_SECTION_CONVERSIONS(to, From, ToSpace, FromSpace)                                                      \
    double to##XFrom##From##X(double x, long s) { return convertX(x, Space::FromSpace, Space::ToSpace, s); }             \
    double to##YFrom##From##Y(double y, long s) { return convertY(y, Space::FromSpace, Space::ToSpace, s); }             \
    ui::Point to##PosFrom##From##Pos(ui::Point p, long s) { return convertPoint(p, Space::FromSpace, Space::ToSpace, s); } \
    ui::Rect to##RectFrom##From##Rect(ui::Rect r, long s) { return convertRect(r, Space::FromSpace, Space::ToSpace, s); }
    QX_TABBED_CONVERSIONS(c, V, Content, View)
    QX_TABBED_CONVERSIONS(c, B, Content, HeaderBottom)
    QX_TABBED_CONVERSIONS(v, C, View, Content)
    QX_TABBED_CONVERSIONS(v, B, View, HeaderBottom)
    QX_TABBED_CONVERSIONS(b, C, HeaderBottom, Content)
    QX_TABBED_CONVERSIONS(b, V, HeaderBottom, View)
    QX_TABBED_SECTION_CONVERSIONS(c, S, Content, Section)
    QX_TABBED_SECTION_CONVERSIONS(v, S, View, Section)
    QX_TABBED_SECTION_CONVERSIONS(b, S, HeaderBottom, Section)
    QX_TABBED_SECTION_CONVERSIONS(s, C, Section, Content)
    QX_TABBED_SECTION_CONVERSIONS(s, V, Section, View)
    QX_TABBED_SECTION_CONVERSIONS(s, B, Section, HeaderBottom)
#undef QX_TABBED_CONVERSIONS
#undef QX_TABBED_SECTION_CONVERSIONS

    // ---- selection and paging ------------------------------------------------------------
    /// Selects a tab section and pages to it (no didSelectSection).
    void setSelectedSection(long section, bool animated);
    /// setSelectedSection, then didSelectSection with the selection, then (not
    /// animated) a layout pass at once.
    void showSection(long section, bool animated);
    void updateLayoutAnimated(bool animated, std::function<void(bool)> completion);
    void captureBYForSelectedSection();
    void updateScrollPosition();
    /// The saved position of a tab in header-bottom space (0 when none).
    double bYForSection(long section) const;
    void setupGestureRecognizer();
    void panned(ui::PanGestureRecognizer& pan);
    void resetScrollGestureRecognizer();
    void resetPanGestureRecognizer();
    bool gestureRecognizerShouldRecognizeSimultaneously(ui::GestureRecognizer& g, ui::GestureRecognizer& other) override;
    bool gestureRecognizerShouldRequireFailureOf(ui::GestureRecognizer& g, ui::GestureRecognizer& other) override;
    bool gestureRecognizerShouldReceiveTouch(ui::GestureRecognizer& g, ui::Touch& touch) override;

private:
    void setTabMarkerOffset(double offset);
    void setTabTitles(std::vector<std::string> titles);
    double width();
    /// The delegate's column count, asked once per section until the next full layout.
    long columnCount(long section);
    double headerSectionHeight() { return sizeForSection(0).height; }
    /// A space's coordinate on one axis as a content coordinate: sign * value + offset.
    struct Axis {
        double sign;
        double offset;
        double toContent(double value) const { return sign * value + offset; }
        double fromContent(double content) const { return (content - offset) * sign; }
    };
    Axis axis(Space space, bool vertical, long section);
    bool insideCollectionView(ui::GestureRecognizer& other);
    rt::Ref<ui::CollectionViewLayoutAttributes> makeSupplementary(const char* kind, long section, const ui::Rect& sFrame);

    UICollectionViewLayoutTabbedSectionsDelegate* delegate_ = nullptr;
    std::vector<std::string> tabTitles_;
    double tabMarkerOffset_ = 0;
    std::map<std::string, AttributesByPath> layoutInfo_;
    std::map<long, double> bYForSections_;
    std::map<long, long> columnCountCache_;
    std::map<long, ui::Size> sectionSizeCache_;
    std::map<long, long> sectionCountCache_;
    long selectedSection_ = 0;
    rt::Ref<ui::PanGestureRecognizer> pan_;
    double cDeltaX0_ = 0;
    double cDeltaX_ = 0;
    ui::Point startContentOffset_;
    bool paging_ = false;
    double vYForHeader_ = 0;
    double lastScrollPosition_ = 0;
    std::unique_ptr<AttributesByPath> cellLayoutInfo_;
    /// The cells of each section in item order, with the running largest bottom edge
    /// and the smallest top edge from each item on (section space), to find the cells
    /// of a vertical range by bisection; and where the last pass put the section.
    struct SectionCells {
        std::vector<rt::Ref<UICollectionViewTabbedSectionsLayoutAttributes>> items;
        std::vector<double> prefixMaxY, suffixMinY;
        ui::Point origin;
    };
    std::vector<SectionCells> sectionCells_;
    void indexSection(long section);
    void place(UICollectionViewTabbedSectionsLayoutAttributes& attributes, ui::Point origin);
    ui::Size lastCollectionViewSize_;
    bool needsWorkaroundForCellVisibility_ = false;
    long sectionCount_ = 0;
};

}  // namespace zid
