#pragma once
// Shared set-up of the tests that run the GStreamer engine against the loopback origin of
// GstOriginTest. With ZID_TEST_MEDIA_ENGINE=process in the environment, the items of
// itemFor() play through the engine in a child process instead, so the same tests hold
// for both.

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>

#include <media/Asset.h>
#include <media/Player.h>
#include <media/ProcessEngine.h>

#include "GstOriginTest.h"

namespace zidtest {

inline bool startsWith(const std::string& s, const std::string& prefix) { return s.rfind(prefix, 0) == 0; }

inline double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

inline constexpr const char* kPlaylistType = "application/vnd.apple.mpegurl";

/// A master playlist naming one variant, `uri`.
inline std::string masterNaming(const std::string& uri) {
    return "#EXTM3U\n#EXT-X-STREAM-INF:BANDWIDTH=800000,RESOLUTION=320x240\n" + uri + "\n";
}

/// A file of /proc, read whole with system calls ("" when it cannot be): a process that
/// ends during the read makes it fail with ESRCH, which a stream reports by throwing.
inline std::string readProcFile(const std::string& path) {
    std::string text;
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return text;
    char buffer[4096];
    for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;) text.append(buffer, static_cast<std::size_t>(n));
    ::close(fd);
    return text;
}

class GstMediaTest : public GstOriginTest {
protected:
    void SetUp() override {
        media::GstEngine::Options options = nullOutputOptions();
        engine = rt::make<media::GstEngine>(options);
        itemEngine = engine;
        if (const char* which = std::getenv("ZID_TEST_MEDIA_ENGINE"); which && std::string(which) == "process") {
            media::ProcessEngine::Options process;
            process.engine = options;
            itemEngine = rt::make<media::ProcessEngine>(process);
        }
    }

    void TearDown() override {
        // Pipelines stop on threads of their own; their last posted messages are dropped.
        fnd::RunLoop::main()->drain();
        media::GstEngine::finishTeardowns(5);
    }

    rt::Ref<media::PlayerItem> itemFor(const std::string& path) {
        return media::PlayerItem::playerItemWithAsset(rt::make<media::Asset>(origin().url(path), itemEngine));
    }

    /// The master playlist's item under `tag`, its player, and its audio and subtitle
    /// groups, once the item is ready (a fatal failure otherwise).
    struct MasterPlaylist {
        rt::Ref<media::PlayerItem> item;
        rt::Ref<media::Player> player;
        rt::Ref<media::MediaSelectionGroup> audible, legible;
    };
    void loadMasterPlaylist(const std::string& tag, MasterPlaylist& out) {
        out.item = itemFor(tag + "master.m3u8");
        out.player = media::Player::playerWithPlayerItem(out.item);
        auto& item = out.item;
        ASSERT_TRUE(waitUntil([&] { return item->status() != media::PlayerItemStatus::Unknown; }))
            << "the origin was asked for:" << requestsUnder(tag);
        ASSERT_EQ(item->status(), media::PlayerItemStatus::ReadyToPlay)
            << item->error()->localizedDescription() << "; the origin was asked for:" << requestsUnder(tag);
        out.audible = item->asset()->mediaSelectionGroupForMediaCharacteristic(media::MediaCharacteristicAudible);
        out.legible = item->asset()->mediaSelectionGroupForMediaCharacteristic(media::MediaCharacteristicLegible);
        ASSERT_TRUE(out.audible);
        ASSERT_TRUE(out.legible);
    }

    /// The paths under `tag` the origin was asked for, in order, each with the times it
    /// was asked in a row: what a load that never finished had got.
    static std::string requestsUnder(const std::string& tag) {
        std::string said, last;
        int times = 0;
        auto flush = [&] {
            if (times) said += " " + last.substr(tag.size()) + (times > 1 ? " x" + std::to_string(times) : "");
        };
        for (const auto& path : origin().requestedPaths()) {
            if (path.compare(0, tag.size(), tag) != 0) continue;
            if (path == last) {
                ++times;
                continue;
            }
            flush();
            last = path;
            times = 1;
        }
        flush();
        return said.empty() ? std::string(" nothing") : said;
    }

    rt::Ref<media::GstEngine> engine;
    /// The engine of itemFor()'s items: `engine`, or the same in a child process.
    rt::Ref<media::Engine> itemEngine;
};

}  // namespace zidtest
