// The preroll ad control: its countdown, its designs and how it reports itself.

#include <QXCorePlayer/Core/Resources/QXCorePlayerResources.h>
#include <QXCorePlayer/Core/View/PlayerControlViews/AdView/CPPlayerAdView.h>
#include <dev/Device.h>
#include <gtest/gtest.h>
#include <rt/Format.h>
#include <ui/Application.h>
#include <ui/GestureRecognizer.h>
#include <ui/Renderer.h>

#include "Core/PlaybackDoubles.h"
#include "GoldenImage.h"
#include "TestPaths.h"
#include "VirtualTime.h"

namespace zidtest {
namespace {

using namespace zid;

class AdViewTest : public VirtualTimeTest {
protected:
    void TearDown() override {
        dev::Device::current()->setUserInterfaceIdiom(std::nullopt);
        VirtualTimeTest::TearDown();
    }
    static std::string resuming(long seconds) {
        return rt::format(qxCorePlayerLocalizedString("preroll.resuming"), seconds);
    }
};

TEST_F(AdViewTest, CountdownFollowsThePlayersTimeAndNeverGoesBelowZero) {
    auto player = rt::make<ScriptedPlayer>();
    auto ad = CPPlayerAdView::controlForMediaSource(nullptr, player);
    EXPECT_EQ(ad->remainingLabel()->text(), "") << "no time information yet; the design's text never shows";
    player->setTimeInfo(CPMediaTimingBase::timingWithDuration(30));
    player->setPlaybackTime(12.7);
    EXPECT_EQ(ad->remainingLabel()->text(), resuming(17));
    EXPECT_NE(resuming(17).find("17"), std::string::npos);
    player->setPlaybackTime(31);
    EXPECT_EQ(ad->remainingLabel()->text(), resuming(0)) << "past the end shows nothing left";
    EXPECT_EQ(ad->enjoyLabel()->text(), qxCorePlayerLocalizedString("QXPlayer.preroll.premium"));
    EXPECT_NE(ad->enjoyLabel()->text(), "QXPlayer.preroll.premium") << "the bundle has the text";

    player->setTimeInfo(nullptr);
    EXPECT_EQ(ad->remainingLabel()->text(), "");
}

TEST_F(AdViewTest, PlayerHeldWeaklyAndItsGoingClearsTheCountdown) {
    auto player = rt::make<ScriptedPlayer>();
    player->setTimeInfo(CPMediaTimingBase::timingWithDuration(30));
    auto ad = CPPlayerAdView::controlForMediaSource(nullptr, player);
    EXPECT_EQ(ad->remainingLabel()->text(), resuming(30));
    player.reset();
    EXPECT_EQ(ad->mediaPlayer(), nullptr);
    EXPECT_EQ(ad->remainingLabel()->text(), "");

    auto next = rt::make<ScriptedPlayer>();
    next->setTimeInfo(CPMediaTimingBase::timingWithDuration(10));
    ad->setMediaPlayer(next);
    EXPECT_EQ(ad->remainingLabel()->text(), resuming(10));

    // A replaced player's going leaves the player that replaced it.
    auto last = rt::make<ScriptedPlayer>();
    last->setTimeInfo(CPMediaTimingBase::timingWithDuration(5));
    ad->setMediaPlayer(last);
    next.reset();
    EXPECT_EQ(ad->mediaPlayer(), last);
    EXPECT_EQ(ad->remainingLabel()->text(), resuming(5));
}

TEST_F(AdViewTest, ControlsVisibleSaysHowTheViewWasMadeAndNeverChanges) {
    auto control = CPPlayerAdView::controlForMediaSource(nullptr, nullptr);
    EXPECT_TRUE(control->controlsVisible());
    control->show(false, true, 5);
    EXPECT_TRUE(control->controlsVisible());
    auto plain = rt::make<CPPlayerAdView>(ui::Rect(0, 0, 100, 100));
    EXPECT_FALSE(plain->controlsVisible());
    plain->show(true, false, 0);
    EXPECT_FALSE(plain->controlsVisible());
    EXPECT_TRUE(control->valueForKey("controlsVisible").boolValue());
}

TEST_F(AdViewTest, DesignFollowsTheIdiomAndTapsAreAbsorbed) {
    dev::Device::current()->setUserInterfaceIdiom(dev::UserInterfaceIdiom::Phone);
    auto phone = CPPlayerAdView::controlForMediaSource(nullptr, nullptr);
    EXPECT_EQ(phone->frame(), ui::Rect(0, 0, 320, 210));
    EXPECT_DOUBLE_EQ(phone->remainingLabel()->font()->pointSize(), 12);
    EXPECT_EQ(phone->enjoyLabel()->numberOfLines(), 2);
    {
        dev::Device::current()->setUserInterfaceIdiom(dev::UserInterfaceIdiom::Pad);
        auto tablet = CPPlayerAdView::controlForMediaSource(nullptr, nullptr);
        EXPECT_EQ(tablet->frame(), ui::Rect(0, 0, 768, 210));
        EXPECT_DOUBLE_EQ(tablet->remainingLabel()->font()->pointSize(), 18);
        EXPECT_TRUE(tablet->enjoyLabel()->adjustsFontSizeToFitWidth());
    }
    const auto& recognizers = phone->gestureRecognizers();
    ASSERT_EQ(recognizers.size(), 2u);
    EXPECT_EQ(recognizers[1]->allowedTouchTypes(), (std::vector<long>{1, 0}));
    EXPECT_EQ(recognizers[1]->allowedPressTypes(), (std::vector<long>{4, 0, 1, 2, 3}));
}

TEST_F(AdViewTest, PicturesOnPhoneAndTablet) {
    struct Screen {
        const char* name;
        dev::UserInterfaceIdiom idiom;
        ui::Size size;
    };
    for (Screen s : {Screen{"phone", dev::UserInterfaceIdiom::Phone, {320, 180}},
                     Screen{"tablet", dev::UserInterfaceIdiom::Pad, {1024, 576}}}) {
        dev::Device::current()->setUserInterfaceIdiom(s.idiom);
        auto player = rt::make<ScriptedPlayer>();
        player->setTimeInfo(CPMediaTimingBase::timingWithDuration(30));
        player->setPlaybackTime(12.7);
        auto ad = CPPlayerAdView::controlForMediaSource(nullptr, player);
        auto host = rt::make<ui::View>(ui::Rect(0, 0, s.size.width, s.size.height));
        host->setBackgroundColor(ui::Color::rgba(0.15, 0.3, 0.45, 1));
        host->setClipsToBounds(true);
        ad->setFrame(host->bounds());
        host->addSubview(ad);
        host->layoutIfNeeded();
        EXPECT_MATCHES_GOLDEN(*ui::renderToImage(*host), zidtest::testPath("view_golden"), std::string("ad_view_") + s.name);
    }
}

}  // namespace
}  // namespace zidtest
