// A playback-time change reaching a full recorded toolbar through its bindings (slider,
// elapsed time, time per duration) against setting the same values on the same
// widgets directly (also as alternating pairs, the figures quoted); and rendering a
// full recorded toolbar at 1280 x 110 against drawing the same images and texts with
// Cairo and Pango.

#include <chrono>
#include <string>

#include <benchmark/benchmark.h>
#include <cairo.h>
#include <pango/pangocairo.h>

#include <QXCorePlayer/Core/Resources/QXCorePlayerResources.h>
#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPContentDurationToolbarItem.h>
#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPFullscreenToolbarItem.h>
#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPPlayButtonToolbarItem.h>
#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPPlaybackSliderToolbarItem.h>
#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPPlaybackTimeLabelToolbarItem.h>
#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPTimePerDurationToolbarItem.h>
#include <QXUIKit/Toolbar/QXToolbar.h>
#include <fnd/RunLoop.h>
#include <ui/Image.h>
#include <ui/Renderer.h>
#include <ui/Slider.h>
#include <ui/Text.h>

#include "AlternatingPairs.h"
#include "Core/PlaybackDoubles.h"
#include "CairoDrawing.h"

namespace {

constexpr double kWidth = 1280, kHeight = 110;

struct RecordedBar {
    rt::Ref<zidtest::ScriptedPlayer> player;
    rt::Ref<ui::View> host;
    rt::Ref<zid::CPPlaybackSliderToolbarItem> slider;
    rt::Ref<zid::CPPlaybackTimeLabelToolbarItem> time;
    rt::Ref<zid::CPTimePerDurationToolbarItem> perDuration;

    RecordedBar() {
        fnd::RunLoop::main();
        player = rt::make<zidtest::ScriptedPlayer>();
        player->setTimeInfo(zid::CPMediaTimingBase::timingWithDuration(3600));
        player->setPlaybackTime(605);
        host = rt::make<ui::View>(ui::Rect(0, 0, kWidth, kHeight));
        auto background = rt::make<ui::ImageView>(host->bounds());
        background->setImage(zid::qxCorePlayerImageNamed("player_player_bottombg_normal.png"));
        host->addSubview(background);
        auto bar = rt::make<zid::QXToolbar>(host->bounds());
        slider = rt::make<zid::CPPlaybackSliderToolbarItem>(ui::Rect(0, 0, 100, kHeight), player);
        slider->setToolbarAutoresizingMask(zid::QXToolbarItemAutoresizing::FlexibleWidth);
        time = rt::make<zid::CPPlaybackTimeLabelToolbarItem>(ui::Rect(0, 0, 60, kHeight), player);
        perDuration = rt::make<zid::CPTimePerDurationToolbarItem>(ui::Rect(0, 0, 120, kHeight), player);
        bar->setToolbarItems({rt::make<zid::CPPlayButtonToolbarItem>(ui::Rect(0, 0, 44, 44), player), time, slider,
                              perDuration, rt::make<zid::CPFullscreenToolbarItem>(ui::Rect(0, 0, 44, 44))},
                             false);
        host->addSubview(bar);
        host->layoutIfNeeded();
    }
};

/// A playback-time change through the bindings.
void changeThroughBindings(RecordedBar& bar, double t) {
    bar.player->setPlaybackTime(t);
    benchmark::DoNotOptimize(bar.time->label()->text());
}

/// What the bindings do, done directly: the slider's range and value, both texts.
void setWidgetsDirectly(RecordedBar& bar, double t) {
    const auto& slider = bar.slider->slider();
    slider->setMinimumValue(0);
    slider->setMaximumValue(3600);
    slider->setValue(float(t));
    bar.time->label()->setText(zid::CPTimeTextFromTime(t));
    bar.perDuration->label()->setText(zid::CPTimeTextFromTime(t) + " / " + zid::CPTimeTextFromTime(3600));
    benchmark::DoNotOptimize(bar.time->label()->text());
}

/// Changes between two times, one change per call.
struct Alternation {
    double t = 605;
    double next() { return t = t == 605 ? 1210 : 605; }
};

void BM_Toolbar_PlaybackTimeThroughBindings(benchmark::State& state) {
    RecordedBar bar;
    Alternation times;
    for (auto _ : state) changeThroughBindings(bar, times.next());
}

void BM_Direct_SetSameWidgets(benchmark::State& state) {
    RecordedBar bar;
    Alternation times;
    for (auto _ : state) setWidgetsDirectly(bar, times.next());
}

/// The two above as alternating pairs in one bar each: a side times 2,000 changes and
/// answers the seconds per change.
void BM_Toolbar_PlaybackTimeVsDirect(benchmark::State& state) {
    RecordedBar bound, direct;
    auto timed = [](RecordedBar& bar, void (*change)(RecordedBar&, double)) {
        constexpr int kChanges = 2000;
        Alternation times;
        auto started = std::chrono::steady_clock::now();
        for (int i = 0; i < kChanges; ++i) change(bar, times.next());
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count() / kChanges;
    };
    zidbench::runAlternatingPairs(
        state, 31, "ns", 1e9, [&] { return timed(bound, changeThroughBindings); },
        [&] { return timed(direct, setWidgetsDirectly); });
}

void BM_Toolbar_Render1280x110(benchmark::State& state) {
    RecordedBar bar;
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, int(kWidth), int(kHeight));
    for (auto _ : state) {
        cairo_t* cr = cairo_create(s);
        cairo_set_operator(cr, CAIRO_OPERATOR_CLEAR);
        cairo_paint(cr);
        cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
        ui::renderView(*bar.host, cr, 1.0);
        cairo_destroy(cr);
        cairo_surface_flush(s);
        benchmark::DoNotOptimize(cairo_image_surface_get_data(s));
    }
    cairo_surface_destroy(s);
    fnd::RunLoop::main()->discardPending();
}

