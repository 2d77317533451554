// The player view in a desktop window on a real X server: the picture the server holds
// matches the renderer's, a resize lays the controls out again, and a person's clicks,
// double clicks, drags, keys and the close button (XTest, real X events) reach the
// toolkit as touches, typing and the end of the run loop.

#include <QXCorePlayer/Core/View/PlaybackControl/CPDefaultPlaybackControlFactory.h>
#include <QXCorePlayer/Core/View/PlaybackControl/CPToolbarPlaybackControl.h>
#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPPlaybackSliderToolbarItem.h>
#include <gtest/gtest.h>
#include <fnd/RunLoop.h>
#include <ui/Animation.h>
#include <ui/Application.h>
#include <ui/Renderer.h>
#include <ui/Slider.h>
#include <ui/TextField.h>
#include <ui/ImageContext.h>
#include <ui/Label.h>
#include <uiwindow/WindowHost.h>

#include <cstdlib>

#include "GoldenImage.h"
#include "PlaybackControlDoubles.h"
// Last: the X headers define macros (None, Status, True) the toolkit's headers use as names.
#include "XDisplay.h"

namespace zidtest {
namespace {

// The display and SDL libraries are not instrumented: the sanitizer builds leave these
// tests to the plain one (which runs them under an X server of its own).
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

bool displayRequired() {
    const char* v = std::getenv("ZID_REQUIRE_DISPLAY");
    return v && std::string(v) == "1";
}

/// Runs the main loop until `done` or the real-time limit.
bool waitFor(const std::function<bool()>& done, double seconds = 5) {
    return fnd::RunLoop::main()->runUntil(done, seconds);
}
void pass(double seconds) { fnd::RunLoop::main()->runFor(seconds); }

class PlayerFactory : public ScriptedPlayerFactory {
    RT_CLASS(PlayerFactory, ScriptedPlayerFactory)
public:
    rt::Ref<ICPMediaPlayer> playerForSource(const rt::Ref<ICPMediaSource>& s) override {
        auto player = rt::make<OptionsPlayer>();
        player->setSource(s);
        player->script(CPPlayerState::Buffering);
        players.push_back(player);
        return player;
    }
};

class WindowHostTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (kSanitized) GTEST_SKIP() << "left out under the sanitizers: the display libraries are not instrumented";
        rt::Ref<rt::Error> error;
        if (!ui::WindowHost::canOpenDisplay(&error)) {
            if (displayRequired()) FAIL() << error->localizedDescription();
            GTEST_SKIP() << error->localizedDescription();
        }
        x = std::make_unique<XDisplay>();
        ASSERT_TRUE(x->usable()) << "no XTest on this X server";
        window = rt::make<ui::Window>(ui::Rect(0, 0, 640, 360));
    }
    void TearDown() override {
        if (host) host->close();
        host = nullptr;
        view = nullptr;
        session = nullptr;
        window = nullptr;
        ui::Application::sharedApplication()->reset();
    }

