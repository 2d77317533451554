#pragma once
// A player offering subtitles and audio tracks, a debug console and a video view, and
// listeners recording what controls and player views tell them.

#include <QXCorePlayer/Core/MediaPlayer/ICPMediaSelectionOption.h>
#include <QXCorePlayer/Core/View/PlayerControlViews/ICPPlaybackControl.h>
#include <QXCorePlayer/Core/View/PlayerView/CPPlayerView.h>
#include <QXFoundation/Lists/ArrayList.h>

#include "../PlaybackDoubles.h"

namespace zidtest {

using namespace zid;

class TestOption : public rt::Object, public ICPMediaSelectionOption {
    RT_CLASS(TestOption, rt::Object)
public:
    explicit TestOption(std::string title = "", std::string displayName = "", std::string tag = "")
        : title_(std::move(title)), displayName_(std::move(displayName)), tag_(std::move(tag)) {}
    std::string languageTag() const override { return tag_; }
    std::string displayName() const override { return displayName_; }
    std::string title() const override { return title_; }

private:
    std::string title_, displayName_, tag_;
};

class OptionsPlayer : public ScriptedPlayer {
    RT_CLASS(OptionsPlayer, ScriptedPlayer)
public:
    rt::Ref<rt::Object> subtitles() const override { return subtitles_; }
    rt::Ref<rt::Object> audioTracks() const override { return audioTracks_; }
    void setSubtitles(const std::vector<std::string>& titles) { rt::kvoSet(this, "subtitles", subtitles_, list(titles)); }
    void setAudioTracks(const std::vector<std::string>& titles) {
        rt::kvoSet(this, "audioTracks", audioTracks_, list(titles));
    }
    void setAudioTrackOptions(const std::vector<rt::Ref<TestOption>>& options) {
        rt::Value::Array values(options.begin(), options.end());
        rt::kvoSet(this, "audioTracks", audioTracks_, rt::Ref<rt::Object>(rt::make<ArrayList>(values)));
    }
    void selectSubtitle(const rt::Ref<rt::Object>& option) override {
        selectedSubtitles.push_back(option);
        ScriptedPlayer::selectSubtitle(option);
    }
    void selectAudioTrack(const rt::Ref<rt::Object>& option) override {
        selectedAudioTracks.push_back(option);
        ScriptedPlayer::selectAudioTrack(option);
    }
    bool showDebugConsole() const override { return console_; }
    void setShowDebugConsole(bool show) override {
        consoleCalls.push_back(show);
        console_ = show;
    }
    rt::Ref<rt::Object> presentationLayer() const override { return layer_; }
    void setPresentationLayer(rt::Ref<rt::Object> layer) { rt::kvoSet(this, "presentationLayer", layer_, std::move(layer)); }

    std::vector<rt::Ref<rt::Object>> selectedSubtitles, selectedAudioTracks;
    std::vector<bool> consoleCalls;

private:
    static rt::Ref<rt::Object> list(const std::vector<std::string>& titles) {
        rt::Value::Array options;
        for (const auto& t : titles) options.push_back(rt::Value(rt::make<TestOption>(t)));
        return rt::make<ArrayList>(options);
    }
    rt::Ref<rt::Object> subtitles_, audioTracks_, layer_;
    bool console_ = false;
};

class ControlRecorder : public rt::Object, public ICPPlaybackControlListener, public CPPlayerViewListener {
    RT_CLASS(ControlRecorder, rt::Object)
public:
    struct Call {
        std::string what;
        bool animated;
        double duration;
        const void* from;
    };
    void playbackControlWillPresentControls(ICPPlaybackControl& c, bool animated, double duration) override {
        calls.push_back({"present", animated, duration, &c});
    }
    void playbackControlWillHideControls(ICPPlaybackControl& c, bool animated, double duration) override {
        calls.push_back({"hide", animated, duration, &c});
    }
    void playbackControlRequestsPresentingViewController(ICPPlaybackControl& c,
                                                         const rt::Ref<ui::ViewController>& vc) override {
        calls.push_back({"request", false, 0, &c});
        requested.push_back(vc);
    }
    void playerViewWillPresentControls(CPPlayerView& v, bool animated, double duration) override {
        calls.push_back({"viewPresent", animated, duration, &v});
    }
    void playerViewWillHideControls(CPPlayerView& v, bool animated, double duration) override {
        calls.push_back({"viewHide", animated, duration, &v});
    }
    void playerViewRequestsPresentingViewController(CPPlayerView& v, const rt::Ref<ui::ViewController>& vc) override {
        calls.push_back({"viewRequest", false, 0, &v});
        requested.push_back(vc);
    }
    std::vector<Call> calls;
    std::vector<rt::Ref<ui::ViewController>> requested;
};

}  // namespace zidtest
