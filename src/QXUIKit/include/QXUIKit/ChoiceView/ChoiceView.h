#pragma once
// A drop-down choice: a header showing the chosen item's view and, on a tap, a popup
// list of every item laid over the whole window right under the header, with a dimmed
// shadow behind it. A row tap chooses its item and closes the list; a tap on the shadow
// closes it without a choice. Items come as views from a data source; the delegate
// hears of every change of the chosen index, by the user or the host.

#include <rt/MainThread.h>
#include <memory>

#include <ui/GestureRecognizer.h>
#include <ui/TableView.h>
#include <ui/View.h>

#include "QXUIKit/Views/WindowOverlayView.h"

namespace zid {

class ChoiceView;

class IChoiceViewDataSource {
public:
    virtual ~IChoiceViewDataSource() = default;
    virtual long numberOfItemsInChoiceView(ChoiceView& choiceView) = 0;
    /// The view of an item's row in the list.
    virtual rt::Ref<ui::View> cellViewForItemAtIndex(long index, ChoiceView& choiceView) = 0;
    /// The view the header shows for the chosen item; nil leaves the header empty.
    virtual rt::Ref<ui::View> headerViewForItemAtIndex(long index, ChoiceView& choiceView) = 0;
};

class IChoiceViewDelegate {
public:
    virtual ~IChoiceViewDelegate() = default;
    virtual void choiceViewDidSelectItemAtIndex(ChoiceView& /*choiceView*/, long /*index*/) {}
};

/// The window overlay carrying the popup; it keeps the popup under the control on
/// every layout and every change of the device's orientation.
class ChoiceOverlayView : public WindowOverlayView {
    RT_CLASS(ChoiceOverlayView, WindowOverlayView)
public:
    ChoiceOverlayView(const ui::Rect& frame, const rt::Ref<ChoiceView>& choiceView, rt::Ref<ui::View> popupView);

    rt::Ref<ChoiceView> choiceView() const { RT_MAIN_THREAD_ONLY(); return choiceView_.lock(); }
    const rt::Ref<ui::View>& popupView() const { RT_MAIN_THREAD_ONLY(); return popupView_; }

    void layoutSubviews() override;
    /// Puts the popup right under the control, as wide as it, keeping its height.
    void adjustPopupView();

protected:
    void didInitialize() override;
    void willDestroy() override;

private:
    rt::Weak<ChoiceView> choiceView_;
    rt::Ref<ui::View> popupView_;
    rt::Ref<rt::Object> deviceOrientationToken_;
};

class ChoiceView : public ui::View, public ui::TableViewDataSource, public ui::TableViewDelegate {
    RT_CLASS(ChoiceView, ui::View)
public:
    static constexpr double kMaxPopupHeight = 225;
    static constexpr const char* kCellIdentifier = "cell";

    explicit ChoiceView(const ui::Rect& frame = ui::Rect());

    const rt::Ref<ui::View>& headerView() const { RT_MAIN_THREAD_ONLY(); return headerView_; }
    const rt::Ref<ui::View>& headerContentView() const { RT_MAIN_THREAD_ONLY(); return headerContentView_; }
    const rt::Ref<ui::View>& headerCellView() const { RT_MAIN_THREAD_ONLY(); return headerCellView_; }
    const rt::Ref<ui::View>& popupView() const { RT_MAIN_THREAD_ONLY(); return popupView_; }
    const rt::Ref<ui::View>& popupContentView() const { RT_MAIN_THREAD_ONLY(); return popupContentView_; }
    const rt::Ref<ChoiceOverlayView>& choiceOverlayView() const { RT_MAIN_THREAD_ONLY(); return choiceOverlayView_; }
    const rt::Ref<ui::View>& shadowView() const { RT_MAIN_THREAD_ONLY(); return shadowView_; }
    const rt::Ref<ui::TableView>& listView() const { RT_MAIN_THREAD_ONLY(); return listView_; }

    ui::EdgeInsets headerContentInsets() const { RT_MAIN_THREAD_ONLY(); return headerContentInsets_; }
    void setHeaderContentInsets(ui::EdgeInsets e) { RT_MAIN_THREAD_ONLY(); headerContentInsets_ = e; }
    ui::EdgeInsets popupContentInsets() const { RT_MAIN_THREAD_ONLY(); return popupContentInsets_; }
    void setPopupContentInsets(ui::EdgeInsets e) { RT_MAIN_THREAD_ONLY(); popupContentInsets_ = e; }
    double maxPopupHeight() const { RT_MAIN_THREAD_ONLY(); return maxPopupHeight_; }
    void setMaxPopupHeight(double h) { RT_MAIN_THREAD_ONLY(); maxPopupHeight_ = h; }

    long selectedIndex() const { RT_MAIN_THREAD_ONLY(); return selectedIndex_; }
    /// Chooses an item: the header shows its view and the delegate hears of it; the
    /// same index again does nothing.
    void setSelectedIndex(long index);

    /// Held weakly.
    std::shared_ptr<IChoiceViewDataSource> dataSource() const { RT_MAIN_THREAD_ONLY(); return dataSource_.lock(); }
    void setDataSource(const std::shared_ptr<IChoiceViewDataSource>& d) { RT_MAIN_THREAD_ONLY(); dataSource_ = d; }
    std::shared_ptr<IChoiceViewDelegate> delegate() const { RT_MAIN_THREAD_ONLY(); return delegate_.lock(); }
    void setDelegate(const std::shared_ptr<IChoiceViewDelegate>& d) { RT_MAIN_THREAD_ONLY(); delegate_ = d; }

    /// Re-reads the chosen item's header view (none with nothing chosen) and the list.
    void reload();
    /// Whether the list is open (its overlay is on screen).
    bool isListOpen() const;
    void presentListView();
    void hideListView();
    void handleTapOnHeader();
    void handleTapOutsideOfTheList();
    /// Sizes the popup to the list's fitting height plus its insets, at most the maximum.
    void upDatePopupSize();

    long tableViewNumberOfRowsInSection(ui::TableView& tableView, long section) override;
    rt::Ref<ui::TableViewCell> tableViewCellForRowAtIndexPath(ui::TableView& tableView,
                                                              const ui::IndexPath& indexPath) override;
    void tableViewDidSelectRowAtIndexPath(ui::TableView& tableView, const ui::IndexPath& indexPath) override;

protected:
    void didInitialize() override;

private:
    void showHeaderViewForIndex(long index, bool ask);

    ui::Rect initialFrame_;
    rt::Ref<ui::View> headerView_, headerContentView_, headerCellView_;
    rt::Ref<ui::View> popupView_, popupContentView_;
    rt::Ref<ChoiceOverlayView> choiceOverlayView_;
    rt::Ref<ui::View> shadowView_;
    rt::Ref<ui::TableView> listView_;
    rt::Ref<ui::TapGestureRecognizer> headerTapGestureRecognizer_, shadowTapGestureRecognizer_;
    ui::EdgeInsets headerContentInsets_{15, 15, 15, 15};
    ui::EdgeInsets popupContentInsets_{};
    double maxPopupHeight_ = kMaxPopupHeight;
    long selectedIndex_ = -1;
    std::weak_ptr<IChoiceViewDataSource> dataSource_;
    std::weak_ptr<IChoiceViewDelegate> delegate_;
    /// The view the overlay was added to, so the list closes there whatever window the
    /// control is in by then.
    rt::Weak<ui::View> overlayHost_;
};

}  // namespace zid
