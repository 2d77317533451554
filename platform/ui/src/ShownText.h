#pragma once
// The attributed text an editable text control shows.

#include <optional>
#include <string>

#include <ui/Text.h>

namespace ui::detail {

/// The attributed text the control was given, or else its plain text in its font and colour.
inline AttributedString shownText(const std::optional<AttributedString>& given, const std::string& text,
                                  const rt::Ref<Font>& font, const rt::Ref<Color>& color) {
    if (given) return *given;
    TextAttributes attributes;
    attributes.font = font;
    attributes.foregroundColor = color;
    return AttributedString(text, attributes);
}

}  // namespace ui::detail