    /// A still picture standing in for the video: sky, sun and ground.
    static rt::Ref<ui::View> still() {
        auto sky = rt::make<ui::View>(ui::Rect(0, 0, 640, 360));
        sky->setBackgroundColor(ui::Color::rgba(0.35, 0.55, 0.8, 1));
        auto sun = rt::make<ui::View>(ui::Rect(450, 50, 80, 80));
        sun->setBackgroundColor(ui::Color::rgba(0.98, 0.85, 0.3, 1));
        auto ground = rt::make<ui::View>(ui::Rect(0, 230, 640, 130));
        ground->setBackgroundColor(ui::Color::rgba(0.25, 0.5, 0.25, 1));
        sky->addSubview(sun);
        sky->addSubview(ground);
        return sky;
    }
    /// The player view with its default controls, filling the window, playing a scripted
    /// source of the type at 2:05 of 10:00, shown in a desktop window.
    OptionsPlayer& showPlayer(CPMediaSourceType type) {
        source = rt::make<ScriptedSource>();
        source->setSourceType(type);
        source->setTitle("Morning show");
        players = rt::make<PlayerFactory>();
        session = CPPlaybackSession::sessionWithMediaSource(source, players);
        view = rt::make<CPPlayerView>(window->bounds(), rt::make<CPDefaultPlaybackControlFactory>());
        view->setAutoresizingMask(ui::Autoresizing::FlexibleWidth | ui::Autoresizing::FlexibleHeight);
        window->addSubview(view);
        view->setSession(session);
        source->setRealizing();
        source->setRealized();
        auto& player = static_cast<OptionsPlayer&>(*players->players.back());
        player.setPresentationLayer(still());
        player.setTimeInfo(CPMediaTimingBase::timingWithStartTime(0, 600));
        player.setPlaybackTime(125);
        player.script(CPPlayerState::Playing);
        control()->show(true, false, kControlHideDelayNever);
        open();
        return player;
    }
    void open() {
        rt::Ref<rt::Error> error;
        host = ui::WindowHost::open(window, {.title = "window host test"}, &error);
        ASSERT_TRUE(host) << error->localizedDescription();
        ASSERT_NE(host->nativeWindow(), 0ul);
        settle();
    }
    /// Lets the host take in what the server sent and present a frame drawn after it.
    void settle() {
        auto frames = host->framesPresented();
        ASSERT_TRUE(waitFor([&] { return host->framesPresented() >= frames + 2; })) << "no frames presented";
    }
    rt::Ref<CPToolbarPlaybackControl> control() const { return rt::cast<CPToolbarPlaybackControl>(view->playbackControl()); }
    unsigned long xwindow() const { return host->nativeWindow(); }

    void click(ui::Point p, unsigned button = 1) {
        x->movePointer(xwindow(), p);
        pass(0.02);
        x->button(button, true);
        pass(0.05);
        x->button(button, false);
        pass(0.02);
    }
    /// Press at `from`, move in steps to `to`, release there.
    void drag(ui::Point from, ui::Point to, unsigned button = 1, int steps = 8) {
        x->movePointer(xwindow(), from);
        pass(0.02);
        x->button(button, true);
        pass(0.02);
        for (int i = 1; i <= steps; ++i) {
            double k = double(i) / steps;
            x->movePointer(xwindow(), ui::Point{from.x + (to.x - from.x) * k, from.y + (to.y - from.y) * k});
            pass(0.02);
        }
        x->button(button, false);
        pass(0.02);
    }
    void type(KeySym sym) {
        x->key(sym, true);
        x->key(sym, false);
        pass(0.02);
    }

    std::unique_ptr<XDisplay> x;
    rt::Ref<ui::Window> window;
    rt::Ref<ScriptedSource> source;
    rt::Ref<PlayerFactory> players;
    rt::Ref<CPPlaybackSession> session;
    rt::Ref<CPPlayerView> view;
    rt::Ref<ui::WindowHost> host;
};

// ---- what the server shows -------------------------------------------------------------------

TEST_F(WindowHostTest, TheServerShowsWhatTheRendererDraws) {
    showPlayer(CPMediaSourceType::Recorded);
    // The tree as the renderer draws it, kept as the reference...
    window->layoutIfNeeded();
    EXPECT_MATCHES_GOLDEN(*ui::renderToImage(*window), ZID_GOLDEN_DIR, "player_in_window");
    // ...and the window's pixels read back from the server.
    auto shot = x->screenshot(xwindow());
    ASSERT_TRUE(shot);
    EXPECT_EQ(shot->pixelWidth(), 640);
    EXPECT_EQ(shot->pixelHeight(), 360);
    const char* update = std::getenv("ZID_UPDATE_GOLDEN");
    if (!update || std::string(update) != "1") {
        auto result = compareWithGolden(*shot, ZID_GOLDEN_DIR, "player_in_window", 24, 640 * 360 / 500);
        EXPECT_TRUE(result.matched) << "the server's picture: " << result.message;
    }
    // The host reads the same picture back for its own host (the example's screenshot).
    auto captured = host->capture();
    ASSERT_TRUE(captured);
    ASSERT_EQ(captured->pixelWidth(), 640);
    ASSERT_EQ(captured->pixelHeight(), 360);
    for (int py = 0; py < 360; py += 7)
        for (int px = 0; px < 640; px += 7) ASSERT_EQ(captured->pixelAt(px, py), shot->pixelAt(px, py)) << px << "," << py;
    host->close();
    EXPECT_FALSE(host->capture()) << "nothing to read from a closed window";
}

