// Through the facade only, against the loopback media server and HLS origin on the real
// engine (null outputs), in real time: a live channel to playing, a recording to its
// end, a recording after a channel on one player with its length on the controls, a
// password lock and an age lock answered through the facade, an offline channel, one that
// goes offline and comes back, a rejected API key and refused stream URLs.

#include <QXCorePlayer/Core/View/PlaybackControl/CPToolbarPlaybackControl.h>
#include <QXCorePlayer/Core/View/QXPlayerView.h>
#include <QXCorePlayer/Core/View/StatusViews/CPPlaybackStatusController.h>
#include <QXCorePlayer/VexaWebSocketClient/Client/IVexaClient.h>
#include <media/MediaErrors.h>
#include <media/ProcessEngine.h>
#include <ui/Label.h>

#include "FacadeTestSupport.h"
#include "FacadeOnLoopbackTest.h"
#include "VexaWebSocketClient/VexaTestSupport.h"
#include "support/GstPlayerTest.h"

namespace facadetest {
namespace {

using vexatest::waitFor;

std::string toSubchannel(const std::string& messageData) {
    return R"({"cmd":"subscribeMessage","args":[{"subchannelId":"$subchannelId","messageData":)" + messageData + "}]}";
}
std::string modules(const std::string& json) { return toSubchannel(R"({"cmd":"moduleInfo","args":[)" + json + "]}"); }
std::string rejects(const std::string& json) { return toSubchannel(R"({"cmd":"reject","args":[)" + json + "]}"); }
std::string ready(const std::string& url) {
    return modules(R"({"stream":[{"name":"uhls","url":")" + url +
                   R"("}],"meta":{"title":"Loopback","wentOnlineInUnixTs":1700000000},"clientRateLimit":{"deferred":1,"immediate":1}})");
}
/// Answers to the first subscribe, then to every later one.
std::string script(const std::vector<std::string>& first, const std::vector<std::string>& later = {}) {
    auto rule = [](const std::vector<std::string>& frames, bool once) {
        std::string send;
        for (std::size_t i = 0; i < frames.size(); ++i) send += (i ? "," : "") + std::string(R"({"frame":)") + frames[i] + "}";
        return std::string(R"({"when":{"cmd":"subscribe"},"alsoDefault":true,"once":)") + (once ? "true" : "false") +
               R"(,"send":[)" + send + "]}";
    };
    return "[" + rule(first, true) + (later.empty() ? "" : "," + rule(later, false)) + "]";
}

/// The texts of the labels in a view's tree, in drawing order; hidden ones left out when asked.
std::vector<std::string> labelTexts(const rt::Ref<ui::View>& root, bool shownOnly) {
    std::vector<std::string> texts;
    std::function<void(const rt::Ref<ui::View>&)> collect = [&](const rt::Ref<ui::View>& v) {
        if (auto label = rt::cast<ui::Label>(v); label && !(shownOnly && label->isHidden()))
            texts.push_back(label->text());
        for (const auto& s : v->subviews()) collect(s);
    };
    collect(root);
    return texts;
}

class FacadeEndToEndTest : public facadetest::FacadeOnLoopbackTest<RecordingDelegate> {
protected:
    bool pictureShown() const {
        auto view = rt::cast<QXPlayerView>(QXQuorvexPlayerInternals::playerView(*facade)->presentationLayer());
        return view && view->playerLayer()->isReadyForDisplay() && view->playerLayer()->currentFrame();
    }
    Lines callsStartingWith(const std::string& prefix) const {
        Lines out;
        for (const auto& c : delegate->calls)
            if (c.rfind(prefix, 0) == 0) out.push_back(c);
        return out;
    }
    std::size_t subscribes() const { return peer->frames("subscribe").size(); }
    std::string subscribedWith(std::size_t index, const std::string& key) const {
        auto frames = peer->frames("subscribe");
        if (index >= frames.size()) return "";
        auto params = vexaParse(frames[index].text)["args"][0]["parameters"];
        return params.contains(key) && params[key].is_string() ? params[key].get<std::string>() : "";
    }

};

