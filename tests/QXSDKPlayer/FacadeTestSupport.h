#pragma once
// What the facade's tests share: a configured process on virtual time whose media-server
// sockets can reach nothing, a session over scripted parts the test drives, a player
// double with subtitle and audio lists, and a delegate that writes each call as a line.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <QXFoundation/Lists/ArrayList.h>
#include <QXSDKPlayer/Common/QXQuorvexPlayer.h>

#include "Common/QXQuorvexPlayerInternals.h"
#include "Common/SDKVexaFactoryTesting.h"
#include <rt/Format.h>

#include "Core/PlaybackDoubles.h"
#include "VirtualTime.h"

namespace facadetest {

using namespace zid;
using Lines = std::vector<std::string>;

/// A subtitle or audio option of the media layer: equal to another with the same tag.
class LayerOption : public rt::Object, public ICPMediaSelectionOption {
    RT_CLASS(LayerOption, rt::Object)
public:
    explicit LayerOption(std::string tag) : tag_(std::move(tag)) {}
    std::string languageTag() const override { return tag_; }
    std::string displayName() const override { return tag_ + " name"; }
    std::string title() const override { return tag_ + " title"; }
    bool isEqual(const rt::Object& other) const override {
        auto* o = dynamic_cast<const LayerOption*>(&other);
        return o && o->tag_ == tag_;
    }

private:
    std::string tag_;
};

/// A scripted player with option lists the test sets; selections are recorded with the
/// option's tag ("-" for none).
class OptionPlayer : public zidtest::ScriptedPlayer {
    RT_CLASS(OptionPlayer, zidtest::ScriptedPlayer)
public:
    rt::Ref<rt::Object> subtitles() const override { return subtitles_; }
    rt::Ref<rt::Object> defaultSubtitle() const override { return defaultSubtitle_; }
    rt::Ref<rt::Object> selectedSubtitle() const override { return selectedSubtitle_; }
    rt::Ref<rt::Object> audioTracks() const override { return audioTracks_; }
    rt::Ref<rt::Object> defaultAudioTrack() const override { return defaultAudioTrack_; }
    rt::Ref<rt::Object> selectedAudioTrack() const override { return selectedAudioTrack_; }
    void selectSubtitle(const rt::Ref<rt::Object>& option) override { selections.push_back("subtitle " + tagOf(option)); }
    void selectAudioTrack(const rt::Ref<rt::Object>& option) override { selections.push_back("audio " + tagOf(option)); }

    static rt::Ref<rt::Object> listOf(const std::vector<std::string>& tags) {
        rt::Value::Array items;
        for (const auto& tag : tags) items.push_back(rt::Value(rt::Ref<rt::Object>(rt::make<LayerOption>(tag))));
        return rt::make<ArrayList>(items);
    }
    void setSubtitles(const std::vector<std::string>& tags) { rt::kvoSet(this, "subtitles", subtitles_, listOf(tags)); }
    void setAudioTracks(const std::vector<std::string>& tags) {
        rt::kvoSet(this, "audioTracks", audioTracks_, listOf(tags));
    }
    /// A new option object equal to the list's entry with the tag (as the movie player
    /// hands out new wrappers).
    void setDefaultSubtitle(const std::string& tag) { rt::kvoSet(this, "defaultSubtitle", defaultSubtitle_, option(tag)); }
    void setSelectedSubtitle(const std::string& tag) {
        rt::kvoSet(this, "selectedSubtitle", selectedSubtitle_, option(tag));
    }
    void setDefaultAudioTrack(const std::string& tag) {
        rt::kvoSet(this, "defaultAudioTrack", defaultAudioTrack_, option(tag));
    }
    void setSelectedAudioTrack(const std::string& tag) {
        rt::kvoSet(this, "selectedAudioTrack", selectedAudioTrack_, option(tag));
    }