TEST_F(WindowHostTest, AResizeResizesTheWindowAndLaysTheControlsOutAgain) {
    showPlayer(CPMediaSourceType::Recorded);
    auto bottom = control()->bottomToolbar();
    ASSERT_DOUBLE_EQ(ui::maxY(bottom->convertRectToView(bottom->bounds(), nullptr)), 360);

    x->resize(xwindow(), 800, 450);
    ASSERT_TRUE(waitFor([&] { return window->bounds().size == ui::Size(800, 450); })) << "the window kept its size";
    settle();
    EXPECT_EQ(view->frame(), ui::Rect(0, 0, 800, 450));
    ui::Rect bar = bottom->convertRectToView(bottom->bounds(), nullptr);
    EXPECT_DOUBLE_EQ(ui::maxY(bar), 450) << "the bottom toolbar follows the bottom edge";
    EXPECT_DOUBLE_EQ(bar.size.width, 800);

    // The server's picture is the new layout, drawn at the new size.
    auto shot = x->screenshot(xwindow());
    ASSERT_TRUE(shot);
    ASSERT_EQ(shot->pixelWidth(), 800);
    ASSERT_EQ(shot->pixelHeight(), 450);
    auto drawn = ui::renderToImage(*window);
    long differing = 0;
    for (int py = 0; py < 450; ++py)
        for (int px = 0; px < 800; ++px)
            if ((shot->pixelAt(px, py) & 0xFFFFFF) != (drawn->pixelAt(px, py) & 0xFFFFFF)) ++differing;
    EXPECT_LT(differing, 800 * 450 / 500);
}

// ---- input -------------------------------------------------------------------------------------

TEST_F(WindowHostTest, AClickTogglesTheControlsAndADoubleClickTheFill) {
    auto& player = showPlayer(CPMediaSourceType::Recorded);
    ASSERT_TRUE(view->controlsVisible());
    ui::Point middle{320, 150};

    click(middle);
    EXPECT_TRUE(waitFor([&] { return !view->controlsVisible(); })) << "a click hides the controls";
    EXPECT_FALSE(player.contentModeScaleAspectFill());
    click(middle);
    EXPECT_TRUE(waitFor([&] { return view->controlsVisible(); })) << "a second click shows them";
    control()->show(true, false, kControlHideDelayNever);

    click(middle);
    click(middle);
    EXPECT_TRUE(waitFor([&] { return player.contentModeScaleAspectFill(); })) << "a double click fills";
    pass(0.5);
    EXPECT_TRUE(view->controlsVisible()) << "a double click leaves the controls alone";
    click(middle);
    click(middle);
    EXPECT_TRUE(waitFor([&] { return !player.contentModeScaleAspectFill(); })) << "and fits again";
}

TEST_F(WindowHostTest, ASliderDragSeeksOnceOnRelease) {
    auto& player = showPlayer(CPMediaSourceType::Recorded);
    CPPlaybackSliderToolbarItem* item = nullptr;
    for (const auto& i : control()->bottomToolbar()->toolbarItems())
        if (auto s = rt::cast<CPPlaybackSliderToolbarItem>(i)) item = s.get();
    ASSERT_TRUE(item);
    auto slider = item->slider();
    auto at = [&](double value) {
        ui::Rect track = slider->trackRectForBounds(slider->bounds());
        ui::Rect thumb = slider->thumbRectForBounds(slider->bounds(), track, value);
        return slider->convertPointToView(ui::Point{ui::midX(thumb), ui::midY(thumb)}, nullptr);
    };
    player.calls.clear();
    std::vector<double> positions;
    auto watch = rt::observe(rt::Ref<rt::Object>(players->players.back()), "seekPosition", rt::KVONew,
                             [&](const rt::KVOChange& c) {
                                 if (!c.newValue.isNil()) positions.push_back(c.newValue.doubleValue());
                             });
    drag(at(125), at(450));
    EXPECT_TRUE(waitFor([&] { return !player.seeks.empty(); }));
    pass(0.2);
    ASSERT_EQ(player.seeks.size(), 1u) << "one seek, on release";
    EXPECT_NEAR(player.seeks[0], 450, 12);
    EXPECT_EQ(std::count(player.calls.begin(), player.calls.end(), "seekTo"), 1);
    EXPECT_GE(positions.size(), 4u) << "the position follows the pointer while it moves";
}

