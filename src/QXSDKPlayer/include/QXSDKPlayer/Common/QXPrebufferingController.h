#pragma once
// Prepares playback of the media a host is about to offer (a feed of channels and
// videos) before the viewer picks one, so the chosen one starts at once. The host hands
// over an ordered list of descriptors; the controller keeps one playback session per
// descriptor (at most maxSources), prepares a few ahead (1, 2 or 4, the more the more are
// already ready), relays lock requests and loading errors to its delegate and hands out a
// facade that plays a prepared session. Main thread only.
//
//   auto prebuffering = rt::make<QXPrebufferingController>();
//   prebuffering->enqueueForPlaybackPreparation({a, b, c});
//   auto player = prebuffering->playerForMedia(b);   // plays b's prepared session
//   player->play();

#include <QXCorePlayer/Core/Core/CPPlaybackSession.h>
#include <QXCorePlayer/Core/Core/CPPlaybackSessionListener.h>
#include <QXSDKPlayer/Common/QXMediaDescriptor.h>
#include <QXSDKPlayer/Common/QXPrebufferingDelegate.h>
#include <QXSDKPlayer/Common/QXQuorvexPlayer.h>
#include <QXSDKPlayer/Common/SDKVexaFactory.h>
#include <rt/MainThread.h>
#include <rt/Property.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace fnd {
class Timer;
}
namespace ui {
class Window;
}

namespace zid {

class OnSignalHelper;

/// The association key under which every prepared session carries its descriptor.
extern const char* const kAssociatedMedia;

class QXPrebufferingController : public rt::Object, public CPPlaybackSessionListener {
    RT_CLASS(QXPrebufferingController, rt::Object)
    RT_MAIN_THREAD_ONLY_CLASS;
private:
    long maxSources_ = kDefaultMaxSources;
    QXPlayerControlStyle playerControlStyle_ = QXPlayerControlStyle::None;
    std::vector<rt::Ref<QXMediaDescriptor>> enqueuedMedia_;

public:
    static constexpr long kDefaultMaxSources = 12;
    /// A session reset after a failure waits this long before it is prepared again; the
    /// wait doubles with each failure of the same descriptor up to kMaxRetryDelay.
    static constexpr double kFirstRetryDelay = 5.0;
    static constexpr double kMaxRetryDelay = 300.0;

    static constexpr rt::Stored<&QXPrebufferingController::maxSources_, "maxSources", rt::writable> maxSourcesKey{};
    static constexpr rt::Stored<&QXPrebufferingController::playerControlStyle_, "playerControlStyle", rt::writable>
        playerControlStyleKey{};
    static constexpr rt::Stored<&QXPrebufferingController::enqueuedMedia_, "enqueuedMedia"> enqueuedMediaKey{};

    /// Raises QXQuorvexPlayerConfigurationError, as a facade does, in a process where
    /// QXQuorvexPlayer::configureWithApiKey was never called: nothing is made then.
    QXPrebufferingController();
    /// Main thread only: its setters, by name too, raise the facade's thread error elsewhere.
    static void describe(rt::ClassBuilder<QXPrebufferingController>& c) { c.mainThreadOnly(); }

    // ---- the queue -------------------------------------------------------------------
    /// Replaces the queue with the media, first occurrences only and at most maxSources;
    /// drops the sessions (and forgets the facades) of descriptors no longer queued,
    /// makes a session for each queued descriptor without one and prepares.
    void enqueueForPlaybackPreparation(const std::vector<rt::Ref<QXMediaDescriptor>>& media);
    /// Lets every session and handed-out facade go; the queue stays, and a later enqueue
    /// or playerForMedia makes fresh sessions.
    void cancelPlaybackPreparations();
    /// The facade for the media, made once and answered again on later calls; media not
    /// queued is put first in the queue. The facade always plays a session of this
    /// controller, also when maxSources leaves no room for the media in the queue.
    rt::Ref<QXQuorvexPlayer> playerForMedia(const rt::Ref<QXMediaDescriptor>& media);

    // ---- unlock answers (nothing when the media has no session) --------------------------
    void continueWithPassword(const std::string& password, const rt::Ref<QXMediaDescriptor>& media);
    void continueWithHash(const std::string& hash, const rt::Ref<QXMediaDescriptor>& media);
    void continueWithBirthdate(const rt::Date& birthdate, const rt::Ref<QXMediaDescriptor>& media);

    /// One process-wide window with the frame (0, 0, 100, 100), made on first use and
    /// never shown. On the main thread only, as the window is.
    static const rt::Ref<ui::Window>& parkingSlot();

    // ---- properties ------------------------------------------------------------------------
    /// Made at construction with the default cluster and host and the configured API key.
    const rt::Ref<SDKVexaFactory>& vexaFactory() const { RT_MAIN_THREAD_ONLY(); return vexaFactory_; }
    /// A CPPlayerFactory with a loading timeout of 10 s unless replaced.
    const rt::Ref<ICPPlayerFactory>& playerFactory() const { RT_MAIN_THREAD_ONLY(); return playerFactory_; }
    /// Used by the sessions made after the change.
    void setPlayerFactory(rt::Ref<ICPPlayerFactory> factory) {
        RT_MAIN_THREAD_ONLY();
        rt::MainThread::require(*this, "setPlayerFactory");
        playerFactory_ = std::move(factory);
    }
    /// The most descriptors kept (12); 0 or less keeps none.
    long maxSources() const { RT_MAIN_THREAD_ONLY(); return maxSources_; }
    void setMaxSources(long count) { RT_MAIN_THREAD_ONLY(); maxSourcesKey.set(*this, count); }
    const std::vector<rt::Ref<QXMediaDescriptor>>& enqueuedMedia() const {
        RT_MAIN_THREAD_ONLY();
        return enqueuedMedia_;
    }
    std::shared_ptr<QXPrebufferingDelegate> delegate() const { RT_MAIN_THREAD_ONLY(); return delegate_.lock(); }
    /// Held weakly.
    void setDelegate(const std::shared_ptr<QXPrebufferingDelegate>& delegate) {
        RT_MAIN_THREAD_ONLY();
        rt::MainThread::require(*this, "setDelegate");
        delegate_ = delegate;
    }
    /// The control style of the facades handed out (0, no control).
    QXPlayerControlStyle playerControlStyle() const { RT_MAIN_THREAD_ONLY(); return playerControlStyle_; }
    void setPlayerControlStyle(QXPlayerControlStyle style) {
        RT_MAIN_THREAD_ONLY();
        playerControlStyleKey.set(*this, style);
    }

