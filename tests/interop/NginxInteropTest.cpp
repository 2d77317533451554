// The default engine against a real web server: nginx on loopback ports serves small
// streams made by ffmpeg in the forms and spellings real origins use (redirects of
// masters and of media playlists, tokens on every request, gzip, byte ranges, fMP4,
// AES-128 with a relative key, discontinuities, a live window, a slow origin, odd
// spellings of URIs). Every case is played twice: by a bare playbin3 pipeline and by the
// engine. Where bare GStreamer plays a case the engine must play it too; where bare
// GStreamer fails it as well, the case says so and the engine must fail it cleanly: in
// time, naming a URL of the origin.

#include <fnd/RunLoop.h>
#include <gst/gst.h>
#include <gtest/gtest.h>
#include <media/Asset.h>
#include <media/Engine.h>
#include <media/GstEngine.h>
#include <media/Player.h>
#include <media/PlayerItem.h>
#include <media/PlayerLayer.h>
#include <peers/InteropStreams.h>
#include <peers/NginxOrigin.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <thread>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void writeFile(const fs::path& path, const std::string& text) {
    // Written aside and renamed: the server never serves half a playlist.
    fs::path aside = path.string() + ".new";
    {
        std::ofstream out(aside, std::ios::binary);
        out << text;
    }
    fs::rename(aside, path);
}

/// Seconds either side gets to show a first picture or fail.
constexpr double kPlayLimit = 20;

/// What a side did with a URL.
struct Outcome {
    bool played = false;
    bool failed = false;  // an error, as opposed to nothing within the limit
    double seconds = 0;   // to the first picture, or to the error
    std::string error;
};

/// A bare playbin3 with fake sinks: played once it prerolls (its video sink holds the
/// first picture: ASYNC_DONE), failed on an error message.
Outcome playBare(const std::string& url) {
    media::GstEngine::ensureInitialized();
    Outcome outcome;
    auto started = Clock::now();
    GstElement* pipeline = gst_element_factory_make("playbin3", nullptr);
    g_object_set(pipeline, "uri", url.c_str(), "video-sink", gst_element_factory_make("fakesink", nullptr),
                 "audio-sink", gst_element_factory_make("fakesink", nullptr), nullptr);
    gst_element_set_state(pipeline, GST_STATE_PAUSED);
    GstBus* bus = gst_element_get_bus(pipeline);
    GstMessage* m = gst_bus_timed_pop_filtered(bus, static_cast<GstClockTime>(kPlayLimit * GST_SECOND),
                                               GstMessageType(GST_MESSAGE_ASYNC_DONE | GST_MESSAGE_ERROR));
    outcome.seconds = secondsSince(started);
    if (m && GST_MESSAGE_TYPE(m) == GST_MESSAGE_ASYNC_DONE) {
        outcome.played = true;
    } else if (m) {
        outcome.failed = true;
        GError* error = nullptr;
        gchar* debug = nullptr;
        gst_message_parse_error(m, &error, &debug);
        outcome.error = std::string(error ? error->message : "") + " (" + (debug ? debug : "") + ")";
        g_clear_error(&error);
        g_free(debug);
    } else {
        outcome.error = "neither a picture nor an error within " + std::to_string(static_cast<int>(kPlayLimit)) + " s";
    }
    if (m) gst_message_unref(m);
    gst_object_unref(bus);
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(pipeline);
    return outcome;
}

/// The item of the URL through the default engine: played once its layer has a first
/// picture, failed when the item fails; with playOn, the picture must then move on that
/// many seconds of the item's time within playOn + 5 s.
Outcome playWithEngine(const std::string& url, double playOn = 0) {
    Outcome outcome;
    auto loop = fnd::RunLoop::main();
    auto started = Clock::now();
    auto item = media::PlayerItem::playerItemWithAsset(rt::make<media::Asset>(url, media::Engine::shared()));
    auto player = media::Player::playerWithPlayerItem(item);
    auto layer = media::PlayerLayer::playerLayerWithPlayer(player);
    player->play();
    loop->runUntil([&] { return layer->isReadyForDisplay() || item->status() == media::PlayerItemStatus::Failed; },
                   kPlayLimit);
    outcome.seconds = secondsSince(started);
    outcome.played = layer->isReadyForDisplay() && item->status() != media::PlayerItemStatus::Failed;
    if (outcome.played && playOn > 0) {
        double from = player->currentTime().toSeconds();
        bool moved = loop->runUntil(
            [&] {
                return item->status() == media::PlayerItemStatus::Failed ||
                       player->currentTime().toSeconds() >= from + playOn;
            },
            playOn + 5);
        if (!moved || item->status() == media::PlayerItemStatus::Failed) {
            outcome.played = false;
            outcome.error = "the picture stopped at " + std::to_string(player->currentTime().toSeconds()) + " s";
        }
    }
    if (item->status() == media::PlayerItemStatus::Failed) {
        outcome.failed = true;
        outcome.error = item->error() ? item->error()->localizedDescription() : "failed without an error";
    } else if (!outcome.played && outcome.error.empty()) {
        outcome.error = "neither a picture nor an error within " + std::to_string(static_cast<int>(kPlayLimit)) + " s";
    }
    player->removeAllItems();
    loop->runFor(0.05);
    return outcome;
}

