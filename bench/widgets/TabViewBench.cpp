// A full swipe from page 0 to page 1 of a tab view at 1280 x 720, one frame every
// sixtieth of a second on a virtual clock: each frame moves the pages, lets the tab
// view follow (selection, marker offset, queued updates), lays out and renders.
// Against it: the same frame drawn with Cairo and Pango directly (bar, tab titles,
// marker, separator and the two visible pages with their centred titles).

#include <algorithm>

#include <benchmark/benchmark.h>
#include <cairo.h>
#include <pango/pangocairo.h>

#include <QXUIKit/TabView/QXTabView.h>
#include <fnd/Clock.h>
#include <fnd/RunLoop.h>
#include <ui/Label.h>
#include <ui/Renderer.h>
#include <ui/Text.h>
#include "CairoDrawing.h"

namespace {

constexpr double kWidth = 1280, kHeight = 720;
constexpr int kFrames = 60;
const char* kTitles[] = {"News", "Sports"};
const double kShades[] = {0.9, 0.75};

cairo_t* cleared(cairo_surface_t* s) {
    cairo_t* cr = cairo_create(s);
    cairo_set_operator(cr, CAIRO_OPERATOR_CLEAR);
    cairo_paint(cr);
    cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
    return cr;
}

double swipeOffset(int frame) { return kWidth * static_cast<double>(frame % (kFrames + 1)) / kFrames; }

void BM_TabView_SwipeFrame(benchmark::State& state) {
    auto loop = fnd::RunLoop::main();
    auto clock = rt::make<fnd::VirtualClock>();
    loop->setClock(clock);
    auto view = rt::make<zid::QXTabView>(ui::Rect(0, 0, kWidth, kHeight));
    for (int i = 0; i < 2; ++i) {
        auto page = rt::make<ui::Label>();
        page->setText(std::string("Page ") + kTitles[i]);
        page->setTextAlignment(ui::TextAlignment::Center);
        page->setBackgroundColor(ui::Color::white(kShades[i], 1));
        view->addItem(zid::QXTabItem::itemWithView(page, kTitles[i]), false);
    }
    loop->drain();
    view->layoutIfNeeded();
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, int(kWidth), int(kHeight));
    int frame = 0;
    for (auto _ : state) {
        view->contentScrollView()->setContentOffset(ui::Point{swipeOffset(frame++), 0});
        clock->advance(1.0 / 60);
        loop->drain();
        ui::runLayoutPass();
        cairo_t* cr = cleared(s);
        ui::renderView(*view, cr, 1.0);
        cairo_destroy(cr);
        cairo_surface_flush(s);
        benchmark::DoNotOptimize(cairo_image_surface_get_data(s));
    }
    cairo_surface_destroy(s);
    loop->discardPending();
    loop->setClock(nullptr);
}

void text(cairo_t* cr, PangoFontDescription* font, const char* t, double x, double y, double w, double h, double grey) {
    PangoLayout* layout = pango_cairo_create_layout(cr);
    pango_layout_set_font_description(layout, font);
    pango_layout_set_text(layout, t, -1);
    int tw = 0, th = 0;
    pango_layout_get_size(layout, &tw, &th);
    cairo_save(cr);
    cairo_rectangle(cr, x, y, w, h);
    cairo_clip(cr);
    cairo_set_source_rgb(cr, grey, grey, grey);
    cairo_move_to(cr, x + (w - tw / double(PANGO_SCALE)) / 2, y + (h - th / double(PANGO_SCALE)) / 2);
    pango_cairo_show_layout(cr, layout);
    cairo_restore(cr);
    g_object_unref(layout);
}

void BM_Raw_CairoPangoSwipeFrame(benchmark::State& state) {
    ui::ensureFontConfiguration();  // the same pinned fonts
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, int(kWidth), int(kHeight));
    PangoFontDescription* tabFont = pango_font_description_from_string("DejaVu Sans 14px");
    PangoFontDescription* pageFont = pango_font_description_from_string("DejaVu Sans 17px");
    const double tabX[] = {0, 80}, tabW[] = {60, 70};
    int frame = 0;
    for (auto _ : state) {
        double offset = swipeOffset(frame++);
        int selected = offset / kWidth + 0.5 >= 1 ? 1 : 0;
        double fraction = (offset - kWidth * selected) / kWidth;
        cairo_t* cr = cleared(s);
        // The bar: background, tabs, marker strip, marker, separator.
        cairo_set_source_rgb(cr, 1, 1, 1);
        cairo_rectangle(cr, 0, 0, kWidth, 47);
        cairo_fill(cr);
        for (int i = 0; i < 2; ++i) {
            double bg = i == selected ? 2.0 / 3 : 1;
            cairo_set_source_rgb(cr, bg, bg, bg);
            cairo_rectangle(cr, tabX[i], 0, tabW[i], 44);
            cairo_fill(cr);
            text(cr, tabFont, kTitles[i], tabX[i], 0, tabW[i], 44, i == selected ? 1 : 0);
        }
        cairo_set_source_rgb(cr, 2.0 / 3, 2.0 / 3, 2.0 / 3);
        cairo_rectangle(cr, 0, 44, kWidth, 3);
        cairo_fill(cr);
        int other = fraction > 0 ? 1 : 0;
        double f = std::abs(fraction);
        double mx = (1 - f) * tabX[selected] + f * tabX[other], mw = (1 - f) * tabW[selected] + f * tabW[other];
        cairo_set_source_rgb(cr, 0, 0, 1);
        cairo_rectangle(cr, mx - 10, 45, mw + 20, 2);
        cairo_fill(cr);
        // The two pages, shifted by the offset.
        for (int i = 0; i < 2; ++i) {
            double x = kWidth * i - offset;
            if (x >= kWidth || x + kWidth <= 0) continue;
            cairo_set_source_rgb(cr, kShades[i], kShades[i], kShades[i]);
            cairo_rectangle(cr, std::max(0.0, x), 47, std::min(kWidth, x + kWidth) - std::max(0.0, x), kHeight - 47);
            cairo_fill(cr);
            std::string title = std::string("Page ") + kTitles[i];
            text(cr, pageFont, title.c_str(), x, 47, kWidth, kHeight - 47, 0);
        }
        cairo_destroy(cr);
        cairo_surface_flush(s);
        benchmark::DoNotOptimize(cairo_image_surface_get_data(s));
    }
    pango_font_description_free(tabFont);
    pango_font_description_free(pageFont);
    cairo_surface_destroy(s);
}

}  // namespace

BENCHMARK(BM_TabView_SwipeFrame)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Raw_CairoPangoSwipeFrame)->Unit(benchmark::kMillisecond);
