// The player view: its four layers and their order, the control its factory makes for
// the session's source and player, the relayed control calls; and the default live and
// recorded controls in it, driven by injected touches on virtual time.

#include <QXCorePlayer/Core/View/PlaybackControl/CPDefaultPlaybackControlFactory.h>
#include <QXCorePlayer/Core/View/PlaybackControl/CPToolbarPlaybackControl.h>
#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPAirplayToolbarItem.h>
#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPContentDurationToolbarItem.h>
#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPLiveContentDetailsToolbarItem.h>
#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPPictureInPictureToolbarItem.h>
#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPPlayButtonToolbarItem.h>
#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPPlaybackSliderToolbarItem.h>
#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPPlaybackTimeLabelToolbarItem.h>
#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPRecordedContentDetailsToolbarItem.h>
#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPViewerCountToolbarItem.h>
#include <QXFoundation/Listening/IListenable.h>
#include <QXUIKit/Toolbar/QXImageToolbarItem.h>
#include <RuzEzo/Extensions/KeypathSignalCategory.h>
#include <gtest/gtest.h>
#include <ui/TouchInjector.h>
#include <ui/Window.h>

#include "Core/View/PlaybackControlDoubles.h"
#include "VirtualTime.h"

namespace zidtest {
namespace {

/// Answers what it is told to, and counts the questions.
class SettableFactory : public ICPPlaybackControlFactory {
    RT_CLASS(SettableFactory, ICPPlaybackControlFactory)
public:
    rt::Ref<ICPPlaybackControl> controlForMediaSource(const rt::Ref<ICPMediaSource>& source,
                                                     const rt::Ref<ICPMediaPlayer>& player) override {
        ++asked;
        lastSource = source;
        lastPlayer = player;
        return answer;
    }
    rt::Ref<ICPPlaybackControl> answer;
    int asked = 0;
    rt::Ref<ICPMediaSource> lastSource;
    rt::Ref<ICPMediaPlayer> lastPlayer;
};

class StubbornControl : public CPToolbarPlaybackControl {
    RT_CLASS(StubbornControl, CPToolbarPlaybackControl)
public:
    using CPToolbarPlaybackControl::CPToolbarPlaybackControl;
    bool canBecomeFirstResponder() const override { return false; }
};

class OptionsPlayerFactory : public ScriptedPlayerFactory {
    RT_CLASS(OptionsPlayerFactory, ScriptedPlayerFactory)
public:
    rt::Ref<ICPMediaPlayer> playerForSource(const rt::Ref<ICPMediaSource>& source) override {
        auto player = rt::make<OptionsPlayer>();
        player->setSource(source);
        player->script(CPPlayerState::Buffering);
        players.push_back(player);
        return player;
    }
};

class PlayerViewTest : public VirtualTimeTest {
protected:
    void SetUp() override {
        VirtualTimeTest::SetUp();
        window = rt::make<ui::Window>(ui::Rect(0, 0, 640, 360));
        window->makeKeyAndVisible();
        source = rt::make<ScriptedSource>();
        source->setSourceType(CPMediaSourceType::Recorded);
        players = rt::make<OptionsPlayerFactory>();
        session = CPPlaybackSession::sessionWithMediaSource(source, players);
        recorder = rt::make<ControlRecorder>();
    }
    void make(rt::Ref<ICPPlaybackControlFactory> factory) {
        view = rt::make<CPPlayerView>(window->bounds(), std::move(factory));
        addListener(*view, recorder);
        window->addSubview(view);
        view->setSession(session);
    }
    OptionsPlayer& realize() {
        source->setRealizing();
        source->setRealized();
        return static_cast<OptionsPlayer&>(*players->last());
    }
    rt::Ref<CPToolbarPlaybackControl> control() const {
        return rt::cast<CPToolbarPlaybackControl>(view->playbackControl());
    }
    /// The player view's subviews, bottom to top, as names.
    std::vector<std::string> stack() const {
        std::vector<std::string> names;
        for (const auto& s : view->subviews()) {
            if (s == view->presentationLayer()) names.push_back("video");
            else if (s == view->logoLayer()) names.push_back("logo");
            else if (s == view->statusIndicator()) names.push_back("status");
            else if (s == view->playbackControl()) names.push_back("control");
            else names.push_back("other");
        }
        return names;
    }
    void twoFingerSwipe(double dy, int fingers = 2) {
        std::vector<ui::Point> starts{{300, 120}, {340, 120}};
        starts.resize(fingers);
        auto ids = touch().downMany(starts);
        for (int step = 1; step <= 5; ++step) {
            ui::TouchInjector::wait(0.016);
            for (int f = 0; f < fingers; ++f)
                touch().move(ids[f], ui::Point{starts[f].x, starts[f].y + dy * step / 5});
        }
        touch().upMany(ids);
    }
    ui::TouchInjector& touch() {
        if (!touch_) touch_ = std::make_unique<ui::TouchInjector>(window);
        return *touch_;
    }

