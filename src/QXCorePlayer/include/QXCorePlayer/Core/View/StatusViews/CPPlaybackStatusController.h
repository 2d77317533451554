#pragma once
// Decides what the player shows between the video and the controls while there is
// nothing to watch (a spinner, a message, a lock screen, the external-display screen,
// the audio-only notice) and publishes it as a fresh view after every change of the
// session's source or player. The player view installs whatever statusIndicator
// holds; a new object on every update is what tells it to. Main thread only.

#include <QXCorePlayer/Core/Core/CPPlaybackSession.h>
#include <rt/KVC.h>
#include <rt/Property.h>
#include <ui/View.h>

#include <string>

namespace zid {

class OnSignalHelper;

class CPPlaybackStatusController : public rt::Object {
    RT_CLASS(CPPlaybackStatusController, rt::Object)
private:
    rt::Ref<ui::View> statusIndicator_;
    rt::Weak<CPPlaybackSession> session_;
    rt::Ref<OnSignalHelper> sessionGone_;

public:
    static constexpr rt::Stored<&CPPlaybackStatusController::statusIndicator_, "statusIndicator"> statusIndicatorKey{};

    CPPlaybackStatusController() = default;
    static void describe(rt::ClassBuilder<CPPlaybackStatusController>& c);

    /// The view to show; nil when nothing is to be shown.
    const rt::Ref<ui::View>& statusIndicator() const { return statusIndicator_; }
    /// The session observed, held weakly: a session that goes reads as none, which
    /// shows the loading view.
    rt::Ref<CPPlaybackSession> session() const { return session_.lock(); }
    void setSession(const rt::Ref<CPPlaybackSession>& session);

    /// Recomputes statusIndicator from the session's player, or its source while it
    /// has no player.
    void updateStatusIndicator();

    // The building blocks; each answers a new view or nil.
    rt::Ref<ui::View> sourceStatusIndicator();
    rt::Ref<ui::View> playerStatusIndicator();
    rt::Ref<ui::View> waitingStatusIndicator();
    rt::Ref<ui::View> statusIndicatorWithLock(const rt::Ref<CPMediaSourceLock>& lock);
    rt::Ref<ui::View> statusIndicatorWithError(const rt::Ref<rt::Error>& error);
    rt::Ref<ui::View> loadingStatusIndicatorWithMessage(const std::string& message);
    rt::Ref<ui::View> messageStatusIndicatorWithMessage(const std::string& message);
    rt::Ref<ui::View> unknownErrorStatusIndicator();
    rt::Ref<ui::View> audioOnlyStatusIndicator();
    rt::Ref<ui::View> airPlayActivatedStatusIndicator();

    /// The text key a lock type shows, and the key an error shows.
    static std::string textKeyForLockType(long lockType);
    static std::string textKeyForError(const rt::Error* error);

protected:
    void didInitialize() override;
};

}  // namespace zid
