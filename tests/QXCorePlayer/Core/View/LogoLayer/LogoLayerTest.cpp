// The logo layer against the loopback image server: placement by anchor and player
// height, rebuilding on new records, taps, and image loads that fail, stall, are too
// large, are refused, or outlive their logo view.
#include <QXCorePlayer/Core/View/LogoLayer/CPLogoLayer.h>
#include <QXUIKit/ImageFetching/ImageViewImageFetching.h>
#include <dev/Device.h>
#include <fnd/RunLoop.h>
#include <gtest/gtest.h>
#include <net/HttpClient.h>
#include <peers/ImageServerPeer.h>
#include <ui/Application.h>
#include <ui/Button.h>
#include <ui/Color.h>
#include <ui/Renderer.h>
#include <ui/TouchInjector.h>
#include <ui/Window.h>

#include "Core/View/LogoLayer/CPLogoView.h"
#include "GoldenImage.h"
#include "SolidImage.h"
#include "Core/PlaybackDoubles.h"
#include "TestPaths.h"
#include "VirtualTime.h"

namespace zidtest {
namespace {

/// A real picture whose PNG is larger than a logo may be: noise does not compress.
std::string bigNoisePng(int side) {
    std::vector<std::uint8_t> px(static_cast<std::size_t>(side) * side * 4);
    std::uint32_t state = 12345;
    for (std::size_t i = 0; i < px.size(); i += 4) {
        state = state * 1664525u + 1013904223u;
        px[i] = state >> 24 & 255;
        px[i + 1] = state >> 16 & 255;
        px[i + 2] = state >> 8 & 255;
        px[i + 3] = 255;
    }
    return pngBytes(*ui::Image::imageWithPixels(px.data(), px.size(), side, side));
}

rt::Ref<VexaLogoInfo> logoInfo(long align, long margin, std::optional<std::string> url,
                               std::optional<std::string> clickUrl = std::nullopt) {
    auto info = rt::make<VexaLogoInfo>();
    info->align = align;
    info->margin = margin;
    info->url = std::move(url);
    info->clickUrl = std::move(clickUrl);
    return info;
}

rt::Value records(const std::vector<rt::Ref<VexaLogoInfo>>& infos) {
    rt::Value::Array array;
    for (const auto& info : infos) array.push_back(rt::Value(info));
    return rt::Value(std::move(array));
}

class LogoLayerTest : public VirtualTimeTest {
protected:
    void SetUp() override {
        VirtualTimeTest::SetUp();
        qxSharedImageCache()->removeAllObjects();
        server = std::make_unique<peers::ImageServerPeer>();
        server->addImage("/logo-100x50.png", solidPng(100, 50, 0xFFE04020u));
        server->addImage("/logo-60x30.png", solidPng(60, 30, 0xFF20A0E0u));
        auto client = rt::make<net::HttpClient>();
        client->setExtraTrustAnchors(peers::ImageServerPeer::trustAnchorPem());
        QXImageRequestOperation::setHTTPClient(client);
        source = rt::make<ScriptedSource>();
        session = CPPlaybackSession::sessionWithMediaSource(source, rt::make<ScriptedPlayerFactory>());
        layer = rt::make<CPLogoLayer>(ui::Rect(0, 0, 568, 320));
        layer->setSession(session);
    }
    void TearDown() override {
        layer.reset();
        server->release(100);
        fnd::RunLoop::main()->runUntil([] { return qxSharedImageRequestOperationQueue()->operationCount() == 0; }, 10);
        QXImageRequestOperation::setHTTPClient(nullptr);
        server.reset();
        dev::Device::current()->setUserInterfaceIdiom(std::nullopt);
        ui::Application::sharedApplication()->reset();
        VirtualTimeTest::TearDown();
    }
    /// Runs the main loop in real time (the virtual clock stands) until every logo has
    /// settled: valid, or its load is over.
    bool settle(double seconds = 10) {
        return fnd::RunLoop::main()->runUntil(
            [this] {
                for (const auto& logo : layer->logoViews())
                    if (!logo->isValid() && qxImageRequestOperation(*logo->logoView())) return false;
                return true;
            },
            seconds);
    }
    void show(const std::vector<rt::Ref<VexaLogoInfo>>& infos) {
        source->setLogoInfos(records(infos));
        ASSERT_TRUE(settle());
    }
    std::string url(const std::string& path) const { return server->url(path); }

