#include <gtest/gtest.h>

#include <stdexcept>

#include "VexaWebSocketClient/VexaTestSupport.h"

namespace {

using namespace vexatest;

class MediaServerScriptTest : public VexaPeerTest {};

TEST_F(MediaServerScriptTest, AScenarioWrittenAsDataDrivesTheSubchannel) {
    // After a subscribe: the default success, then module info at once and a reject
    // later; a "playing" report is answered with a server unsubscribe.
    peer->loadScript(R"([
      {"when": {"cmd": "subscribe"}, "alsoDefault": true, "once": true,
       "send": [{"frame": {"cmd": "subscribeMessage", "args": [{"subchannelId": "$subchannelId",
                  "messageData": {"cmd": "moduleInfo", "args": [{"viewers": {"count": 3}}]}}]}},
                {"after": 0.2, "frame": {"cmd": "subscribeMessage", "args": [{"subchannelId": "$subchannelId",
                  "messageData": {"cmd": "reject", "args": [{"geoLock": {"limit": 1}}]}}]}}]},
      {"when": {"cmd": "subscribeMessage", "messageCmd": "playing"},
       "send": [{"frame": {"cmd": "unsubscribe", "args": [{"data": {"subchannelId": "$subchannelId"}}]}}]}
    ])");
    auto service = makeService();
    EventLog events;
    auto sub = makeSubscription("7", events);
    service->subscribe(sub);
    ASSERT_TRUE(waitFor([&] { return events.count(QXVexaSubscriptionEvent::Message) == 2; }));
    ASSERT_EQ(events.events.size(), 3u);
    EXPECT_EQ(events.events[0].event, QXVexaSubscriptionEvent::Subscribed);
    EXPECT_EQ(events.events[1].message["cmd"], "moduleInfo");
    EXPECT_EQ(events.events[2].message["cmd"], "reject");
    auto frames = peer->frames();
    ASSERT_EQ(frames.size(), 1u);

    QXVexaMessage stats = {{"cmd", "stats"}, {"args", QXVexaMessage::array()}};
    QXVexaMessage playing = {{"cmd", "playing"}, {"args", QXVexaMessage::array({true})}};
    service->sendMessage(&stats, sub);
    service->sendMessage(&playing, sub);
    ASSERT_TRUE(waitFor([&] { return events.count(QXVexaSubscriptionEvent::Unsubscribed) == 1; }));
    frames = peer->frames();
    ASSERT_EQ(frames.size(), 3u);
    EXPECT_LE(frames[1].time, frames[2].time) << "frames are recorded with their arrival times";
    EXPECT_EQ(frames[2].connection, 1u);
}

TEST_F(MediaServerScriptTest, AnnouncementsAnswerTheSubscribeOfTheirOwnMediaOnly) {
    // One server announcing a channel and a recording, as a host's own server does: each
    // subscribe hears its own stream, whichever comes first.
    peer->loadScript(peers::mediaServerAnnouncement("http://127.0.0.1:1/live.m3u8", "channel-1"));
    peer->loadScript(peers::mediaServerAnnouncement("http://127.0.0.1:1/vod.m3u8", "video-1"));
    auto service = makeService();
    EventLog video, channel, other;
    service->subscribe(makeSubscription("video-1", video, "video"));
    service->subscribe(makeSubscription("channel-1", channel));
    service->subscribe(makeSubscription("channel-2", other));
    ASSERT_TRUE(waitFor([&] {
        return video.count(QXVexaSubscriptionEvent::Message) == 2 && channel.count(QXVexaSubscriptionEvent::Message) == 2 &&
               other.count(QXVexaSubscriptionEvent::Subscribed) == 1;
    }));
    auto streamOf = [](const EventLog& log) {
        for (const auto& e : log.events)
            if (e.event == QXVexaSubscriptionEvent::Message && e.message["args"][0].contains("stream"))
                return e.message["args"][0]["stream"][0]["url"].get<std::string>();
        return std::string();
    };
    EXPECT_EQ(streamOf(video), "http://127.0.0.1:1/vod.m3u8");
    EXPECT_EQ(streamOf(channel), "http://127.0.0.1:1/live.m3u8");
    settle();
    EXPECT_EQ(other.count(QXVexaSubscriptionEvent::Message), 0u) << "no announcement for a media nobody announced";
}

TEST_F(MediaServerScriptTest, ScriptsThatCannotBeReadAreRefused) {
    EXPECT_THROW(peer->loadScript("{}"), std::invalid_argument);
    EXPECT_THROW(peer->loadScript(R"([{"send": []}])"), std::invalid_argument);
    EXPECT_THROW(peer->loadScript(R"([{"when": {"cmd": "x"}, "send": [{"after": 1}]}])"), std::invalid_argument);
    EXPECT_NO_THROW(peer->loadScript(R"([{"when": {"cmd": "x"}, "send": [{"frame": "not json"}]}])"));
}

}  // namespace
