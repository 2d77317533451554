#include <ui/Label.h>

#include <cmath>

#include <rt/MainThread.h>
#include <rt/ChangeScope.h>
#include <ui/ImageContext.h>

#include "KeptText.h"

namespace ui {

Label::Label(const Rect& frame)
    : View(frame), font_(Font::systemFontOfSize(17)), textColor_(Color::blackColor()) {
    setUserInteractionEnabled(false);
    setOpaque(false);
}

void Label::describe(rt::ClassBuilder<Label>& c) {
    c.property("text", &Label::text, &Label::setText);
    c.property(fontKey, &Label::setFont);
    c.property(textColorKey);
    c.property(highlightedTextColorKey);
    c.property(highlightedKey);
    c.property(enabledKey);
    c.property(textAlignmentKey);
    c.property(numberOfLinesKey);
    c.property(lineBreakModeKey);
    c.property(adjustsFontSizeToFitWidthKey);
    c.property(minimumScaleFactorKey);
    c.property(shadowColorKey);
    c.property(shadowOffsetKey);
    c.manualNotification("text");
}

void Label::setText(std::string text) {
    RT_MAIN_THREAD_ONLY();
    if (!attributed_ && text == text_) return;
    {
        rt::ChangeScope scope(*this, {"text"});
        text_ = std::move(text);
        attributed_.reset();
    }
    setNeedsLayout();
}

void Label::setAttributedText(std::optional<AttributedString> text) {
    RT_MAIN_THREAD_ONLY();
    {
        rt::ChangeScope scope(*this, {"text"});
        attributed_ = std::move(text);
        if (attributed_) text_ = attributed_->text;
    }
    setNeedsLayout();
}

void Label::setFont(rt::Ref<Font> font) {
    RT_MAIN_THREAD_ONLY();
    if (!font) font = Font::systemFontOfSize(17);
    fontKey.set(*this, std::move(font));
}


AttributedString Label::content() const {
    if (attributed_) return *attributed_;
    return AttributedString(text_);
}

TextLayout Label::layoutFor(const rt::Ref<Font>& font) const {
    TextLayout l;
    l.font = font;
    l.color = (highlighted_ && highlightedTextColor_) ? highlightedTextColor_ : textColor_;
    if (!enabled_ && l.color) l.color = l.color->withAlpha(l.color->alpha() * 0.44);
    l.alignment = alignment_;
    l.lineBreakMode = lineBreakMode_;
    l.numberOfLines = numberOfLines_;
    if (shadowColor_) l.shadow = Shadow{shadowColor_, shadowOffset_, 0};
    return l;
}

Size Label::sizeThatFits(Size size) const {
    RT_MAIN_THREAD_ONLY();
    if (text().empty()) return {0, 0};
    Size constraint{kInfinity, kInfinity};
    if (numberOfLines_ != 1 && size.width > 0) constraint.width = size.width;
    Size s = measureText(content(), constraint, layoutFor(font_));
    return {std::ceil(s.width), std::ceil(s.height)};
}

rt::Ref<Font> Label::fittingFont() const {
    RT_MAIN_THREAD_ONLY();
    if (!adjustsFontSize_ || numberOfLines_ != 1 || text().empty()) return font_;
    double available = bounds().size.width;
    TextLayout l = layoutFor(font_);
    double natural = measureText(content(), {kInfinity, kInfinity}, l).width;
    if (natural <= available || natural <= 0) return font_;
    double minimum = font_->pointSize() * std::clamp(minimumScaleFactor_ > 0 ? minimumScaleFactor_ : 1.0, 0.0, 1.0);
    // Text width grows with the size: the scaled size is a first guess, then step down
    // by half points until it fits.
    double size = std::max(minimum, std::floor(font_->pointSize() * available / natural * 2) / 2);
    for (; size > minimum; size -= 0.5) {
        auto f = font_->withSize(size);
        if (measureText(content(), {kInfinity, kInfinity}, layoutFor(f)).width <= available) return f;
    }
    return font_->withSize(minimum);
}

void Label::draw(ImageContext& context, const Rect& rect) {
    RT_MAIN_THREAD_ONLY();
    if (text().empty()) return;
    TextLayout l = layoutFor(fittingFont());
    l.centerVertically = true;
    detail::drawTextKeepingLayout(context.cairo(), content(), rect, l, laidText_);
}

}  // namespace ui
