#pragma once
// The drawing library's compositing operator for a blend mode.

#include <cairo.h>

#include <ui/ImageContext.h>

namespace ui {

cairo_operator_t cairoOperator(BlendMode mode);

}  // namespace ui
