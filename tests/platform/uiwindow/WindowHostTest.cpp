// The player view in a desktop window on a real X server: the picture the server holds
// matches the renderer's, a resize lays the controls out again, and a person's clicks,
// double clicks, drags, keys and the close button (XTest, real X events) reach the
// toolkit as touches, typing and the end of the run loop.

#include <TestPaths.h>
#include "WindowHostFixture.h"

namespace zidtest {
namespace {

// ---- what the server shows -------------------------------------------------------------------

TEST_F(WindowHostTest, TheServerShowsWhatTheRendererDraws) {
    showPlayer(CPMediaSourceType::Recorded);
    // The tree as the renderer draws it, kept as the reference...
    window->layoutIfNeeded();
    EXPECT_MATCHES_GOLDEN(*ui::renderToImage(*window), zidtest::testPath("golden"), "player_in_window");
    // ...and the window's pixels read back from the server.
    auto shot = x->screenshot(xwindow());
    ASSERT_TRUE(shot);
    EXPECT_EQ(shot->pixelWidth(), 640);
    EXPECT_EQ(shot->pixelHeight(), 360);
    const char* update = std::getenv("ZID_UPDATE_GOLDEN");
    if (!update || std::string(update) != "1") {
        auto result = compareWithGolden(*shot, zidtest::testPath("golden"), "player_in_window", 24, 640 * 360 / 500);
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

TEST_F(WindowHostTest, AClosedWindowLetGoFreesThePlayerViewItsSessionAndItsPlayer) {
    showPlayer(CPMediaSourceType::Recorded);
    rt::Weak<ui::Window> weakWindow = window;
    rt::Weak<CPPlaybackSession> weakSession = session;
    rt::Weak<ICPMediaPlayer> weakPlayer = session->player();
    ASSERT_TRUE(weakPlayer.lock());
    host->close();
    EXPECT_FALSE(window->isShown()) << "a closed window is no longer among the application's windows";

    // The host lets go of all it made, without resetting the session first.
    host = nullptr;
    view = nullptr;
    session = nullptr;
    source = nullptr;
    players = nullptr;
    window = nullptr;
    fnd::RunLoop::main()->drain();
    EXPECT_FALSE(weakWindow.lock()) << "nothing keeps a closed window that was let go";
    EXPECT_FALSE(weakSession.lock()) << "nor the session its player view showed";
    EXPECT_FALSE(weakPlayer.lock()) << "nor the session's player (with a real engine: its engine process)";
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