/// A live window over the streams' 1-s segments, rewritten every second: four segments,
/// the media sequence advancing, no end.
class LiveWindow {
public:
    LiveWindow(fs::path playlist, std::string segmentPrefix)
        : playlist_(std::move(playlist)), prefix_(std::move(segmentPrefix)) {
        write(0);
        thread_ = std::thread([this] {
            std::unique_lock lock(mutex_);
            for (int sequence = 1; sequence + 4 <= peers::InteropStreams::seconds; ++sequence) {
                if (cv_.wait_for(lock, std::chrono::seconds(1), [&] { return stop_; })) return;
                write(sequence);
            }
        });
    }
    ~LiveWindow() {
        {
            std::lock_guard lock(mutex_);
            stop_ = true;
        }
        cv_.notify_all();
        thread_.join();
    }

private:
    void write(int sequence) {
        std::string text =
            "#EXTM3U\n#EXT-X-VERSION:3\n#EXT-X-TARGETDURATION:1\n#EXT-X-MEDIA-SEQUENCE:" + std::to_string(sequence) +
            "\n";
        for (int i = sequence; i < sequence + 4; ++i)
            text += "#EXTINF:1.000000,\n" + prefix_ + std::to_string(i) + ".ts\n";
        writeFile(playlist_, text);
    }

    fs::path playlist_;
    std::string prefix_;
    std::mutex mutex_;
    std::condition_variable cv_;
    bool stop_ = false;
    std::thread thread_;
};

/// Bytes a second the slow origin sends its playlists at (nginx's limit_rate): about 3 s
/// for the master and 4 s for the media playlist of 10-s segments.
constexpr int kSlowPlaylistRate = 100;