TEST_F(FacadeEndToEndTest, AStreamURLsRenditionsCarryThePlaylistsNamesAndAreChosenThroughTheFacade) {
    facade->playURL(origin_->url("/tag/facade-names/vod/master.m3u8"));
    ASSERT_TRUE(waitFor([&] { return facade->audibleMediaSelectionOptions().size() == 2 && facade->subtitles().size() == 1; }, 30));
    const auto& audio = facade->audibleMediaSelectionOptions();
    EXPECT_EQ(audio[0]->languageTag(), "en");
    EXPECT_EQ(audio[0]->title(), "ENG");
    EXPECT_EQ(audio[1]->title(), "FRA");
    EXPECT_EQ(facade->subtitles()[0]->displayName(), "English");
    EXPECT_EQ(facade->legibleMediaSelectionOptions()[0]->title(), "English");
    facade->selectAudibleMediaSelectionOption(audio[1]);
    ASSERT_TRUE(waitFor([&] { return facade->selectedAudibleMediaSelectionOption() == facade->audibleMediaSelectionOptions()[1]; }, 10));
    facade->selectSubtitle(facade->subtitles()[0]);
    ASSERT_TRUE(waitFor([&] { return facade->selectedSubtitle() == facade->subtitles()[0]; }, 10));
}

TEST_F(FacadeEndToEndTest, ALiveChannelReachesPlayingWithTheDelegatesCallsInOrder) {
    peer->loadScript(script({ready(origin_->url("/tag/facade-live/live/index.m3u8"))}));
    facade->playChannel(std::string("live-1"));
    std::vector<bool> ready;
    rt::observe(facade, QXQuorvexPlayer::readyForDisplayKey, *facade,
                [&](QXQuorvexPlayer&, bool, bool now) { ready.push_back(now); });
    ASSERT_TRUE(waitFor([&] { return facade->playerState() == QXPlayerState::Playing && pictureShown(); }, 30))
        << "state " << static_cast<unsigned long>(facade->playerState());
    // The facade says when the first picture is on screen, without a look into its view.
    EXPECT_TRUE(facade->readyForDisplay());
    ASSERT_FALSE(ready.empty());
    EXPECT_TRUE(ready.back());
    ASSERT_TRUE(waitFor([&] { return facade->isLive(); }, 5));
    EXPECT_EQ(callsStartingWith("state"), (Lines{"state 1", "state 3", "state 4"}));
    auto live = std::find(delegate->calls.begin(), delegate->calls.end(), "live YES");
    auto playing = std::find(delegate->calls.begin(), delegate->calls.end(), "state 4");
    EXPECT_TRUE(live != delegate->calls.end() && live > playing) << "live once playing and online";
    EXPECT_EQ(callsStartingWith("startDate"), Lines{"startDate"});
    EXPECT_EQ(facade->broadcastStartDate().date().secondsSince1970, 1700000000);
    EXPECT_TRUE(facade->isPlayingLiveStream());
    EXPECT_EQ(facade->contentTitle(), "Loopback");
    EXPECT_EQ(facade->error(), nullptr);
    EXPECT_EQ(subscribedWith(0, "apiKey"), "e2e-key");
}

TEST_F(FacadeEndToEndTest, ARecordingPlaysToItsEndWhichReadsStoppedThenRewindsReady) {
    peer->loadScript(script({ready(origin_->url("/tag/facade-vod/vod/muxed/index.m3u8"))}));
    facade->playRecorded(std::string("rec-1"));
    ASSERT_TRUE(waitFor([&] { return facade->playerState() == QXPlayerState::Playing && pictureShown(); }, 30));
    delegate->calls.clear();
    facade->seekTo(8.0);  // the last two seconds keep the run short
    // The finished session reads 0 (one call for the end, straight from playing); the
    // recording then rewinds and waits, ready, at its start.
    ASSERT_TRUE(waitFor([&] { return !callsStartingWith("state 0").empty(); }, 30)) << ::testing::PrintToString(delegate->calls);
    EXPECT_EQ(callsStartingWith("state").front(), "state 0");
    ASSERT_TRUE(waitFor([&] { return facade->playerState() == QXPlayerState::Ready; }, 10)) << ::testing::PrintToString(delegate->calls);
    EXPECT_FALSE(facade->isLive());
    EXPECT_FALSE(facade->isPlayingLiveStream());
    EXPECT_EQ(facade->error(), nullptr);
}

