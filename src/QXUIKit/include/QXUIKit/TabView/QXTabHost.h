#pragma once
// What the tab bar and the tab view around one have in common: a list of tab items with
// the rules for changing it, and the look of a row of tabs (insets and gap of the row, how
// the tabs stand in it, the tabs' font and colours, the marker under the selection and the
// separator along the bottom). The bar draws the look; the view holds it for the bar it
// carries. Each look property is written, also by name, through its setter, which stores
// and announces it and then tells the owner what changed.

#include <cstddef>
#include <vector>

#include <QXUIKit/TabView/QXTabItem.h>

#include <rt/MainThread.h>
#include <rt/Property.h>
#include <ui/Font.h>
#include <ui/View.h>

namespace zid {

namespace QXTabBarAlignment {
inline constexpr unsigned Left = 0;
inline constexpr unsigned Center = 1;
inline constexpr unsigned Right = 2;
/// Every button widened in proportion to its fitted width.
inline constexpr unsigned FillProportional = 3;
/// Every button the same width.
inline constexpr unsigned FillEqual = 4;
}  // namespace QXTabBarAlignment

/// Which part of the look a setter wrote.
enum class QXTabLook {
    /// The row's insets, gap or alignment.
    Row,
    /// The tabs' font.
    Font,
    /// One of the tabs' text or background colours, selected or not.
    TabColors,
    HeaderBackgroundColor,
    MarkerSize,
    MarkerColor,
    MarkerBackgroundColor,
    SeparatorSize,
    SeparatorBackgroundColor,
};

class QXTabHost : public ui::View {
    RT_CLASS(QXTabHost, ui::View)
protected:
    ui::EdgeInsets headerInsets_;
    double headerItemGap_ = 20;
    rt::Ref<ui::Color> headerBackgroundColor_;
    unsigned headerItemAlignment_ = QXTabBarAlignment::Left;
    rt::Ref<ui::Font> headerItemFont_;
    rt::Ref<ui::Color> headerItemTextColor_;
    rt::Ref<ui::Color> headerItemBackgroundColor_;
    rt::Ref<ui::Color> selectedHeaderItemBackgroundColor_;
    rt::Ref<ui::Color> selectedHeaderItemTextColor_;
    double markerSize_ = 2;
    rt::Ref<ui::Color> markerColor_;
    rt::Ref<ui::Color> markerBackgroundColor_;
    double separatorSize_ = 1;
    rt::Ref<ui::Color> separatorBackgroundColor_;

public:
    using Items = std::vector<rt::Ref<QXTabItem>>;

    explicit QXTabHost(const ui::Rect& frame = ui::Rect()) : ui::View(frame) {}
    static void describe(rt::ClassBuilder<QXTabHost>& c);

    // ---- items ------------------------------------------------------------------------
    Items items() const { RT_MAIN_THREAD_ONLY(); return items_; }
    virtual long selectedIndex() const = 0;
    /// The item at selectedIndex; nil without a selection.
    rt::Ref<QXTabItem> selectedItem() const;
    void addItem(const rt::Ref<QXTabItem>& item, bool animated);
    /// An index past the end inserts at the end. The first item of an empty host
    /// becomes the selection.
    virtual void insertItem(const rt::Ref<QXTabItem>& item, long index, bool animated) = 0;
    /// The selected item stays selected when another one goes; when the selected one
    /// goes, the item taking its place (or the new last one) is selected. An item that
    /// is not held is ignored.
    void removeItem(const rt::Ref<QXTabItem>& item, bool animated);
    void moveItem(const rt::Ref<QXTabItem>& item, long index, bool animated);
    void removeAllItems(bool animated);
    void setItems(const Items& items, bool animated);
    /// An index of no item is ignored.
    virtual void setSelectedIndex(long index, bool animated) = 0;
    /// An item that is not held is ignored.
    void setSelectedItem(const rt::Ref<QXTabItem>& item, bool animated);

    /// Queues one update on the main queue unless one is queued; animated when any
    /// request before it asked.
    void setNeedsUpdate(bool animated);
    void performUpdate();

    // ---- appearance -----------------------------------------------------------------------