/// The redirects, tokens, compression and slow paths, in each server block.
const char* const kLocations = R"(
    location = /r/301/master.m3u8 { return 301 /s/ts/master.m3u8; }
    location = /r/302/master.m3u8 { return 302 http://127.0.0.1:{OTHER_PORT}/s/ts/master.m3u8; }
    location = /r/307/master.m3u8 { return 307 /s/fmp4/master.m3u8; }
    location = /r/308/master.m3u8 { return 308 /s/ts/master.m3u8; }
    location ~ ^/mr/[^/]+/master\.m3u8$ { rewrite ^ /s/mr/master.m3u8 break; }
    location = /mr/301/v/index.m3u8 { return 301 /s/ts/index.m3u8; }
    location = /mr/302/v/index.m3u8 { return 302 /s/ts/index.m3u8; }
    location = /mr/303/v/index.m3u8 { return 303 /s/ts/index.m3u8; }
    location = /mr/307/v/index.m3u8 { return 307 /s/ts/index.m3u8; }
    location = /mr/308/v/index.m3u8 { return 308 /s/ts/index.m3u8; }
    location = /mr/port/v/index.m3u8 { return 302 http://127.0.0.1:{OTHER_PORT}/s/ts/index.m3u8; }
    location = /mr/fmp4/v/index.m3u8 { return 301 /s/fmp4/index.m3u8; }
    location = /mr/aes/v/index.m3u8 { return 302 /s/aes/index.m3u8; }
    location = /mr/live/v/index.m3u8 { return 302 /live/index.m3u8; }
    location /tok/ { if ($arg_token != "{TOKEN}") { return 403; } }
    location /gz/ {
      gzip on;
      gzip_types application/vnd.apple.mpegurl;
      gzip_min_length 1;
    }
    location ~ ^/slow/.*\.m3u8$ { limit_rate {SLOW_RATE}; }
)";

/// One nginx for the test process, serving the streams under /s/ (and under /tok/, /gz/
/// and /slow/ again for those paths' rules), and the files a case writes.
class NginxInterop : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (origin_) return;
        // The default engine, with nothing shown or heard.
        ::setenv("ZID_MEDIA_NULL_OUTPUT", "1", 1);
        ASSERT_TRUE(peers::NginxOrigin::installed()) << "no nginx: scripts/install-deps.sh installs nginx-light";
        const fs::path streams = peers::InteropStreams::ensureDefault();
        origin_ = new peers::NginxOrigin;
        const fs::path root = origin_->root();
        for (const char* alias : {"s", "tok", "slow"}) fs::create_directory_symlink(streams, root / alias);
        fs::create_directories(root / "gz");
        for (const char* side : {"bare", "engine"}) fs::create_directory_symlink(streams, root / "gz" / side);
        std::string locations = kLocations;
        locations.replace(locations.find("{TOKEN}"), 7, peers::InteropStreams::kToken);
        locations.replace(locations.find("{SLOW_RATE}"), 11, std::to_string(kSlowPlaylistRate));
        origin_->start(locations);

        // What needs the ports: URIs naming the server itself.
        const std::string master = readFile(streams / "ts" / "master.m3u8");
        const std::string host = "127.0.0.1:" + std::to_string(origin_->port());
        fs::create_directories(root / "odd");
        auto variant = [&](const std::string& uri) {
            return std::regex_replace(master, std::regex("\nindex\\.m3u8\n"), "\n" + uri + "\n");
        };
        writeFile(root / "odd" / "schemerel.m3u8", variant("//" + host + "/s/ts/index.m3u8"));
        writeFile(root / "odd" / "otherport.m3u8", variant(origin_->otherURL("/s/ts/index.m3u8")));
        writeFile(root / "odd" / "schemerelseg.m3u8",
                  std::regex_replace(readFile(streams / "ts" / "index.m3u8"), std::regex("\n(seg[0-9]+\\.ts)\n"),
                                     "\n//" + host + "/s/ts/$1\n"));
        fs::create_directories(root / "live");
        writeFile(root / "live" / "master.m3u8", master);
        // The engine process is started before any case is timed.
        media::Engine::shared()->prepare();
    }

    // Stopped, and its folder removed, with the suite.
    static void TearDownTestSuite() {
        delete origin_;
        origin_ = nullptr;
    }

    void SetUp() override { ASSERT_TRUE(origin_) << "the suite's nginx did not start"; }

    void TearDown() override {
        // What the server saw, for a case that failed.
        if (HasFailure() && origin_) std::printf("the origin's log:\n%s", origin_->accessLog().c_str());
        fnd::RunLoop::main()->drain();
        media::GstEngine::finishTeardowns(5);
    }

    static peers::NginxOrigin& origin() { return *origin_; }

    /// The requests of the access log whose URI matches.
    static std::vector<std::string> requests(const std::string& pattern) {
        std::vector<std::string> found;
        std::istringstream log(origin().accessLog());
        std::regex match(pattern);
        for (std::string line; std::getline(log, line);)
            if (std::regex_search(line, match)) found.push_back(line);
        return found;
    }

    static inline peers::NginxOrigin* origin_ = nullptr;
};

/// A case: the path on the server ("{TOKEN}" stands for the streams' token), and whether
/// bare GStreamer 1.22 fails it.
struct Case {
    const char* name;
    const char* path;
    bool bareFails = false;
    /// Seconds of the item's time it must play past its first picture (past a
    /// discontinuity; more than a live window holds, so that it plays on only through
    /// refreshes).
    double playOn = 0;
    /// Whether the live window is written while the case plays.
    bool live = false;
};

std::ostream& operator<<(std::ostream& out, const Case& c) { return out << c.name; }

