// A frame of the side menu's reveal and hide over a 1280 x 720 window whose content is
// the 200-view grid (with the content's shadow), against drawing the same grid directly
// with Cairo and Pango in the same process.

#include <benchmark/benchmark.h>
#include <cairo.h>
#include <pango/pangocairo.h>

#include <fnd/Clock.h>
#include <fnd/RunLoop.h>
#include <ui/Application.h>
#include <ui/Renderer.h>
#include <ui/Window.h>

#include "../support/GridTree.h"
#include "QXUIKit/SideMenu/QXSideMenuController.h"
#include "CairoDrawing.h"

namespace {

using namespace zidbench;

class GridController : public ui::ViewController {
    RT_CLASS(GridController, ui::ViewController)
public:
    void loadView() override { setView(makeTree()); }
};

/// One frame: a sixtieth of a second of the menu moving back and forth, then the
/// window drawn.
void BM_Toolkit_SideMenuFrame200Views(benchmark::State& state) {
    auto clock = rt::make<fnd::VirtualClock>();
    auto loop = fnd::RunLoop::main();
    loop->setClock(clock);
    auto window = rt::make<ui::Window>(ui::Rect(0, 0, kWidth, kHeight));
    window->makeKeyAndVisible();
    auto side = rt::make<zid::QXSideMenuController>();
    window->setRootViewController(side);
    auto menu = rt::make<ui::ViewController>();
    menu->view()->setBackgroundColor(ui::Color::rgba(0.16, 0.2, 0.3, 1));
    side->setMenuViewController(menu);
    side->setContentViewController(rt::make<GridController>(), false);
    window->layoutIfNeeded();
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, int(kWidth), int(kHeight));
    for (auto _ : state) {
        if (!side->isBeingRevealed() && !side->isBeingClosed()) side->toggleSideMenu();
        clock->advance(1.0 / 60);
        loop->drain();
        window->layoutIfNeeded();
        cairo_t* cr = cairo_create(s);
        cairo_set_operator(cr, CAIRO_OPERATOR_CLEAR);
        cairo_paint(cr);
        cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
        ui::renderView(*window, cr, 1.0);
        cairo_destroy(cr);
        cairo_surface_flush(s);
        benchmark::DoNotOptimize(cairo_image_surface_get_data(s));
    }
    cairo_surface_destroy(s);
    ui::Application::sharedApplication()->reset();
    loop->discardPending();
    loop->setClock(nullptr);
}

void BM_Raw_CairoPango200Shapes(benchmark::State& state) {
    ui::ensureFontConfiguration();  // the same pinned fonts
    auto list = cells();
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, int(kWidth), int(kHeight));
    PangoFontDescription* font = pango_font_description_from_string("DejaVu Sans 12px");
    for (auto _ : state) {
        cairo_t* cr = cairo_create(s);
        cairo_set_operator(cr, CAIRO_OPERATOR_CLEAR);
        cairo_paint(cr);
        cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
        drawRawGrid(cr, list, font);
        cairo_destroy(cr);
        cairo_surface_flush(s);
        benchmark::DoNotOptimize(cairo_image_surface_get_data(s));
    }
    pango_font_description_free(font);
    cairo_surface_destroy(s);
}

}  // namespace

BENCHMARK(BM_Toolkit_SideMenuFrame200Views)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Raw_CairoPango200Shapes)->Unit(benchmark::kMillisecond);
