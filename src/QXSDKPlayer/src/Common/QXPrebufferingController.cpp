// The prebuffering controller: its queue, the sessions it watches, the preparation
// passes and the back-off of a session the delegate asked to retry.
#include <rt/MainThread.h>
#include <QXFoundation/Listening/IListenable.h>
#include <QXSDKPlayer/Common/QXPrebufferingController.h>

#include "Common/QXQuorvexPlayerInternals.h"
#include <QXSDKPlayer/Common/QXSourceChain.h>
#include <RuzEzo/Extensions/KeypathSignalCategory.h>
#include <RuzEzo/Signal/Dealloc/FKDeallocSignal.h>
#include <RuzEzo/Trigger/OnSignalHelper.h>
#include <fnd/RunLoop.h>
#include <rt/Exception.h>
#include <rt/Format.h>
#include <ui/Window.h>

#include <algorithm>
#include <set>

namespace zid {

const char* const kAssociatedMedia = "associatedMedia";

namespace {
/// The argument, or the facade's parameter error when there is none: a missing media or
/// session is the caller's mistake, never something to dereference.
template <class T> const rt::Ref<T>& required(const rt::Ref<T>& argument, const char* call, const char* what) {
    if (!argument)
        throw rt::Exception(QXQuorvexPlayerParameterError,
                            rt::format("QXPrebufferingController: %s: must be called with a non-nil %s!", call, what));
    return argument;
}
}  // namespace

QXPrebufferingController::QXPrebufferingController() {
    // Checked first, as the facade does: an unconfigured process subscribes nothing.
    QXQuorvexPlayerInternals::requireMainThread("QXPrebufferingController::QXPrebufferingController");
    QXQuorvexPlayerInternals::requireConfigured();
    vexaFactory_ = rt::make<SDKVexaFactory>(QXQuorvexPlayerDefaultVexaCluster, SDKVexaFactory::mediaServerSettings().host,
                                            *QXQuorvexPlayerApiKey);
    auto players = rt::make<CPPlayerFactory>();
    players->setLoadingTimeout(10.0);
    playerFactory_ = players;
}

void QXPrebufferingController::willDestroy() {
    for (auto& [key, entry] : entries_) forget(entry);
    entries_.clear();
    rt::Object::willDestroy();
}

// ---- the tables ------------------------------------------------------------------------------

QXPrebufferingController::Entry* QXPrebufferingController::entryOf(const QXMediaDescriptor* media) {
    auto it = entries_.find(media);
    return it == entries_.end() ? nullptr : &it->second;
}

const QXPrebufferingController::Entry* QXPrebufferingController::entryOf(const QXMediaDescriptor* media) const {
    auto it = entries_.find(media);
    return it == entries_.end() ? nullptr : &it->second;
}

rt::Ref<CPPlaybackSession> QXPrebufferingController::sessionOfMedia(const rt::Ref<QXMediaDescriptor>& media) const {
    RT_MAIN_THREAD_ONLY();
    const Entry* entry = entryOf(media.get());
    return entry ? entry->session : nullptr;
}

rt::Ref<QXQuorvexPlayer> QXPrebufferingController::playerOfMedia(const rt::Ref<QXMediaDescriptor>& media) const {
    RT_MAIN_THREAD_ONLY();
    const Entry* entry = entryOf(media.get());
    return entry ? entry->player : nullptr;
}

std::size_t QXPrebufferingController::numberOfSessions() const { RT_MAIN_THREAD_ONLY(); return entries_.size(); }

std::size_t QXPrebufferingController::numberOfPlayers() const {
    RT_MAIN_THREAD_ONLY();
    return static_cast<std::size_t>(
        std::count_if(entries_.begin(), entries_.end(), [](const auto& e) { return e.second.player != nullptr; }));
}

rt::Ref<QXMediaDescriptor> QXPrebufferingController::mediaOfSession(const CPPlaybackSession& session) {
    return session.associatedObject(kAssociatedMedia).as<QXMediaDescriptor>();
}

void QXPrebufferingController::forget(Entry& entry) {
    // A session the host still plays through a facade handed out earlier must no longer
    // reach this controller: its failures are the host's, not a preparation's.
    if (entry.stateTrigger) entry.stateTrigger->dispose();
    entry.stateTrigger.reset();
    if (entry.session) removeListener(*entry.session, *this);
    if (entry.retryTimer) entry.retryTimer->invalidate();
    entry.retryTimer.reset();
}

// ---- the queue ---------------------------------------------------------------------------------

void QXPrebufferingController::enqueueForPlaybackPreparation(const std::vector<rt::Ref<QXMediaDescriptor>>& media) {
    RT_MAIN_THREAD_ONLY();
    QXQuorvexPlayerInternals::requireMainThread("QXPrebufferingController::enqueueForPlaybackPreparation");
    replaceQueue(media, nullptr);
}

void QXPrebufferingController::replaceQueue(const std::vector<rt::Ref<QXMediaDescriptor>>& media,
                                            const QXMediaDescriptor* spared) {
    auto keep = self();
    std::vector<rt::Ref<QXMediaDescriptor>> queue;
    std::set<const QXMediaDescriptor*> seen;
    for (const auto& m : media) {
        if (static_cast<long>(queue.size()) >= maxSources_) break;
        if (!m || !seen.insert(m.get()).second) continue;
        queue.push_back(m);
    }
    ++queueGeneration_;
    enqueuedMediaKey.set(*this, queue);

    for (auto it = entries_.begin(); it != entries_.end();) {
        if (it->first == spared) {
            ++it;
            continue;
        }
        if (seen.count(it->first)) {
            // Enqueued again: the next failure starts its back-off from the beginning.
            it->second.retryDelay = 0;
            ++it;
            continue;
        }
        forget(it->second);
        it = entries_.erase(it);
    }

    // Every new session's trigger asks for a pass as it is installed; one pass once all
    // are stored prepares the queue from its front.
    ++holdPasses_;
    try {
        for (const auto& m : queue) {
            if (entryOf(m.get())) continue;
            // A nested enqueue (a delegate answering inside a trigger) may have replaced
            // the queue meanwhile; only what is still queued gets a session.
            const auto& now = enqueuedMedia_;
            if (std::find(now.begin(), now.end(), m) == now.end()) continue;
            if (auto session = sessionForMedia(m)) watchSession(m, session);
        }
    } catch (...) {
        --holdPasses_;
        throw;
    }
    --holdPasses_;
    prepareSessions();
}

void QXPrebufferingController::cancelPlaybackPreparations() {
    RT_MAIN_THREAD_ONLY();
    QXQuorvexPlayerInternals::requireMainThread("QXPrebufferingController::cancelPlaybackPreparations");
    auto keep = self();
    ++queueGeneration_;
    auto dropped = std::move(entries_);
    entries_.clear();
    for (auto& [key, entry] : dropped) forget(entry);
    // The sessions and facades go when the host holds none of them.
    dropped.clear();
}

rt::Ref<QXQuorvexPlayer> QXPrebufferingController::playerForMedia(const rt::Ref<QXMediaDescriptor>& media) {
    RT_MAIN_THREAD_ONLY();
    QXQuorvexPlayerInternals::requireMainThread("QXPrebufferingController::playerForMedia");
    if (!media) return nullptr;
    auto keep = self();
    const auto& queue = enqueuedMedia_;
    if (std::find(queue.begin(), queue.end(), media) == queue.end()) {
        std::vector<rt::Ref<QXMediaDescriptor>> front{media};
        front.insert(front.end(), queue.begin(), queue.end());
        // With no room for it in the queue, its own session and facade still stay.
        replaceQueue(front, media.get());
    }
    if (Entry* entry = entryOf(media.get()); entry && entry->player) return entry->player;

    // No session after a cancel, or no room in the queue: the facade still gets one.
    rt::Ref<CPPlaybackSession> session = sessionOfMedia(media);
    bool made = false;
    if (!session) {
        session = sessionForMedia(media);
        watchSession(media, session);
        made = true;
    }
    auto player = QXQuorvexPlayerInternals::playerWithSession(session);
    player->setPlayerControlStyle(playerControlStyle_);
    QXQuorvexPlayerInternals::setMediaDescriptor(*player, media);
    if (Entry* entry = entryOf(media.get()); entry && entry->session == session) entry->player = player;
    if (made) prepareSessions();
    return player;
}

// ---- sessions ------------------------------------------------------------------------------------

rt::Ref<ICPMediaSource> QXPrebufferingController::sourceForMedia(const rt::Ref<QXMediaDescriptor>& media) {
    RT_MAIN_THREAD_ONLY();
    return QXSourceChain::forDescriptor(*required(media, "sourceForMedia", "media descriptor"), vexaFactory_).source;
}

rt::Ref<CPPlaybackSession> QXPrebufferingController::sessionForMedia(const rt::Ref<QXMediaDescriptor>& media) {
    RT_MAIN_THREAD_ONLY();
    auto session = CPPlaybackSession::sessionWithMediaSource(
        sourceForMedia(required(media, "sessionForMedia", "media descriptor")), playerFactory_);
    session->setAssociatedObject(rt::Value(media), kAssociatedMedia);
    session->setRewindOnFinish(!media->isChannel());
    return session;
}

void QXPrebufferingController::watchSession(const rt::Ref<QXMediaDescriptor>& media,
                                            const rt::Ref<CPPlaybackSession>& session) {
    rt::Weak<QXPrebufferingController> weakSelf = selfAs<QXPrebufferingController>();
    rt::Weak<CPPlaybackSession> weakSession = session;
    // Runs at once with the present state (the session is not stored yet), then on every
    // change, until the media is dropped, the preparations are cancelled or this
    // controller goes.
    auto trigger = onSignal(signalForKeypath(*session, "state"), deallocSignal(*this),
                            [weakSelf, weakSession](const rt::Value& value) {
                                auto me = weakSelf.lock();
                                auto s = weakSession.lock();
                                if (me && s)
                                    me->sessionStateChanged(s, static_cast<CPSessionState>(value.longLongValue()));
                            });
    addListener(*session, self());
    Entry& entry = entries_[media.get()];
    forget(entry);  // an entry a nested call made for the media meanwhile
    entry = Entry{media, session, nullptr, trigger, 0, nullptr};
}

void QXPrebufferingController::sessionStateChanged(const rt::Ref<CPPlaybackSession>& session, CPSessionState state) {
    auto keep = self();
    if (state == CPSessionState::Ready) {
        if (Entry* entry = entryOf(mediaOfSession(*session).get()); entry && entry->session == session)
            entry->retryDelay = 0;
    }
    if (state == CPSessionState::Failed) sessionFailed(session);
    prepareSessions();
}

void QXPrebufferingController::sessionFailed(const rt::Ref<CPPlaybackSession>& session) {
    RT_MAIN_THREAD_ONLY();
    auto media = mediaOfSession(*required(session, "sessionFailed", "session"));
    auto delegate = delegate_.lock();
    if (!delegate || !media) return;
    auto keep = self();
    if (!delegate->prebufferingControllerReportsLoadingErrorForMedia(*this, session->error(), media)) return;
    // The delegate may have dropped the media meanwhile; a session this controller no
    // longer holds is the host's to reset, not ours.
    Entry* entry = entryOf(media.get());
    if (!entry || entry->session != session) return;
    entry->retryDelay = entry->retryDelay > 0 ? std::min(entry->retryDelay * 2, kMaxRetryDelay) : kFirstRetryDelay;
    if (entry->retryTimer) entry->retryTimer->invalidate();
    rt::Weak<QXPrebufferingController> weakSelf = selfAs<QXPrebufferingController>();
    rt::Weak<QXMediaDescriptor> weakMedia = media;
    entry->retryTimer = fnd::RunLoop::main()->schedule(entry->retryDelay, false, [weakSelf, weakMedia](fnd::Timer&) {
        auto me = weakSelf.lock();
        auto m = weakMedia.lock();
        if (me && m) me->retryAfterBackOff(m);
    });
    // The reset's state change asks for a pass, which passes over the waiting session.
    session->reset();
}

void QXPrebufferingController::retryAfterBackOff(const rt::Ref<QXMediaDescriptor>& media) {
    Entry* entry = entryOf(media.get());
    if (!entry) return;
    entry->retryTimer.reset();
    prepareSessions();
}

// ---- preparing --------------------------------------------------------------------------------------

long QXPrebufferingController::numberOfPlayersToPrepareIfAlreadyPrepared(long ready) {
    return 1L << std::clamp(ready, 0L, 2L);
}

void QXPrebufferingController::prepareSessions() {
    RT_MAIN_THREAD_ONLY();
    if (preparing_ || holdPasses_ > 0) {
        prepareAgain_ = true;
        return;
    }
    auto keep = self();
    preparing_ = true;
    try {
        do {
            prepareAgain_ = false;
            long ready = 0, loading = 0;
            for (const auto& media : std::vector<rt::Ref<QXMediaDescriptor>>(enqueuedMedia_)) {
                const Entry* entry = entryOf(media.get());
                if (!entry) continue;
                ready += entry->session->state() == CPSessionState::Ready;
                loading += entry->session->state() == CPSessionState::Loading;
            }
            long target = numberOfPlayersToPrepareIfAlreadyPrepared(ready);
            if (target > loading) prepareNextPlayers(target - loading);
        } while (prepareAgain_);
    } catch (...) {
        preparing_ = false;
        prepareAgain_ = false;
        throw;
    }
    preparing_ = false;
}

void QXPrebufferingController::prepareNextPlayers(long count) {
    RT_MAIN_THREAD_ONLY();
    // The walk is over a copy of the queue, and each session is looked up afresh: a
    // session's state changes inside prepareToPlay, and what that sets off may change the
    // queue and the tables. A walk whose queue was replaced stops; the pass that the
    // change asked for walks the new one.
    auto queue = enqueuedMedia_;
    const std::uint64_t generation = queueGeneration_;
    for (const auto& media : queue) {
        if (count <= 0 || generation != queueGeneration_) break;
        const Entry* entry = entryOf(media.get());
        if (!entry || entry->retryTimer || entry->session->state() != CPSessionState::Stopped) continue;
        auto session = entry->session;
        prepareSession(session);
        --count;
    }
}

void QXPrebufferingController::prepareSession(const rt::Ref<CPPlaybackSession>& session) {
    RT_MAIN_THREAD_ONLY();
    required(session, "prepareSession", "session")->prepareToPlay();
}

// ---- locks -------------------------------------------------------------------------------------------

template <class F>
void QXPrebufferingController::tellDelegate(CPPlaybackSession& session, F&& call) {
    auto media = mediaOfSession(session);
    auto delegate = delegate_.lock();
    if (media && delegate) call(*delegate, media);
}

void QXPrebufferingController::sessionRequiresPassword(CPPlaybackSession& session) {
    RT_MAIN_THREAD_ONLY();
    tellDelegate(session, [&](QXPrebufferingDelegate& d, const rt::Ref<QXMediaDescriptor>& m) {
        d.prebufferingControllerRequiresPasswordForMedia(*this, m);
    });
}

void QXPrebufferingController::sessionRequiresHash(CPPlaybackSession& session, const std::string&) {
    RT_MAIN_THREAD_ONLY();
    tellDelegate(session, [&](QXPrebufferingDelegate& d, const rt::Ref<QXMediaDescriptor>& m) {
        d.prebufferingControllerRequiresHashForMedia(*this, m);
    });
}

void QXPrebufferingController::sessionRequiresAgeConfirmation(CPPlaybackSession&, unsigned long) {
    RT_MAIN_THREAD_ONLY();
}

void QXPrebufferingController::sessionRequiresBirthdate(CPPlaybackSession& session) {
    RT_MAIN_THREAD_ONLY();
    tellDelegate(session, [&](QXPrebufferingDelegate& d, const rt::Ref<QXMediaDescriptor>& m) {
        d.prebufferingControllerRequiresBirthdateForMedia(*this, m);
    });
}

void QXPrebufferingController::sessionWillMakePlayer(CPPlaybackSession&) { RT_MAIN_THREAD_ONLY(); }

void QXPrebufferingController::continueWithPassword(const std::string& password,
                                                    const rt::Ref<QXMediaDescriptor>& media) {
    RT_MAIN_THREAD_ONLY();
    QXQuorvexPlayerInternals::requireMainThread("QXPrebufferingController::continueWithPassword");
    if (auto session = sessionOfMedia(media)) session->continueWithPassword(password);
}

void QXPrebufferingController::continueWithHash(const std::string& hash, const rt::Ref<QXMediaDescriptor>& media) {
    RT_MAIN_THREAD_ONLY();
    QXQuorvexPlayerInternals::requireMainThread("QXPrebufferingController::continueWithHash");
    if (auto session = sessionOfMedia(media)) session->continueWithHash(hash);
}

void QXPrebufferingController::continueWithBirthdate(const rt::Date& birthdate,
                                                     const rt::Ref<QXMediaDescriptor>& media) {
    RT_MAIN_THREAD_ONLY();
    QXQuorvexPlayerInternals::requireMainThread("QXPrebufferingController::continueWithBirthdate");
    if (auto session = sessionOfMedia(media)) session->continueWithBirthdate(birthdate);
}

const rt::Ref<ui::Window>& QXPrebufferingController::parkingSlot() {
    QXQuorvexPlayerInternals::requireMainThread("QXPrebufferingController::parkingSlot");
    // Kept to the end of the process: never torn down with the other statics.
    static const auto* window = new rt::Ref<ui::Window>(rt::make<ui::Window>(ui::Rect{0, 0, 100, 100}));
    return *window;
}

}  // namespace zid