TEST_F(FacadeEndToEndTest, ARecordingAfterAChannelPlaysItsOwnStreamWithItsLengthOnTheControls) {
    // The channel is announced to every subscribe, as a server that keeps its answer would;
    // the host clears that before the recording, whose answer is a finished stream.
    peer->loadScript(script({ready(origin_->url("/tag/facade-then-live/live/index.m3u8"))},
                            {ready(origin_->url("/tag/facade-then-live/live/index.m3u8"))}));
    facade->playChannel(std::string("live-2"));
    ASSERT_TRUE(waitFor([&] { return facade->playerState() == QXPlayerState::Playing && facade->isLive(); }, 30))
        << "state " << static_cast<unsigned long>(facade->playerState());
    EXPECT_EQ(facade->duration(), 0) << "a live stream has no length";

    peer->clearRules();
    peer->loadScript(script({ready(origin_->url("/tag/facade-then-vod/vod/muxed/index.m3u8"))}));
    facade->playRecorded(std::string("rec-2"));
    ASSERT_TRUE(waitFor([&] { return facade->playerState() == QXPlayerState::Playing && facade->duration() > 0; }, 30))
        << "state " << static_cast<unsigned long>(facade->playerState()) << ", duration " << facade->duration();
    EXPECT_NEAR(facade->duration(), 10.0, 0.5) << "the engine's length of the recording's own stream";
    EXPECT_FALSE(facade->isLive());

    // What the viewer reads on the shown controls: the recording's length on the right.
    facade->showControls(true, false, kControlHideDelayNever);
    facade->view()->layoutIfNeeded();
    auto texts = labelTexts(facade->view(), true);
    EXPECT_NE(std::find(texts.begin(), texts.end(), "00:10"), texts.end()) << ::testing::PrintToString(texts);
}

TEST_F(FacadeEndToEndTest, APasswordLockIsAnsweredThroughTheFacadeAndSubscribedAgain) {
    peer->loadScript(script({rejects(R"({"passwordLock":true})")},
                            {ready(origin_->url("/tag/facade-pw/live/index.m3u8"))}));
    delegate->onCall = [this](const std::string& call) {
        if (call == "password") facade->continueWithPassword("open sesame");
    };
    facade->playChannel(std::string("locked-1"));
    ASSERT_TRUE(waitFor([&] { return facade->playerState() == QXPlayerState::Playing; }, 30)) << "state " << static_cast<unsigned long>(facade->playerState());
    EXPECT_EQ(callsStartingWith("password"), Lines{"password"});
    ASSERT_GE(subscribes(), 2u);
    EXPECT_EQ(subscribedWith(1, "password"), "open sesame");
}

TEST_F(FacadeEndToEndTest, AnAgeLockIsAnsweredThroughTheFacade) {
    const std::string ageLock = modules(R"({"ageLock":"18"})");
    peer->loadScript(script({ageLock}, {ageLock, ready(origin_->url("/tag/facade-age/live/index.m3u8"))}));
    delegate->onCall = [this](const std::string& call) {
        if (call == "birthdate") facade->continueWithBirthdate(rt::Date{0});  // born 1970: old enough
        if (call.rfind("age ", 0) == 0) facade->continueWithAgeConfirmed();
    };
    facade->playChannel(std::string("adult-1"));
    ASSERT_TRUE(waitFor([&] { return facade->playerState() == QXPlayerState::Playing; }, 30)) << "state " << static_cast<unsigned long>(facade->playerState());
    EXPECT_EQ(callsStartingWith("birthdate").size() + callsStartingWith("age").size(), 1u);
}

TEST_F(FacadeEndToEndTest, AnOfflineChannelWaitsWithoutAnError) {
    peer->loadScript(script({modules(R"({"stream":false})")}));
    facade->playChannel(std::string("offline-1"));
    ASSERT_TRUE(waitFor([&] { return facade->playerState() == QXPlayerState::Waiting; }, 20)) << "state " << static_cast<unsigned long>(facade->playerState());
    vexatest::settle(0.3);
    EXPECT_EQ(facade->playerState(), QXPlayerState::Waiting);
    EXPECT_EQ(facade->error(), nullptr) << "the session publishes no error while it waits";
    auto status = QXQuorvexPlayerInternals::playerView(*facade)->statusIndicator();
    ASSERT_TRUE(status) << "the offline screen";
    auto texts = labelTexts(status, false);
    EXPECT_TRUE(std::any_of(texts.begin(), texts.end(), [](const std::string& t) {
        return t.find("offline") != std::string::npos;
    })) << ::testing::PrintToString(texts);
}

