#include <ui/AlertController.h>

#include <algorithm>

namespace ui {

void AlertAction::setEnabled(bool e) {
    enabled_ = e;
    if (auto b = button_.lock()) b->setEnabled(e);
}

AlertController::AlertController(std::string title, std::string message, AlertControllerStyle style)
    : style_(style), message_(std::move(message)) {
    setTitle(std::move(title));
    setModalPresentationStyle(ModalPresentationStyle::OverFullScreen);
}

bool AlertController::addAction(const rt::Ref<AlertAction>& action) {
    if (!action) return false;
    if (action->style() == AlertActionStyle::Cancel &&
        std::any_of(actions_.begin(), actions_.end(), [](auto& a) { return a->style() == AlertActionStyle::Cancel; })) {
        return false;
    }
    actions_.push_back(action);
    return true;
}

void AlertController::addTextFieldWithConfigurationHandler(const std::function<void(TextField&)>& configure) {
    if (style_ != AlertControllerStyle::Alert) return;
    auto f = rt::make<TextField>();
    f->setBorderStyle(TextBorderStyle::Line);
    if (configure) configure(*f);
    textFields_.push_back(f);
}

rt::Ref<Button> AlertController::buttonForAction(const rt::Ref<AlertAction>& action) {
    view();
    return action->button_.lock();
}

void AlertController::loadView() {
    auto v = rt::make<View>(Rect(0, 0, 320, 480));
    v->setBackgroundColor(Color::white(0, 0.4));
    setView(v);
    box_ = rt::make<View>();
    box_->setBackgroundColor(Color::whiteColor());
    v->addSubview(box_);
    titleLabel_ = rt::make<Label>();
    titleLabel_->setText(title());
    titleLabel_->setTextAlignment(TextAlignment::Center);
    box_->addSubview(titleLabel_);
    messageLabel_ = rt::make<Label>();
    messageLabel_->setText(message_);
    messageLabel_->setTextAlignment(TextAlignment::Center);
    messageLabel_->setNumberOfLines(0);
    box_->addSubview(messageLabel_);
    for (const auto& f : textFields_) box_->addSubview(f);
    // The cancel action comes last, as on the platform.
    auto ordered = actions_;
    std::stable_partition(ordered.begin(), ordered.end(), [](auto& a) { return a->style() != AlertActionStyle::Cancel; });
    for (const auto& a : ordered) {
        auto b = Button::buttonWithType(ButtonType::System);
        b->setTitle(a->title(), ControlState::Normal);
        if (a->style() == AlertActionStyle::Destructive) b->setTitleColor(Color::rgba(1, 0.23, 0.19), ControlState::Normal);
        b->setEnabled(a->isEnabled());
        rt::Weak<AlertController> weak = selfAs<AlertController>();
        rt::Weak<AlertAction> weakAction = a;
        b->addTarget(nullptr, "tap", ControlEvents::TouchUpInside, [weak, weakAction](const rt::Ref<Control>&) {
            auto self = weak.lock();
            auto action = weakAction.lock();
            if (self && action) self->tapped(action);
        });
        a->button_ = b;
        box_->addSubview(b);
        buttons_.push_back(b);
    }
    v->setNeedsLayout();
}

void AlertController::viewWillLayoutSubviews() {
    if (!box_) return;
    Rect b = view()->bounds();
    double w = std::min(270.0, width(b) - 20);
    double y = 12;
    titleLabel_->setFrame(Rect(8, y, w - 16, 22));
    y += 24;
    Size m = messageLabel_->sizeThatFits(Size{w - 16, 1000});
    messageLabel_->setFrame(Rect(8, y, w - 16, m.height));
    y += m.height + 8;
    for (const auto& f : textFields_) {
        f->setFrame(Rect(8, y, w - 16, 26));
        y += 30;
    }
    for (const auto& button : buttons_) {
        button->setFrame(Rect(0, y, w, 44));
        y += 44;
    }
    if (style_ == AlertControllerStyle::Alert) box_->setFrame(Rect(midX(b) - w / 2, midY(b) - y / 2, w, y));
    else box_->setFrame(Rect(midX(b) - w / 2, maxY(b) - y - 8, w, y));
}

void AlertController::tapped(const rt::Ref<AlertAction>& action) {
    if (!action->isEnabled()) return;
    auto keep = selfAs<AlertController>();
    dismissViewControllerAnimated(true, [action] {
        if (action->handler()) action->handler()(*action);
    });
}

}  // namespace ui
