#pragma once
// The toolkit's calls that take the drawing library's handles: the renderer's passes on
// a context, text and images drawn on one, paths replayed onto one. A host has none of
// the drawing library's headers and cannot name these types, so the calls stay inside
// the package (the toolkit, the kit above it, the window host, tests and benchmarks);
// a host draws through ImageContext, renderToImage and the window host instead.

#include <vector>

#include <ui/CairoTypes.h>

#include <rt/Object.h>
#include <ui/BezierPath.h>
#include <ui/Geometry.h>
#include <ui/Image.h>
#include <ui/ImageContext.h>
#include <ui/Text.h>

namespace ui {

class Color;
class View;

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

/// Draws the text in `rect` (at its top, or centred when the layout says so) on a
/// Cairo context whose user space is points, clipped to the rectangle. Answers the
/// size of what was laid out.
Size drawText(cairo_t* cr, const AttributedString& text, const Rect& rect, const TextLayout& layout);

/// Draws an image into rect on a Cairo context (user space in points), stretching the
/// middle only when it has cap insets; a template image is painted in `tint`.
void drawImage(cairo_t* cr, const Image& image, const Rect& rect, const Color* tint = nullptr, double alpha = 1.0);

/// Adds a rounded rectangle to the context's current path (radius clamped to half the
/// shorter side).
void addRoundedRectPath(cairo_t* cr, const Rect& r, double radius);

/// Replays a path onto a Cairo context as its current path.
struct BezierPathCairo {
    static void add(const BezierPath& path, cairo_t* cr);
};
inline void addToCairo(const BezierPath& path, cairo_t* cr) { BezierPathCairo::add(path, cr); }

}  // namespace ui