TEST_F(WindowHostTest, ASecondaryDragIsATwoFingerSwipe) {
    auto& player = showPlayer(CPMediaSourceType::LiveChannel);
    drag(ui::Point{300, 100}, ui::Point{300, 240}, 3, 5);
    EXPECT_TRUE(waitFor([&] { return player.consoleCalls.size() == 1; })) << "the right button swipes with two fingers";
    pass(0.3);
    drag(ui::Point{300, 240}, ui::Point{300, 100}, 3, 5);
    EXPECT_TRUE(waitFor([&] { return player.consoleCalls.size() == 2; }));
    EXPECT_EQ(player.consoleCalls, (std::vector<bool>{true, false}));
    pass(0.3);
    drag(ui::Point{300, 100}, ui::Point{300, 240}, 1, 5);
    pass(0.3);
    EXPECT_EQ(player.consoleCalls.size(), 2u) << "the left button is one finger";
}

TEST_F(WindowHostTest, KeysGoToTheFirstResponder) {
    auto field = rt::make<ui::TextField>(ui::Rect(20, 20, 300, 40));
    window->addSubview(field);
    open();
    ASSERT_TRUE(field->becomeFirstResponder());
    x->focus(xwindow());
    pass(0.05);
    type(XK_a);
    type(XK_b);
    type(XK_BackSpace);
    type(XK_c);
    EXPECT_TRUE(waitFor([&] { return field->text() == "ac"; })) << "typed: " << field->text();
    type(XK_Escape);
    EXPECT_TRUE(waitFor([&] { return !field->isFirstResponder(); })) << "escape ends the editing";
    type(XK_d);
    pass(0.1);
    EXPECT_EQ(field->text(), "ac") << "no responder, nothing typed";
}

// ---- the run loop ---------------------------------------------------------------------------

TEST_F(WindowHostTest, TheCloseButtonEndsTheRunLoop) {
    open();
    int handled = 0;
    host->setCloseHandler([&] { ++handled; });
    auto loop = fnd::RunLoop::main();
    bool timedOut = false;
    auto guard = loop->after(5, [&] {
        timedOut = true;
        loop->stop();
    });
    loop->after(0.1, [&] { x->pressCloseButton(xwindow()); });
    loop->run();
    guard->invalidate();
    EXPECT_FALSE(timedOut) << "the close button did not end the loop";
    EXPECT_TRUE(host->closeRequested());
    EXPECT_EQ(handled, 1);
    EXPECT_TRUE(host->isOpen()) << "the host decides when the window goes";
    EXPECT_TRUE(host->runUntilClosed(0)) << "runUntilClosed answers at once after the close button";
    host->close();
    EXPECT_FALSE(host->isOpen());
}

TEST_F(WindowHostTest, FramesAreDrawnWhenSomethingChangesAtTheRunLoopsRate) {
    auto box = rt::make<ui::View>(ui::Rect(10, 10, 100, 100));
    box->setBackgroundColor(ui::Color::rgba(1, 0, 0, 1));
    window->addSubview(box);
    rt::Ref<rt::Error> error;
    host = ui::WindowHost::open(window, {.frameRate = 30}, &error);
    ASSERT_TRUE(host);
    auto loop = fnd::RunLoop::main();
    auto counted = [&](double seconds) {
        auto first = host->framesPresented();
        pass(seconds);
        return host->framesPresented() - first;
    };
    pass(0.3);
    // Still: a few frames a second.
    auto still = counted(1.0);
    EXPECT_GE(still, 2u);
    EXPECT_LE(still, 6u);
    // Moving: every frame of the rate.
    ui::animate(1.5, [&] { box->setCenter(ui::Point{500, 250}); });
    auto moving = counted(1.0);
    EXPECT_GE(moving, 20u);
    EXPECT_LE(moving, 32u);
    pass(0.7);
    // A change made by a block on the loop shows in the next frame, read back from the server.
    loop->post([&] { box->setBackgroundColor(ui::Color::rgba(0, 0, 1, 1)); });
    pass(0.1);
    auto shot = x->screenshot(xwindow());
    ASSERT_TRUE(shot);
    EXPECT_EQ(shot->pixelAt(500, 250) & 0xFFFFFF, 0x0000FFu) << "the box moved and turned blue";
    // And one the owner makes between two runs of the loop.
    box->setBackgroundColor(ui::Color::rgba(0, 1, 0, 1));
    pass(0.1);
    shot = x->screenshot(xwindow());
    ASSERT_TRUE(shot);
    EXPECT_EQ(shot->pixelAt(500, 250) & 0xFFFFFF, 0x00FF00u);

    host->close();
    auto after = host->framesPresented();
    pass(0.3);
    EXPECT_EQ(host->framesPresented(), after) << "a closed host draws nothing";
}