    /// The media's session, or none.
    rt::Ref<CPPlaybackSession> sessionOfMedia(const rt::Ref<QXMediaDescriptor>& media) const;
    /// The facade handed out for the media, or none.
    rt::Ref<QXQuorvexPlayer> playerOfMedia(const rt::Ref<QXMediaDescriptor>& media) const;
    std::size_t numberOfSessions() const;
    std::size_t numberOfPlayers() const;
    /// The descriptor a session carries, or none.
    static rt::Ref<QXMediaDescriptor> mediaOfSession(const CPPlaybackSession& session);

    // ---- the steps -------------------------------------------------------------------------
    /// The facade's source chain for the media, with this controller's client factory.
    virtual rt::Ref<ICPMediaSource> sourceForMedia(const rt::Ref<QXMediaDescriptor>& media);
    /// A new session over sourceForMedia with this controller's player factory, carrying
    /// the media; rewound at its end for a recorded video. Not prepared, not yet watched.
    rt::Ref<CPPlaybackSession> sessionForMedia(const rt::Ref<QXMediaDescriptor>& media);
    /// Tops the loading sessions of the queue up to the target for the ready ones. Asked
    /// again while it runs (a session changes state inside prepareToPlay, a delegate
    /// re-enqueues), it finishes its walk and then runs once more.
    void prepareSessions();
    /// 1 when none is ready, 2 when one is, 4 when two or more are.
    static long numberOfPlayersToPrepareIfAlreadyPrepared(long ready);
    /// Prepares up to count stopped sessions in queue order, passing over any that waits
    /// out a back-off.
    void prepareNextPlayers(long count);
    void prepareSession(const rt::Ref<CPPlaybackSession>& session);
    /// Asks the delegate; YES resets the session, which is prepared again after the
    /// media's back-off (5 s, doubling up to 5 minutes; cleared when the session gets
    /// ready or the media is enqueued again), never in the same turn.
    void sessionFailed(const rt::Ref<CPPlaybackSession>& session);

    // ---- CPPlaybackSessionListener -------------------------------------------------------
    void sessionRequiresPassword(CPPlaybackSession& session) override;
    void sessionRequiresHash(CPPlaybackSession& session, const std::string& fromURL) override;
    /// Not relayed.
    void sessionRequiresAgeConfirmation(CPPlaybackSession& session, unsigned long ageRequired) override;
    void sessionRequiresBirthdate(CPPlaybackSession& session) override;
    /// Nothing: the controller lets its sessions make their players at once.
    void sessionWillMakePlayer(CPPlaybackSession& session) override;

protected:
    void willDestroy() override;

private:
    struct Entry {
        rt::Ref<QXMediaDescriptor> media;
        rt::Ref<CPPlaybackSession> session;
        rt::Ref<QXQuorvexPlayer> player;
        rt::Ref<OnSignalHelper> stateTrigger;
        /// The last back-off used; 0 when none.
        double retryDelay = 0;
        /// Pending while the reset session waits out its back-off.
        rt::Ref<fnd::Timer> retryTimer;
    };
    /// The enqueue; the spared descriptor keeps its session and facade even when it is
    /// not queued.
    void replaceQueue(const std::vector<rt::Ref<QXMediaDescriptor>>& media, const QXMediaDescriptor* spared);
    Entry* entryOf(const QXMediaDescriptor* media);
    const Entry* entryOf(const QXMediaDescriptor* media) const;
    /// Listens to the session, installs its state trigger and stores it for the media.
    void watchSession(const rt::Ref<QXMediaDescriptor>& media, const rt::Ref<CPPlaybackSession>& session);
    void sessionStateChanged(const rt::Ref<CPPlaybackSession>& session, CPSessionState state);
    /// Ends the trigger, the listening and the back-off of an entry the tables drop.
    void forget(Entry& entry);
    void retryAfterBackOff(const rt::Ref<QXMediaDescriptor>& media);
    template <class F>
    void tellDelegate(CPPlaybackSession& session, F&& call);

    rt::Ref<SDKVexaFactory> vexaFactory_;
    rt::Ref<ICPPlayerFactory> playerFactory_;
    std::weak_ptr<QXPrebufferingDelegate> delegate_;
    /// Keyed by identity; each entry holds its descriptor, which keeps the key alive.
    std::map<const QXMediaDescriptor*, Entry> entries_;
    bool preparing_ = false;
    bool prepareAgain_ = false;
    /// While above 0, passes asked for wait for the end of the enqueue that holds them.
    int holdPasses_ = 0;
    /// Moves on with every enqueue and cancel, so a walk can tell its queue was replaced.
    std::uint64_t queueGeneration_ = 0;
};

}  // namespace zid
