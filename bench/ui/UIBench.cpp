// Layout and rendering of a 200-view tree at 1280 x 720 per frame (as it stands, and
// with every label's text new on each frame), and a label's sizeThatFits, each against
// the same work done directly with Cairo and Pango.

#include <string>
#include <vector>

#include <benchmark/benchmark.h>
#include <cairo.h>
#include <pango/pangocairo.h>

#include <fnd/RunLoop.h>
#include <ui/Label.h>
#include <ui/Renderer.h>
#include <ui/Text.h>
#include <ui/View.h>

#include "../support/GridTree.h"
#include "CairoDrawing.h"

namespace {

using namespace zidbench;

void BM_Toolkit_LayoutAndRender200Views(benchmark::State& state) {
    fnd::RunLoop::main();
    auto tree = makeTree();
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, int(kWidth), int(kHeight));
    for (auto _ : state) {
        tree->setNeedsLayout();
        tree->layoutIfNeeded();
        cairo_t* cr = cairo_create(s);
        cairo_set_operator(cr, CAIRO_OPERATOR_CLEAR);
        cairo_paint(cr);
        cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
        ui::renderView(*tree, cr, 1.0);
        cairo_destroy(cr);
        cairo_surface_flush(s);
        benchmark::DoNotOptimize(cairo_image_surface_get_data(s));
    }
    cairo_surface_destroy(s);
    fnd::RunLoop::main()->discardPending();
}

// The same frame with every label's text new on each frame (two texts of the same
// length in turn), so no label can reuse the text it laid out for the frame before.
void BM_Toolkit_LayoutAndRender200ViewsNewTexts(benchmark::State& state) {
    fnd::RunLoop::main();
    auto tree = makeTree();
    std::vector<rt::Ref<ui::Label>> labels;
    for (const auto& sub : tree->subviews())
        if (auto label = std::dynamic_pointer_cast<ui::Label>(sub)) labels.push_back(label);
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, int(kWidth), int(kHeight));
    bool odd = false;
    for (auto _ : state) {
        odd = !odd;
        for (auto& label : labels) {
            std::string text = label->text();
            text[0] = odd ? 'c' : 'C';
            label->setText(std::move(text));
        }
        tree->setNeedsLayout();
        tree->layoutIfNeeded();
        cairo_t* cr = cairo_create(s);
        cairo_set_operator(cr, CAIRO_OPERATOR_CLEAR);
        cairo_paint(cr);
        cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
        ui::renderView(*tree, cr, 1.0);
        cairo_destroy(cr);
        cairo_surface_flush(s);
        benchmark::DoNotOptimize(cairo_image_surface_get_data(s));
    }
    cairo_surface_destroy(s);
    fnd::RunLoop::main()->discardPending();
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

const char* kTitle = "The quick brown fox jumps over the lazy dog while the stream keeps playing";

void BM_Toolkit_LabelSizeThatFits(benchmark::State& state) {
    auto label = rt::make<ui::Label>();
    label->setFont(ui::Font::systemFontOfSize(14));
    label->setNumberOfLines(0);
    label->setText(kTitle);
    for (auto _ : state) benchmark::DoNotOptimize(label->sizeThatFits({200, 1000}));
}

void BM_Raw_PangoMeasure(benchmark::State& state) {
    ui::ensureFontConfiguration();
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 1, 1);
    cairo_t* cr = cairo_create(s);
    PangoFontDescription* font = pango_font_description_from_string("DejaVu Sans 14px");
    for (auto _ : state) {
        PangoLayout* layout = pango_cairo_create_layout(cr);
        pango_layout_set_font_description(layout, font);
        pango_layout_set_width(layout, 200 * PANGO_SCALE);
        pango_layout_set_wrap(layout, PANGO_WRAP_WORD_CHAR);
        pango_layout_set_text(layout, kTitle, -1);
        int w = 0, h = 0;
        pango_layout_get_size(layout, &w, &h);
        benchmark::DoNotOptimize(w + h);
        g_object_unref(layout);
    }
    pango_font_description_free(font);
    cairo_destroy(cr);
    cairo_surface_destroy(s);
}

}  // namespace

BENCHMARK(BM_Toolkit_LayoutAndRender200Views)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Toolkit_LayoutAndRender200ViewsNewTexts)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Raw_CairoPango200Shapes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Toolkit_LabelSizeThatFits)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Raw_PangoMeasure)->Unit(benchmark::kMicrosecond);