TEST_F(WindowHostTest, WhilePicturesComeEachIsDrawnOnceAndOtherChangesRideAlong) {
    auto picture = rt::make<ui::View>(ui::Rect(0, 0, 320, 180));
    auto label = rt::make<ui::Label>(ui::Rect(0, 200, 200, 30));
    window->addSubview(picture);
    window->addSubview(label);
    open();
    auto loop = fnd::RunLoop::main();
    int pictures = 0, texts = 0;
    // 25 pictures a second, and a label and other loop work changing in between.
    auto video = loop->schedule(0.04, true, [&](fnd::Timer&) {
        ++pictures;
        picture->setNeedsDisplayForNewPicture();
    });
    auto ticks = loop->schedule(0.013, true, [&](fnd::Timer&) { label->setText(std::to_string(++texts)); });
    pass(0.3);
    auto frames = host->framesPresented();
    int picturesBefore = pictures;
    pass(1.0);
    auto drawn = host->framesPresented() - frames;
    int shown = pictures - picturesBefore;
    EXPECT_LE(drawn, std::uint64_t(shown + 1)) << "at most one frame per picture";
    EXPECT_GE(drawn, std::uint64_t(shown * 3 / 4)) << "every picture is drawn";
    // Pictures stop: the label's changes are drawn again on their own.
    video->invalidate();
    pass(0.3);
    frames = host->framesPresented();
    pass(0.5);
    EXPECT_GE(host->framesPresented() - frames, 15u);
    ticks->invalidate();
}

TEST_F(WindowHostTest, TheFirstPictureOfARunIsDrawnInTheTurnThatBroughtIt) {
    auto picture = rt::make<ui::View>(ui::Rect(0, 0, 320, 180));
    window->addSubview(picture);
    rt::Ref<rt::Error> error;
    // One frame a second: a picture waiting for the frame timer would wait long.
    host = ui::WindowHost::open(window, {.frameRate = 1}, &error);
    ASSERT_TRUE(host);
    auto loop = fnd::RunLoop::main();
    pass(1.2);
    auto before = host->framesPresented();
    loop->post([&] { picture->setNeedsDisplayForNewPicture(); });
    loop->drain();
    EXPECT_EQ(host->framesPresented(), before + 1) << "drawn as the turn ended";
    // The next picture comes while pictures flow: it waits for its frame.
    loop->post([&] { picture->setNeedsDisplayForNewPicture(); });
    loop->drain();
    EXPECT_EQ(host->framesPresented(), before + 1);
    ASSERT_TRUE(waitFor([&] { return host->framesPresented() == before + 2; }));
}

namespace {

/// Stands in for a video view: draws its picture with drawPicture, letterboxed.
class PictureView : public ui::View {
public:
    using ui::View::View;
    rt::Ref<ui::Image> picture;
    bool drawsContent() const override { return true; }
    void draw(ui::ImageContext& context, const ui::Rect&) override {
        if (picture) context.drawPicture(*picture, ui::Rect(80, 0, 480, 360));
    }
};

/// A 160 x 120 picture of four coloured quarters.
rt::Ref<ui::Image> quarters(const ui::Color& first) {
    auto ctx = rt::make<ui::ImageContext>(ui::Size{160, 120}, true, 1.0);
    ctx->fillRect(ui::Rect(0, 0, 80, 60), first);
    ctx->fillRect(ui::Rect(80, 0, 80, 60), *ui::Color::rgba(0.1, 0.7, 0.2, 1));
    ctx->fillRect(ui::Rect(0, 60, 80, 60), *ui::Color::rgba(0.9, 0.8, 0.1, 1));
    ctx->fillRect(ui::Rect(80, 60, 80, 60), *ui::Color::rgba(0.2, 0.3, 0.9, 1));
    return ctx->image();
}

/// Pixels of two pictures of the same size whose channels differ by more than 24.
int differingPixels(const ui::Image& a, const ui::Image& b) {
    int count = 0;
    for (int y = 0; y < a.pixelHeight(); ++y)
        for (int x = 0; x < a.pixelWidth(); ++x) {
            std::uint32_t p = a.pixelAt(x, y), q = b.pixelAt(x, y);
            for (int shift = 0; shift < 24; shift += 8)
                if (std::abs(int((p >> shift) & 0xFF) - int((q >> shift) & 0xFF)) > 24) {
                    ++count;
                    break;
                }
        }
    return count;
}

}  // namespace

