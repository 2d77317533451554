#pragma once
// The facade's insides, for the prebuffering controller, the tests, the benches and the
// demo of this tree: its session, its factories, its view, its ad player and policy, and
// the calls its listener passes on. Not installed: a host reaches none of it.

#include <optional>
#include <string>

#include "Common/QXQuorvexPlayerImpl.h"
#include "Common/QXQuorvexPlayerListener.h"

namespace zid {

class QXQuorvexPlayerInternals {
public:
    static const rt::Ref<CPPlaybackSession>& session(const QXQuorvexPlayer& p) { return impl(p).session_; }
    static void setSession(QXQuorvexPlayer& p, const rt::Ref<CPPlaybackSession>& s) { impl(p).setSession(s); }
    static const rt::Ref<SDKVexaFactory>& vexaFactory(const QXQuorvexPlayer& p) { return impl(p).vexaFactory_; }
    static const rt::Ref<CPPlayerFactory>& playerFactory(const QXQuorvexPlayer& p) { return impl(p).playerFactory_; }
    static const rt::Ref<QXIMAPlayer>& adPlayer(const QXQuorvexPlayer& p) { return impl(p).adPlayer_; }
    static const rt::Ref<QXQuorvexPlayerAdManager>& adManager(const QXQuorvexPlayer& p) { return impl(p).adManager_; }
    /// The player view inside view().
    static const rt::Ref<CPPlayerView>& playerView(const QXQuorvexPlayer& p) { return impl(p).playerView_; }
    static const rt::Ref<ICPPlaybackControlFactory>& playbackControlFactory(const QXQuorvexPlayer& p) {
        return impl(p).playbackControlFactory_;
    }
    static rt::Ref<ICPPlaybackControlFactory> customToolbarPlaybackControlFactory(const QXQuorvexPlayer& p) {
        return impl(p).customToolbarPlaybackControlFactory();
    }
    static void setMediaDescriptor(QXQuorvexPlayer& p, const rt::Ref<QXMediaDescriptor>& d) {
        QXQuorvexPlayerImpl::mediaDescriptorKey.set(p, impl(p), d);
    }
    /// A new session for any source, prepared at once; it replaces the current one.
    static void playSource(QXQuorvexPlayer& p, const rt::Ref<ICPMediaSource>& source, bool autoplay,
                           bool rewindOnFinish) {
        QXQuorvexPlayerImpl::requireMainThread("playSource");
        impl(p).playSource(source, autoplay, rewindOnFinish);
    }
    /// A new facade playing the given session (a prepared one, from the prebuffering
    /// controller); its loadingTimeout reaches that session's player factory.
    static rt::Ref<QXQuorvexPlayer> playerWithSession(const rt::Ref<CPPlaybackSession>& session) {
        auto player = QXQuorvexPlayer::player();
        impl(*player).setSession(session);
        return player;
    }
    static void playAdIfNeeded(QXQuorvexPlayer& p) { impl(p).playAdIfNeeded(); }
    static bool allowAd(const QXQuorvexPlayer& p) { return impl(p).allowAd(); }
    /// The object the session, the player view and the ad player call back.
    static QXQuorvexPlayerListener& listener(const QXQuorvexPlayer& p) { return *impl(p).listener_; }
    static rt::Ref<rt::Error> mapError(const rt::Ref<rt::Error>& error) { return QXQuorvexPlayerImpl::mapError(error); }
    static void requireConfigured() { QXQuorvexPlayerImpl::requireConfigured(); }
    static void requireMainThread(const char* call) { QXQuorvexPlayerImpl::requireMainThread(call); }
    static void assertIMAAvailable() { QXQuorvexPlayerImpl::assertIMAAvailable(); }
    /// The facade's inside, whose calls skip the thread check (the benches compare).
    static const QXQuorvexPlayerImpl& inside(const QXQuorvexPlayer& p) { return QXQuorvexPlayerImpl::of(p); }
    /// The configured key, replaced (none: as if the process had never been configured).
    static void setApiKey(const std::optional<std::string>& key) { QXQuorvexPlayerImpl::setApiKey(key); }

private:
    static QXQuorvexPlayerImpl& impl(const QXQuorvexPlayer& p) {
        return const_cast<QXQuorvexPlayerImpl&>(QXQuorvexPlayerImpl::of(p));
    }
};

}  // namespace zid
