// Which control the player view shows for each control style, the toolbar accessors of
// the facade's own control, and the controls' calls to the delegate.

#include <QXCorePlayer/Core/View/PlaybackControl/CPDefaultPlaybackControlFactory.h>
#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPPlayButtonToolbarItem.h>
#include <QXSDKPlayer/Common/ConstPlaybackControlFactory.h>

#include "FacadeTestSupport.h"

namespace facadetest {
namespace {

class PresentingController : public ui::ViewController {
    RT_CLASS(PresentingController, ui::ViewController)
public:
    void presentViewController(const rt::Ref<ui::ViewController>& controller, bool animated,
                               Completion completion = {}) override {
        presented.push_back(controller);
        lastAnimated = animated;
        (void)completion;
    }
    std::vector<rt::Ref<ui::ViewController>> presented;
    bool lastAnimated = false;
};

TEST_F(FacadeTest, EachControlStyleGivesThePlayerViewItsFactory) {
    auto facade = scriptedFacade(CPMediaSourceType::Recorded);
    EXPECT_EQ(facade->playerControlStyle(), QXPlayerControlStyle::Default);
    EXPECT_TRUE(rt::cast<CPDefaultPlaybackControlFactory>(QXQuorvexPlayerInternals::playerView(*facade)->playbackControlFactory()));
    auto defaultControl = QXQuorvexPlayerInternals::playerView(*facade)->playbackControl();
    EXPECT_TRUE(defaultControl) << "the default recorded control for the session";
    EXPECT_NE(defaultControl, facade->customToolbarPlaybackControl());

    facade->setPlayerControlStyle(QXPlayerControlStyle::CustomToolbar);
    auto constant = rt::cast<ConstPlaybackControlFactory>(QXQuorvexPlayerInternals::playerView(*facade)->playbackControlFactory());
    ASSERT_TRUE(constant);
    EXPECT_EQ(constant->playbackControl(), facade->customToolbarPlaybackControl());
    EXPECT_EQ(QXQuorvexPlayerInternals::playerView(*facade)->playbackControl(), facade->customToolbarPlaybackControl());
    EXPECT_EQ(facade->customToolbarPlaybackControl()->mediaSource(), QXQuorvexPlayerInternals::session(*facade)->source());
    EXPECT_EQ(facade->customToolbarPlaybackControl()->mediaPlayer(), QXQuorvexPlayerInternals::session(*facade)->player());

    // Every new session gets the same control with its own source and player.
    auto next = scriptedSession(CPMediaSourceType::LiveChannel);
    QXQuorvexPlayerInternals::setSession(*facade, next);
    next->prepareToPlay();
    EXPECT_EQ(QXQuorvexPlayerInternals::playerView(*facade)->playbackControl(), facade->customToolbarPlaybackControl());
    EXPECT_EQ(facade->customToolbarPlaybackControl()->mediaSource(), next->source());
    EXPECT_EQ(facade->customToolbarPlaybackControl()->mediaPlayer(), next->player());

    facade->setPlayerControlStyle(QXPlayerControlStyle::None);
    EXPECT_EQ(QXQuorvexPlayerInternals::playerView(*facade)->playbackControlFactory(), nullptr);
    EXPECT_EQ(QXQuorvexPlayerInternals::playerView(*facade)->playbackControl(), nullptr);
    // No such style: refused, and the style (no control) stays.
    EXPECT_THROW(facade->setPlayerControlStyle(static_cast<QXPlayerControlStyle>(7)), rt::Exception);
    EXPECT_EQ(facade->playerControlStyle(), QXPlayerControlStyle::None);
    EXPECT_EQ(QXQuorvexPlayerInternals::playerView(*facade)->playbackControl(), nullptr);
    facade->setPlayerControlStyle(QXPlayerControlStyle::Default);
    EXPECT_TRUE(QXQuorvexPlayerInternals::playerView(*facade)->playbackControl());
}

TEST_F(FacadeTest, ToolbarAccessorsHandOutNewItemsOfTheCustomControl) {
    auto facade = scriptedFacade(CPMediaSourceType::Recorded);
    facade->setPlayerControlStyle(QXPlayerControlStyle::None);  // the accessors work whether or not the control is shown
    facade->customToolbarPlaybackControl()->setMediaPlayer(QXQuorvexPlayerInternals::session(*facade)->player());
    auto first = facade->playButtonItem();
    auto second = facade->playButtonItem();
    ASSERT_TRUE(first && second);
    EXPECT_NE(first, second);
    EXPECT_EQ(first->mediaPlayer(), QXQuorvexPlayerInternals::session(*facade)->player());
    EXPECT_EQ(second->mediaPlayer(), QXQuorvexPlayerInternals::session(*facade)->player());
    EXPECT_EQ(facade->topToolbar(), facade->customToolbarPlaybackControl()->topToolbar());
    EXPECT_EQ(facade->bottomToolbar(), facade->customToolbarPlaybackControl()->bottomToolbar());
    EXPECT_TRUE(facade->sliderItem() && facade->timeLabelItem() && facade->durationLabelItem() &&
                facade->timePerDurationLabelItem() && facade->viewerCountLabelItem() && facade->startedDateLabelItem() &&
                facade->titleLabelItem() && facade->airplayButtonItem() && facade->pictureInPictureButtonItem() &&
                facade->subtitlesButtonItem() && facade->audioTracksButtonItem() && facade->liveBadgeItem());
    EXPECT_NE(QXQuorvexPlayerInternals::customToolbarPlaybackControlFactory(*facade), QXQuorvexPlayerInternals::customToolbarPlaybackControlFactory(*facade));
    // Key-value coding reaches the accessors too, each read a new item.
    EXPECT_NE(facade->valueForKey("playButtonItem").object(), facade->valueForKey("playButtonItem").object());
}

TEST_F(FacadeTest, TheControlsCallsReachTheDelegateAndPresentationsFallBackToTheHostsController) {
    auto facade = scriptedFacade(CPMediaSourceType::Recorded);
    facade->showControls(false, false, kControlHideDelayNever);  // a new control shows itself
    delegate->calls.clear();
    facade->showControls(true, false, kControlHideDelayNever);
    EXPECT_TRUE(facade->controlsVisible());
    facade->showControls(false, true, kControlHideDelayNever);
    EXPECT_FALSE(facade->controlsVisible());
    EXPECT_EQ(delegate->calls, (Lines{"present 0 0.3", "hide 1 0.3"}));

    ASSERT_TRUE(setDefaultControlHideDelay(2));  // the delay current at the call
    facade->showControls(true, false);
    setDefaultControlHideDelay(kDefaultControlHideDelay);
    advance(2.1);
    EXPECT_FALSE(facade->controlsVisible());

    auto presenter = rt::make<PresentingController>();
    facade->setPresentingViewController(presenter);
    auto picker = rt::make<ui::ViewController>();
    auto& view = *QXQuorvexPlayerInternals::playerView(*facade);
    QXQuorvexPlayerInternals::listener(*facade).playerViewRequestsPresentingViewController(view, picker);
    ASSERT_EQ(presenter->presented.size(), 1u);
    EXPECT_EQ(presenter->presented[0], picker);
    EXPECT_TRUE(presenter->lastAnimated);
    delegate->presents = true;
    QXQuorvexPlayerInternals::listener(*facade).playerViewRequestsPresentingViewController(view, picker);
    EXPECT_EQ(presenter->presented.size(), 1u) << "the host presented it";
    delegate.reset();
    QXQuorvexPlayerInternals::listener(*facade).playerViewRequestsPresentingViewController(view, picker);
    EXPECT_EQ(presenter->presented.size(), 2u) << "a delegate gone away presents nothing";
}

}  // namespace
}  // namespace facadetest
