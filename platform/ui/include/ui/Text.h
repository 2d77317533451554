#pragma once
// Text measuring and drawing through Pango: plain and attributed strings with a font,
// colours, paragraph alignment, line breaking, a line limit and a shadow.

#include <optional>
#include <string>
#include <vector>

#include <ui/CairoTypes.h>

#include <ui/Color.h>
#include <ui/Font.h>
#include <ui/Geometry.h>

namespace ui {

enum class TextAlignment { Left = 0, Center = 1, Right = 2, Justified = 3, Natural = 4 };
enum class LineBreakMode {
    WordWrapping = 0,
    CharWrapping = 1,
    Clipping = 2,
    TruncatingHead = 3,
    TruncatingTail = 4,
    TruncatingMiddle = 5
};

struct Shadow {
    rt::Ref<Color> color;
    Size offset;
    double blurRadius = 0;
};

/// Attributes of a run of text; what is unset falls back to the drawing defaults.
struct TextAttributes {
    rt::Ref<Font> font;
    rt::Ref<Color> foregroundColor;
    rt::Ref<Color> backgroundColor;
    std::optional<TextAlignment> alignment;
    std::optional<LineBreakMode> lineBreakMode;
    std::optional<Shadow> shadow;
};

/// Text with attributes over byte ranges of its UTF-8 form.
struct AttributedString {
    struct Run {
        std::size_t start = 0, length = 0;
        TextAttributes attributes;
    };
    std::string text;
    std::vector<Run> runs;

    AttributedString() = default;
    AttributedString(std::string text, TextAttributes attributes = {});
    void addAttributes(std::size_t start, std::size_t length, TextAttributes attributes);
    /// The attributes of the first run (the paragraph's alignment and line break).
    TextAttributes firstAttributes() const;
};

/// How a block of text is laid out: defaults for unset attributes, the line limit
/// (0: unlimited) and how a line that does not fit is broken.
struct TextLayout {
    rt::Ref<Font> font;
    rt::Ref<Color> color;
    TextAlignment alignment = TextAlignment::Natural;
    LineBreakMode lineBreakMode = LineBreakMode::WordWrapping;
    int numberOfLines = 0;
    std::optional<Shadow> shadow;
    /// Draw the kept lines centred vertically in the rectangle instead of at its top.
    bool centerVertically = false;
};

/// The size of the text laid out within `constraint` (an infinite or non-positive
/// extent is unconstrained): lines wrap at the width; only lines that fit in the height
/// count (the first always does). Fractional: callers round as they need.
Size measureText(const AttributedString& text, Size constraint, const TextLayout& layout);

/// Ensures the library's pinned font configuration is in force. The file is looked for
/// in ZID_UI_FONTCONFIG_FILE, beside the executable (../share/zidoredider/fonts), under
/// the install prefix, then in the source tree. Called by every text
/// and font operation; a host may call it first thing to make sure it wins.
void ensureFontConfiguration();
/// The fontconfig file in force (empty when none was found: text still draws, but
/// with whatever fonts the machine has).
std::string fontConfigurationFile();

}  // namespace ui
