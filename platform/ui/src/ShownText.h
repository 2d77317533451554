#pragma once
// The attributed text an editable text control shows, and how code sets it.

#include <optional>
#include <string>

#include <rt/Key.h>
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

/// Plain text set by code: stored under the control's text key; attributes given before
/// are dropped.
template <class Control>
void setPlainText(Control& control, const rt::Key<Control, std::string>& key, std::optional<AttributedString>& given,
                  std::string text) {
    given.reset();
    key.set(control, std::move(text));
}

/// Attributed text set by code: its plain text is stored under the control's text key
/// and the attributes are kept (none leaves plain, empty text).
template <class Control>
void setGivenText(Control& control, const rt::Key<Control, std::string>& key, std::optional<AttributedString>& given,
                  std::optional<AttributedString> text) {
    key.set(control, text ? text->text : std::string());
    given = std::move(text);
}

}  // namespace ui::detail
