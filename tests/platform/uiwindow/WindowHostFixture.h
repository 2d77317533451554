#pragma once
// What the desktop window tests share: a real X server (XTest input, pictures read back),
// the player view with its default controls playing a scripted source, and the main loop
// run for a while or until something happens.

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
#include "StillPicture.h"
#include "Sanitized.h"
// Last: the X headers define macros (None, Status, True) the toolkit's headers use as names.
#include "XDisplay.h"

namespace zidtest {
namespace {

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
        // The display and SDL libraries are not instrumented: the sanitizer builds leave
        // these tests to the plain one (which runs them under an X server of its own).
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
        return stillPicture(ui::Rect(0, 0, 640, 360), ui::Rect(450, 50, 80, 80), ui::Rect(0, 230, 640, 130));
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

}  // namespace
}  // namespace zidtest
