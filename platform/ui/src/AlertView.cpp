#include <ui/AlertView.h>

#include <algorithm>

#include <rt/MainThread.h>
#include <rt/Exception.h>
#include <ui/Animation.h>
#include <ui/Application.h>
#include <ui/GestureRecognizer.h>
#include <ui/Window.h>

namespace ui {

// ---- shared box ----------------------------------------------------------------------------

ButtonBoxView::ButtonBoxView(const Rect& frame) : View(frame) {}

void ButtonBoxView::didInitialize() {
    View::didInitialize();
    setBackgroundColor(Color::white(0, 0.4));
    setAutoresizingMask(Autoresizing::FlexibleWidth | Autoresizing::FlexibleHeight);
    box_ = rt::make<View>();
    box_->setBackgroundColor(Color::white(0.97, 1));
    box_->layer()->setCornerRadius(8);
    box_->setClipsToBounds(true);
    addSubview(box_);
    titleLabel_ = rt::make<Label>();
    titleLabel_->setFont(Font::boldSystemFontOfSize(17));
    messageLabel_ = rt::make<Label>();
    messageLabel_->setFont(Font::systemFontOfSize(14));
    messageLabel_->setNumberOfLines(0);
    for (const auto& l : {titleLabel_, messageLabel_}) {
        l->setTextAlignment(TextAlignment::Center);
        l->setBackgroundColor(Color::clearColor());
        box_->addSubview(l);
    }
    auto tap = rt::make<TapGestureRecognizer>();
    rt::Weak<ButtonBoxView> weak = selfAs<ButtonBoxView>();
    tap->addTarget(self(), "backdropTap:", [weak](GestureRecognizer& g) {
        auto self = weak.lock();
        if (!self || g.state() != GestureRecognized) return;
        Point p = g.locationInView(self.get());
        Rect box = self->box_->frame();
        if (p.x < minX(box) || p.x > maxX(box) || p.y < minY(box) || p.y > maxY(box)) self->backdropTapped();
    });
    addGestureRecognizer(tap);
}

void ButtonBoxView::setTitle(std::string t) {
    RT_MAIN_THREAD_ONLY();
    title_ = std::move(t);
    titleLabel_->setText(title_);
    setNeedsLayout();
}

void ButtonBoxView::setMessage(std::string m) {
    RT_MAIN_THREAD_ONLY();
    message_ = std::move(m);
    messageLabel_->setText(message_);
    setNeedsLayout();
}

long ButtonBoxView::addButtonWithTitle(const std::string& title) {
    RT_MAIN_THREAD_ONLY();
    titles_.push_back(title);
    if (visible_) rebuildBox();
    return static_cast<long>(titles_.size()) - 1;
}

std::string ButtonBoxView::buttonTitleAtIndex(long index) const {
    RT_MAIN_THREAD_ONLY();
    if (index < 0 || index >= numberOfButtons()) return "";
    return titles_[static_cast<std::size_t>(index)];
}

long ButtonBoxView::firstOtherButtonIndex() const {
    RT_MAIN_THREAD_ONLY();
    for (long i = 0; i < numberOfButtons(); ++i)
        if (i != cancelButtonIndex_) return i;
    return -1;
}

rt::Ref<Button> ButtonBoxView::buttonAtIndex(long index) const {
    RT_MAIN_THREAD_ONLY();
    if (index < 0 || index >= static_cast<long>(buttons_.size())) return nullptr;
    return buttons_[static_cast<std::size_t>(index)];
}

rt::Ref<Color> ButtonBoxView::titleColorForButton(long) const { return Color::rgba(0, 0.48, 1); }

void ButtonBoxView::rebuildBox() {
    for (const auto& b : buttons_) b->removeFromSuperview();
    buttons_.clear();
    for (const auto& v : accessoryViews())
        if (v->superview() != box_) box_->addSubview(v);
    rt::Weak<ButtonBoxView> weak = selfAs<ButtonBoxView>();
    for (long i = 0; i < numberOfButtons(); ++i) {
        auto b = Button::buttonWithType(ButtonType::System);
        b->setTitle(buttonTitleAtIndex(i), ControlState::Normal);
        b->setTitleColor(titleColorForButton(i), ControlState::Normal);
        b->addTarget(nullptr, "tap", ControlEvents::TouchUpInside, [weak, i](const rt::Ref<Control>&) {
            if (auto self = weak.lock()) self->clickButtonAtIndex(i);
        });
        box_->addSubview(b);
        buttons_.push_back(b);
    }
    setNeedsLayout();
}

void ButtonBoxView::layoutSubviews() {
    RT_MAIN_THREAD_ONLY();
    View::layoutSubviews();
    const double w = std::min(270.0, width(bounds()) - 20);
    double y = 12;
    titleLabel_->setFrame(Rect(8, y, w - 16, 22));
    y += 26;
    if (!message_.empty()) {
        Size m = messageLabel_->sizeThatFits(Size{w - 16, 1000});
        messageLabel_->setFrame(Rect(8, y, w - 16, m.height));
        y += m.height + 8;
    } else {
        messageLabel_->setFrame(Rect(8, y, w - 16, 0));
    }
    for (const auto& v : accessoryViews()) {
        v->setFrame(Rect(12, y, w - 24, 28));
        y += 34;
    }
    for (const auto& b : buttons_) {
        b->setFrame(Rect(0, y, w, kButtonHeight));
        y += kButtonHeight;
    }
    box_->setFrame(boxFrameForSize(Size{w, y}));
}

void ButtonBoxView::presentInWindow(rt::Ref<View> window, bool animated) {
    if (visible_) return;
    if (!window) window = Application::sharedApplication()->keyWindow();
    if (!window) return;
    visible_ = true;
    dismissing_ = false;
    rebuildBox();
    tellWillPresent();
    setFrame(window->bounds());
    window->addSubview(selfAs<View>());
    layoutIfNeeded();
    auto self = selfAs<ButtonBoxView>();
    if (!animated) {
        tellDidPresent();
        return;
    }
    setAlpha(0);
    animate(kFadeDuration, [self] { self->setAlpha(1); }, [self](bool) { self->tellDidPresent(); });
}

void ButtonBoxView::clickButtonAtIndex(long index) {
    RT_MAIN_THREAD_ONLY();
    if (!visible_ || dismissing_) return;
    auto keep = selfAs<ButtonBoxView>();
    tellClicked(index);
    dismissWithClickedButtonIndex(index, true);
}

void ButtonBoxView::dismissWithClickedButtonIndex(long index, bool animated) {
    RT_MAIN_THREAD_ONLY();
    if (!visible_ || dismissing_) return;
    dismissing_ = true;
    tellWillDismiss(index);
    auto self = selfAs<ButtonBoxView>();
    auto finish = [self, index] {
        self->removeFromSuperview();
        self->visible_ = false;
        self->dismissing_ = false;
        self->tellDidDismiss(index);
    };
    if (!animated) {
        finish();
        return;
    }
    animate(kFadeDuration, [self] { self->setAlpha(0); }, [finish](bool) { finish(); });
}

// ---- alert view ----------------------------------------------------------------------------

AlertView::AlertView() : ButtonBoxView(Rect(0, 0, 320, 480)) {}

void AlertView::setAlertViewStyle(AlertViewStyle style) {
    RT_MAIN_THREAD_ONLY();
    for (const auto& f : fields_) f->removeFromSuperview();
    fields_.clear();
    style_ = style;
    auto field = [this](bool secure, const std::string& placeholder) {
        auto f = rt::make<TextField>();
        f->setBorderStyle(TextBorderStyle::Line);
        f->setSecureTextEntry(secure);
        f->setPlaceholder(placeholder);
        fields_.push_back(f);
    };
    switch (style) {
        case AlertViewStyle::Default: break;
        case AlertViewStyle::SecureTextInput: field(true, ""); break;
        case AlertViewStyle::PlainTextInput: field(false, ""); break;
        case AlertViewStyle::LoginAndPasswordInput:
            field(false, "Login");
            field(true, "Password");
            break;
    }
    if (isVisible()) setNeedsLayout();
}

rt::Ref<TextField> AlertView::textFieldAtIndex(long index) const {
    RT_MAIN_THREAD_ONLY();
    if (index < 0 || index >= static_cast<long>(fields_.size()))
        throw rt::Exception(rt::Exception::RangeError,
                            "text field index " + std::to_string(index) + " is beyond the " +
                                std::to_string(fields_.size()) + " text fields of the alert's style");
    return fields_[static_cast<std::size_t>(index)];
}

std::vector<rt::Ref<View>> AlertView::accessoryViews() const { return {fields_.begin(), fields_.end()}; }

void AlertView::show() { RT_MAIN_THREAD_ONLY(); presentInWindow(nullptr, true); }

Rect AlertView::boxFrameForSize(Size s) const {
    Rect b = bounds();
    return Rect(midX(b) - s.width / 2, midY(b) - s.height / 2, s.width, s.height);
}

void AlertView::tellClicked(long i) {
    if (auto d = delegate()) d->alertViewClickedButtonAtIndex(*this, i);
}
void AlertView::tellWillPresent() {
    if (auto d = delegate()) d->willPresentAlertView(*this);
}
void AlertView::tellDidPresent() {
    if (auto d = delegate()) d->didPresentAlertView(*this);
}
void AlertView::tellWillDismiss(long i) {
    if (auto d = delegate()) d->alertViewWillDismissWithButtonIndex(*this, i);
}
void AlertView::tellDidDismiss(long i) {
    if (auto d = delegate()) d->alertViewDidDismissWithButtonIndex(*this, i);
}

// ---- action sheet --------------------------------------------------------------------------

ActionSheet::ActionSheet() : ButtonBoxView(Rect(0, 0, 320, 480)) {}

void ActionSheet::showFromRect(const Rect& rect, const rt::Ref<View>& view, bool animated) {
    RT_MAIN_THREAD_ONLY();
    if (!view || !view->window()) return;
    auto window = view->window();
    anchor_ = view->convertRectToView(rect, window.get());
    presentInWindow(window, animated);
}

void ActionSheet::showInView(const rt::Ref<View>& view) {
    RT_MAIN_THREAD_ONLY();
    anchor_.reset();
    presentInWindow(view ? rt::Ref<View>(view->window()) : nullptr, true);
}

Rect ActionSheet::boxFrameForSize(Size s) const {
    Rect b = bounds();
    if (!anchor_) return Rect(midX(b) - s.width / 2, maxY(b) - s.height - 8, s.width, s.height);
    const Rect& a = *anchor_;
    // Kept off the screen's edges by the same margin the bottom sheet keeps.
    const double margin = 8;
    double x = std::clamp(midX(a) - s.width / 2, minX(b) + margin, std::max(minX(b) + margin, maxX(b) - s.width - margin));
    double y = maxY(a) + s.height <= maxY(b) ? maxY(a) : std::max(minY(b), minY(a) - s.height);
    return Rect(x, y, s.width, s.height);
}

rt::Ref<Color> ActionSheet::titleColorForButton(long index) const {
    if (index == destructiveButtonIndex_) return Color::rgba(1, 0.23, 0.19);
    return ButtonBoxView::titleColorForButton(index);
}

void ActionSheet::backdropTapped() { clickButtonAtIndex(-1); }

void ActionSheet::tellClicked(long i) {
    if (auto d = delegate()) d->actionSheetClickedButtonAtIndex(*this, i);
}
void ActionSheet::tellWillPresent() {
    if (auto d = delegate()) d->willPresentActionSheet(*this);
}
void ActionSheet::tellDidPresent() {
    if (auto d = delegate()) d->didPresentActionSheet(*this);
}
void ActionSheet::tellWillDismiss(long i) {
    if (auto d = delegate()) d->actionSheetWillDismissWithButtonIndex(*this, i);
}
void ActionSheet::tellDidDismiss(long i) {
    if (auto d = delegate()) d->actionSheetDidDismissWithButtonIndex(*this, i);
}

}  // namespace ui
