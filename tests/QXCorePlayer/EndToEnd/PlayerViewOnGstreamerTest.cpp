// The player view's default controls over a real player on the GStreamer engine: the
// pickers list the stream's own audio and subtitle renditions, and a choice made in
// them changes what the engine downloads from the loopback origin. Null outputs;
// waits are bounded on the real clock.

#include <gtest/gtest.h>

#include <QXCorePlayer/Core/Core/CPPlaybackSession.h>
#include <QXCorePlayer/Core/Core/CPURLMediaSource.h>
#include <QXCorePlayer/Core/MediaPlayer/CPMediaPlayer.h>
#include <QXCorePlayer/Core/View/PlaybackControl/CPDefaultPlaybackControlFactory.h>
#include <QXCorePlayer/Core/View/PlaybackControl/CPToolbarPlaybackControl.h>
#include <QXFoundation/Listening/IListenable.h>
#include <QXFoundation/Lists/IList.h>
#include <QXUIKit/Toolbar/QXButtonToolbarItem.h>
#include <QXCorePlayer/Core/View/QXPlayerView.h>
#include <media/PlayerLayer.h>
#include <ui/AlertController.h>
#include <ui/Renderer.h>
#include <ui/Window.h>

#include <cmath>

#include "Core/View/PlaybackControlDoubles.h"
#include "../support/GstPlayerTest.h"
#include "GoldenImage.h"
#include "TestPaths.h"

namespace zidtest {
namespace {

class PlayerViewOnGstreamerTest : public GstPlayerTest {
protected:
    void TearDown() override {
        view = nullptr;
        window = nullptr;
        session = nullptr;
        GstPlayerTest::TearDown();
    }
    static std::uint64_t count(const rt::Ref<rt::Object>& list) {
        auto l = std::dynamic_pointer_cast<IList>(list);
        return l ? l->count() : 0;
    }
    rt::Ref<ui::AlertController> lastAlert() const {
        return recorder->requested.empty() ? nullptr : rt::cast<ui::AlertController>(recorder->requested.back());
    }
    bool servedUnder(const std::string& prefix) const {
        return origin_->bytesServed([&](const std::string& p) { return p.rfind(prefix, 0) == 0; }) > 0;
    }

