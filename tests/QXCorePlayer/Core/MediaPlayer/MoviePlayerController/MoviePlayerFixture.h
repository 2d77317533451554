#pragma once
// A movie player controller over the scripted engine on virtual time, with every
// notification it posts recorded in order (state changes as "state:<n>") and resume
// positions kept in a scratch defaults file.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <QXCorePlayer/Core/MediaPlayer/MoviePlayerController/QXMoviePlayerController.h>
#include <QXCorePlayer/Core/ResumePositions/QXPlayerResumePositions.h>
#include <fnd/NotificationCenter.h>
#include <media/ScriptedEngine.h>

#include "support/ControllerNotifications.h"
#include "ScratchDirectory.h"
#include "VirtualTime.h"

namespace zidtest {

inline constexpr const char* kVodURL = "https://origin.test/vod/index.m3u8";
inline constexpr const char* kLiveURL = "https://origin.test/live/index.m3u8";

class MoviePlayerTest : public VirtualTimeTest {
protected:
    void SetUp() override {
        VirtualTimeTest::SetUp();
        engine = rt::make<media::ScriptedEngine>();
        media::Engine::setShared(engine);
        defaults = rt::make<fnd::UserDefaults>(scratch / "defaults.json");
        positions = rt::make<zid::QXPlayerResumePositions>(defaults);
        zid::QXPlayerResumePositions::setDefaultPositions(positions);
        engine->setScript(kVodURL, {});
        media::ScriptedMedia live;
        live.duration = INFINITY;
        engine->setScript(kLiveURL, live);
    }
    void TearDown() override {
        if (token) fnd::NotificationCenter::defaultCenter()->removeObserver(token);
        controller = nullptr;
        zid::QXPlayerResumePositions::setDefaultPositions(nullptr);
        media::Engine::setShared(nullptr);
        VirtualTimeTest::TearDown();
    }

    /// Makes the controller and starts recording its notifications.
    rt::Ref<zid::QXMoviePlayerController> make(const std::string& url = kVodURL) {
        controller = rt::make<zid::QXMoviePlayerController>(url);
        token = recordNotifications(controller, [this](std::string name) {
            if (name.rfind("QXMoviePlayer", 0) == 0)
                name = name.substr(13, name.size() - 13 - 12);  // "QXMoviePlayer...Notification"
            else if (name.rfind("QXMovie", 0) == 0 || name.rfind("QXMedia", 0) == 0)
                name = name.substr(2, name.size() - 2 - 12);
            posted.push_back(name);
            times.push_back(clock->now());
        });
        return controller;
    }
    /// Notifications from index `from` on.
    std::vector<std::string> since(std::size_t from) const {
        return {posted.begin() + static_cast<long>(std::min(from, posted.size())), posted.end()};
    }
    std::vector<std::string> states() const {
        std::vector<std::string> out;
        for (auto& p : posted)
            if (p.rfind("state:", 0) == 0) out.push_back(p);
        return out;
    }
    zid::QXMoviePlaybackState state() const { return controller->playbackState(); }
    rt::Ref<media::ScriptedPlayback> playback() const { return engine->lastPlayback(); }

    ScratchDirectory scratch{"zid-movieplayer"};
    rt::Ref<media::ScriptedEngine> engine;
    rt::Ref<fnd::UserDefaults> defaults;
    rt::Ref<zid::QXPlayerResumePositions> positions;
    rt::Ref<zid::QXMoviePlayerController> controller;
    rt::Ref<fnd::NotificationObserver> token;
    std::vector<std::string> posted;
    std::vector<double> times;
};

}  // namespace zidtest
