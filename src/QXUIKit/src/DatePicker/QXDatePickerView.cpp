#include "QXUIKit/DatePicker/QXDatePickerView.h"

#include <rt/MainThread.h>
#include <QXFoundation/Extensions/BundleExtensions.h>
#include <RuzEzo/Binding/FKBindingCategory.h>
#include <RuzEzo/Extensions/KeypathSignalCategory.h>
#include <ui/Animation.h>

#include "QXUIKit/Resources/QXUIKitResources.h"

namespace zid {

QXDatePickerView::QXDatePickerView(const ui::Rect& frame) : ui::View(frame) {}

void QXDatePickerView::describe(rt::ClassBuilder<QXDatePickerView>& c) {
    c.readonly("navigationItem", [](const QXDatePickerView& v) { return v.navigationItem_; });
    c.readonly("cancelBarButtonItem", [](const QXDatePickerView& v) { return v.cancelBarButtonItem_; });
    c.readonly("doneBarButtonItem", [](const QXDatePickerView& v) { return v.doneBarButtonItem_; });
}

void QXDatePickerView::didInitialize() {
    ui::View::didInitialize();
    cancelTitle_ = localizedStringForKey("datePicker.cancel", QXUIKitBundle());
    doneTitle_ = localizedStringForKey("datePicker.done", QXUIKitBundle());
    setBackgroundColor(ui::Color::white(0, 0.6));
    setAutoresizingMask(ui::Autoresizing::FlexibleWidth | ui::Autoresizing::FlexibleHeight);
    createSubviews();
    // Each binding carries the current text and every later change to the bar.
    bindingWithKeypath(*this, "navigationItem.title")->setSignal(signalForKeypath(*this, "title"));
    bindingWithKeypath(*this, "cancelBarButtonItem.title")->setSignal(signalForKeypath(*this, "cancelTitle"));
    bindingWithKeypath(*this, "doneBarButtonItem.title")->setSignal(signalForKeypath(*this, "doneTitle"));
}

void QXDatePickerView::createSubviews() {
    using namespace ui::Autoresizing;
    contentView_ = rt::make<ui::View>(ui::Rect(0, 0, kPanelWidth, kPanelHeight));
    contentView_->setAutoresizingMask(FlexibleLeftMargin | FlexibleRightMargin | FlexibleTopMargin |
                                      FlexibleBottomMargin);
    contentView_->layer()->setCornerRadius(5);
    contentView_->setClipsToBounds(true);
    // The bar draws no background of its own; the panel's shows behind it.
    contentView_->setBackgroundColor(ui::Color::white(0.97, 1));
    addSubview(contentView_);

    navigationBar_ = rt::make<ui::NavigationBar>(ui::Rect(0, 0, kPanelWidth, ui::NavigationBar::kHeight));
    contentView_->addSubview(navigationBar_);

    rt::Weak<QXDatePickerView> weak = selfAs<QXDatePickerView>();
    navigationItem_ = rt::make<ui::NavigationItem>(title_);
    cancelBarButtonItem_ = rt::make<ui::BarButtonItem>(cancelTitle_, ui::BarButtonItemStyle::Plain);
    cancelBarButtonItem_->setTarget(selfAs<QXDatePickerView>());
    cancelBarButtonItem_->setAction("cancel", [weak](const rt::Ref<ui::BarButtonItem>&) {
        if (auto self = weak.lock()) self->cancel();
    });
    doneBarButtonItem_ = rt::make<ui::BarButtonItem>(doneTitle_, ui::BarButtonItemStyle::Plain);
    doneBarButtonItem_->setTarget(selfAs<QXDatePickerView>());
    doneBarButtonItem_->setAction("done", [weak](const rt::Ref<ui::BarButtonItem>&) {
        if (auto self = weak.lock()) self->done();
    });
    navigationItem_->setLeftBarButtonItem(cancelBarButtonItem_);
    navigationItem_->setRightBarButtonItem(doneBarButtonItem_);
    navigationBar_->setItems({navigationItem_});

    datePicker_ = rt::make<ui::DatePicker>(ui::Rect(0, ui::NavigationBar::kHeight, kPanelWidth, 216));
    datePicker_->setAutoresizingMask(FlexibleWidth | FlexibleHeight);
    datePicker_->setDatePickerMode(datePickerMode_);
    datePicker_->setMaximumDate(maximumDate_);
    datePicker_->setMinimumDate(minimumDate_);
    datePicker_->setDate(date_ ? *date_ : rt::Date::now());
    datePicker_->setBackgroundColor(ui::Color::whiteColor());
    datePicker_->addTarget(selfAs<QXDatePickerView>(), "dateChanged", ui::ControlEvents::ValueChanged,
                           [weak](const rt::Ref<ui::Control>& sender) {
                               auto self = weak.lock();
                               auto picker = rt::cast<ui::DatePicker>(sender);
                               if (self && picker) self->date_ = picker->date();
                           });
    contentView_->addSubview(datePicker_);
}

void QXDatePickerView::setDatePickerMode(ui::DatePickerMode mode) {
    RT_MAIN_THREAD_ONLY();
    datePickerMode_ = mode;
    if (datePicker_) datePicker_->setDatePickerMode(mode);
}

void QXDatePickerView::setMinimumDate(std::optional<rt::Date> date) {
    RT_MAIN_THREAD_ONLY();
    minimumDate_ = date;
    if (datePicker_) datePicker_->setMinimumDate(date);
}

void QXDatePickerView::setMaximumDate(std::optional<rt::Date> date) {
    RT_MAIN_THREAD_ONLY();
    maximumDate_ = date;
    if (datePicker_) datePicker_->setMaximumDate(date);
}

void QXDatePickerView::setDate(std::optional<rt::Date> date) {
    RT_MAIN_THREAD_ONLY();
    if (date == date_) return;
    date_ = date;
    if (datePicker_) datePicker_->setDate(date ? *date : rt::Date::now());
}

void QXDatePickerView::layoutSubviews() {
    RT_MAIN_THREAD_ONLY();
    ui::View::layoutSubviews();
    // The middle of the view's own bounds, not its centre in the superview: a scroll
    // view's bounds start at its offset, and the panel must sit where the view shows.
    const ui::Rect b = bounds();
    contentView_->setCenter(ui::Point{ui::midX(b), ui::midY(b)});
}

void QXDatePickerView::applyCancelDisabled() {
    navigationItem_->setLeftBarButtonItem(cancelDisabled_ ? nullptr : cancelBarButtonItem_);
    navigationBar_->setItems({navigationItem_});
}

void QXDatePickerView::showInView(const rt::Ref<ui::View>& view, Completion completion) {
    RT_MAIN_THREAD_ONLY();
    if (!view) return;
    applyCancelDisabled();
    setFrame(view->bounds());
    view->addSubview(selfAs<QXDatePickerView>());
    layoutSubviews();
    contentView_->setTransform(ui::transformMakeScale(kZoomScale, kZoomScale));
    setAlpha(0);
    rt::Ref<QXDatePickerView> self = selfAs<QXDatePickerView>();
    ui::animate(
        animationDuration_,
        [self] {
            self->contentView_->setTransform(ui::AffineTransform());
            self->setAlpha(1);
        },
        [completion](bool) {
            if (completion) completion();
        });
}

void QXDatePickerView::dismissWithCompletion(Completion completion) {
    RT_MAIN_THREAD_ONLY();
    rt::Ref<QXDatePickerView> self = selfAs<QXDatePickerView>();
    ui::animate(
        animationDuration_,
        [self] {
            self->contentView_->setTransform(ui::transformMakeScale(1 / kZoomScale, 1 / kZoomScale));
            self->setAlpha(0);
        },
        [self, completion](bool) {
            self->removeFromSuperview();
            if (completion) completion();
        });
}

void QXDatePickerView::done() {
    RT_MAIN_THREAD_ONLY();
    rt::Ref<QXDatePickerView> self = selfAs<QXDatePickerView>();
    dismissWithCompletion([self] {
        if (self->callback_) self->callback_(self->datePicker_->date());
    });
}

void QXDatePickerView::cancel() {
    RT_MAIN_THREAD_ONLY();
    rt::Ref<QXDatePickerView> self = selfAs<QXDatePickerView>();
    dismissWithCompletion([self] {
        if (self->callback_) self->callback_(std::nullopt);
    });
}

}  // namespace zid