    rt::Ref<ui::Window> window;
    rt::Ref<CPPlaybackSession> session;
    rt::Ref<CPPlayerView> view;
    rt::Ref<ControlRecorder> recorder = rt::make<ControlRecorder>();
};

TEST_F(PlayerViewOnGstreamerTest, PickersListTheStreamsRenditionsAndAChoiceChangesWhatIsDownloaded) {
#if defined(__SANITIZE_ADDRESS__)
    // Under AddressSanitizer with the whole suite running beside it, this test (a shown
    // window over the real engine) has run past its time limit; alone it passes there
    // too. The plain build runs it in every run.
    GTEST_SKIP() << "left out under AddressSanitizer: it outruns its time limit there under load";
#endif
    const std::string tag = "/tag/player-view-select/vod/";
    auto source = CPURLMediaSource::sourceWithMediaURL(origin_->url(tag + "master.m3u8"));
    source->setSourceType(CPMediaSourceType::Recorded);
    session = CPPlaybackSession::sessionWithMediaSource(source, rt::make<CPPlayerFactory>());
    window = rt::make<ui::Window>(ui::Rect(0, 0, 640, 360));
    window->makeKeyAndVisible();
    view = rt::make<CPPlayerView>(window->bounds(), rt::make<CPDefaultPlaybackControlFactory>());
    window->addSubview(view);
    addListener(*view, recorder);
    view->setSession(session);
    session->play();

    ASSERT_TRUE(waitUntil([&] {
        auto player = session->player();
        return player && count(player->audioTracks()) == 2 && count(player->subtitles()) == 1;
    })) << "the stream's renditions reach the player";
    auto control = rt::cast<CPToolbarPlaybackControl>(view->playbackControl());
    ASSERT_TRUE(control) << "a recording gets the default recorded control";
    EXPECT_EQ(view->presentationLayer(), rt::cast<ui::View>(session->player()->presentationLayer()));
    EXPECT_FALSE(control->subtitlesButtonItem()->button()->isHidden());
    EXPECT_FALSE(control->audioTracksButtonItem()->button()->isHidden());
    EXPECT_FALSE(servedUnder(tag + "audio_fra/seg"));

    control->presentAudioSelectorWithSource(control);
    auto audio = lastAlert();
    ASSERT_TRUE(audio);
    ASSERT_EQ(audio->actions().size(), 3u) << "two renditions and cancel";
    auto second = audio->actions()[1];
    second->handler()(*second);
    ASSERT_TRUE(waitUntil([&] { return servedUnder(tag + "audio_fra/seg"); }))
        << "the second audio rendition is downloaded once chosen";

    control->presentSubtitleSelectorWithSource(control);
    auto subtitles = lastAlert();
    ASSERT_TRUE(subtitles);
    ASSERT_EQ(subtitles->actions().size(), 3u) << "none, the one rendition and cancel";
    // The pickers show the playlist's names of the renditions.
    EXPECT_EQ(subtitles->actions()[1]->title(), "English");
    EXPECT_EQ(audio->actions()[0]->title(), "ENG");
    EXPECT_EQ(audio->actions()[1]->title(), "FRA");
    auto english = subtitles->actions()[1];
    english->handler()(*english);
    ASSERT_TRUE(waitUntil([&] { return servedUnder(tag + "subs_eng/sub"); }))
        << "the subtitle rendition is downloaded once chosen";
    EXPECT_EQ(recorder->calls.back().what, "viewRequest");
}

TEST_F(PlayerViewOnGstreamerTest, PicturesOfARealFrameUnderTheRecordedControlsShownAndHidden) {
    auto source = CPURLMediaSource::sourceWithMediaURL(origin_->url("/tag/player-view-picture/vod/muxed/index.m3u8"));
    source->setSourceType(CPMediaSourceType::Recorded);
    session = CPPlaybackSession::sessionWithMediaSource(source, rt::make<CPPlayerFactory>());
    view = rt::make<CPPlayerView>(ui::Rect(0, 0, 480, 270), rt::make<CPDefaultPlaybackControlFactory>());
    view->setSession(session);
    session->play();
    ASSERT_TRUE(waitUntil([&] { return session->state() == CPSessionState::Playing && view->playbackControl(); }));
    session->pause();
    // A key frame (they are 2 s apart): the default seek lands on it exactly.
    session->seekTo(6.0);
    auto video = rt::cast<QXPlayerView>(view->presentationLayer());
    ASSERT_TRUE(video) << "the player's video view is the bottom layer";
    ASSERT_TRUE(waitUntil([&] {
        auto frame = video->playerLayer()->currentFrame();
        return frame && std::abs(frame->presentationTime().toSeconds() - 6.0) < 0.05 &&
               std::abs(session->player()->playbackTime() - 6.0) < 0.05;
    })) << "the frame at 6 s reaches the view";
    // The clock's text and the moving parts of the pattern are the same at that frame;
    // a few pixels of scaling may differ between runs.
    const long slack = 480 * 270 / 100;
    view->showControls(true, false, kControlHideDelayNever);
    view->layoutIfNeeded();
    auto shown = compareWithGolden(*ui::renderToImage(*view), zidtest::testPath("view_golden"), "player_view_real_frame_shown", 24, slack);
    EXPECT_TRUE(shown.matched) << shown.message;
    view->showControls(false, false, kControlHideDelayNever);
    auto hidden = compareWithGolden(*ui::renderToImage(*view), zidtest::testPath("view_golden"), "player_view_real_frame_hidden", 24, slack);
    EXPECT_TRUE(hidden.matched) << hidden.message;
}

}  // namespace
}  // namespace zidtest
