// The debug console over a movie player controller: its polled entries, its lifetime
// against the controller's, sliding in and out, and the player view with the console
// shown against a committed picture.

#include "MoviePlayerFixture.h"

#include <QXCorePlayer/Core/View/QXPlayerDebugConsoleView.h>
#include <QXFoundation/CentralLog/QXCentralLoggerHandler.h>

#include "CentralLog/CentralLoggerTesting.h"
#include <QXFoundation/Log/QXLogger.h>
#include <ui/Renderer.h>

#include "GoldenImage.h"
#include "TestPaths.h"

namespace {

using namespace zidtest;

std::string entry(const zid::QXPlayerDebugConsoleView& console, const char* key) {
    auto v = console.debugValues().get(key);
    if (v.isString()) return v.string();
    if (v.isNil()) return "<none>";
    return rt::format("%@", v);
}

TEST_F(MoviePlayerTest, AConsoleBeforePlaybackShowsUnknownsAndZeroes) {
    make("");
    auto console = rt::make<zid::QXPlayerDebugConsoleView>(controller);
    EXPECT_EQ(entry(*console, "Content URL"), "Unknown");
    EXPECT_EQ(entry(*console, "Access URI"), "Unknown");
    EXPECT_EQ(entry(*console, "Bitrate"), "0 bit/s");
    EXPECT_EQ(console->debugValues().get("FPS").doubleValue(), 0);
    EXPECT_EQ(entry(*console, "Format"), "0000 - 0000 (0 x 0)");
    EXPECT_EQ(entry(*console, "LOG ID"), "<none>");
    console->setDebugValue(rt::Value(), "Viewer");
    EXPECT_NE(console->debugLabel()->text().find("Viewer: Unknown\n"), std::string::npos) << "shown at once";
    console->setValueForKey(rt::Value("CDN 3"), "Edge");
    EXPECT_EQ(entry(*console, "Edge"), "CDN 3") << "key-value writes become entries";
    auto text = console->debugLabel()->text();
    EXPECT_EQ(text.back(), '\n');
    EXPECT_EQ(text.rfind("Content URL: Unknown\n", 0), 0u) << "entries in the order they were first written";
}

TEST_F(MoviePlayerTest, TheConsolePollsEverySecondAndOutlivesItsControllerQuietly) {
    make();
    controller->prepareToPlay();
    advance(0.3);
    controller->showDebugConsole();
    auto console = controller->debugConsoleView();
    ASSERT_TRUE(console);
    EXPECT_EQ(entry(*console, "Content URL"), kVodURL);
    EXPECT_EQ(entry(*console, "Access URI"), "Unknown") << "no tick of the time observer yet";
    advance(1.0);
    EXPECT_EQ(entry(*console, "Access URI"), kVodURL);
    EXPECT_EQ(entry(*console, "Format"), "avc1 - mp4a (320 x 180)");
    EXPECT_GT(console->debugValues().get("Buffered duration").doubleValue(), 0);

    auto kept = console;  // something else keeps the console alive
    token = (fnd::NotificationCenter::defaultCenter()->removeObserver(token), nullptr);
    controller = nullptr;
    EXPECT_FALSE(kept->moviePlayerController());
    auto before = entry(*kept, "Content URL");
    advance(2);  // polls without a controller
    EXPECT_EQ(entry(*kept, "Content URL"), before) << "the controller's entries stay as they were";
}

TEST_F(MoviePlayerTest, TheBufferedDurationOfALiveStreamIsMeasuredFromTheItemsOwnTimesAndNeverNegative) {
    // Playing close to the live edge: little is loaded ahead of the position, and the
    // loaded range moves with it. The range and the position must be read together; a
    // range kept from an earlier moment ends behind the position and gave negative values.
    media::ScriptedMedia live;
    live.duration = INFINITY;
    live.bufferAhead = 0.5;
    engine->setScript(kLiveURL, live);
    make(kLiveURL);
    auto console = rt::make<zid::QXPlayerDebugConsoleView>(controller);
    EXPECT_EQ(controller->bufferedDuration(), 0) << "nothing loaded before playback";
    controller->prepareToPlay();
    advance(0.3);
    double least = INFINITY, most = -INFINITY;
    for (int i = 0; i < 60; ++i) {  // six seconds, between and across the once-a-second updates
        advance(0.1);
        console->poll();
        double shown = console->debugValues().get("Buffered duration").doubleValue();
        least = std::min(least, shown);
        most = std::max(most, shown);
    }
    EXPECT_EQ(state(), zid::QXMoviePlaybackState::Playing);
    EXPECT_GE(least, 0) << "never negative";
    EXPECT_LE(most, 0.5 + 1e-9) << "never more than is loaded ahead";
    EXPECT_GT(most, 0) << "what is loaded ahead of the position is shown";

    playback()->stallNow(5);  // nothing more arrives: the loaded range ends at the position
    advance(1.5);
    console->poll();
    EXPECT_NEAR(console->debugValues().get("Buffered duration").doubleValue(), 0, 1e-6);
    controller->stop();
    EXPECT_EQ(controller->bufferedDuration(), 0) << "no item after stopping";
}

TEST_F(MoviePlayerTest, TheLogIdIsShownOnlyWhileTheCentralHandlerAcceptsRecords) {
    zid::setCentralLoggerServerURLForTesting("127.0.0.1:1");
    static rt::Ref<zid::QXCentralLoggerHandler> central;  // handlers stay registered for the process
    if (!central) {
        central = rt::make<zid::QXCentralLoggerHandler>("tests");
        zid::QXLogger::defaultLogger()->registerHandler(central);
    }
    central->setLevel(0);
    make();
    auto console = rt::make<zid::QXPlayerDebugConsoleView>(controller);
    EXPECT_EQ(entry(*console, "LOG ID"), "<none>");
    central->setLevel(1);
    console->poll();
    central->setLevel(0);
    EXPECT_EQ(entry(*console, "LOG ID"), central->uuid());
}

TEST_F(MoviePlayerTest, TheConsoleSlidesInAndOutOfThePlayerView) {
    make();
    controller->playerView()->setFrame(ui::Rect(0, 0, 200, 100));
    controller->hideDebugConsole();  // none shown: only logs
    controller->toggleDebugConsole();
    EXPECT_FALSE(controller->debugConsoleView()) << "toggling without a console does nothing";
    controller->showDebugConsole();
    auto console = controller->debugConsoleView();
    ASSERT_TRUE(console);
    EXPECT_EQ(console->superview(), controller->playerView());
    EXPECT_EQ(console->frame().origin.y, 0) << "the model value is the end of the slide";
    controller->showDebugConsole();
    EXPECT_EQ(controller->debugConsoleView(), console) << "one console at a time";
    advance(0.6);
    controller->hideDebugConsole();
    EXPECT_TRUE(controller->debugConsoleView()) << "kept until the slide ends";
    advance(0.6);
    drain();
    EXPECT_FALSE(controller->debugConsoleView());
    EXPECT_FALSE(console->superview());
}

TEST_F(MoviePlayerTest, ThePlayerViewWithTheConsoleMatchesItsPicture) {
    make();
    controller->setScalingMode(1);
    controller->playerView()->setFrame(ui::Rect(0, 0, 480, 270));
    controller->prepareToPlay();
    advance(0.3 + 2);
    controller->pause();
    controller->showDebugConsole();
    advance(1);
    drain();
    auto image = ui::renderToImage(*controller->playerView());
    ASSERT_TRUE(image);
    auto result = compareWithGolden(*image, zidtest::testPath("golden"), "player_view_debug_console", 24, 400);
    EXPECT_TRUE(result.matched) << result.message;
}

}  // namespace
