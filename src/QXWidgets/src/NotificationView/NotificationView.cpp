#include "QXWidgets/NotificationView/NotificationView.h"

#include <rt/MainThread.h>
#include <cmath>

#include <QXStyling/QXStyler.h>
#include <QXUIKit/Resources/QXUIKitResources.h>
#include <RudoreVaz/Controls/ControlCommands.h>

namespace zid {

NotificationView::NotificationView(const ui::Rect& frame) : ui::ScrollView(frame) {}

void NotificationView::didInitialize() {
    ui::ScrollView::didInitialize();
    setBackgroundColor(ui::Color::whiteColor());
    setClipsToBounds(true);
    setAutoresizingMask(ui::Autoresizing::FlexibleWidth | ui::Autoresizing::FlexibleHeight);

    titleLabel_ = rt::make<ui::Label>();
    titleLabel_->setTextAlignment(ui::TextAlignment::Center);
    titleLabel_->setLineBreakMode(ui::LineBreakMode::WordWrapping);
    titleLabel_->setNumberOfLines(0);
    titleLabel_->setBackgroundColor(ui::Color::clearColor());
    titleLabel_->setUserInteractionEnabled(false);

    notificationImage_ = qxUIKitImageNamed("generic_icon_alert_normal.png");
    notificationImageView_ = rt::make<ui::ImageView>(notificationImage_);
    notificationImageView_->setUserInteractionEnabled(false);

    actionButton_ = ui::Button::buttonWithType(ui::ButtonType::Custom);
    actionButton_->setFrame(contentRect());
    actionButton_->setAutoresizingMask(ui::Autoresizing::FlexibleWidth | ui::Autoresizing::FlexibleHeight);
    actionButton_->setExclusiveTouch(true);  // the command it is given runs on touch-up inside
    // The label and the icon lie above the button and take no touches, so a tap
    // anywhere in the content area reaches it.
    addSubview(actionButton_);
    addSubview(titleLabel_);
    addSubview(notificationImageView_);
    setStyleClass(className());
}

void NotificationView::setNotificationMessage(std::optional<std::string> message) {
    RT_MAIN_THREAD_ONLY();
    storeAndLayOut(notificationMessage_, std::move(message));
}

void NotificationView::setRefreshActionText(std::optional<std::string> text) {
    RT_MAIN_THREAD_ONLY();
    storeAndLayOut(refreshActionText_, std::move(text));
}

void NotificationView::setNotificationMessageTextAttributes(std::optional<ui::TextAttributes> attributes) {
    RT_MAIN_THREAD_ONLY();
    storeAndLayOut(messageAttributes_, std::move(attributes));
}

void NotificationView::setRefreshActionTextAttributes(std::optional<ui::TextAttributes> attributes) {
    RT_MAIN_THREAD_ONLY();
    storeAndLayOut(actionAttributes_, std::move(attributes));
}

void NotificationView::setNotificationImage(rt::Ref<ui::Image> image) {
    RT_MAIN_THREAD_ONLY();
    notificationImage_ = image;
    notificationImageView_->setImage(std::move(image));
    setNeedsLayout();
}

void NotificationView::setBorderInset(ui::EdgeInsets inset) {
    RT_MAIN_THREAD_ONLY();
    storeAndLayOut(borderInset_, inset);
}

ui::Rect NotificationView::contentRect() const {
    RT_MAIN_THREAD_ONLY();
    ui::Size s = bounds().size;
    const auto& in = borderInset_;
    return ui::Rect(in.left, in.top, s.width - (in.left + in.right), s.height - (in.top + in.bottom));
}

std::optional<ui::AttributedString> NotificationView::attributedText(const std::optional<std::string>& text,
                                                                     const std::optional<ui::TextAttributes>& attributes) {
    if (!text) return std::nullopt;
    return ui::AttributedString(*text, attributes.value_or(ui::TextAttributes{}));
}

std::optional<ui::AttributedString> NotificationView::attributedText() const {
    RT_MAIN_THREAD_ONLY();
    auto message = attributedText(notificationMessage_, messageAttributes_);
    auto action = attributedText(refreshActionText_, actionAttributes_);
    if (!message) return action;
    if (!action) return message;
    ui::AttributedString joined = *message;
    joined.text += "\n";
    std::size_t start = joined.text.size();
    joined.text += action->text;
    for (const auto& run : action->runs) joined.runs.push_back({run.start + start, run.length, run.attributes});
    return joined;
}

void NotificationView::showInView(const rt::Ref<ui::View>& view) {
    RT_MAIN_THREAD_ONLY();
    removeFromSuperview();
    if (!view) return;
    view->addSubview(selfAs<ui::View>());
    setFrame(view->bounds());
}

void NotificationView::dismiss() {
    RT_MAIN_THREAD_ONLY();
    if (superview()) removeFromSuperview();
}

void NotificationView::setStyleClass(const std::string& styleClass) {
    RT_MAIN_THREAD_ONLY();
    zid::setStyleClass(selfAs<ui::View>(), styleClass);
    zid::setStyleClass(titleLabel_, styleClass + ".titleLabel");
    zid::setStyleClass(notificationImageView_, styleClass + ".notificationImageView");
    zid::setStyleClass(actionButton_, styleClass + ".reloadButton");
}

void NotificationView::layoutSubviews() {
    RT_MAIN_THREAD_ONLY();
    ui::ScrollView::layoutSubviews();
    ui::Rect content = contentRect();
    double iw = 0, ih = 0;
    bool showsImage = notificationImageView_->image() != nullptr;
    notificationImageView_->setHidden(!showsImage);
    if (showsImage) {
        notificationImageView_->sizeToFit();
        ui::Size s = notificationImageView_->bounds().size;
        iw = s.width;
        ih = s.height;
    }
    titleLabel_->setAttributedText(attributedText());
    ui::Size label = titleLabel_->sizeThatFits(ui::Size(content.size.width, bounds().size.height));
    double height = ih + (ih > 0 ? kGap : 0) + label.height;
    bool showsButton = command(*actionButton_) != nullptr;
    actionButton_->setHidden(!showsButton);
    if (showsButton) {
        actionButton_->sizeToFit();
        height += (height > 0 ? kGap : 0) + actionButton_->bounds().size.height;
    }
    double midX = content.origin.x + content.size.width / 2;
    double y = content.origin.y + content.size.height / 2 - std::floor(height / 2);
    if (showsImage) {
        notificationImageView_->setFrame(ui::Rect(std::floor(midX - iw / 2), y, iw, ih));
        y += ih + kGap;
    }
    titleLabel_->setFrame(ui::Rect(std::floor(midX - label.width / 2), y, label.width, label.height));
    // The button's fitted height only counts in the stack; it covers the whole area.
    if (showsButton) actionButton_->setFrame(content);
}

}  // namespace zid
