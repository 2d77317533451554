#pragma once
// Shows the owner's player in its player view: the view follows the owner's "player".
// While the application is in the background and playback goes on there, the picture
// detaches (the sound goes on); back in the foreground it attaches again.
#include <QXCorePlayer/Core/View/QXPlayerView.h>
#include <fnd/NotificationCenter.h>
#include <rt/KVO.h>

#include <functional>
#include <vector>

namespace zid {

class QXPlayerViewAttachment {
public:
    /// `player` reads the owner's player; `playsInBackground` whether playback goes on in
    /// the background. Both are asked only while the owner lives.
    QXPlayerViewAttachment(const rt::Ref<rt::Object>& owner, rt::Ref<QXPlayerView> view,
                           std::function<rt::Ref<media::Player>()> player, std::function<bool()> playsInBackground);
    ~QXPlayerViewAttachment() { stop(); }
    QXPlayerViewAttachment(const QXPlayerViewAttachment&) = delete;
    QXPlayerViewAttachment& operator=(const QXPlayerViewAttachment&) = delete;

    /// Ends following the owner and the application.
    void stop();

private:
    void attach();
    void detach();

    rt::Weak<rt::Object> owner_;
    rt::Ref<QXPlayerView> view_;
    std::function<rt::Ref<media::Player>()> player_;
    std::function<bool()> playsInBackground_;
    rt::Ref<rt::Observation> binding_;
    std::vector<rt::Ref<fnd::NotificationObserver>> appTokens_;
};

}  // namespace zid
