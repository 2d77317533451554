// Picture in picture, now-playing information and remote-control events.

#include <gtest/gtest.h>

#include <fnd/RunLoop.h>
#include <media/Presentation.h>
#include <rt/KVO.h>

namespace {

using namespace media;

struct Receiver : rt::Object, RemoteControlReceiver {
    RT_CLASS(Receiver, rt::Object)
public:
    void remoteControlReceivedWithEvent(const RemoteControlEvent& event) override { events.push_back(event.subtype); }
    std::vector<EventSubtype> events;
};

TEST(PresentationTest, PictureInPictureIsNotSupportedAndItsFlagsStayNo) {
    EXPECT_FALSE(PictureInPictureController::isPictureInPictureSupported());
    auto pip = rt::make<PictureInPictureController>(rt::make<PlayerLayer>());
    pip->startPictureInPicture();
    EXPECT_FALSE(pip->valueForKey("pictureInPicturePossible").boolValue());
    EXPECT_FALSE(pip->valueForKey("pictureInPictureActive").boolValue());
    EXPECT_TRUE(pip->playerLayer());
}

TEST(PresentationTest, NowPlayingInformationIsKeptAndObservable) {
    auto center = NowPlayingInfoCenter::defaultCenter();
    EXPECT_EQ(center, NowPlayingInfoCenter::defaultCenter());
    int changes = 0;
    auto o = rt::observe(center, "nowPlayingInfo", rt::KVONew, [&](const rt::KVOChange&) { ++changes; });
    center->setNowPlayingInfo(rt::Dictionary{{rt::Value(MediaItemPropertyTitle), rt::Value("News")},
                                             {rt::Value(MediaItemPropertyArtist), rt::Value("Channel 1")}});
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(center->nowPlayingInfo().get(rt::Value(MediaItemPropertyTitle)).string(), "News");
    center->setNowPlayingInfo({});
}

TEST(PresentationTest, InjectedRemoteEventsReachTheNewestLiveReceiverOnTheMainLoop) {
    auto center = RemoteControlCenter::shared();
    auto first = rt::make<Receiver>();
    auto second = rt::make<Receiver>();
    center->beginReceivingRemoteControlEvents(first, first.get());
    center->beginReceivingRemoteControlEvents(second, second.get());
    center->injectEvent({EventType::RemoteControl, EventSubtype::RemoteControlTogglePlayPause});
    EXPECT_TRUE(second->events.empty()) << "delivered on the main loop, not inside the call";
    fnd::RunLoop::main()->drain();
    EXPECT_EQ(second->events, (std::vector<EventSubtype>{EventSubtype::RemoteControlTogglePlayPause}));
    EXPECT_TRUE(first->events.empty());

    second.reset();  // a receiver that is gone is skipped
    center->injectEvent({EventType::RemoteControl, EventSubtype::RemoteControlPlay});
    fnd::RunLoop::main()->drain();
    EXPECT_EQ(first->events, (std::vector<EventSubtype>{EventSubtype::RemoteControlPlay}));
    center->endReceivingRemoteControlEvents(first);
    center->injectEvent({EventType::RemoteControl, EventSubtype::RemoteControlPause});
    fnd::RunLoop::main()->drain();
    EXPECT_EQ(first->events.size(), 1u);
}

}  // namespace
