#include <rt/MainThread.h>
#include <ui/Button.h>

#include <algorithm>

namespace ui {

Button::Button(const Rect& frame) : Control(frame) {}

rt::Ref<Button> Button::buttonWithType(ButtonType type) {
    auto b = rt::make<Button>();
    b->type_ = type;
    return b;
}

namespace {
template <class M, class V> void store(M& map, unsigned state, V value, bool present) {
    if (present) map[state] = std::move(value);
    else map.erase(state);
}
}  // namespace

void Button::setTitle(std::optional<std::string> title, unsigned state) {
    RT_MAIN_THREAD_ONLY();
    bool present = title.has_value();
    store(titles_, state, std::move(title), present);
    refresh();
}
std::optional<std::string> Button::titleForState(unsigned state) const {
    RT_MAIN_THREAD_ONLY();
    return lookup(titles_, state);
}

void Button::setTitleColor(rt::Ref<Color> color, unsigned state) {
    RT_MAIN_THREAD_ONLY();
    bool present = bool(color);
    store(titleColors_, state, std::move(color), present);
    refresh();
}
rt::Ref<Color> Button::titleColorForState(unsigned state) const {
    RT_MAIN_THREAD_ONLY();
    if (auto c = lookup(titleColors_, state)) return c;
    // A system button takes its tint; a custom one is white, as on the platform.
    if (type_ == ButtonType::System) {
        if (state & ControlState::Disabled) return Color::grayColor();
        return tintColor();
    }
    return Color::whiteColor();
}

void Button::setImage(rt::Ref<Image> image, unsigned state) {
    RT_MAIN_THREAD_ONLY();
    bool present = bool(image);
    store(images_, state, std::move(image), present);
    refresh();
}
rt::Ref<Image> Button::imageForState(unsigned state) const { RT_MAIN_THREAD_ONLY(); return lookup(images_, state); }

void Button::setBackgroundImage(rt::Ref<Image> image, unsigned state) {
    RT_MAIN_THREAD_ONLY();
    bool present = bool(image);
    store(backgrounds_, state, std::move(image), present);
    refresh();
}
rt::Ref<Image> Button::backgroundImageForState(unsigned state) const {
    RT_MAIN_THREAD_ONLY();
    return lookup(backgrounds_, state);
}

rt::Ref<Label> Button::titleLabel() {
    RT_MAIN_THREAD_ONLY();
    if (!titleLabel_) {
        titleLabel_ = rt::make<Label>();
        titleLabel_->setTextAlignment(TextAlignment::Center);
        titleLabel_->setUserInteractionEnabled(false);
        titleLabel_->setBackgroundColor(Color::clearColor());
        titleLabel_->setOpaque(false);
        addSubview(titleLabel_);
        refresh();
    }
    return titleLabel_;
}

rt::Ref<ImageView> Button::imageView() {
    RT_MAIN_THREAD_ONLY();
    if (!imageView_) {
        imageView_ = rt::make<ImageView>();
        imageView_->setUserInteractionEnabled(false);
        if (titleLabel_) insertSubviewBelowSubview(imageView_, titleLabel_);
        else addSubview(imageView_);
        refresh();
    }
    return imageView_;
}

void Button::setContentEdgeInsets(EdgeInsets insets) {
    RT_MAIN_THREAD_ONLY();
    contentInsets_ = insets;
    setNeedsLayout();
}

void Button::setEnabled(bool enabled) {
    RT_MAIN_THREAD_ONLY();
    Control::setEnabled(enabled);
    refresh();
}
void Button::setSelected(bool selected) {
    RT_MAIN_THREAD_ONLY();
    Control::setSelected(selected);
    refresh();
}
void Button::setHighlighted(bool highlighted) {
    RT_MAIN_THREAD_ONLY();
    Control::setHighlighted(highlighted);
    refresh();
}

void Button::refresh() {
    auto title = currentTitle();
    if (title && !titleLabel_) titleLabel();
    if (titleLabel_) {
        titleLabel_->setText(title.value_or(""));
        titleLabel_->setTextColor(currentTitleColor());
        titleLabel_->setHidden(!title);
    }
    auto image = currentImage();
    if (image && !imageView_) imageView();
    if (imageView_) {
        imageView_->setImage(image);
        imageView_->setHidden(!image);
    }
    auto background = currentBackgroundImage();
    if (background && !backgroundView_) {
        backgroundView_ = rt::make<ImageView>();
        backgroundView_->setUserInteractionEnabled(false);
        insertSubviewAtIndex(backgroundView_, 0);
    }
    if (backgroundView_) {
        backgroundView_->setImage(background);
        backgroundView_->setHidden(!background);
    }
    setNeedsLayout();
}

Size Button::sizeThatFits(Size size) const {
    RT_MAIN_THREAD_ONLY();
    Size image = currentImage() ? currentImage()->size() : Size{};
    Size title;
    if (titleLabel_ && currentTitle()) title = titleLabel_->sizeThatFits(size);
    Size out{image.width + title.width, std::max(image.height, title.height)};
    out.width += contentInsets_.left + contentInsets_.right;
    out.height += contentInsets_.top + contentInsets_.bottom;
    if (auto bg = currentBackgroundImage()) {
        out.width = std::max(out.width, bg->size().width);
        out.height = std::max(out.height, bg->size().height);
    }
    return out;
}

void Button::layoutSubviews() {
    RT_MAIN_THREAD_ONLY();
    Rect content = insetRect(bounds(), contentInsets_);
    if (backgroundView_) backgroundView_->setFrame(bounds());
    Size image = (imageView_ && currentImage()) ? currentImage()->size() : Size{};
    Size title = (titleLabel_ && currentTitle()) ? titleLabel_->sizeThatFits(content.size) : Size{};
    title.width = std::min(title.width, std::max(0.0, content.size.width - image.width));
    // Image and title sit together, centred in the content rectangle.
    double x = midX(content) - (image.width + title.width) / 2;
    if (imageView_) imageView_->setFrame(Rect(x, midY(content) - image.height / 2, image.width, image.height));
    if (titleLabel_) {
        titleLabel_->setFrame(Rect(x + image.width, midY(content) - title.height / 2, title.width, title.height));
    }
}

}  // namespace ui