    rt::Ref<ui::Window> window;
    rt::Ref<ScriptedSource> source;
    rt::Ref<OptionsPlayerFactory> players;
    rt::Ref<CPPlaybackSession> session;
    rt::Ref<ControlRecorder> recorder;
    rt::Ref<CPPlayerView> view;
    std::unique_ptr<ui::TouchInjector> touch_;
};

// ---- layers ---------------------------------------------------------------------------------

TEST_F(PlayerViewTest, LayersStackInOrderBeneathAnythingAHostAdds) {
    auto factory = rt::make<SettableFactory>();
    factory->answer = CPToolbarPlaybackControl::controlForMediaSource(nullptr, nullptr);
    make(factory);
    EXPECT_TRUE(view->backgroundColor()->isEqual(*ui::Color::blackColor()));
    auto host = rt::make<ui::View>(ui::Rect(0, 0, 10, 10));
    view->addSubview(host);
    // No player yet: logo, status and control only.
    EXPECT_EQ(view->presentationLayer(), nullptr);
    ASSERT_TRUE(view->statusIndicator());
    EXPECT_EQ(stack(), (std::vector<std::string>{"logo", "status", "control", "other"}));
    EXPECT_EQ(view->playbackControl()->frame(), view->bounds());
    EXPECT_EQ(view->statusIndicator()->autoresizingMask(),
              ui::Autoresizing::FlexibleWidth | ui::Autoresizing::FlexibleHeight);

    auto& player = realize();
    auto video = rt::make<ui::View>(ui::Rect(0, 0, 5, 5));
    player.setPresentationLayer(video);
    EXPECT_EQ(view->presentationLayer(), video);
    EXPECT_EQ(video->frame(), view->bounds());
    EXPECT_EQ(stack().front(), "video");
    EXPECT_EQ(stack().back(), "other");
    player.script(CPPlayerState::Playing);  // the status view goes
    EXPECT_EQ(stack(), (std::vector<std::string>{"video", "logo", "control", "other"}));
    player.script(CPPlayerState::Buffering);  // a new one comes, in its place
    EXPECT_EQ(stack(), (std::vector<std::string>{"video", "logo", "status", "control", "other"}));
    player.setPresentationLayer(nullptr);
    EXPECT_EQ(video->superview(), nullptr);
}

// ---- the control ----------------------------------------------------------------------------

TEST_F(PlayerViewTest, TheFactoryDecidesTheControlAndOnlyTheCurrentOneReports) {
    auto first = rt::make<SettableFactory>();
    first->answer = CPToolbarPlaybackControl::controlForMediaSource(nullptr, nullptr);
    make(first);
    auto old = view->playbackControl();
    auto& player = realize();
    EXPECT_EQ(first->lastSource, source);
    EXPECT_EQ(first->lastPlayer.get(), &player);

    auto second = rt::make<SettableFactory>();
    second->answer = rt::make<StubbornControl>(source, nullptr, ui::Rect(0, 0, 100, 100));
    view->setPlaybackControlFactory(second);
    EXPECT_EQ(second->asked, 1) << "a new factory is asked at once";
    EXPECT_EQ(view->playbackControl(), second->answer);
    EXPECT_EQ(old->superview(), nullptr);
    EXPECT_FALSE(second->answer->isFirstResponder()) << "installed as it is";
    recorder->calls.clear();
    old->show(false, true, 0);
    EXPECT_TRUE(recorder->calls.empty()) << "the old control no longer reports";
    rt::Weak<ICPPlaybackControl> replaced = old;
    old.reset();
    first->answer.reset();
    EXPECT_TRUE(replaced.expired()) << "a replaced control is let go";

    // The new one's calls reach the view's listeners with the view first.
    second->answer->show(false, false, 0);
    ASSERT_EQ(recorder->calls.size(), 1u);
    EXPECT_EQ(recorder->calls[0].what, "viewHide");
    EXPECT_EQ(recorder->calls[0].from, view.get());
    EXPECT_FALSE(recorder->calls[0].animated);
    EXPECT_DOUBLE_EQ(recorder->calls[0].duration, 0.3);
    auto stubborn = rt::cast<StubbornControl>(second->answer);
    stubborn->presentAudioSelectorWithSource(stubborn);
    ASSERT_EQ(recorder->requested.size(), 1u);
    EXPECT_EQ(recorder->calls.back().what, "viewRequest");

    // A factory answering the same control leaves it where it is.
    int asked = second->asked;
    view->setPlaybackControlFactory(rt::make<SettableFactory>());
    view->setPlaybackControlFactory(second);
    EXPECT_EQ(second->asked, asked + 1);
    EXPECT_EQ(view->playbackControl(), second->answer);
    EXPECT_EQ(second->answer->superview(), view);

    // A control that can become first responder does, once installed in a window.
    auto third = rt::make<SettableFactory>();
    third->answer = CPToolbarPlaybackControl::controlForMediaSource(source, nullptr);
    view->setPlaybackControlFactory(third);
    EXPECT_TRUE(third->answer->isFirstResponder());

    // The view, its control and their bindings go when the owner lets go.
    rt::Weak<CPPlayerView> weakView = view;
    rt::Weak<ICPPlaybackControl> weakControl = third->answer;
    view->removeFromSuperview();
    view.reset();
    third->answer.reset();
    EXPECT_TRUE(weakView.expired());
    EXPECT_TRUE(weakControl.expired());
}

TEST_F(PlayerViewTest, WithoutAControlNothingIsShownOrVisible) {
    auto factory = rt::make<SettableFactory>();
    make(factory);
    EXPECT_EQ(view->playbackControl(), nullptr);
    EXPECT_FALSE(view->controlsVisible());
    view->showControls(true, false, kControlHideDelayNever);  // nothing to forward to
    EXPECT_FALSE(view->controlsVisible());
    EXPECT_TRUE(recorder->calls.empty());
}

TEST_F(PlayerViewTest, ControlsVisibleFollowsTheControl) {
    make(rt::make<CPDefaultPlaybackControlFactory>());
    realize();
    ASSERT_TRUE(view->playbackControl());
    auto visible = signalForKeypath(*view, "controlsVisible");
    EXPECT_TRUE(visible->lastValue().boolValue());
    advance(5.1);
    EXPECT_FALSE(view->controlsVisible());
    EXPECT_FALSE(visible->lastValue().boolValue());
    view->showControls(true, true, kControlHideDelayNever);
    EXPECT_TRUE(visible->lastValue().boolValue());
    ASSERT_EQ(recorder->calls.size(), 2u);
    EXPECT_EQ(recorder->calls[0].what, "viewHide");
    EXPECT_EQ(recorder->calls[1].what, "viewPresent");
}

// ---- the default controls -------------------------------------------------------------------

TEST_F(PlayerViewTest, TheDefaultFactoryChoosesByKindOfContent) {
    auto factory = rt::make<CPDefaultPlaybackControlFactory>();
    auto player = rt::make<OptionsPlayer>();
    auto kindOf = [&](CPMediaSourceType type) -> std::string {
        source->setSourceType(type);
        auto control = factory->controlForMediaSource(source, player);
        if (!control) return "none";
        auto toolbar = rt::cast<CPToolbarPlaybackControl>(control);
        auto details = toolbar->topToolbar()->toolbarItems().at(0);
        if (rt::cast<CPLiveContentDetailsToolbarItem>(details)) return "live";
        if (rt::cast<CPRecordedContentDetailsToolbarItem>(details)) return "recorded";
        return "other";
    };
    EXPECT_EQ(kindOf(CPMediaSourceType::Recorded), "recorded");
    EXPECT_EQ(kindOf(CPMediaSourceType::Highlight), "recorded");
    EXPECT_EQ(kindOf(CPMediaSourceType::LiveChannel), "live");
    EXPECT_EQ(kindOf(CPMediaSourceType::PlainURL), "none");
    EXPECT_EQ(kindOf(CPMediaSourceType::Advertisement), "none");
    EXPECT_EQ(factory->controlForMediaSource(nullptr, player), nullptr);
    EXPECT_EQ(factory->controlForMediaSource(source, nullptr), nullptr);
}

TEST_F(PlayerViewTest, DefaultControlsFillTheirBars) {
    auto factory = rt::make<CPDefaultPlaybackControlFactory>();
    auto player = rt::make<OptionsPlayer>();
    source->setSourceType(CPMediaSourceType::LiveChannel);
    auto live = rt::cast<CPToolbarPlaybackControl>(factory->controlForMediaSource(source, player));
    const auto& l = live->bottomToolbar()->toolbarItems();
    ASSERT_EQ(l.size(), 8u);
    EXPECT_TRUE(rt::cast<CPPlayButtonToolbarItem>(l[0]));
    EXPECT_DOUBLE_EQ(l[1]->frame().size.width, 10);
    EXPECT_TRUE(rt::cast<QXImageToolbarItem>(l[2]));
    EXPECT_DOUBLE_EQ(l[3]->frame().size.width, 5);
    EXPECT_EQ(rt::cast<CPViewerCountToolbarItem>(l[4])->mediaSource(), source);
    EXPECT_TRUE(l[5]->isFlexible());
    EXPECT_TRUE(rt::cast<CPAirplayToolbarItem>(l[6]));
    EXPECT_EQ(rt::cast<CPPictureInPictureToolbarItem>(l[7])->mediaPlayer(), player);
    EXPECT_EQ(live->bottomToolbar()->contentInsets(), (ui::EdgeInsets{58, 15, 0, 15}));
    EXPECT_EQ(live->topToolbar()->contentInsets(), (ui::EdgeInsets{10, 10, 56, 10}));
    EXPECT_TRUE(live->topToolbar()->toolbarItems().at(0)->isFlexible());

    source->setSourceType(CPMediaSourceType::Recorded);
    auto recorded = rt::cast<CPToolbarPlaybackControl>(factory->controlForMediaSource(source, player));
    const auto& r = recorded->bottomToolbar()->toolbarItems();
    ASSERT_EQ(r.size(), 8u);
    EXPECT_TRUE(rt::cast<CPPlayButtonToolbarItem>(r[0]));
    EXPECT_EQ(rt::cast<CPPlaybackTimeLabelToolbarItem>(r[1])->label()->textAlignment(), ui::TextAlignment::Right);
    EXPECT_DOUBLE_EQ(r[2]->frame().size.width, 4);
    EXPECT_TRUE(rt::cast<CPPlaybackSliderToolbarItem>(r[3])->isFlexible());
    EXPECT_EQ(rt::cast<CPPlaybackSliderToolbarItem>(r[3])->mediaPlayer(), player);
    EXPECT_DOUBLE_EQ(r[4]->frame().size.width, 4);
    EXPECT_EQ(rt::cast<CPContentDurationToolbarItem>(r[5])->label()->textAlignment(), ui::TextAlignment::Left);
    EXPECT_TRUE(rt::cast<CPAirplayToolbarItem>(r[6]));
    EXPECT_TRUE(rt::cast<CPPictureInPictureToolbarItem>(r[7]));
}

TEST_F(PlayerViewTest, BarsKeepToTheEdgesOfTheView) {
    window->setFrame(ui::Rect(0, 0, 320, 180));
    make(rt::make<CPDefaultPlaybackControlFactory>());
    realize();
    auto c = control();
    ASSERT_TRUE(c);
    EXPECT_EQ(c->topToolbar()->frame(), ui::Rect(0, 0, 320, 110));
    EXPECT_EQ(c->bottomToolbar()->frame(), ui::Rect(0, 70, 320, 110));
    view->setFrame(ui::Rect(0, 0, 640, 360));
    EXPECT_EQ(c->topToolbar()->frame(), ui::Rect(0, 0, 640, 110));
    EXPECT_EQ(c->bottomToolbar()->frame(), ui::Rect(0, 250, 640, 110));
}

TEST_F(PlayerViewTest, ATapTogglesTheControlsADoubleTapTheFillAndAButtonNeither) {
    make(rt::make<CPDefaultPlaybackControlFactory>());
    auto& player = realize();
    auto c = control();
    ASSERT_TRUE(c);
    c->show(true, false, kControlHideDelayNever);
    recorder->calls.clear();
    window->layoutIfNeeded();

    // A single tap: once, after the double tap's wait.
    touch().tap(ui::Point{320, 180});
    EXPECT_TRUE(c->controlsVisible()) << "not before the double tap's wait";
    advance(0.5);
    EXPECT_FALSE(c->controlsVisible());
    EXPECT_EQ(recorder->calls.size(), 1u);
    touch().tap(ui::Point{320, 180});
    advance(0.5);
    EXPECT_TRUE(c->controlsVisible());
    c->show(true, false, kControlHideDelayNever);
    recorder->calls.clear();

    // A double tap: the fill once, the controls untouched.
    touch().doubleTap(ui::Point{320, 180});
    advance(1);
    EXPECT_TRUE(player.contentModeScaleAspectFill());
    EXPECT_TRUE(c->controlsVisible());
    EXPECT_TRUE(recorder->calls.empty());
    touch().doubleTap(ui::Point{320, 180});
    advance(1);
    EXPECT_FALSE(player.contentModeScaleAspectFill());

    // A tap on the play button reaches the button and toggles nothing.
    auto play = rt::cast<CPPlayButtonToolbarItem>(c->bottomToolbar()->toolbarItems().at(0));
    auto button = play->playButton();
    player.calls.clear();
    touch().tap(button->convertPointToView(ui::Point{button->bounds().size.width / 2, button->bounds().size.height / 2},
                                           nullptr));
    advance(1);
    EXPECT_EQ(player.calls, (std::vector<std::string>{"pause"}));
    EXPECT_TRUE(c->controlsVisible());
    EXPECT_FALSE(player.contentModeScaleAspectFill());
    EXPECT_TRUE(recorder->calls.empty());
}

TEST_F(PlayerViewTest, TwoFingerSwipesSwitchTheDebugConsole) {
    source->setSourceType(CPMediaSourceType::LiveChannel);
    make(rt::make<CPDefaultPlaybackControlFactory>());
    auto& player = realize();
    ASSERT_TRUE(control());
    twoFingerSwipe(120);
    EXPECT_EQ(player.consoleCalls, (std::vector<bool>{true}));
    advance(1);
    twoFingerSwipe(-120);
    EXPECT_EQ(player.consoleCalls, (std::vector<bool>{true, false}));
    advance(1);
    twoFingerSwipe(120, 1);
    twoFingerSwipe(-120, 1);
    EXPECT_EQ(player.consoleCalls.size(), 2u) << "one finger does nothing";
}

}  // namespace
}  // namespace zidtest
