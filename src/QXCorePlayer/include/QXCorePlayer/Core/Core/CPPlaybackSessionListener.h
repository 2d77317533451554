#pragma once
// The unlock requests of a playback session, and the moment before it makes its player;
// every method optional.
#include <string>

namespace zid {

class CPPlaybackSession;

class CPPlaybackSessionListener {
public:
    virtual ~CPPlaybackSessionListener() = default;
    virtual void sessionRequiresPassword(CPPlaybackSession& session) { (void)session; }
    virtual void sessionRequiresHash(CPPlaybackSession& session, const std::string& fromURL) {
        (void)session, (void)fromURL;
    }
    virtual void sessionRequiresAgeConfirmation(CPPlaybackSession& session, unsigned long ageRequired) {
        (void)session, (void)ageRequired;
    }
    virtual void sessionRequiresBirthdate(CPPlaybackSession& session) { (void)session; }
    /// The session is about to make its player; a listener may defer it from here
    /// (CPPlaybackSession::setPlayerDeferred).
    virtual void sessionWillMakePlayer(CPPlaybackSession& session) { (void)session; }
};

}  // namespace zid
