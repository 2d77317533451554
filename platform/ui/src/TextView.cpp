#include <ui/TextView.h>

#include <algorithm>
#include <cctype>

#include <fnd/NotificationCenter.h>
#include <rt/MainThread.h>
#include <rt/ChangeScope.h>
#include <ui/Application.h>
#include <ui/ImageContext.h>
#include <ui/Touch.h>

#include "PangoContext.h"
#include "ShownText.h"
#include "CairoDrawing.h"

namespace ui {

TextView::TextView(const Rect& frame) : ScrollView(frame) {
    font_ = Font::systemFontOfSize(12);
    textColor_ = Color::blackColor();
}

void TextView::describe(rt::ClassBuilder<TextView>& c) {
    c.property(textKey, &TextView::setText);
    c.readonly("editing", &TextView::isEditing);
}

void TextView::setText(std::string text) {
    RT_MAIN_THREAD_ONLY();
    detail::setPlainText(*this, textKey, attributed_, std::move(text));
}

std::optional<AttributedString> TextView::attributedText() const {
    RT_MAIN_THREAD_ONLY();
    return detail::shownText(attributed_, text_, font_, textColor_);
}

void TextView::setAttributedText(std::optional<AttributedString> text) {
    RT_MAIN_THREAD_ONLY();
    detail::setGivenText(*this, textKey, attributed_, std::move(text));
}

void TextView::setFont(rt::Ref<Font> f) {
    RT_MAIN_THREAD_ONLY();
    font_ = f ? std::move(f) : Font::systemFontOfSize(12);
}
void TextView::setTextColor(rt::Ref<Color> c) {
    RT_MAIN_THREAD_ONLY();
    textColor_ = c ? std::move(c) : Color::blackColor();
}

Rect TextView::textContainerRect() const {
    RT_MAIN_THREAD_ONLY();
    Rect r(0, 0, width(bounds()), std::max(contentSize().height, height(bounds())));
    r = insetRect(r, containerInset_);
    return rectInset(r, kLineFragmentPadding, 0);
}

void TextView::draw(ImageContext& context, const Rect&) {
    RT_MAIN_THREAD_ONLY();
    TextLayout layout;
    layout.font = font_;
    layout.color = textColor_;
    layout.alignment = alignment_;
    context.drawText(*attributedText(), textContainerRect(), layout);
}

Size TextView::sizeThatFits(Size size) const {
    RT_MAIN_THREAD_ONLY();
    TextLayout layout;
    layout.font = font_;
    double w = size.width > 0 ? size.width : width(bounds());
    double inner = std::max(0.0, w - 2 * kLineFragmentPadding - containerInset_.left - containerInset_.right);
    Size s = measureText(*attributedText(), Size{inner, 0}, layout);
    return Size{w, s.height + containerInset_.top + containerInset_.bottom};
}

// ---- positions ---------------------------------------------------------------------------------

namespace {

/// A Pango layout of the view's text at the container width (caller unrefs), under the lock.
PangoLayout* layoutFor(const std::string& text, const Font& font, double width) {
    PangoLayout* layout = pango_layout_new(detail::pangoContext());
    pango_layout_set_text(layout, text.c_str(), int(text.size()));
    PangoFontDescription* d = detail::fontDescription(font.pointSize(), font.numericWeight());
    pango_layout_set_font_description(layout, d);
    pango_font_description_free(d);
    PangoAttrList* attrs = detail::newAttributeList();
    pango_layout_set_attributes(layout, attrs);
    pango_attr_list_unref(attrs);
    if (width > 0) {
        pango_layout_set_width(layout, int(width * PANGO_SCALE));
        pango_layout_set_wrap(layout, PANGO_WRAP_WORD_CHAR);
    }
    return layout;
}

bool isWordByte(unsigned char c) { return c >= 0x80 || std::isalnum(c) || c == '\'' || c == '_'; }
bool isSentenceEnd(char c) { return c == '.' || c == '!' || c == '?'; }

std::size_t charStart(const std::string& s, std::size_t i) {
    while (i > 0 && i < s.size() && (static_cast<unsigned char>(s[i]) & 0xC0) == 0x80) --i;
    return i;
}
std::size_t charEnd(const std::string& s, std::size_t i) {
    if (i >= s.size()) return s.size();
    ++i;
    while (i < s.size() && (static_cast<unsigned char>(s[i]) & 0xC0) == 0x80) ++i;
    return i;
}

}  // namespace

std::size_t TextView::closestPositionToPoint(Point p) const {
    RT_MAIN_THREAD_ONLY();
    Rect r = textContainerRect();
    std::lock_guard<std::recursive_mutex> lock(detail::pangoLock());
    PangoLayout* layout = layoutFor(text_, *font_, width(r));
    int index = 0, trailing = 0;
    pango_layout_xy_to_index(layout, int((p.x - minX(r)) * PANGO_SCALE), int((p.y - minY(r)) * PANGO_SCALE), &index,
                             &trailing);
    g_object_unref(layout);
    return std::min<std::size_t>(std::size_t(index), text_.size());
}

std::optional<TextRange> TextView::rangeEnclosingPosition(std::size_t pos, TextGranularity g) const {
    RT_MAIN_THREAD_ONLY();
    const std::string& s = text_;
    if (s.empty()) return std::nullopt;
    pos = std::min(pos, s.size() - 1);
    pos = charStart(s, pos);
    switch (g) {
    case TextGranularity::Character: return TextRange{pos, charEnd(s, pos) - pos};
    case TextGranularity::Word: {
        if (!isWordByte(static_cast<unsigned char>(s[pos]))) return std::nullopt;
        std::size_t a = pos, b = pos;
        while (a > 0 && isWordByte(static_cast<unsigned char>(s[a - 1]))) --a;
        while (b < s.size() && isWordByte(static_cast<unsigned char>(s[b]))) ++b;
        return TextRange{a, b - a};
    }
    case TextGranularity::Sentence: {
        std::size_t a = pos;
        while (a > 0 && !isSentenceEnd(s[a - 1]) && s[a - 1] != '\n') --a;
        while (a < pos && s[a] == ' ') ++a;
        std::size_t b = pos;
        while (b < s.size() && !isSentenceEnd(s[b]) && s[b] != '\n') ++b;
        if (b < s.size() && isSentenceEnd(s[b])) ++b;
        return TextRange{a, b - a};
    }
    case TextGranularity::Paragraph: {
        std::size_t a = s.rfind('\n', pos == 0 ? 0 : pos - 1);
        a = (a == std::string::npos || (pos == 0 && s[0] != '\n')) ? 0 : a + 1;
        if (s[pos] == '\n' && pos > 0) a = s.rfind('\n', pos - 1) == std::string::npos ? 0 : s.rfind('\n', pos - 1) + 1;
        std::size_t b = s.find('\n', pos);
        if (b == std::string::npos) b = s.size();
        return TextRange{a, b - a};
    }
    case TextGranularity::Line: {
        Rect r = textContainerRect();
        std::lock_guard<std::recursive_mutex> lock(detail::pangoLock());
        PangoLayout* layout = layoutFor(s, *font_, width(r));
        int line = 0, x = 0;
        pango_layout_index_to_line_x(layout, int(pos), FALSE, &line, &x);
        PangoLayoutLine* l = pango_layout_get_line_readonly(layout, line);
        TextRange out{std::size_t(l->start_index), std::size_t(l->length)};
        g_object_unref(layout);
        // The line's own break (space or newline) is not part of its text.
        while (out.length > 0 && (s[out.location + out.length - 1] == ' ' || s[out.location + out.length - 1] == '\n')) {
            --out.length;
        }
        return out;
    }
    case TextGranularity::Document: return TextRange{0, s.size()};
    }
    return std::nullopt;
}

std::string TextView::textInRange(TextRange r) const {
    RT_MAIN_THREAD_ONLY();
    if (r.location >= text_.size()) return "";
    return text_.substr(r.location, std::min(r.length, text_.size() - r.location));
}

// ---- links ----------------------------------------------------------------------------------------

void TextView::addLink(TextRange range, std::string url) {
    RT_MAIN_THREAD_ONLY();
    links_.push_back(Link{range, std::move(url)});
}

bool TextView::interactWithLinkAt(std::size_t position) {
    RT_MAIN_THREAD_ONLY();
    for (const auto& link : links_) {
        if (position < link.range.location || position >= link.range.location + link.range.length) continue;
        bool follow = !textDelegate_ || textDelegate_->textViewShouldInteractWithURL(*this, link.url, link.range);
        if (follow) Application::sharedApplication()->openURL(link.url);
        return follow;
    }
    return false;
}

// ---- editing ---------------------------------------------------------------------------------------

bool TextView::becomeFirstResponder() {
    RT_MAIN_THREAD_ONLY();
    if (isFirstResponder()) return true;
    if (!canBecomeFirstResponder()) return false;
    if (textDelegate_ && !textDelegate_->textViewShouldBeginEditing(*this)) return false;
    if (!ScrollView::becomeFirstResponder()) return false;
    auto keep = selfAs<TextView>();
    {
        rt::ChangeScope scope(*this, {"editing"});
        editing_ = true;
    }
    if (textDelegate_) textDelegate_->textViewDidBeginEditing(*this);
    fnd::NotificationCenter::defaultCenter()->post(TextViewTextDidBeginEditingNotification, keep);
    return true;
}

bool TextView::resignFirstResponder() {
    RT_MAIN_THREAD_ONLY();
    if (!isFirstResponder()) return true;
    if (textDelegate_ && !textDelegate_->textViewShouldEndEditing(*this)) return false;
    if (!ScrollView::resignFirstResponder()) return false;
    auto keep = selfAs<TextView>();
    {
        rt::ChangeScope scope(*this, {"editing"});
        editing_ = false;
    }
    if (textDelegate_) textDelegate_->textViewDidEndEditing(*this);
    fnd::NotificationCenter::defaultCenter()->post(TextViewTextDidEndEditingNotification, keep);
    return true;
}

void TextView::replace(TextRange range, const std::string& with) {
    if (!editing_) return;
    range.location = std::min(range.location, text_.size());
    range.length = std::min(range.length, text_.size() - range.location);
    if (textDelegate_ && !textDelegate_->textViewShouldChangeText(*this, range, with)) return;
    std::string next = text_;
    next.replace(range.location, range.length, with);
    auto keep = selfAs<TextView>();
    setText(std::move(next));
    if (textDelegate_) textDelegate_->textViewDidChange(*this);
    fnd::NotificationCenter::defaultCenter()->post(TextViewTextDidChangeNotification, keep);
}

void TextView::insertText(const std::string& s) { RT_MAIN_THREAD_ONLY(); replace(TextRange{text_.size(), 0}, s); }

void TextView::deleteBackward() {
    RT_MAIN_THREAD_ONLY();
    if (text_.empty()) return;
    std::size_t at = charStart(text_, text_.size() - 1);
    replace(TextRange{at, text_.size() - at}, "");
}

void TextView::touchesEnded(const TouchSet& touches) {
    RT_MAIN_THREAD_ONLY();
    if (touches.empty()) return;
    Point p = touches.front()->locationInView(this);
    if (!rectContainsPoint(bounds(), p)) return;
    if (interactWithLinkAt(closestPositionToPoint(p))) return;
    if (editable_) becomeFirstResponder();
}

}  // namespace ui