// The media server says the channel went offline, and later that it is back with a new
// stream: the facade waits, then plays the new stream on a new player, live again.
TEST_F(FacadeEndToEndTest, ALiveChannelThatGoesOfflineAndComesBackPlaysAgain) {
    peer->loadScript(script({ready(origin_->url("/tag/facade-gone/live/index.m3u8"))}));
    facade->playChannel(std::string("live-1"));
    ASSERT_TRUE(waitFor([&] { return facade->playerState() == QXPlayerState::Playing && facade->isLive(); }, 30))
        << "state " << static_cast<unsigned long>(facade->playerState());
    auto first = QXQuorvexPlayerInternals::session(*facade)->player();

    ASSERT_TRUE(pushChannelModules(kOfflineModules));
    ASSERT_TRUE(waitFor([&] { return facade->playerState() == QXPlayerState::Waiting; }, 10))
        << "state " << static_cast<unsigned long>(facade->playerState());
    EXPECT_FALSE(facade->isLive());
    EXPECT_EQ(QXQuorvexPlayerInternals::session(*facade)->player(), first) << "a wait without a lock keeps the player";
    vexatest::settle(0.5);
    delegate->calls.clear();

    const std::string back = "/tag/facade-back/live/index.m3u8";
    ASSERT_TRUE(pushChannelModules(onlineModules(origin_->url(back))));
    ASSERT_TRUE(waitFor([&] { return facade->playerState() == QXPlayerState::Playing && facade->isLive(); }, 30))
        << "state " << static_cast<unsigned long>(facade->playerState()) << ", calls "
        << ::testing::PrintToString(delegate->calls);
    auto again = QXQuorvexPlayerInternals::session(*facade)->player();
    EXPECT_NE(again, first) << "the new stream plays on a new player";
    EXPECT_GE(origin_->requestCount(back), 1);
    ASSERT_TRUE(waitFor([&] { return pictureShown(); }, 10));
    ASSERT_FALSE(callsStartingWith("state").empty());
    EXPECT_EQ(callsStartingWith("state").back(), "state 4");
    EXPECT_EQ(callsStartingWith("live"), Lines{"live YES"});
    EXPECT_EQ(facade->error(), nullptr);
}

TEST_F(FacadeEndToEndTest, ARejectedApiKeyFailsWithCode8AndWhatTheServiceSaidBeneath) {
    peer->loadScript(script({rejects(R"({"playerSdkLock":{"reason":"key revoked"}})")}));
    facade->playChannel(std::string("any-1"));
    ASSERT_TRUE(waitFor([&] { return facade->playerState() == QXPlayerState::Failed; }, 20)) << "state " << static_cast<unsigned long>(facade->playerState());
    ASSERT_TRUE(facade->error());
    EXPECT_EQ(facade->error()->domain(), QXQuorvexPlayerErrorDomain);
    EXPECT_EQ(facade->error()->code(), 8);
    EXPECT_EQ(callsStartingWith("state").back(), "state 6");
    // The host reads that the key was refused, and one level down the service's refusal.
    const std::string said = R"("playerSdkLock":{"reason":"key revoked"})";
    std::string text = facade->error()->localizedDescription();
    EXPECT_NE(text.find("refused the player's API key"), std::string::npos) << text;
    EXPECT_NE(text.find(said), std::string::npos) << text;
    auto refusal = facade->error()->underlyingError();
    ASSERT_TRUE(refusal) << "the service's refusal is beneath";
    EXPECT_EQ(refusal->domain(), QXVexaRejectErrorDomain);
    EXPECT_EQ(refusal->code(), 13);
    EXPECT_EQ(refusal->localizedDescription(), "The media server rejected the connection, sending " + said);
}

