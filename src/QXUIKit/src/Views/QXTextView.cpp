#include "Views/QXTextView.h"

#include <RuzEzo/Extensions/KeypathSignalCategory.h>
#include <RuzEzo/Signal/Dealloc/FKDeallocSignal.h>
#include <RuzEzo/Signal/Notification/FKNotificationObserverSignal.h>
#include <RuzEzo/Trigger/OnSignalHelper.h>

namespace zid {

QXTextView::QXTextView(const ui::Rect& frame) : QXFocusSignalling(frame) {}

void QXTextView::didInitialize() {
    ui::TextView::didInitialize();
    placeholderView_ = rt::make<ui::TextView>(bounds());
    placeholderView_->setUserInteractionEnabled(false);
    placeholderView_->setAutoresizingMask(ui::Autoresizing::FlexibleWidth | ui::Autoresizing::FlexibleHeight);
    addSubview(placeholderView_);
    rt::Weak<QXTextView> weak = selfAs<QXTextView>();
    onSignal(FKNotificationObserverSignal::signalWithNotificationName(std::string(ui::TextViewTextDidChangeNotification),
                                                                       self()),
             deallocSignal(*this), [weak](const rt::Value&) {
                 if (auto v = weak.lock()) v->updatePlaceholderText();
             });
    updatePlaceholderText();
    placeholderView_->setFont(font());
    placeholderView_->setTextColor(ui::Color::lightGrayColor());
    placeholderView_->setBackgroundColor(ui::Color::clearColor());
}

void QXTextView::setPlaceholderText(std::string t) {
    placeholderText_ = std::move(t);
    updatePlaceholderText();
}

void QXTextView::updatePlaceholderText() {
    if (!placeholderView_) return;
    auto attributed = attributedText();
    bool hasText = !text().empty() || (attributed && !attributed->text.empty());
    placeholderView_->setText(hasText ? std::string() : placeholderText_);
}

void QXTextView::setText(std::string text) {
    ui::TextView::setText(std::move(text));
    updatePlaceholderText();
}

void QXTextView::setAttributedText(std::optional<ui::AttributedString> text) {
    ui::TextView::setAttributedText(std::move(text));
    updatePlaceholderText();
}

}  // namespace zid
