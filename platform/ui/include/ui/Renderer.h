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
/// Draws the view's subtree on a Cairo context whose user space is the view's bounds
/// coordinates (the view's own transform and position are not applied).
void renderView(View& view, cairo_t* cr, double scale = 1.0);
/// The same for a host that composites moving pictures itself: each picture a view draws
/// with ImageContext::drawPicture that it can place is added to `pictures` (in the
/// target's pixels) and its area left transparent, the rest of the tree drawn over it as
/// usual. With no vector this is renderView.
void renderViewLeavingPictures(View& view, cairo_t* cr, double scale, std::vector<PlacedPicture>* pictures);
/// The same, also naming in `drawers` the views whose own drawing drew a picture, in the
/// order drawn, for redrawPictures; a picture that could not be placed is named by an
/// empty entry (it is in the tree's pixels: a new one needs the tree drawn).
void renderViewLeavingPictures(View& view, cairo_t* cr, double scale, std::vector<PlacedPicture>* pictures,
                               std::vector<rt::Weak<View>>* drawers);
/// Runs again only the own drawing of the views a pass under `root` named as drawing
/// pictures, each under the map that pass drew it with (`cr` set up as for that pass,
/// with any target: nothing but the pictures is kept), adding their pictures to
/// `pictures`. For a host whose tree did not change when new pictures came. False when a
/// view is gone or no longer in `root`, or drew a picture it could not place: the tree
/// must then be drawn in full.
bool redrawPictures(View& root, cairo_t* cr, double scale, const std::vector<rt::Weak<View>>& drawers,
                    std::vector<PlacedPicture>& pictures);
/// Draws the view as its superview would, with its center, transform and alpha.
void renderViewInSuperview(View& view, cairo_t* cr, double scale = 1.0);

namespace detail {
/// A picture of the view's content at the main screen's scale (for cross-dissolves).
cairo_surface_t* snapshotContent(View& view);
}  // namespace detail

}  // namespace ui
