#pragma once
// The facade's insides, for the prebuffering controller, the tests and the benches of
// this tree: its session, its factories, its ad player and policy, and the calls its
// listener passes on. Not installed: a host reaches none of it.

#include <QXCorePlayer/Core/Core/CPPlaybackSession.h>
#include <QXCorePlayer/Core/MediaPlayer/CPMediaPlayer.h>
#include <QXCorePlayer/Core/View/PlaybackControl/CPToolbarPlaybackControl.h>
#include <QXMediaPlayer/Ad/IMA/QXIMAPlayer.h>
#include <QXMediaPlayer/Ad/IMA/QXQuorvexPlayerAdManager.h>
#include <QXSDKPlayer/Common/QXQuorvexPlayer.h>
#include <QXSDKPlayer/Common/SDKVexaFactory.h>

#include "Common/QXQuorvexPlayerListener.h"

namespace zid {

class QXQuorvexPlayerInternals {
public:
    static const rt::Ref<CPPlaybackSession>& session(const QXQuorvexPlayer& p) { return p.session(); }
    static void setSession(QXQuorvexPlayer& p, const rt::Ref<CPPlaybackSession>& s) { p.setSession(s); }
    static const rt::Ref<SDKVexaFactory>& vexaFactory(const QXQuorvexPlayer& p) { return p.vexaFactory(); }
    static const rt::Ref<CPPlayerFactory>& playerFactory(const QXQuorvexPlayer& p) { return p.playerFactory(); }
    static const rt::Ref<QXIMAPlayer>& adPlayer(const QXQuorvexPlayer& p) { return p.adPlayer(); }
    static const rt::Ref<QXQuorvexPlayerAdManager>& adManager(const QXQuorvexPlayer& p) { return p.adManager(); }
    static void setMediaDescriptor(QXQuorvexPlayer& p, const rt::Ref<QXMediaDescriptor>& d) {
        QXQuorvexPlayer::mediaDescriptorStore.set(p, d);
    }
    static void playAdIfNeeded(QXQuorvexPlayer& p) { p.playAdIfNeeded(); }
    static bool allowAd(const QXQuorvexPlayer& p) { return p.allowAd(); }
    /// The object the session, the player view and the ad player call back.
    static QXQuorvexPlayerListener& listener(const QXQuorvexPlayer& p) { return *p.listener_; }
};

}  // namespace zid
