#include "QXUIKit/ChoiceView/ChoiceView.h"

#include <rt/MainThread.h>
#include <limits>

#include <ui/Window.h>

#include "Extensions/ViewAnimatedSubviews.h"
#include "Extensions/ViewOverlay.h"

namespace zid {

namespace {

rt::Ref<ui::TapGestureRecognizer> tapOn(const rt::Ref<ui::View>& view, const rt::Ref<rt::Object>& target,
                                        const char* action, std::function<void()> perform) {
    auto tap = rt::make<ui::TapGestureRecognizer>();
    tap->addTarget(target, action, [perform = std::move(perform)](ui::GestureRecognizer& g) {
        if (g.state() == ui::GestureRecognized) perform();
    });
    view->addGestureRecognizer(tap);
    return tap;
}

}  // namespace

ChoiceView::ChoiceView(const ui::Rect& frame) : ui::View(frame), initialFrame_(frame) {}

void ChoiceView::didInitialize() {
    ui::View::didInitialize();
    using namespace ui::Autoresizing;
    const ui::Rect frame = initialFrame_;
    rt::Weak<ChoiceView> weak = selfAs<ChoiceView>();

    headerView_ = rt::make<ui::View>(bounds());
    headerView_->setBackgroundColor(ui::Color::clearColor());
    headerView_->setAutoresizingMask(FlexibleWidth | FlexibleHeight);
    addSubview(headerView_);
    headerContentView_ = rt::make<ui::View>(ui::insetRect(headerView_->bounds(), headerContentInsets_));
    headerContentView_->setBackgroundColor(ui::Color::clearColor());
    headerContentView_->setAutoresizingMask(FlexibleWidth | FlexibleHeight);
    headerView_->addSubview(headerContentView_);
    headerTapGestureRecognizer_ = tapOn(headerView_, self(), "handleTapOnHeader", [weak] {
        if (auto s = weak.lock()) s->handleTapOnHeader();
    });

    popupView_ = rt::make<ui::View>(ui::Rect(0, frame.size.height, frame.size.width, 200));
    popupView_->setBackgroundColor(ui::Color::clearColor());
    popupContentView_ = rt::make<ui::View>(ui::insetRect(popupView_->bounds(), popupContentInsets_));
    popupContentView_->setBackgroundColor(ui::Color::clearColor());
    popupContentView_->setAutoresizingMask(FlexibleWidth | FlexibleHeight);
    popupView_->addSubview(popupContentView_);

    listView_ = rt::make<ui::TableView>(popupContentView_->bounds(), ui::TableViewStyle::Plain);
    listView_->setDataSource(this);
    listView_->setTableDelegate(this);
    listView_->setRowHeight(frame.size.height);
    listView_->setAutoresizingMask(FlexibleWidth | FlexibleHeight);
    listView_->setBounces(false);
    popupContentView_->addSubview(listView_);

    choiceOverlayView_ = rt::make<ChoiceOverlayView>(ui::Rect(0, 0, 100, 100), selfAs<ChoiceView>(), popupView_);
    shadowView_ = rt::make<ui::View>(choiceOverlayView_->bounds());
    shadowView_->setBackgroundColor(ui::Color::blackColor());
    shadowView_->setAlpha(0.5);
    shadowView_->setAutoresizingMask(FlexibleWidth | FlexibleHeight);
    choiceOverlayView_->addSubview(shadowView_);
    choiceOverlayView_->sendSubviewToBack(shadowView_);
    shadowTapGestureRecognizer_ = tapOn(shadowView_, self(), "handleTapOutsideOfTheList", [weak] {
        if (auto s = weak.lock()) s->handleTapOutsideOfTheList();
    });
    setClipsToBounds(false);
}

void ChoiceView::showHeaderViewForIndex(long index, bool ask) {
    if (headerCellView_) headerCellView_->removeFromSuperview();
    headerCellView_ = nullptr;
    auto source = dataSource_.lock();
    if (ask && source) headerCellView_ = source->headerViewForItemAtIndex(index, *this);
    if (!headerCellView_) return;
    headerCellView_->setFrame(headerContentView_->bounds());
    headerCellView_->setAutoresizingMask(ui::Autoresizing::FlexibleWidth | ui::Autoresizing::FlexibleHeight);
    headerContentView_->addSubview(headerCellView_);
}

void ChoiceView::setSelectedIndex(long index) {
    RT_MAIN_THREAD_ONLY();
    if (index == selectedIndex_) return;
    selectedIndex_ = index;
    showHeaderViewForIndex(index, true);
    if (auto d = delegate_.lock()) d->choiceViewDidSelectItemAtIndex(*this, index);
}

void ChoiceView::reload() {
    RT_MAIN_THREAD_ONLY();
    // With nothing chosen there is no item to ask about: the header is cleared.
    showHeaderViewForIndex(selectedIndex_, selectedIndex_ >= 0);
    listView_->reloadData();
}

bool ChoiceView::isListOpen() const { RT_MAIN_THREAD_ONLY(); return choiceOverlayView_->superview() != nullptr; }

void ChoiceView::presentListView() {
    RT_MAIN_THREAD_ONLY();
    if (isListOpen()) return;
    auto host = window();
    if (!host) return;
    upDatePopupSize();
    overlayHost_ = host;
    addOverlay(host, choiceOverlayView_, QXSubviewAnimationKind::Fade);
}

void ChoiceView::hideListView() {
    RT_MAIN_THREAD_ONLY();
    if (!isListOpen()) return;
    // Closed where it was opened: the control may have left that window since.
    rt::Ref<ui::View> host = overlayHost_.lock();
    if (!host) host = choiceOverlayView_->superview();
    removeOverlay(host, choiceOverlayView_, QXSubviewAnimationKind::Fade);
}

void ChoiceView::handleTapOnHeader() {
    RT_MAIN_THREAD_ONLY();
    auto source = dataSource_.lock();
    if (source && source->numberOfItemsInChoiceView(*this) >= 2) presentListView();
}

void ChoiceView::handleTapOutsideOfTheList() { RT_MAIN_THREAD_ONLY(); hideListView(); }

void ChoiceView::upDatePopupSize() {
    RT_MAIN_THREAD_ONLY();
    const ui::EdgeInsets in = popupContentInsets_;
    double w = bounds().size.width - in.left - in.right;
    listView_->reloadData();
    double h = listView_->sizeThatFits(ui::Size{w, static_cast<double>(std::numeric_limits<float>::max())}).height +
               in.top + in.bottom;
    if (h > maxPopupHeight_) h = maxPopupHeight_;
    ui::Rect f = popupView_->frame();
    popupView_->setFrame(ui::Rect(f.origin.x, f.origin.y, f.size.width, h));
    // The insets as they stand now: the list fills what they leave, so a list cut to
    // fit scrolls inside them instead of running on under them.
    popupContentView_->setFrame(ui::insetRect(popupView_->bounds(), in));
}

long ChoiceView::tableViewNumberOfRowsInSection(ui::TableView&, long) {
    RT_MAIN_THREAD_ONLY();
    auto source = dataSource_.lock();
    return source ? source->numberOfItemsInChoiceView(*this) : 0;
}

rt::Ref<ui::TableViewCell> ChoiceView::tableViewCellForRowAtIndexPath(ui::TableView& tableView,
                                                                      const ui::IndexPath& indexPath) {
    RT_MAIN_THREAD_ONLY();
    auto cell = tableView.dequeueReusableCellWithIdentifier(kCellIdentifier);
    if (!cell) cell = rt::make<ui::TableViewCell>(ui::TableViewCellStyle::Default, kCellIdentifier);
    cell->setFrame(ui::Rect(0, 0, tableView.bounds().size.width, tableView.rowHeight()));
    auto content = cell->contentView();
    for (const auto& v : std::vector<rt::Ref<ui::View>>(content->subviews())) v->removeFromSuperview();
    auto source = dataSource_.lock();
    auto item = source ? source->cellViewForItemAtIndex(indexPath.row(), *this) : nullptr;
    if (item) {
        // Rows use the header's insets, so their content lines up with the header's.
        item->setFrame(ui::insetRect(content->bounds(), headerContentInsets_));
        item->setAutoresizesSubviews(true);
        content->addSubview(item);
    }
    return cell;
}

void ChoiceView::tableViewDidSelectRowAtIndexPath(ui::TableView& tableView, const ui::IndexPath& indexPath) {
    RT_MAIN_THREAD_ONLY();
    setSelectedIndex(indexPath.row());
    tableView.deselectRowAtIndexPath(indexPath, true);
    hideListView();
}

}  // namespace zid
