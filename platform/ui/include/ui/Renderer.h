#pragma once
// Draws a view tree into a Cairo ARGB32 surface: presented values (animations in
// flight), alpha, transforms, clipping, borders, corner radii, shadows, mask shapes
// and each view's own drawing. Output is deterministic: the same tree gives the same
// pixels, and the PNG the same bytes.

#include <string>

#include <ui/CairoTypes.h>

#include <rt/Object.h>
#include <ui/Image.h>
#include <ui/ImageContext.h>

namespace ui {

class View;

/// Renders the view (and its subtree) at the given scale into a new image of its
/// bounds size; the view's own transform and position are not applied.
rt::Ref<Image> renderToImage(View& view, double scale = 1.0);
/// Renders and writes a PNG; false when the file cannot be written.
bool renderToPNG(View& view, const std::string& path, double scale = 1.0);

namespace detail {
/// A picture of the view's content at the main screen's scale (for cross-dissolves).
cairo_surface_t* snapshotContent(View& view);
}  // namespace detail

}  // namespace ui