    Lines selections;

private:
    static rt::Ref<rt::Object> option(const std::string& tag) {
        return tag.empty() ? nullptr : rt::Ref<rt::Object>(rt::make<LayerOption>(tag));
    }
    static std::string tagOf(const rt::Ref<rt::Object>& option) {
        auto* o = dynamic_cast<const ICPMediaSelectionOption*>(option.get());
        return o ? o->languageTag() : "-";
    }
    rt::Ref<rt::Object> subtitles_, defaultSubtitle_, selectedSubtitle_;
    rt::Ref<rt::Object> audioTracks_, defaultAudioTrack_, selectedAudioTrack_;
};

class OptionPlayerFactory : public ICPPlayerFactory {
    RT_CLASS(OptionPlayerFactory, ICPPlayerFactory)
public:
    rt::Ref<ICPMediaPlayer> playerForSource(const rt::Ref<ICPMediaSource>& source) override {
        auto player = rt::make<OptionPlayer>();
        player->setSource(source);
        player->script(CPPlayerState::Buffering);
        last = player;
        return player;
    }
    double loadingTimeout() const override { return loadingTimeout_; }
    void setLoadingTimeout(double v) override { loadingTimeout_ = v; }

    rt::Ref<OptionPlayer> last;
    double loadingTimeout_ = 3;
};

/// Writes every delegate call as a line; answers the presentation request as told.
class RecordingDelegate : public QXPlayerDelegate {
public:
    void playerStateDidChange(QXQuorvexPlayer& p) override { add(rt::format("state %lu", static_cast<unsigned long>(p.playerState()))); }
    void playerBroadcastStartDateDidChange(QXQuorvexPlayer&) override { add("startDate"); }
    void playerLiveStateDidChange(QXQuorvexPlayer& p) override { add(p.isLive() ? "live YES" : "live NO"); }
    void playerRequiresPassword(QXQuorvexPlayer&) override { add("password"); }
    void playerRequiresHash(QXQuorvexPlayer&) override { add("hash"); }
    void playerRequiresAgeConfirmation(QXQuorvexPlayer&, unsigned long age) override { add(rt::format("age %lu", age)); }
    void playerRequiresBirthdate(QXQuorvexPlayer&) override { add("birthdate"); }
    void playerWillPresentControls(QXQuorvexPlayer&, bool animated, double d) override {
        add(rt::format("present %d %g", animated ? 1 : 0, d));
    }
    void playerWillHideControls(QXQuorvexPlayer&, bool animated, double d) override {
        add(rt::format("hide %d %g", animated ? 1 : 0, d));
    }
    bool playerRequestsPresentingViewController(QXQuorvexPlayer&, const rt::Ref<ui::ViewController>&) override {
        add("presentRequest");
        return presents;
    }
    void add(std::string line) {
        if (onCall) onCall(line);
        calls.push_back(std::move(line));
    }

    Lines calls;
    bool presents = false;
    std::function<void(const std::string&)> onCall;
};

class FacadeTest : public zidtest::VirtualTimeTest {
protected:
    void SetUp() override {
        VirtualTimeTest::SetUp();
        QXQuorvexPlayer::configureWithApiKey(std::string("test-key"));
        // Nothing listens there: a facade's media-server sockets fail at once, and no
        // test reaches a real host.
        QXVexaSocketSettings settings;
        settings.socket.resolveHostTo = "127.0.0.1";
        settings.socket.portOverride = 9;
        setVexaSocketSettingsForTesting(settings);
    }
    void TearDown() override {
        setVexaSocketSettingsForTesting(std::nullopt);
        VirtualTimeTest::TearDown();
    }
    /// A session over a scripted source that realizes at once and a player factory of
    /// option players.
    rt::Ref<CPPlaybackSession> scriptedSession(CPMediaSourceType type = CPMediaSourceType::LiveChannel) {
        source = rt::make<zidtest::ScriptedSource>();
        source->setSourceType(type);
        source->onRealize = [](zidtest::ScriptedSource& s) { s.setRealized(); };
        players = rt::make<OptionPlayerFactory>();
        return CPPlaybackSession::sessionWithMediaSource(source, players);
    }
    /// A facade over a scripted session, prepared, with its player.
    rt::Ref<QXQuorvexPlayer> scriptedFacade(CPMediaSourceType type = CPMediaSourceType::LiveChannel) {
        auto session = scriptedSession(type);
        auto facade = QXQuorvexPlayerInternals::playerWithSession(session);
        facade->setDelegate(delegate);
        session->prepareToPlay();
        return facade;
    }
    OptionPlayer& player() { return *players->last; }

    rt::Ref<zidtest::ScriptedSource> source;
    rt::Ref<OptionPlayerFactory> players;
    std::shared_ptr<RecordingDelegate> delegate = std::make_shared<RecordingDelegate>();
};

}  // namespace facadetest
