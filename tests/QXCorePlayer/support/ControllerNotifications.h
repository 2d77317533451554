#pragma once
// Records the notifications a movie player controller posts, by name, a change of the
// playback state as "state:<the new state>".

#include <functional>
#include <optional>
#include <string>

#include <QXCorePlayer/Core/MediaPlayer/MoviePlayerController/QXMoviePlayerController.h>
#include <fnd/NotificationCenter.h>

namespace zidtest {

/// Observes every notification the controller posts and hands its name to `record`;
/// the caller removes the token. The controller must outlive the observation.
inline rt::Ref<fnd::NotificationObserver> recordNotifications(const rt::Ref<zid::QXMoviePlayerController>& controller,
                                                              std::function<void(std::string name)> record) {
    auto* c = controller.get();
    return fnd::NotificationCenter::defaultCenter()->addObserver(
        std::nullopt, controller, nullptr, [c, record = std::move(record)](const rt::Ref<fnd::Notification>& n) {
            std::string name = n->name();
            if (name == zid::QXMoviePlayerPlaybackStateDidChangeNotification)
                name = "state:" + std::to_string(static_cast<long>(c->playbackState()));
            record(std::move(name));
        });
}

}  // namespace zidtest
