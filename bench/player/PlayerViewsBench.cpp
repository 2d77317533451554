// A status change at 1280 x 720 (the loading screen with its text built by the status
// controller, installed in the player's place, laid out and rendered) against drawing
// the same spinner and text with Cairo and Pango; and a logo load (fetch from the
// loopback image server, decode, place) against a bare libcurl GET of the same image
// and a gdk-pixbuf decode, both over TLS to the same server.

#include <cmath>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>
#include <cairo.h>
#include <curl/curl.h>
#include <gdk-pixbuf/gdk-pixbuf.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <pango/pangocairo.h>

#include <QXCorePlayer/Core/Core/CPPlaybackSession.h>
#include <QXCorePlayer/Core/Core/CPURLMediaSource.h>
#include <QXCorePlayer/Core/View/LogoLayer/CPLogoLayer.h>
#include <QXCorePlayer/Core/View/StatusViews/CPPlaybackStatusController.h>
#include <QXUIKit/ImageFetching/ImageViewImageFetching.h>
#include <fnd/RunLoop.h>
#include <net/HttpClient.h>
#include <peers/ImageServerPeer.h>
#include <ui/Color.h>
#include <ui/Renderer.h>
#include <ui/Text.h>

#include "Core/View/LogoLayer/CPLogoView.h"
#include "CairoDrawing.h"

namespace {

constexpr double kWidth = 1280, kHeight = 720;
const char* kMessage = "Connecting to the stream";

cairo_surface_t* clearedSurface(cairo_surface_t* s, cairo_t** out) {
    cairo_t* cr = cairo_create(s);
    cairo_set_operator(cr, CAIRO_OPERATOR_CLEAR);
    cairo_paint(cr);
    cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
    *out = cr;
    return s;
}

void BM_Status_ChangeBuildInstallRender(benchmark::State& state) {
    fnd::RunLoop::main();
    auto controller = rt::make<zid::CPPlaybackStatusController>();
    auto player = rt::make<ui::View>(ui::Rect(0, 0, kWidth, kHeight));
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, int(kWidth), int(kHeight));
    rt::Ref<ui::View> shown;
    for (auto _ : state) {
        auto view = controller->loadingStatusIndicatorWithMessage(kMessage);
        if (shown) shown->removeFromSuperview();
        view->setFrame(player->bounds());
        player->addSubview(view);
        shown = view;
        player->layoutIfNeeded();
        cairo_t* cr = nullptr;
        clearedSurface(s, &cr);
        ui::renderView(*player, cr, 1.0);
        cairo_destroy(cr);
        cairo_surface_flush(s);
        benchmark::DoNotOptimize(cairo_image_surface_get_data(s));
    }
    cairo_surface_destroy(s);
    fnd::RunLoop::main()->discardPending();
}

void BM_Raw_CairoPangoSpinnerAndText(benchmark::State& state) {
    ui::ensureFontConfiguration();  // the same pinned fonts
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, int(kWidth), int(kHeight));
    PangoFontDescription* font = pango_font_description_from_string("DejaVu Sans Bold 40px");
    for (auto _ : state) {
        cairo_t* cr = nullptr;
        clearedSurface(s, &cr);
        PangoLayout* layout = pango_cairo_create_layout(cr);
        pango_layout_set_font_description(layout, font);
        pango_layout_set_text(layout, kMessage, -1);
        int w = 0, h = 0;
        pango_layout_get_size(layout, &w, &h);
        double textW = w / double(PANGO_SCALE), textH = h / double(PANGO_SCALE);
        double groupW = 26 + textW, x = std::trunc((kWidth - groupW) / 2), y = (kHeight - 23) / 2;
        // Twelve fading spokes, as the spinner draws them.
        double cx = x + 13, cy = y + 11.5, radius = 10, width = 2;
        for (int i = 0; i < 12; ++i) {
            double angle = -M_PI / 2 + i * M_PI / 6;
            cairo_set_source_rgba(cr, 1, 1, 1, 1 - i / 12.0 * 0.85);
            cairo_set_line_width(cr, width);
            cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
            cairo_move_to(cr, cx + std::cos(angle) * radius * 0.5, cy + std::sin(angle) * radius * 0.5);
            cairo_line_to(cr, cx + std::cos(angle) * (radius - 1), cy + std::sin(angle) * (radius - 1));
            cairo_stroke(cr);
        }
        cairo_set_source_rgb(cr, 1, 1, 1);
        cairo_move_to(cr, x + 26, y + (23 - textH) / 2);
        pango_cairo_show_layout(cr, layout);
        g_object_unref(layout);
        cairo_destroy(cr);
        cairo_surface_flush(s);
        benchmark::DoNotOptimize(cairo_image_surface_get_data(s));
    }
    pango_font_description_free(font);
    cairo_surface_destroy(s);
}

// ---- logo loads ------------------------------------------------------------------------