TEST_F(FacadeEndToEndTest, AStreamURLTheOriginRefusesOrLacksIsNamedInTheErrorAndNoEngineElementIs) {
    // The engine a host gets by default: a process of its own.
    media::ProcessEngine::Options options;
    options.engine.nullOutput = true;
    media::Engine::setShared(rt::make<media::ProcessEngine>(options));
    const std::string refused = origin_->url("/tag/facade-403/vod/muxed/index.m3u8");
    origin_->script("/tag/facade-403/vod/muxed/index.m3u8", {peers::HlsOrigin::Answer::forbidden()});
    // A URL longer than an error quotes: its first 200 characters stand for it.
    const std::string missing = origin_->url("/tag/facade-404/" + std::string(300, 'x') + "/index.m3u8");
    struct Case {
        std::string url;
        long long code;
        const char* answer;
    };
    for (const auto& c : {Case{refused, static_cast<long long>(media::MediaErrorCode::AccessDenied), "HTTP 403"},
                          Case{missing, static_cast<long long>(media::MediaErrorCode::ResourceNotFound), "HTTP 404"}}) {
        facade->playURL(c.url);
        ASSERT_TRUE(waitFor([&] { return facade->playerState() == QXPlayerState::Failed; }, 20)) << c.url;
        EXPECT_EQ(facade->errorCode(), QXQuorvexPlayerErrorCode::LoadingFailed);
        std::string chain;
        rt::Ref<rt::Error> media;
        for (auto e = facade->error(); e; e = e->underlyingError()) {
            rt::Value reason = e->userInfo().get(rt::Error::LocalizedFailureReasonKey);
            chain += e->localizedDescription() + (reason.isString() ? " / " + reason.string() : "") + "\n";
            if (e->domain() == media::MediaErrorDomain && !media) media = e;
        }
        ASSERT_TRUE(media) << chain;
        EXPECT_EQ(media->code(), c.code) << chain;
        const std::string quoted = c.url.size() > 200 ? c.url.substr(0, 200) + "..." : c.url;
        EXPECT_NE(media->localizedDescription().find(quoted), std::string::npos) << chain;
        EXPECT_NE(media->localizedDescription().find(c.answer), std::string::npos) << chain;
        if (c.url.size() > 200) {
            EXPECT_EQ(chain.find(c.url.substr(0, 201)), std::string::npos) << "cut: " << chain;
        }
        for (const char* element : {"souphttpsrc", "hlsdemux", "urisourcebin", "playbin", "pipeline", "Gst",
                                    "Internal data stream error", "\"tracks\""})
            EXPECT_EQ(chain.find(element), std::string::npos) << element << " in:\n" << chain;
        // The top text names what failed and what the server answered.
        const std::string top = facade->error()->localizedDescription();
        EXPECT_NE(top.find(quoted), std::string::npos) << top;
        EXPECT_NE(top.find(c.answer), std::string::npos) << top;
    }
}

TEST_F(FacadeEndToEndTest, AMissingEngineProgramIsTheErrorTheHostSeesWithWhatToSet) {
    media::ProcessEngine::Options options;
    options.enginePath = "/nonexistent/zid_media_engine";
    media::Engine::setShared(rt::make<media::ProcessEngine>(options));
    facade->playURL(origin_->url("/vod/muxed/index.m3u8"));
    ASSERT_TRUE(waitFor([&] { return facade->playerState() == QXPlayerState::Failed; }, 20));
    ASSERT_TRUE(facade->error());
    std::string text = facade->error()->localizedDescription();
    for (const char* part : {"zid_media_engine was not found at /nonexistent/zid_media_engine", "ZID_MEDIA_ENGINE",
                             "Zidoredider_MEDIA_ENGINE", "--variable=mediaengine"})
        EXPECT_NE(text.find(part), std::string::npos) << part << " in: " << text;
    EXPECT_EQ(text.find("could not be loaded"), std::string::npos) << text;
    // The load that failed is still beneath, down to the engine's own error.
    bool engineBeneath = false;
    for (auto e = facade->error()->underlyingError(); e; e = e->underlyingError())
        engineBeneath = engineBeneath || (e->domain() == media::MediaErrorDomain &&
                                          e->code() == static_cast<long long>(media::MediaErrorCode::EngineFailed));
    EXPECT_TRUE(engineBeneath);
    EXPECT_EQ(callsStartingWith("state").back(), "state 6") << "the delegate heard of the failure";
}

}  // namespace
}  // namespace facadetest