class InteropCase : public NginxInterop, public ::testing::WithParamInterface<Case> {
protected:
    /// Plays the case both ways and holds the engine to what bare GStreamer does.
    void playBothWays() {
        const Case& c = GetParam();
        std::unique_ptr<LiveWindow> live;
        if (c.live) live = std::make_unique<LiveWindow>(fs::path(origin().root()) / "live" / "index.m3u8", "../s/ts/seg");
        std::string path = c.path;
        if (auto at = path.find("{TOKEN}"); at != std::string::npos) path.replace(at, 7, peers::InteropStreams::kToken);
        const std::string url = origin().url(path);
        Outcome bare = playBare(url);
        Outcome engine = playWithEngine(url, c.playOn);
        std::printf("%s: bare playbin3 %s after %.2f s; the engine %s after %.2f s\n", c.name,
                    bare.played ? "played" : "failed", bare.seconds, engine.played ? "played" : "failed",
                    engine.seconds);
        if (c.bareFails) {
            EXPECT_FALSE(bare.played) << "bare playbin3 plays " << url << " now: the case is to expect it to";
            std::printf("%s: bare playbin3 fails this case too: %s\n", c.name, bare.error.c_str());
            // Failed cleanly: an error, in time, naming a URL of this origin.
            EXPECT_TRUE(engine.failed) << engine.error;
            EXPECT_FALSE(engine.played);
            EXPECT_NE(engine.error.find(origin().url("/")), std::string::npos) << engine.error;
            std::printf("%s: the engine said: %s\n", c.name, engine.error.c_str());
            return;
        }
        ASSERT_TRUE(bare.played) << "bare playbin3 on " << url << ": " << bare.error;
        EXPECT_TRUE(engine.played) << url << ": " << engine.error;
    }
};

// ---- streams as origins make them -----------------------------------------------------

class Streams : public InteropCase {};

TEST_P(Streams, PlayAsBareGStreamerPlaysThem) { playBothWays(); }

std::string caseName(const ::testing::TestParamInfo<Case>& info) { return info.param.name; }

INSTANTIATE_TEST_SUITE_P(Nginx, Streams,
                         ::testing::Values(Case{"MpegTs", "/s/ts/master.m3u8"},
                                           Case{"Fmp4WithMap", "/s/fmp4/master.m3u8"},
                                           Case{"ByteRangesOfOneFile", "/s/single/master.m3u8"},
                                           Case{"Aes128WithARelativeKey", "/s/aes/master.m3u8"},
                                           Case{"Discontinuity", "/s/disc/master.m3u8", false, 3},
                                           Case{"TokensOnEveryRequest", "/tok/tokens/master.m3u8?token={TOKEN}"},
                                           Case{"LiveWindow", "/live/master.m3u8", false, 5, true}),
                         caseName);

// ---- masters behind redirects ---------------------------------------------------------

class MasterRedirects : public InteropCase {};

TEST_P(MasterRedirects, PlayFromWhereTheOriginAnswered) { playBothWays(); }

INSTANTIATE_TEST_SUITE_P(Nginx, MasterRedirects,
                         ::testing::Values(Case{"Moved301", "/r/301/master.m3u8"},
                                           Case{"Found302ToAnotherPort", "/r/302/master.m3u8"},
                                           Case{"Temporary307Fmp4", "/r/307/master.m3u8"},
                                           Case{"Permanent308", "/r/308/master.m3u8"}),
                         caseName);

// ---- media playlists behind redirects -------------------------------------------------

/// The master names "v/index.m3u8", which the server redirects elsewhere; the media
/// playlist names its segments (and key, and initialisation segment) relatively, so they
/// resolve only against where the playlist was answered from.
class MediaPlaylistRedirects : public InteropCase {};

TEST_P(MediaPlaylistRedirects, ResolveTheirURIsWhereThePlaylistWasAnswered) {
    playBothWays();
    // Nothing was asked at the path before the redirect but the playlist itself.
    std::string code = std::string(GetParam().path).substr(4);
    code = code.substr(0, code.find('/'));
    auto before = requests(" /mr/" + code + "/v/");
    std::vector<std::string> wrong;
    for (const auto& line : before)
        if (line.find("/v/index.m3u8") == std::string::npos) wrong.push_back(line);
    EXPECT_TRUE(wrong.empty()) << wrong.size()
                               << " requests resolved against the redirected URL, the first: " << wrong.front();
}

INSTANTIATE_TEST_SUITE_P(Nginx, MediaPlaylistRedirects,
                         ::testing::Values(Case{"Moved301", "/mr/301/master.m3u8"},
                                           Case{"Found302", "/mr/302/master.m3u8"},
                                           Case{"SeeOther303", "/mr/303/master.m3u8"},
                                           Case{"Temporary307", "/mr/307/master.m3u8"},
                                           Case{"Permanent308", "/mr/308/master.m3u8"},
                                           Case{"Found302ToAnotherPort", "/mr/port/master.m3u8"},
                                           Case{"Moved301Fmp4WithMap", "/mr/fmp4/master.m3u8"},
                                           Case{"Found302Aes128RelativeKey", "/mr/aes/master.m3u8"},
                                           Case{"Found302LiveWindow", "/mr/live/master.m3u8", false, 5, true}),
                         caseName);

