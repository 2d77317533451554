#include "Views/QXTextField.h"

#include <cmath>

#include <RuzEzo/Extensions/KeypathSignalCategory.h>
#include <ui/ImageContext.h>
#include "CairoDrawing.h"

namespace zid {

namespace {
ui::Rect inset(const ui::Rect& r, const ui::EdgeInsets& e) {
    return ui::Rect(r.origin.x + e.left, r.origin.y + e.top, r.size.width - (e.left + e.right),
                    r.size.height - (e.top + e.bottom));
}
}  // namespace

QXTextField::QXTextField(const ui::Rect& frame) : QXFocusSignalling(frame) { setDefaultPlaceholderAttributes(); }

void QXTextField::setDefaultPlaceholderAttributes() {
    placeholderFont_ = font();
    placeholderColor_ = ui::Color::lightGrayColor();
}

void QXTextField::setPlaceholderTextColor(rt::Ref<ui::Color> c) {
    placeholderColor_ = std::move(c);
    setNeedsDisplay();
}

void QXTextField::setPlaceholderFont(rt::Ref<ui::Font> f) {
    placeholderFont_ = std::move(f);
    setNeedsDisplay();
}

rt::Ref<ui::View> QXTextField::bottomBorderLine() {
    if (!line_) {
        ui::Rect b = bounds();
        line_ = rt::make<ui::View>(ui::Rect(b.origin.x, b.origin.y + b.size.height - 8.0, b.size.width, 1.0));
        addSubview(line_);
    }
    return line_;
}

void QXTextField::setBottomBorderLineColor(rt::Ref<ui::Color> c) {
    lineColor_ = std::move(c);
    bottomBorderLine()->setBackgroundColor(lineColor_);
    setNeedsDisplay();
}

void QXTextField::setContentInsents(ui::EdgeInsets e) {
    insets_ = e;
    setNeedsDisplay();
}

ui::Rect QXTextField::textRectForBounds(const ui::Rect& b) const { return inset(ui::TextField::textRectForBounds(b), insets_); }

ui::Rect QXTextField::placeholderRectForBounds(const ui::Rect& b) const {
    return inset(ui::TextField::placeholderRectForBounds(b), insets_);
}

void QXTextField::drawPlaceholderInRect(ui::ImageContext& context, const ui::Rect& rect) {
    ui::TextLayout layout;
    layout.font = placeholderFont_ ? placeholderFont_ : font();
    layout.color = placeholderColor_ ? placeholderColor_ : ui::Color::lightGrayColor();
    layout.numberOfLines = 1;
    layout.lineBreakMode = ui::LineBreakMode::TruncatingTail;
    ui::AttributedString text(placeholder());
    ui::Size measured = ui::measureText(text, rect.size, layout);
    double textHeight = std::ceil(measured.height);
    ui::Rect p = placeholderRectForBounds(bounds());
    // Centred in the inset placeholder rectangle: its own top (the top inset included)
    // plus half the room left.
    double y = p.origin.y + (p.size.height - textHeight) * 0.5;
    context.drawText(text, ui::Rect(rect.origin.x, y, rect.size.width, textHeight), layout);
}

void QXTextField::didResignFocus() {
    setNeedsLayout();
    layoutIfNeeded();
}

}  // namespace zid