    ui::EdgeInsets headerInsets() const { RT_MAIN_THREAD_ONLY(); return headerInsets_; }
    void setHeaderInsets(ui::EdgeInsets insets) {
        RT_MAIN_THREAD_ONLY();
        store(headerInsetsKey, insets, QXTabLook::Row);
    }
    double headerItemGap() const { RT_MAIN_THREAD_ONLY(); return headerItemGap_; }
    void setHeaderItemGap(double gap) { RT_MAIN_THREAD_ONLY(); store(headerItemGapKey, gap, QXTabLook::Row); }
    rt::Ref<ui::Color> headerBackgroundColor() const { RT_MAIN_THREAD_ONLY(); return headerBackgroundColor_; }
    void setHeaderBackgroundColor(rt::Ref<ui::Color> color) {
        RT_MAIN_THREAD_ONLY();
        store(headerBackgroundColorKey, std::move(color), QXTabLook::HeaderBackgroundColor);
    }
    unsigned headerItemAlignment() const { RT_MAIN_THREAD_ONLY(); return headerItemAlignment_; }
    void setHeaderItemAlignment(unsigned alignment) {
        RT_MAIN_THREAD_ONLY();
        store(headerItemAlignmentKey, alignment, QXTabLook::Row);
    }
    rt::Ref<ui::Font> headerItemFont() const { RT_MAIN_THREAD_ONLY(); return headerItemFont_; }
    void setHeaderItemFont(rt::Ref<ui::Font> font) {
        RT_MAIN_THREAD_ONLY();
        store(headerItemFontKey, std::move(font), QXTabLook::Font);
    }
    rt::Ref<ui::Color> headerItemTextColor() const { RT_MAIN_THREAD_ONLY(); return headerItemTextColor_; }
    void setHeaderItemTextColor(rt::Ref<ui::Color> color) {
        RT_MAIN_THREAD_ONLY();
        store(headerItemTextColorKey, std::move(color), QXTabLook::TabColors);
    }
    rt::Ref<ui::Color> headerItemBackgroundColor() const { RT_MAIN_THREAD_ONLY(); return headerItemBackgroundColor_; }
    void setHeaderItemBackgroundColor(rt::Ref<ui::Color> color) {
        RT_MAIN_THREAD_ONLY();
        store(headerItemBackgroundColorKey, std::move(color), QXTabLook::TabColors);
    }
    rt::Ref<ui::Color> selectedHeaderItemBackgroundColor() const {
        RT_MAIN_THREAD_ONLY();
        return selectedHeaderItemBackgroundColor_;
    }
    void setSelectedHeaderItemBackgroundColor(rt::Ref<ui::Color> color) {
        RT_MAIN_THREAD_ONLY();
        store(selectedHeaderItemBackgroundColorKey, std::move(color), QXTabLook::TabColors);
    }
    rt::Ref<ui::Color> selectedHeaderItemTextColor() const {
        RT_MAIN_THREAD_ONLY();
        return selectedHeaderItemTextColor_;
    }
    void setSelectedHeaderItemTextColor(rt::Ref<ui::Color> color) {
        RT_MAIN_THREAD_ONLY();
        store(selectedHeaderItemTextColorKey, std::move(color), QXTabLook::TabColors);
    }
    double markerSize() const { RT_MAIN_THREAD_ONLY(); return markerSize_; }
    void setMarkerSize(double size) { RT_MAIN_THREAD_ONLY(); store(markerSizeKey, size, QXTabLook::MarkerSize); }
    rt::Ref<ui::Color> markerColor() const { RT_MAIN_THREAD_ONLY(); return markerColor_; }
    void setMarkerColor(rt::Ref<ui::Color> color) {
        RT_MAIN_THREAD_ONLY();
        store(markerColorKey, std::move(color), QXTabLook::MarkerColor);
    }
    rt::Ref<ui::Color> markerBackgroundColor() const { RT_MAIN_THREAD_ONLY(); return markerBackgroundColor_; }
    void setMarkerBackgroundColor(rt::Ref<ui::Color> color) {
        RT_MAIN_THREAD_ONLY();
        store(markerBackgroundColorKey, std::move(color), QXTabLook::MarkerBackgroundColor);
    }
    double separatorSize() const { RT_MAIN_THREAD_ONLY(); return separatorSize_; }
    /// 0 hides the separator.
    void setSeparatorSize(double size) {
        RT_MAIN_THREAD_ONLY();
        store(separatorSizeKey, size, QXTabLook::SeparatorSize);
    }
    rt::Ref<ui::Color> separatorBackgroundColor() const { RT_MAIN_THREAD_ONLY(); return separatorBackgroundColor_; }
    void setSeparatorBackgroundColor(rt::Ref<ui::Color> color) {
        RT_MAIN_THREAD_ONLY();
        store(separatorBackgroundColorKey, std::move(color), QXTabLook::SeparatorBackgroundColor);
    }

private:
    using Host = QXTabHost;

public:
    static constexpr rt::Stored<&Host::headerInsets_, "headerInsets", &Host::setHeaderInsets> headerInsetsKey{};
    static constexpr rt::Stored<&Host::headerItemGap_, "headerItemGap", &Host::setHeaderItemGap> headerItemGapKey{};
    static constexpr rt::Stored<&Host::headerBackgroundColor_, "headerBackgroundColor", &Host::setHeaderBackgroundColor>
        headerBackgroundColorKey{};
    static constexpr rt::Stored<&Host::headerItemAlignment_, "headerItemAlignment", &Host::setHeaderItemAlignment>
        headerItemAlignmentKey{};
    static constexpr rt::Stored<&Host::headerItemFont_, "headerItemFont", &Host::setHeaderItemFont> headerItemFontKey{};
    static constexpr rt::Stored<&Host::headerItemTextColor_, "headerItemTextColor", &Host::setHeaderItemTextColor>
        headerItemTextColorKey{};
    static constexpr rt::Stored<&Host::headerItemBackgroundColor_, "headerItemBackgroundColor",
                                &Host::setHeaderItemBackgroundColor>
        headerItemBackgroundColorKey{};
    static constexpr rt::Stored<&Host::selectedHeaderItemBackgroundColor_, "selectedHeaderItemBackgroundColor",
                                &Host::setSelectedHeaderItemBackgroundColor>
        selectedHeaderItemBackgroundColorKey{};
    static constexpr rt::Stored<&Host::selectedHeaderItemTextColor_, "selectedHeaderItemTextColor",
                                &Host::setSelectedHeaderItemTextColor>
        selectedHeaderItemTextColorKey{};
    static constexpr rt::Stored<&Host::markerSize_, "markerSize", &Host::setMarkerSize> markerSizeKey{};
    static constexpr rt::Stored<&Host::markerColor_, "markerColor", &Host::setMarkerColor> markerColorKey{};
    static constexpr rt::Stored<&Host::markerBackgroundColor_, "markerBackgroundColor", &Host::setMarkerBackgroundColor>
        markerBackgroundColorKey{};
    static constexpr rt::Stored<&Host::separatorSize_, "separatorSize", &Host::setSeparatorSize> separatorSizeKey{};
    static constexpr rt::Stored<&Host::separatorBackgroundColor_, "separatorBackgroundColor",
                                &Host::setSeparatorBackgroundColor>
        separatorBackgroundColorKey{};

protected:
    /// Takes out the item at the index (announcing "itemCount") with what stands for it.
    virtual void removeItemAt(std::size_t index, bool animated) = 0;
    /// Stores "no selection", before every item goes.
    virtual void clearSelection() = 0;

    /// Brings the parts to the present state, animated or at once.
    virtual void applyUpdate(bool animated) = 0;

    /// Called after every write of a property, once it is stored and announced;
    /// `changed` tells whether the value differed from the one held.
    virtual void appearanceDidChange(QXTabLook what, bool changed) { (void)what, (void)changed; }

    Items items_;

private:
    bool needsUpdate_ = false;
    bool updateShouldBeAnimated_ = false;

    template <class K, class T> void store(const K& key, T value, QXTabLook what) {
        bool changed = key.set(*this, std::move(value));
        appearanceDidChange(what, changed);
    }
};

}  // namespace zid
