#pragma once
// The facade's ear: the one object the facade's session, player view and ad player
// call back, so that none of those calls is part of the facade's public face. It passes
// every call on to the facade's inside.

#include <string>

#include <QXCorePlayer/Core/Core/CPPlaybackSessionListener.h>
#include <QXCorePlayer/Core/View/PlayerView/CPPlayerView.h>
#include <QXMediaPlayer/Ad/IMA/QXIMAPlayer.h>
#include "Common/QXQuorvexPlayerImpl.h"

namespace zid {

class QXQuorvexPlayerListener : public rt::Object,
                                public CPPlayerViewListener,
                                public CPPlaybackSessionListener,
                                public QXIMAPlayerDelegate {
    RT_CLASS(QXQuorvexPlayerListener, rt::Object)
public:
    explicit QXQuorvexPlayerListener(QXQuorvexPlayerImpl& player) : player_(player) {}

    void sessionRequiresPassword(CPPlaybackSession& session) override { player_.sessionRequiresPassword(session); }
    void sessionRequiresHash(CPPlaybackSession& session, const std::string& fromURL) override {
        player_.sessionRequiresHash(session, fromURL);
    }
    void sessionRequiresAgeConfirmation(CPPlaybackSession& session, unsigned long ageRequired) override {
        player_.sessionRequiresAgeConfirmation(session, ageRequired);
    }
    void sessionRequiresBirthdate(CPPlaybackSession& session) override { player_.sessionRequiresBirthdate(session); }
    void sessionWillMakePlayer(CPPlaybackSession& session) override { player_.sessionWillMakePlayer(session); }

    void playerViewWillPresentControls(CPPlayerView& view, bool animated, double duration) override {
        player_.playerViewWillPresentControls(view, animated, duration);
    }
    void playerViewWillHideControls(CPPlayerView& view, bool animated, double duration) override {
        player_.playerViewWillHideControls(view, animated, duration);
    }
    void playerViewRequestsPresentingViewController(CPPlayerView& view,
                                                    const rt::Ref<ui::ViewController>& controller) override {
        player_.playerViewRequestsPresentingViewController(view, controller);
    }

    rt::Dictionary QXIMAPlayerWillLoadAdWithCustomParameters(QXIMAPlayer& adPlayer,
                                                             const rt::Dictionary& parameters) override {
        return player_.QXIMAPlayerWillLoadAdWithCustomParameters(adPlayer, parameters);
    }
    bool QXIMAPlayerReadyToPlayAd(QXIMAPlayer& adPlayer) override { return player_.QXIMAPlayerReadyToPlayAd(adPlayer); }
    void QXIMAPlayerRequestContentPause(QXIMAPlayer& adPlayer) override {
        player_.QXIMAPlayerRequestContentPause(adPlayer);
    }
    void QXIMAPlayerRequestContentResume(QXIMAPlayer& adPlayer) override {
        player_.QXIMAPlayerRequestContentResume(adPlayer);
    }
    void QXIMAPlayerDidStartAd(QXIMAPlayer& adPlayer) override { player_.QXIMAPlayerDidStartAd(adPlayer); }
    double QXIMAPlayerRequestContentTime(QXIMAPlayer& adPlayer) override {
        return player_.QXIMAPlayerRequestContentTime(adPlayer);
    }
    void QXIMAPlayerDidFinishPlayingAds(QXIMAPlayer& adPlayer) override {
        player_.QXIMAPlayerDidFinishPlayingAds(adPlayer);
    }
    void QXIMAPlayerDidFailWithError(QXIMAPlayer& adPlayer, const rt::Ref<rt::Error>& error) override {
        player_.QXIMAPlayerDidFailWithError(adPlayer, error);
    }

private:
    // The facade's inside owns this object and outlives it: the calls come from objects
    // that hold it weakly.
    QXQuorvexPlayerImpl& player_;
};

}  // namespace zid