// ---- odd spellings --------------------------------------------------------------------

class OddSpellings : public InteropCase {};

TEST_P(OddSpellings, ResolveAsBareGStreamerResolvesThem) { playBothWays(); }

INSTANTIATE_TEST_SUITE_P(Nginx, OddSpellings,
                         ::testing::Values(Case{"DotDot", "/s/odd/dotdot.m3u8"},
                                           Case{"AbsolutePath", "/s/odd/abspath.m3u8"},
                                           Case{"DotSegments", "/s/odd/dots.m3u8"},
                                           Case{"PercentEncoded", "/s/odd/percent.m3u8"},
                                           Case{"SegmentsEachSpelledAnotherWay", "/s/odd/segments.m3u8"},
                                           Case{"AbsoluteURLOnAnotherPort", "/odd/otherport.m3u8"},
                                           Case{"SchemeRelativeVariant", "/odd/schemerel.m3u8", true},
                                           Case{"SchemeRelativeSegments", "/odd/schemerelseg.m3u8", true}),
                         caseName);

// ---- compression and a slow origin ----------------------------------------------------

TEST_F(NginxInterop, GzippedPlaylistsPlayAndAreAskedForCompressedAsBareGStreamerAsks) {
    Outcome bare = playBare(origin().url("/gz/bare/ts/master.m3u8"));
    Outcome engine = playWithEngine(origin().url("/gz/engine/ts/master.m3u8"));
    ASSERT_TRUE(bare.played) << bare.error;
    EXPECT_TRUE(engine.played) << engine.error;
    // The log's gzip ratio is "-" for an answer sent as it is.
    auto compressed = [](const std::string& side) {
        int count = 0;
        for (const auto& line : requests(" /gz/" + side + "/.*\\.m3u8 "))
            if (line.find("gzip=-") == std::string::npos) ++count;
        return count;
    };
    std::printf("gzip: playlists sent compressed: %d to bare playbin3, %d to the engine\n", compressed("bare"),
                compressed("engine"));
    auto connections = [](const std::string& side) {
        std::set<std::string> serials;
        for (const auto& line : requests(" /gz/" + side + "/")) serials.insert(line.substr(line.find("connection=")));
        return serials.size();
    };
    std::printf("connections: %zu of bare playbin3, %zu of the engine\n", connections("bare"), connections("engine"));
    if (compressed("bare") > 0) {
        EXPECT_GT(compressed("engine"), 0) << origin().accessLog();
    }
}

TEST_F(NginxInterop, ASlowOriginIsReadyAboutWhenBareGStreamerIs) {
    // Each playlist takes seconds to arrive; the segments come at once.
    // How often each playlist was asked for so far.
    auto reads = [] {
        std::map<std::string, int> count;
        for (const auto& line : requests(" /slow/long/[^ ]*\\.m3u8 ")) {
            std::istringstream fields(line);
            std::string port, status, uri;
            fields >> port >> status >> uri;
            ++count[uri];
        }
        return count;
    };
    Outcome bare = playBare(origin().url("/slow/long/master.m3u8"));
    auto byBare = reads();
    Outcome engine = playWithEngine(origin().url("/slow/long/master.m3u8"));
    auto byBoth = reads();
    std::printf("slow origin: bare playbin3 ready after %.2f s, the engine after %.2f s (%.2f of bare)\n", bare.seconds,
                engine.seconds, engine.seconds / bare.seconds);
    ASSERT_TRUE(bare.played) << bare.error;
    ASSERT_TRUE(engine.played) << engine.error;
    // A playlist read twice costs one more slow answer (3 s for the master, 4 s for the
    // media playlist), about what the bound below leaves the engine's own start and a
    // loaded machine (the two runs come one after the other): the reads are counted.
    ASSERT_FALSE(byBare.empty()) << origin().accessLog();
    for (const auto& [uri, total] : byBoth)
        EXPECT_LE(total - byBare[uri], std::max(byBare[uri], 1)) << uri << " read more often by the engine than by bare playbin3";
    EXPECT_LT(engine.seconds, bare.seconds * 1.1 + 2.5);
}

}  // namespace
