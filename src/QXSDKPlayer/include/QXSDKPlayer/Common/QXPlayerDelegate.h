#pragma once
// What the facade tells its host. Every call is optional: a delegate overrides the
// ones it wants; the others do nothing (or answer NO).

#include <rt/Error.h>
#include <rt/Object.h>
#include <rt/Value.h>

namespace ui {
class ViewController;
}

namespace zid {

class QXQuorvexPlayer;

class QXPlayerDelegate {
public:
    virtual ~QXPlayerDelegate() = default;
    /// playerState took a new value.
    virtual void playerStateDidChange(QXQuorvexPlayer& player) { (void)player; }
    /// broadcastStartDate took a new value other than none.
    virtual void playerBroadcastStartDateDidChange(QXQuorvexPlayer& player) { (void)player; }
    /// isLive changed (it was written before this call).
    virtual void playerLiveStateDidChange(QXQuorvexPlayer& player) { (void)player; }
    /// Unlock requests, answered with the facade's continueWith... calls.
    virtual void playerRequiresPassword(QXQuorvexPlayer& player) { (void)player; }
    virtual void playerRequiresHash(QXQuorvexPlayer& player) { (void)player; }
    virtual void playerRequiresAgeConfirmation(QXQuorvexPlayer& player, unsigned long ageRequired) {
        (void)player, (void)ageRequired;
    }
    virtual void playerRequiresBirthdate(QXQuorvexPlayer& player) { (void)player; }
    /// The controls are about to show or hide.
    virtual void playerWillPresentControls(QXQuorvexPlayer& player, bool animated, double duration) {
        (void)player, (void)animated, (void)duration;
    }
    virtual void playerWillHideControls(QXQuorvexPlayer& player, bool animated, double duration) {
        (void)player, (void)animated, (void)duration;
    }
    /// The controls need a view controller presented (a picker). YES: the host presented
    /// it; NO: the facade presents it from its presentingViewController.
    virtual bool playerRequestsPresentingViewController(QXQuorvexPlayer& player,
                                                        const rt::Ref<ui::ViewController>& controller) {
        (void)player, (void)controller;
        return false;
    }
    /// Asked before every ad request: the custom parameters to send (the facade's, with
    /// the ad placement). Answers them unchanged.
    virtual rt::Dictionary playerWillLoadAdWithCustomParameters(QXQuorvexPlayer& player,
                                                                const rt::Dictionary& parameters) {
        (void)player;
        return parameters;
    }
    /// An ad starts: the content is paused for it.
    virtual void playerStartingAd(QXQuorvexPlayer& player) { (void)player; }
    /// The ad is over: the content is resumed.
    virtual void playerDidFinishPlayingAd(QXQuorvexPlayer& player) { (void)player; }
    /// An ad failed to load or play; the content plays on.
    virtual void playerReceivedAdError(QXQuorvexPlayer& player, const rt::Ref<rt::Error>& error) {
        (void)player, (void)error;
    }
};

}  // namespace zid