// The renderer scales pictures smoothly, the display's renderer by its own scale quality
// (the nearest pixel by default): they differ along the quarters' edges only.
constexpr int kPictureTolerance = 640 * 360 / 80;

TEST_F(WindowHostTest, APictureCompositedApartLooksAsTheRendererDrawsItAndANewOneShows) {
    auto video = rt::make<PictureView>(window->bounds());
    video->setBackgroundColor(ui::Color::blackColor());
    video->picture = quarters(*ui::Color::rgba(0.9, 0.1, 0.1, 1));
    // Controls over the picture: a half-transparent bar with a label, and one beside it.
    auto bar = rt::make<ui::View>(ui::Rect(0, 300, 640, 60));
    bar->setBackgroundColor(ui::Color::rgba(0.1, 0.1, 0.1, 0.6));
    auto label = rt::make<ui::Label>(ui::Rect(100, 310, 300, 40));
    label->setText("Morning show");
    label->setTextColor(ui::Color::whiteColor());
    bar->addSubview(label);
    auto badge = rt::make<ui::View>(ui::Rect(10, 10, 50, 50));
    badge->setBackgroundColor(ui::Color::rgba(1, 1, 1, 1));
    window->addSubview(video);
    video->addSubview(bar);
    video->addSubview(badge);
    open();
    auto drawn = [&] {
        window->layoutIfNeeded();
        return ui::renderToImage(*window);
    };
    auto shot = x->screenshot(xwindow());
    ASSERT_TRUE(shot);
    EXPECT_LE(differingPixels(*shot, *drawn()), kPictureTolerance) << "the picture, the bar over it and the badge";
    EXPECT_EQ(shot->pixelAt(300, 100) & 0xFFFFFF, drawn()->pixelAt(300, 100) & 0xFFFFFF);
    // A new picture, and nothing else: the window shows it.
    video->picture = quarters(*ui::Color::rgba(0.1, 0.9, 0.9, 1));
    video->setNeedsDisplayForNewPicture();
    settle();
    shot = x->screenshot(xwindow());
    ASSERT_TRUE(shot);
    EXPECT_LE(differingPixels(*shot, *drawn()), kPictureTolerance) << "the new picture";
    // Faded, the view's picture is drawn in the tree: the same on screen.
    video->setAlpha(0.5);
    settle();
    shot = x->screenshot(xwindow());
    ASSERT_TRUE(shot);
    EXPECT_LE(differingPixels(*shot, *drawn()), kPictureTolerance) << "the faded picture";
}

// Runs without a display too. In a fresh process: the display library, once started,
// stays started for the process's life.
TEST(WindowHostWithoutDisplay, OpeningSaysWhyAndWhatToDo) {
    if (kSanitized) GTEST_SKIP() << "left out under the sanitizers: the display libraries are not instrumented";
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            setenv("DISPLAY", ":97531", 1);
            rt::Ref<rt::Error> error;
            auto host = ui::WindowHost::open(rt::make<ui::Window>(ui::Rect(0, 0, 320, 180)), &error);
            bool ok = !host && error && error->domain() == ui::kWindowHostErrorDomain &&
                      error->code() == static_cast<long long>(ui::WindowHostError::NoDisplay) &&
                      error->localizedDescription().find(":97531") != std::string::npos &&
                      error->localizedDescription().find("set DISPLAY") != std::string::npos;
            std::fprintf(stderr, "%s\n", error ? error->localizedDescription().c_str() : "no error");
            std::exit(ok ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "cannot open a desktop window: .*DISPLAY is :97531.*set DISPLAY");
}

}  // namespace
}  // namespace zidtest
