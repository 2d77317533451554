#pragma once
// Text drawing that keeps its layout between draws: a view that draws the same text in
// a rectangle of the same size on every frame (a label during an animation) lays it out
// once, not on every frame.

#include <memory>

#include <ui/Text.h>

namespace ui::detail {

struct LaidText;

/// drawText, reusing the layout held in `kept` while the text, its attributes, the
/// layout's font, alignment, line breaking and line limit, and the rectangle's size are
/// those it was made for; otherwise the text is laid out again and `kept` holds the new
/// layout. The layout's colour, shadow and vertical centring apply on every draw.
Size drawTextKeepingLayout(cairo_t* cr, const AttributedString& text, const Rect& rect, const TextLayout& layout,
                           std::shared_ptr<LaidText>& kept);

}  // namespace ui::detail
