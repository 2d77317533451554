#include <ui/TextField.h>

#include <fnd/NotificationCenter.h>
#include <rt/MainThread.h>
#include <rt/ChangeScope.h>
#include <ui/ImageContext.h>
#include <ui/Touch.h>

#include "ShownText.h"
#include "CairoDrawing.h"

namespace ui {

TextField::TextField(const Rect& frame) : Control(frame) {
    font_ = Font::systemFontOfSize(17);
    textColor_ = Color::blackColor();
}

void TextField::describe(rt::ClassBuilder<TextField>& c) {
    c.property(textKey, &TextField::setText);
    c.property(placeholderKey, &TextField::setPlaceholder);
    c.readonly("editing", &TextField::isEditing);
}

void TextField::setText(std::string text) {
    RT_MAIN_THREAD_ONLY();
    detail::setPlainText(*this, textKey, attributedText_, std::move(text));
}

std::optional<AttributedString> TextField::attributedText() const {
    RT_MAIN_THREAD_ONLY();
    return detail::shownText(attributedText_, text_, font_, textColor_);
}

void TextField::setAttributedText(std::optional<AttributedString> text) {
    RT_MAIN_THREAD_ONLY();
    detail::setGivenText(*this, textKey, attributedText_, std::move(text));
}

void TextField::setPlaceholder(std::string p) {
    RT_MAIN_THREAD_ONLY();
    {
        rt::ChangeScope scope(*this, {"attributedPlaceholder"});
        attributedPlaceholder_.reset();
    }
    placeholderKey.set(*this, std::move(p));
}

void TextField::setAttributedPlaceholder(std::optional<AttributedString> p) {
    RT_MAIN_THREAD_ONLY();
    placeholderKey.set(*this, p ? p->text : std::string());
    rt::ChangeScope scope(*this, {"attributedPlaceholder"});
    attributedPlaceholder_ = std::move(p);
}

void TextField::setFont(rt::Ref<Font> f) {
    RT_MAIN_THREAD_ONLY();
    font_ = f ? std::move(f) : Font::systemFontOfSize(17);
}
void TextField::setTextColor(rt::Ref<Color> c) {
    RT_MAIN_THREAD_ONLY();
    textColor_ = c ? std::move(c) : Color::blackColor();
}
void TextField::setBorderStyle(TextBorderStyle s) { RT_MAIN_THREAD_ONLY(); borderStyle_ = s; }

Rect TextField::borderRectForBounds(const Rect& b) const { RT_MAIN_THREAD_ONLY(); return b; }

namespace {
/// The border style's own padding (each rectangle starts from it, not from an override).
Rect paddedRect(const Rect& b, TextBorderStyle style) {
    if (style == TextBorderStyle::None) return b;
    return rectInset(b, 7, 2);
}
}  // namespace

Rect TextField::textRectForBounds(const Rect& b) const { RT_MAIN_THREAD_ONLY(); return paddedRect(b, borderStyle_); }
Rect TextField::placeholderRectForBounds(const Rect& b) const {
    RT_MAIN_THREAD_ONLY();
    return paddedRect(b, borderStyle_);
}
Rect TextField::editingRectForBounds(const Rect& b) const { RT_MAIN_THREAD_ONLY(); return paddedRect(b, borderStyle_); }

void TextField::draw(ImageContext& context, const Rect&) {
    RT_MAIN_THREAD_ONLY();
    Rect b = bounds();
    if (borderStyle_ == TextBorderStyle::Line || borderStyle_ == TextBorderStyle::Bezel) {
        context.strokeRect(rectInset(borderRectForBounds(b), 0.5, 0.5), *Color::blackColor(), 1);
    } else if (borderStyle_ == TextBorderStyle::RoundedRect) {
        context.strokeRect(rectInset(borderRectForBounds(b), 0.5, 0.5), *Color::lightGrayColor(), 1);
    }
    if (text_.empty()) {
        if (!placeholder_.empty()) drawPlaceholderInRect(context, placeholderRectForBounds(b));
    } else {
        drawTextInRect(context, editing_ ? editingRectForBounds(b) : textRectForBounds(b));
    }
}

void TextField::drawTextInRect(ImageContext& context, const Rect& rect) {
    RT_MAIN_THREAD_ONLY();
    TextLayout layout;
    layout.font = font_;
    layout.color = textColor_;
    layout.alignment = alignment_;
    layout.numberOfLines = 1;
    layout.lineBreakMode = LineBreakMode::Clipping;
    layout.centerVertically = true;
    if (secureTextEntry_) {
        std::string bullets;
        for (unsigned char c : text_)
            if ((c & 0xC0) != 0x80) bullets += "\u2022";
        context.drawText(AttributedString(bullets), rect, layout);
        return;
    }
    context.drawText(*attributedText(), rect, layout);
}

void TextField::drawPlaceholderInRect(ImageContext& context, const Rect& rect) {
    RT_MAIN_THREAD_ONLY();
    TextLayout layout;
    layout.font = font_;
    layout.color = Color::white(0.7, 1);
    layout.alignment = alignment_;
    layout.numberOfLines = 1;
    layout.lineBreakMode = LineBreakMode::TruncatingTail;
    layout.centerVertically = true;
    context.drawText(attributedPlaceholder_ ? *attributedPlaceholder_ : AttributedString(placeholder_), rect, layout);
}

Size TextField::sizeThatFits(Size) const {
    RT_MAIN_THREAD_ONLY();
    TextLayout layout;
    layout.font = font_;
    layout.numberOfLines = 1;
    Size s = measureText(AttributedString(text_.empty() ? placeholder_ : text_), Size{}, layout);
    Rect pad = textRectForBounds(Rect(0, 0, 100, 100));
    return Size{s.width + (100 - width(pad)), std::max(s.height, font_->lineHeight()) + (100 - height(pad))};
}

bool TextField::becomeFirstResponder() {
    RT_MAIN_THREAD_ONLY();
    if (isFirstResponder()) return true;
    if (!canBecomeFirstResponder()) return false;
    if (delegate_ && !delegate_->textFieldShouldBeginEditing(*this)) return false;
    if (!Control::becomeFirstResponder()) return false;
    auto keep = selfAs<TextField>();
    {
        rt::ChangeScope scope(*this, {"editing"});
        editing_ = true;
    }
    if (delegate_) delegate_->textFieldDidBeginEditing(*this);
    sendActionsForControlEvents(ControlEvents::EditingDidBegin);
    fnd::NotificationCenter::defaultCenter()->post(TextFieldTextDidBeginEditingNotification, keep);
    return true;
}

bool TextField::resignFirstResponder() {
    RT_MAIN_THREAD_ONLY();
    if (!isFirstResponder()) return true;
    if (delegate_ && !delegate_->textFieldShouldEndEditing(*this)) return false;
    if (!Control::resignFirstResponder()) return false;
    auto keep = selfAs<TextField>();
    {
        rt::ChangeScope scope(*this, {"editing"});
        editing_ = false;
    }
    if (delegate_) delegate_->textFieldDidEndEditing(*this);
    sendActionsForControlEvents(ControlEvents::EditingDidEnd);
    fnd::NotificationCenter::defaultCenter()->post(TextFieldTextDidEndEditingNotification, keep);
    return true;
}

bool TextField::replace(TextRange range, const std::string& with) {
    if (!editing_) return false;
    if (range.location > text_.size()) range.location = text_.size();
    if (range.location + range.length > text_.size()) range.length = text_.size() - range.location;
    if (delegate_ && !delegate_->textFieldShouldChangeCharacters(*this, range, with)) return false;
    std::string next = text_;
    next.replace(range.location, range.length, with);
    auto keep = selfAs<TextField>();
    setText(std::move(next));
    sendActionsForControlEvents(ControlEvents::EditingChanged);
    fnd::NotificationCenter::defaultCenter()->post(TextFieldTextDidChangeNotification, keep);
    return true;
}

void TextField::insertText(const std::string& s) { RT_MAIN_THREAD_ONLY(); replace(TextRange{text_.size(), 0}, s); }

void TextField::deleteBackward() {
    RT_MAIN_THREAD_ONLY();
    if (text_.empty()) return;
    // Back over one whole UTF-8 character.
    std::size_t at = text_.size() - 1;
    while (at > 0 && (static_cast<unsigned char>(text_[at]) & 0xC0) == 0x80) --at;
    replace(TextRange{at, text_.size() - at}, "");
}

void TextField::clear() {
    RT_MAIN_THREAD_ONLY();
    if (delegate_ && !delegate_->textFieldShouldClear(*this)) return;
    replace(TextRange{0, text_.size()}, "");
}

void TextField::returnKey() {
    RT_MAIN_THREAD_ONLY();
    if (!editing_) return;
    auto keep = selfAs<TextField>();
    bool ok = !delegate_ || delegate_->textFieldShouldReturn(*this);
    if (!ok) return;
    // A field whose end-on-exit event has an action leaves editing, as the keyboard does.
    bool ends = allControlEvents() & ControlEvents::EditingDidEndOnExit;
    sendActionsForControlEvents(ControlEvents::EditingDidEndOnExit);
    if (ends) resignFirstResponder();
}

void TextField::endTrackingWithTouch(Touch* touch) {
    RT_MAIN_THREAD_ONLY();
    if (touch && pointInsideTrackingArea(touch->locationInView(this))) becomeFirstResponder();
}

}  // namespace ui