    std::unique_ptr<peers::ImageServerPeer> server;
    rt::Ref<ScriptedSource> source;
    rt::Ref<CPPlaybackSession> session;
    rt::Ref<CPLogoLayer> layer;
};

// ---- placement ---------------------------------------------------------------------

TEST_F(LogoLayerTest, TopRightLogoScalesWithThePlayerHeight) {
    show({logoInfo(2, 10, url("/logo-100x50.png"))});
    auto logo = layer->logoViews().at(0);
    ASSERT_TRUE(logo->isValid());
    EXPECT_FALSE(logo->isHidden());
    EXPECT_EQ(logo->frame(), ui::Rect(458, 10, 100, 50));
    layer->setFrame(ui::Rect(0, 0, 1136, 640));
    EXPECT_EQ(logo->frame(), ui::Rect(1136 - 200 - 20, 20, 200, 100)) << "re-placed when the frame is set";
    EXPECT_EQ(logo->logoView()->frame().size, (ui::Size{200, 100})) << "the image follows by resizing";

    // Spread by the player's autoresizing rather than set: placed again all the same.
    auto player = rt::make<ui::View>(ui::Rect(0, 0, 1136, 640));
    layer->setAutoresizingMask(ui::Autoresizing::FlexibleWidth | ui::Autoresizing::FlexibleHeight);
    player->addSubview(layer);
    player->setFrame(ui::Rect(0, 0, 568, 320));
    EXPECT_EQ(logo->frame(), ui::Rect(458, 10, 100, 50));
}

TEST_F(LogoLayerTest, NineAnchorsAndAnyOtherAtTheOrigin) {
    std::vector<rt::Ref<VexaLogoInfo>> infos;
    for (long align = -1; align <= 9; ++align) infos.push_back(logoInfo(align, 10, url("/logo-100x50.png")));
    show(infos);
    const ui::Rect expected[] = {
        {0, 0, 100, 50},                                                    // -1
        {10, 10, 100, 50},    {234, 10, 100, 50},  {458, 10, 100, 50},      // top
        {10, 135, 100, 50},   {234, 135, 100, 50}, {458, 135, 100, 50},     // middle: no margin
        {10, 260, 100, 50},   {234, 260, 100, 50}, {458, 260, 100, 50},     // bottom
        {0, 0, 100, 50},                                                    // 9
    };
    ASSERT_EQ(layer->logoViews().size(), 11u);
    for (std::size_t i = 0; i < 11; ++i) EXPECT_EQ(layer->logoViews()[i]->frame(), expected[i]) << "align " << long(i) - 1;
}

TEST_F(LogoLayerTest, ScaleAndMarginRoundLikeTheDesignsExpect) {
    // 300 / 320 = 0.9375: 60 x 30 becomes 56.25 x 28.125, a margin of 15 an offset of 14.
    layer->setFrame(ui::Rect(0, 0, 533, 300));
    show({logoInfo(0, 15, url("/logo-60x30.png")), logoInfo(8, 15, url("/logo-60x30.png"))});
    EXPECT_EQ(layer->logoViews()[0]->frame(), ui::rectIntegral(ui::Rect(14, 14, 56.25, 28.125)));
    EXPECT_EQ(layer->logoViews()[1]->frame(), ui::rectIntegral(ui::Rect(533 - 56.25 - 14, 300 - 28.125 - 14, 56.25, 28.125)));
}

TEST_F(LogoLayerTest, TabletReferenceIsTheLargerPlayer) {
    dev::Device::current()->setUserInterfaceIdiom(dev::UserInterfaceIdiom::Pad);
    auto tablet = rt::make<CPLogoLayer>(ui::Rect(0, 0, 1248, 702));
    EXPECT_EQ(tablet->logoScaleReference(), 702);
    EXPECT_EQ(layer->logoScaleReference(), 320);
    tablet->setSession(session);
    show({logoInfo(0, 10, url("/logo-100x50.png"))});
    ASSERT_TRUE(fnd::RunLoop::main()->runUntil([&] { return !tablet->logoViews().empty() && tablet->logoViews()[0]->isValid(); }, 10));
    EXPECT_EQ(tablet->logoViews()[0]->frame(), ui::Rect(10, 10, 100, 50));
}

// ---- records -----------------------------------------------------------------------

TEST_F(LogoLayerTest, NewRecordsReplaceEveryLogoAndNoneRemoveThemAll) {
    show({logoInfo(0, 10, url("/logo-100x50.png")), logoInfo(0, 10, url("/logo-60x30.png"))});
    auto first = layer->logoViews();
    ASSERT_EQ(first.size(), 2u);
    EXPECT_EQ(layer->subviews().back(), first[1]) << "later records lie above earlier ones";
    EXPECT_EQ(first[0]->frame().origin, first[1]->frame().origin) << "one anchor: they overlap";

    show({logoInfo(4, 0, url("/logo-60x30.png"))});
    ASSERT_EQ(layer->logoViews().size(), 1u);
    EXPECT_FALSE(first[0]->superview());
    EXPECT_FALSE(first[1]->superview());

    source->setLogoInfos(records({}));
    EXPECT_TRUE(layer->logoViews().empty());
    EXPECT_TRUE(layer->subviews().empty());
    show({logoInfo(4, 0, url("/logo-60x30.png"))});
    source->setLogoInfos(rt::Value());
    EXPECT_TRUE(layer->logoViews().empty());
    show({logoInfo(4, 0, url("/logo-60x30.png"))});
    layer->setSession(nullptr);
    EXPECT_TRUE(layer->logoViews().empty()) << "no session, no logos";
}

TEST_F(LogoLayerTest, LogoTypeFollowsTheSourceType) {
    const std::pair<CPMediaSourceType, long> rows[] = {{CPMediaSourceType::Recorded, 2},
                                                       {CPMediaSourceType::Highlight, 2},
                                                       {CPMediaSourceType::LiveChannel, 1},
                                                       {CPMediaSourceType::PlainURL, 0},
                                                       {CPMediaSourceType::Advertisement, 0}};
    for (auto [type, logoType] : rows) {
        source->setSourceType(type);
        source->setLogoInfos(records({logoInfo(0, 0, std::nullopt)}));
        EXPECT_EQ(layer->logoViews().at(0)->logoType(), logoType);
    }
}

TEST_F(LogoLayerTest, RecordWithoutImageStaysHiddenWithTheDefaultMargin) {
    source->setLogoInfos(records({logoInfo(0, 5, std::nullopt)}));
    auto logo = layer->logoViews().at(0);
    EXPECT_FALSE(logo->isValid());
    EXPECT_TRUE(logo->isHidden());
    EXPECT_EQ(logo->margin(), 30);
    EXPECT_EQ(server->requests(), 0);
}

// ---- taps --------------------------------------------------------------------------

TEST_F(LogoLayerTest, TapOpensTheClickAddressAndElsewhereReachesBeneath) {
    auto window = rt::make<ui::Window>(ui::Rect(0, 0, 568, 320));
    window->makeKeyAndVisible();
    auto button = ui::Button::buttonWithType(ui::ButtonType::Custom);
    button->setFrame(window->bounds());
    int beneath = 0;
    button->addTarget(button, "tap", ui::ControlEvents::TouchUpInside, [&](const rt::Ref<ui::Control>&) { ++beneath; });
    window->addSubview(button);
    window->addSubview(layer);
    std::vector<std::string> opened;
    ui::Application::sharedApplication()->setOpenURLHandler([&](const std::string& u) {
        opened.push_back(u);
        return true;
    });
    show({logoInfo(2, 10, url("/logo-100x50.png"), "myapp://channel/7?from=logo"),
          logoInfo(6, 10, url("/logo-100x50.png"), "http://exa mple.com/<bad>")});
    ui::TouchInjector(window).tap(ui::Point{500, 30});
    EXPECT_EQ(opened, (std::vector<std::string>{"myapp://channel/7?from=logo"})) << "any scheme goes to the host's hook";
    EXPECT_EQ(beneath, 0);
    EXPECT_EQ(layer->logoViews()[1]->clickURL(), "") << "a malformed address is no address";
    ui::TouchInjector(window).tap(ui::Point{50, 280});
    EXPECT_EQ(opened.size(), 1u) << "a logo without an address ignores taps";
    ui::TouchInjector(window).tap(ui::Point{284, 160});
    EXPECT_EQ(beneath, 1) << "away from the logos the tap goes through the layer";
}

// ---- loading -----------------------------------------------------------------------

TEST_F(LogoLayerTest, FailedLoadsLeaveTheLogoInvalidAndHidden) {
    server->setOversizedBytes(CPLogoView::kMaxImageBytes + 1024 * 1024);
    std::string big = bigNoisePng(1400);
    ASSERT_GT(big.size(), CPLogoView::kMaxImageBytes);
    server->addImage("/big.png", big);
    show({logoInfo(0, 10, url(peers::ImageServerPeer::kMissingPath)),
          logoInfo(1, 10, url(peers::ImageServerPeer::kNotAnImagePath)),
          logoInfo(2, 10, url(peers::ImageServerPeer::kOversizedPath)),
          logoInfo(4, 10, url("/big.png")),
          logoInfo(3, 10, url("/logo-100x50.png"))});
    const auto& logos = layer->logoViews();
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_FALSE(logos[i]->isValid()) << i;
        EXPECT_TRUE(logos[i]->isHidden()) << i;
        EXPECT_FALSE(logos[i]->logoView()->image()) << i;
    }
    EXPECT_TRUE(logos[4]->isValid()) << "one bad logo does not keep the others away";
    EXPECT_EQ(server->requests(peers::ImageServerPeer::kMissingPath), 1) << "no retry";
    EXPECT_EQ(server->requests(peers::ImageServerPeer::kOversizedPath), 1);
}

TEST_F(LogoLayerTest, OtherImageLoadsKeepTheClientsBound) {
    // The logo bound is the logo's own: an ordinary image load of the same picture passes.
    server->addImage("/big.png", bigNoisePng(1400));
    auto view = rt::make<ui::ImageView>();
    rt::Ref<rt::Error> error;
    rt::Ref<ui::Image> image;
    qxSetImageWithURLRequest(view, rt::make<fnd::URLRequest>(url("/big.png")), nullptr,
                             [&](const auto&, const rt::Ref<ui::Image>& i) { image = i; },
                             [&](const auto&, const rt::Ref<rt::Error>& e) { error = e; });
    ASSERT_TRUE(fnd::RunLoop::main()->runUntil([&] { return image || error; }, 20));
    EXPECT_FALSE(error) << error->localizedDescription();
    ASSERT_TRUE(image);
    EXPECT_EQ(image->size(), (ui::Size{1400, 1400}));
}

TEST_F(LogoLayerTest, AStalledServerTimesOutOnTheLoopsClock) {
    server->setHeldImage(solidPng(100, 50, 0xFF00FF00u));
    source->setLogoInfos(records({logoInfo(0, 10, url(peers::ImageServerPeer::kHeldPath))}));
    ASSERT_TRUE(server->waitForHeld(1));
    auto logo = layer->logoViews().at(0);
    advance(CPLogoView::kLoadTimeout - 1);
    EXPECT_TRUE(qxImageRequestOperation(*logo->logoView())) << "still waiting";
    advance(1.5);
    ASSERT_TRUE(settle());
    EXPECT_FALSE(logo->isValid());
    server->release();
    fnd::RunLoop::main()->runUntil([] { return false; }, 0.2);
    EXPECT_FALSE(logo->isValid()) << "a late answer after the time-out is dropped";
}

TEST_F(LogoLayerTest, ALogoViewFreedDuringItsLoadCancelsIt) {
    server->setHeldImage(solidPng(100, 50, 0xFF00FF00u));
    source->setLogoInfos(records({logoInfo(0, 10, url(peers::ImageServerPeer::kHeldPath))}));
    ASSERT_TRUE(server->waitForHeld(1));
    auto operation = qxImageRequestOperation(*layer->logoViews().at(0)->logoView());
    ASSERT_TRUE(operation);
    rt::Weak<CPLogoView> weak = layer->logoViews().at(0);
    source->setLogoInfos(records({}));
    EXPECT_FALSE(weak.lock());
    EXPECT_TRUE(operation->isCancelled());
    EXPECT_TRUE(fnd::RunLoop::main()->runUntil([&] { return operation->isFinished(); }, 5))
        << "the queue slot is free again";
    server->release();
}

TEST_F(LogoLayerTest, OnlyHttpAndHttpsAddressesAreFetched) {
    std::vector<rt::Ref<VexaLogoInfo>> infos;
    for (const char* bad : {"file:///dev/zero", "file:///etc/passwd", "FILE:///tmp/logo.png", "ftp://127.0.0.1/logo.png",
                            "data:image/png;base64,iVBORw0KGgo=", "/relative/logo.png", "javascript:alert(1)",
                            "http://bad host/logo.png"})
        infos.push_back(logoInfo(0, 10, std::string(bad)));
    source->setLogoInfos(records(infos));
    for (const auto& logo : layer->logoViews()) {
        EXPECT_FALSE(qxImageRequestOperation(*logo->logoView())) << "refused before any load";
        EXPECT_FALSE(logo->isValid());
        EXPECT_TRUE(logo->isHidden());
    }
    EXPECT_TRUE(CPLogoView::isFetchableImageURL("HTTPS://127.0.0.1/a.png"));
    EXPECT_FALSE(CPLogoView::isFetchableImageURL("https://127.0.0.1/a%2.png"));
}

// ---- picture -----------------------------------------------------------------------

TEST_F(LogoLayerTest, PlayerSizedLayerWithLogosAtEveryAnchor) {
    std::vector<rt::Ref<VexaLogoInfo>> infos;
    for (long align = 0; align <= 8; ++align)
        infos.push_back(logoInfo(align, 10, url(align % 2 ? "/logo-60x30.png" : "/logo-100x50.png")));
    show(infos);
    auto player = rt::make<ui::View>(ui::Rect(0, 0, 568, 320));
    player->setBackgroundColor(ui::Color::rgba(0.15, 0.3, 0.45, 1));
    player->addSubview(layer);
    player->layoutIfNeeded();
    EXPECT_MATCHES_GOLDEN(*ui::renderToImage(*player), zidtest::testPath("view_golden"), "logo_layer_nine_anchors");
}

}  // namespace
}  // namespace zidtest
