// Laying out and rendering a 1280 x 720 player view with the default recorded controls
// shown over a video frame, against drawing the same frame, images and texts directly
// with Cairo and Pango.

#include <cstdint>
#include <cstring>
#include <vector>

#include <benchmark/benchmark.h>
#include <cairo.h>
#include <pango/pangocairo.h>

#include <QXCorePlayer/Core/Resources/QXCorePlayerResources.h>
#include <QXCorePlayer/Core/View/PlaybackControl/CPDefaultPlaybackControlFactory.h>
#include <QXCorePlayer/Core/View/PlaybackControl/CPToolbarPlaybackControl.h>
#include <QXCorePlayer/Core/View/PlayerView/CPPlayerView.h>
#include <fnd/RunLoop.h>
#include <ui/ImageView.h>
#include <ui/Renderer.h>
#include <ui/Text.h>

#include "Core/PlaybackDoubles.h"
#include "CairoDrawing.h"

namespace {

constexpr int kWidth = 1280, kHeight = 720;

/// A frame of colour bars, as a decoded video frame would arrive.
rt::Ref<ui::Image> videoFrame() {
    std::vector<std::uint8_t> pixels(std::size_t(kWidth) * kHeight * 4);
    const std::uint32_t bars[] = {0xffc0c0c0, 0xffc0c000, 0xff00c0c0, 0xff00c000, 0xffc000c0, 0xffc00000, 0xff0000c0};
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            std::uint32_t p = bars[x * 7 / kWidth];
            std::memcpy(&pixels[(std::size_t(y) * kWidth + x) * 4], &p, 4);
        }
    return ui::Image::imageWithPixels(pixels.data(), pixels.size(), kWidth, kHeight);
}

/// A player that shows the frame as its video view.
class FramePlayer : public zidtest::ScriptedPlayer {
    RT_CLASS(FramePlayer, zidtest::ScriptedPlayer)
public:
    rt::Ref<rt::Object> presentationLayer() const override { return video; }
    rt::Ref<ui::ImageView> video;
};

class FramePlayers : public zidtest::ScriptedPlayerFactory {
    RT_CLASS(FramePlayers, zidtest::ScriptedPlayerFactory)
public:
    rt::Ref<zid::ICPMediaPlayer> playerForSource(const rt::Ref<zid::ICPMediaSource>& source) override {
        auto player = rt::make<FramePlayer>();
        player->video = rt::make<ui::ImageView>(ui::Rect(0, 0, kWidth, kHeight));
        player->video->setImage(videoFrame());
        player->setSource(source);
        player->setTimeInfo(zid::CPMediaTimingBase::timingWithDuration(3600));
        player->setPlaybackTime(605);
        player->script(zid::CPPlayerState::Playing);
        return player;
    }
};

void BM_PlayerView_LayoutAndRender1280x720(benchmark::State& state) {
    fnd::RunLoop::main();
    auto source = rt::make<zidtest::ScriptedSource>();
    source->setSourceType(zid::CPMediaSourceType::Recorded);
    source->setTitle("Morning show");
    auto session = zid::CPPlaybackSession::sessionWithMediaSource(source, rt::make<FramePlayers>());
    auto view = rt::make<zid::CPPlayerView>(ui::Rect(0, 0, kWidth, kHeight),
                                            rt::make<zid::CPDefaultPlaybackControlFactory>());
    view->setSession(session);
    source->setRealizing();
    source->setRealized();
    view->showControls(true, false, zid::kControlHideDelayNever);
    view->layoutIfNeeded();
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, kWidth, kHeight);
    for (auto _ : state) {
        view->setNeedsLayout();
        view->layoutIfNeeded();
        cairo_t* cr = cairo_create(s);
        ui::renderView(*view, cr, 1.0);
        cairo_destroy(cr);
        cairo_surface_flush(s);
        benchmark::DoNotOptimize(cairo_image_surface_get_data(s));
    }
    cairo_surface_destroy(s);
    fnd::RunLoop::main()->discardPending();
}

void paintImage(cairo_t* cr, const ui::Image& image, double x, double y, double w, double h) {
    cairo_save(cr);
    cairo_translate(cr, x, y);
    cairo_scale(cr, w / image.pixelWidth(), h / image.pixelHeight());
    cairo_set_source_surface(cr, image.surface(), 0, 0);
    cairo_paint(cr);
    cairo_restore(cr);
}

void showText(cairo_t* cr, PangoLayout* layout, const char* s, double x, double y) {
    pango_layout_set_text(layout, s, -1);
    cairo_move_to(cr, x, y);
    pango_cairo_show_layout(cr, layout);
}

void BM_Raw_CairoPangoPlayerView(benchmark::State& state) {
    ui::ensureFontConfiguration();
    auto frame = videoFrame();
    auto top = zid::qxCorePlayerImageNamed("player_player_topbg_normal.png");
    auto bottom = zid::qxCorePlayerImageNamed("player_player_bottombg_normal.png");
    auto play = zid::qxCorePlayerImageNamed("player_pausebutton_normal.png");
    auto played = zid::qxCorePlayerImageNamed("player_seekbar_w15h0_normal.png");
    auto rest = zid::qxCorePlayerImageNamed("player_seekbarbg_w15h0_normal.png");
    auto knob = zid::qxCorePlayerImageNamed("player_seekbarknob_normal.png");
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, kWidth, kHeight);
    PangoFontDescription* small = pango_font_description_from_string("DejaVu Sans Bold 10px");
    PangoFontDescription* title = pango_font_description_from_string("DejaVu Sans 18px");
    for (auto _ : state) {
        cairo_t* cr = cairo_create(s);
        cairo_set_source_rgb(cr, 0, 0, 0);
        cairo_paint(cr);
        paintImage(cr, *frame, 0, 0, kWidth, kHeight);
        paintImage(cr, *top, 0, 0, kWidth, 110);
        paintImage(cr, *bottom, 0, kHeight - 110, kWidth, 110);
        paintImage(cr, *play, 15, kHeight - 46, 30, 30);
        paintImage(cr, *played, 117, kHeight - 33, 300, 4);
        paintImage(cr, *rest, 417, kHeight - 33, 700, 4);
        paintImage(cr, *knob, 409, kHeight - 39, 16, 16);
        PangoLayout* layout = pango_cairo_create_layout(cr);
        cairo_set_source_rgb(cr, 1, 1, 1);
        pango_layout_set_font_description(layout, title);
        showText(cr, layout, "Morning show", 580, 14);
        pango_layout_set_font_description(layout, small);
        showText(cr, layout, "10:05", 66, kHeight - 38);
        showText(cr, layout, "01:00:00", 1130, kHeight - 38);
        g_object_unref(layout);
        cairo_destroy(cr);
        cairo_surface_flush(s);
        benchmark::DoNotOptimize(cairo_image_surface_get_data(s));
    }
    pango_font_description_free(small);
    pango_font_description_free(title);
    cairo_surface_destroy(s);
}

}  // namespace

BENCHMARK(BM_PlayerView_LayoutAndRender1280x720)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Raw_CairoPangoPlayerView)->Unit(benchmark::kMillisecond);