std::string logoPng() {
    std::vector<std::uint8_t> px(200 * 100 * 4);
    for (std::size_t i = 0; i < px.size(); i += 4) {
        px[i] = static_cast<std::uint8_t>(i / 4 % 200);
        px[i + 1] = static_cast<std::uint8_t>(i / 800);
        px[i + 2] = 128;
        px[i + 3] = 255;
    }
    auto data = ui::Image::imageWithPixels(px.data(), px.size(), 200, 100)->pngData();
    return std::string(data.begin(), data.end());
}

peers::ImageServerPeer& imageServer() {
    static auto* server = [] {
        auto* s = new peers::ImageServerPeer();
        s->addImage("/logo.png", logoPng());
        return s;
    }();
    return *server;
}

void BM_Logo_FetchDecodePlace(benchmark::State& state) {
    fnd::RunLoop::main();
    auto& server = imageServer();
    auto client = rt::make<net::HttpClient>();
    client->setExtraTrustAnchors(peers::ImageServerPeer::trustAnchorPem());
    zid::QXImageRequestOperation::setHTTPClient(client);
    auto source = zid::CPURLMediaSource::sourceWithMediaURL("https://127.0.0.1/stream.m3u8");
    auto session = zid::CPPlaybackSession::sessionWithMediaSource(source, nullptr);
    auto layer = rt::make<zid::CPLogoLayer>(ui::Rect(0, 0, kWidth, kHeight));
    layer->setSession(session);
    auto info = rt::make<zid::VexaLogoInfo>();
    info->align = 2;
    info->margin = 10;
    info->url = server.url("/logo.png");
    for (auto _ : state) {
        state.PauseTiming();
        zid::qxSharedImageCache()->removeAllObjects();  // every round fetches
        source->setLogoInfos(rt::Value());
        state.ResumeTiming();
        source->setLogoInfos(rt::Value(rt::Value::Array{rt::Value(info)}));
        auto logo = layer->logoViews().at(0);
        fnd::RunLoop::main()->runUntil([&] { return logo->isValid(); }, 10);
        if (!logo->isValid()) state.SkipWithError("the logo did not load");
        benchmark::DoNotOptimize(logo->frame());
    }
    zid::QXImageRequestOperation::setHTTPClient(nullptr);
    fnd::RunLoop::main()->discardPending();
}

std::size_t collect(char* data, std::size_t size, std::size_t n, void* out) {
    static_cast<std::string*>(out)->append(data, size * n);
    return size * n;
}

// The same trust as the framework's client with an extra anchor: the system's anchors
// plus the test authority, the anchor store built for each transfer.
CURLcode addTestAuthority(CURL*, void* sslContext, void* anchor) {
    X509_STORE_add_cert(SSL_CTX_get_cert_store(static_cast<SSL_CTX*>(sslContext)), static_cast<X509*>(anchor));
    return CURLE_OK;
}

void BM_Raw_CurlGetPixbufDecode(benchmark::State& state) {
    auto& server = imageServer();
    const std::string& pem = peers::ImageServerPeer::trustAnchorPem();
    BIO* bio = BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size()));
    X509* anchor = PEM_read_bio_X509(bio, nullptr, nullptr, nullptr);
    BIO_free(bio);
    CURL* curl = curl_easy_init();
    std::string url = server.url("/logo.png");
    for (auto _ : state) {
        std::string body;
        curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
        curl_easy_setopt(curl, CURLOPT_CA_CACHE_TIMEOUT, 0L);
        curl_easy_setopt(curl, CURLOPT_SSL_CTX_FUNCTION, &addTestAuthority);
        curl_easy_setopt(curl, CURLOPT_SSL_CTX_DATA, anchor);
        curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, collect);
        curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
        curl_easy_setopt(curl, CURLOPT_TIMEOUT, 30L);
        if (curl_easy_perform(curl) != CURLE_OK) state.SkipWithError("the GET failed");
        GdkPixbufLoader* loader = gdk_pixbuf_loader_new();
        gdk_pixbuf_loader_write(loader, reinterpret_cast<const guchar*>(body.data()), body.size(), nullptr);
        gdk_pixbuf_loader_close(loader, nullptr);
        GdkPixbuf* pixbuf = gdk_pixbuf_loader_get_pixbuf(loader);
        if (!pixbuf) state.SkipWithError("no picture");
        benchmark::DoNotOptimize(pixbuf ? gdk_pixbuf_get_pixels(pixbuf) : nullptr);
        g_object_unref(loader);
    }
    curl_easy_cleanup(curl);
    X509_free(anchor);
}

}  // namespace

BENCHMARK(BM_Status_ChangeBuildInstallRender)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Raw_CairoPangoSpinnerAndText)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Logo_FetchDecodePlace)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1.0);
BENCHMARK(BM_Raw_CurlGetPixbufDecode)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1.0);
