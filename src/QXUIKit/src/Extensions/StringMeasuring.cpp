#include "Extensions/StringMeasuring.h"

#include <cmath>

namespace zid {

ui::Size boundingSizeWithAttributes(const std::string& text, const ui::TextAttributes& attributes, ui::Size size) {
    ui::TextLayout layout;
    layout.font = attributes.font;
    if (attributes.alignment) layout.alignment = *attributes.alignment;
    if (attributes.lineBreakMode) layout.lineBreakMode = *attributes.lineBreakMode;
    // Measuring wraps words; truncation modes only shape drawing.
    if (layout.lineBreakMode != ui::LineBreakMode::CharWrapping) layout.lineBreakMode = ui::LineBreakMode::WordWrapping;
    ui::Size s = ui::measureText(ui::AttributedString(text, attributes), size, layout);
    return {std::ceil(s.width), std::ceil(s.height)};
}

ui::Size boundingSizeWithFont(const std::string& text, const rt::Ref<ui::Font>& font, ui::Size size) {
    ui::TextAttributes attributes;
    attributes.font = font;
    return boundingSizeWithAttributes(text, attributes, size);
}

}  // namespace zid
