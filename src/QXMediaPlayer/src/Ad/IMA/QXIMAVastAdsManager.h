#pragma once
// The ads manager of the real ads backend: one linear ad played through the media layer
// in a player view that fills the ad container, its progress reported as the layer's
// events and sent to the ad server as tracking hits.
#include <QXMediaPlayer/Ad/ZeveVO/CAZevevoPlaybackTracker.h>
#include <QXMediaPlayer/Ad/ZeveVO/ZeveVoSource.h>
#include <fnd/NotificationCenter.h>
#include <ima/AdsManager.h>
#include <media/Player.h>
#include <rt/KVO.h>
#include <ui/View.h>

#include <optional>
#include <string>

namespace zid {

class QXPlayerView;

class QXIMAVastAdsManager : public ima::AdsManager {
    RT_CLASS(QXIMAVastAdsManager, ima::AdsManager)
public:
    /// The source is realized with the ad's media file; the container is held weakly.
    QXIMAVastAdsManager(rt::Ref<ZeveVoSource> source, const rt::Ref<ui::View>& container);

    void initializeWithAdsRenderingSettings(const rt::Ref<ima::AdsRenderingSettings>& settings) override;
    void start() override;
    void pause() override;
    void resume() override;
    void skip() override;
    void destroy() override;
    rt::Ref<ima::AdPlaybackInfo> adPlaybackInfo() const override;

    const rt::Ref<QXPlayerView>& playerView() const { return playerView_; }
    const rt::Ref<media::Player>& player() const { return player_; }

protected:
    void willDestroy() override;

private:
    /// Makes the ad's player and its observers (once); start() shows and plays it.
    void prepare();
    /// A failure of the ad's media: reported at once once started, else kept for start().
    void mediaFailed(const std::string& message);
    void firstPicture();
    void progress(double seconds);
    void playedToEnd();
    void failed(const std::string& message);
    /// Ends the ad: resumes the content when it was paused and reports all ads completed
    /// once the ad's tracking hits have ended.
    void finish();
    /// Reports all ads completed (once): a host asks for its next ad when it hears it.
    void reportAllAdsCompleted();
    void tearDown();
    double duration() const;

    rt::Ref<ZeveVoSource> source_;
    rt::Ref<CAZevevoPlaybackTracker> tracker_;
    rt::Weak<ui::View> container_;
    rt::Ref<QXPlayerView> playerView_;
    rt::Ref<media::Player> player_;
    rt::Ref<media::FrameObserverToken> frameToken_;
    rt::Ref<media::TimeObserverToken> timeToken_;
    rt::Ref<rt::Observation> statusObservation_;
    std::vector<rt::Ref<fnd::NotificationObserver>> notificationTokens_;
    rt::Ref<fnd::Timer> startTimeout_;
    rt::Ref<fnd::Timer> preparedTimeout_;
    rt::Ref<fnd::Timer> trackingWait_;
    std::optional<std::string> preparationFailure_;
    bool started_ = false;
    bool showing_ = false;
    bool playing_ = false;
    bool paused_ = false;
    bool finished_ = false;
    bool contentPaused_ = false;
    bool allAdsCompletedReported_ = false;
    int quartilesReported_ = 0;
    // The last position that moved on, and when (the run loop's clock).
    double lastPosition_ = -1;
    double lastAdvance_ = 0;
};

}  // namespace zid
