#pragma once
// The tree drawing the window host (a library of its own, over the toolkit's shared
// library) composites with. The toolkit's shared library exports no symbol whose
// signature names a drawing-library type, so the window host reaches these two through
// names of C linkage, which the library exports by name and which carry no signature.

#include <vector>

#include <ui/CairoTypes.h>
#include <ui/ImageContext.h>

namespace ui {

class View;

extern "C" {
/// renderViewLeavingPictures with the views that drew pictures (ui/Renderer.h).
void zid_ui_render_view_leaving_pictures(View& view, cairo_t* cr, double scale, std::vector<PlacedPicture>* pictures,
                                         std::vector<rt::Weak<View>>* drawers);
/// redrawPictures (ui/Renderer.h).
bool zid_ui_redraw_pictures(View& root, cairo_t* cr, double scale, const std::vector<rt::Weak<View>>& drawers,
                            std::vector<PlacedPicture>& pictures);
}

}  // namespace ui