/// The image stretched into the rectangle.
void paint(cairo_t* cr, const ui::Image& image, double x, double y, double w, double h) {
    cairo_save(cr);
    cairo_translate(cr, x, y);
    cairo_scale(cr, w / image.pixelWidth(), h / image.pixelHeight());
    cairo_set_source_surface(cr, image.surface(), 0, 0);
    cairo_paint(cr);
    cairo_restore(cr);
}

void text(cairo_t* cr, PangoLayout* layout, const char* s, double x, double y) {
    pango_layout_set_text(layout, s, -1);
    cairo_move_to(cr, x, y);
    pango_cairo_show_layout(cr, layout);
}

void BM_Raw_CairoPangoToolbar(benchmark::State& state) {
    ui::ensureFontConfiguration();
    auto bg = zid::qxCorePlayerImageNamed("player_player_bottombg_normal.png");
    auto play = zid::qxCorePlayerImageNamed("player_playbutton_normal.png");
    auto played = zid::qxCorePlayerImageNamed("player_seekbar_w15h0_normal.png");
    auto rest = zid::qxCorePlayerImageNamed("player_seekbarbg_w15h0_normal.png");
    auto knob = zid::qxCorePlayerImageNamed("player_seekbarknob_normal.png");
    auto full = zid::qxCorePlayerImageNamed("player_fullscreen_normal.png");
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, int(kWidth), int(kHeight));
    PangoFontDescription* font = pango_font_description_from_string("DejaVu Sans Bold 10px");
    for (auto _ : state) {
        cairo_t* cr = cairo_create(s);
        cairo_set_operator(cr, CAIRO_OPERATOR_CLEAR);
        cairo_paint(cr);
        cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
        paint(cr, *bg, 0, 0, kWidth, kHeight);
        paint(cr, *play, 7, 40, 30, 30);
        paint(cr, *played, 104, 53, 300, 4);
        paint(cr, *rest, 404, 53, 700, 4);
        paint(cr, *knob, 396, 47, 16, 16);
        paint(cr, *full, 1236, 40, 30, 30);
        PangoLayout* layout = pango_cairo_create_layout(cr);
        pango_layout_set_font_description(layout, font);
        cairo_set_source_rgb(cr, 1, 1, 1);
        text(cr, layout, "10:05", 60, 49);
        text(cr, layout, "10:05 / 01:00:00", 1120, 49);
        g_object_unref(layout);
        cairo_destroy(cr);
        cairo_surface_flush(s);
        benchmark::DoNotOptimize(cairo_image_surface_get_data(s));
    }
    pango_font_description_free(font);
    cairo_surface_destroy(s);
}

}  // namespace

BENCHMARK(BM_Toolbar_PlaybackTimeThroughBindings)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Direct_SetSameWidgets)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Toolbar_PlaybackTimeVsDirect)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Toolbar_Render1280x110)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Raw_CairoPangoToolbar)->Unit(benchmark::kMillisecond);
