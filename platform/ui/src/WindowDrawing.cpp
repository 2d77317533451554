#include "WindowDrawing.h"

#include <ui/Renderer.h>
#include "CairoDrawing.h"

namespace ui {

void zid_ui_render_view_leaving_pictures(View& view, cairo_t* cr, double scale, std::vector<PlacedPicture>* pictures,
                                         std::vector<rt::Weak<View>>* drawers) {
    renderViewLeavingPictures(view, cr, scale, pictures, drawers);
}

bool zid_ui_redraw_pictures(View& root, cairo_t* cr, double scale, const std::vector<rt::Weak<View>>& drawers,
                            std::vector<PlacedPicture>& pictures) {
    return redrawPictures(root, cr, scale, drawers, pictures);
}

}  // namespace ui
