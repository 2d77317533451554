// Pictures of the player view with the default controls over a stand-in video frame
// (shown, hidden) and of the subtitle action sheet the host presents for it.

#include <QXCorePlayer/Core/View/PlaybackControl/CPDefaultPlaybackControlFactory.h>
#include <QXCorePlayer/Core/View/PlaybackControl/CPToolbarPlaybackControl.h>
#include <QXFoundation/Listening/IListenable.h>
#include <gtest/gtest.h>
#include <ui/AlertController.h>
#include <ui/Application.h>
#include <ui/Renderer.h>
#include <ui/Window.h>

#include "GoldenImage.h"
#include "StillPicture.h"
#include "Core/View/PlaybackControlDoubles.h"
#include "TestPaths.h"
#include "VirtualTime.h"

namespace zidtest {
namespace {

/// Presents what the player view asks for over the window's root controller.
class Presenter : public rt::Object, public CPPlayerViewListener {
    RT_CLASS(Presenter, rt::Object)
public:
    void playerViewRequestsPresentingViewController(CPPlayerView&, const rt::Ref<ui::ViewController>& vc) override {
        if (auto r = root.lock()) r->presentViewController(vc, false);
    }
    rt::Weak<ui::ViewController> root;
};

class PlayerViewPicturesTest : public VirtualTimeTest {
protected:
    void SetUp() override {
        VirtualTimeTest::SetUp();
        window = rt::make<ui::Window>(ui::Rect(0, 0, 480, 270));
        root = rt::make<ui::ViewController>();
        window->setRootViewController(root);
        window->makeKeyAndVisible();
        source = rt::make<ScriptedSource>();
        source->setTitle("Morning show");
        source->setViewerCountEnabled(true);
        source->setViewerCount(12345);
        players = rt::make<ScriptedPlayerFactory>();
    }
    void TearDown() override {
        ui::Application::sharedApplication()->reset();
        VirtualTimeTest::TearDown();
    }
    /// A still picture standing in for the video: sky, sun and ground.
    static rt::Ref<ui::View> frame() {
        return stillPicture(ui::Rect(0, 0, 480, 270), ui::Rect(340, 40, 60, 60), ui::Rect(0, 170, 480, 100));
    }
    OptionsPlayer& play(CPMediaSourceType type) {
        source->setSourceType(type);
        session = CPPlaybackSession::sessionWithMediaSource(source, rt::make<PictureFactory>());
        view = rt::make<CPPlayerView>(root->view()->bounds(), rt::make<CPDefaultPlaybackControlFactory>());
        root->view()->addSubview(view);
        view->setSession(session);
        source->setRealizing();
        source->setRealized();
        auto& player = static_cast<OptionsPlayer&>(*session->player());
        player.setPresentationLayer(frame());
        player.setTimeInfo(CPMediaTimingBase::timingWithStartTime(0, 600));
        player.setPlaybackTime(125);
        player.script(CPPlayerState::Playing);
        return player;
    }
    rt::Ref<ui::Image> picture() {
        window->layoutIfNeeded();
        return ui::renderToImage(*window);
    }

    class PictureFactory : public ScriptedPlayerFactory {
        RT_CLASS(PictureFactory, ScriptedPlayerFactory)
    public:
        rt::Ref<ICPMediaPlayer> playerForSource(const rt::Ref<ICPMediaSource>& s) override {
            auto player = rt::make<OptionsPlayer>();
            player->setSource(s);
            player->script(CPPlayerState::Buffering);
            return player;
        }
    };

    rt::Ref<ui::Window> window;
    rt::Ref<ui::ViewController> root;
    rt::Ref<ScriptedSource> source;
    rt::Ref<ScriptedPlayerFactory> players;
    rt::Ref<CPPlaybackSession> session;
    rt::Ref<CPPlayerView> view;
};

TEST_F(PlayerViewPicturesTest, DefaultControlsShownAndHidden) {
    for (bool live : {true, false}) {
        play(live ? CPMediaSourceType::LiveChannel : CPMediaSourceType::Recorded);
        ASSERT_TRUE(view->controlsVisible());
        EXPECT_MATCHES_GOLDEN(*picture(), zidtest::testPath("view_golden"), live ? "player_view_live_shown" : "player_view_recorded_shown");
        advance(5.5);
        ASSERT_FALSE(view->controlsVisible());
        // Hidden, both show the bare video.
        EXPECT_MATCHES_GOLDEN(*picture(), zidtest::testPath("view_golden"), "player_view_hidden");
        view->removeFromSuperview();
    }
}

TEST_F(PlayerViewPicturesTest, SubtitleActionSheet) {
    auto& player = play(CPMediaSourceType::Recorded);
    player.setSubtitles({"English", "French"});
    auto presenter = rt::make<Presenter>();
    presenter->root = root;
    addListener(*view, presenter);
    auto control = rt::cast<CPToolbarPlaybackControl>(view->playbackControl());
    control->presentSubtitleSelectorWithSource(control);
    ASSERT_TRUE(rt::cast<ui::AlertController>(root->presentedViewController()));
    advance(1);
    EXPECT_MATCHES_GOLDEN(*picture(), zidtest::testPath("view_golden"), "player_view_subtitle_sheet");
}

}  // namespace
}  // namespace zidtest
