// What pictures cost a host whatever it does with them, through the engine process: a
// host whose main thread is busy for seconds gets no pile of pictures made for it (the
// engine process's shared memory stays within a few pictures) and plays on with the
// newest; a host that keeps thousands of pictures holds no descriptor for them.

#include "EngineProcesses.h"
#include "Sanitized.h"

#include <sys/resource.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include <media/ProcessEngine.h>

#include "process/Wire.h"

namespace {

using namespace media;
using zidtest::engineProcesses;
using Clock = std::chrono::steady_clock;

/// A video-only HLS stream made by ffmpeg for one test (in a folder of its own, gone
/// with the test) and served by the test origin under /made/<name>/.
class MadeStream {
public:
    /// `source`: an ffmpeg lavfi video source ("testsrc2=size=...:rate=...:duration=...").
    MadeStream(peers::HlsOrigin& origin, const std::string& name, const std::string& source, int segmentSeconds) {
        std::string pattern = testing::TempDir() + "/zid-made-XXXXXX";
        if (!::mkdtemp(pattern.data())) return;
        dir_ = pattern;
        std::string command = "ffmpeg -hide_banner -loglevel error -nostdin -y -f lavfi -i '" + source +
                              "' -c:v libx264 -preset ultrafast -profile:v baseline -pix_fmt yuv420p -g 30"
                              " -f hls -hls_playlist_type vod -hls_time " + std::to_string(segmentSeconds) +
                              " -hls_segment_filename '" + dir_ + "/seg%d.ts' '" + dir_ + "/index.m3u8' 2>'" + dir_ +
                              "/ffmpeg.log'";
        if (std::system(command.c_str()) != 0) return;
        for (const auto& entry : std::filesystem::directory_iterator(dir_)) {
            std::string file = entry.path().filename();
            bool playlist = file == "index.m3u8";
            if (!playlist && entry.path().extension() != ".ts") continue;
            std::ifstream in(entry.path(), std::ios::binary);
            std::string body((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            origin.script("/made/" + name + "/" + file,
                          {{200, body, playlist ? "application/vnd.apple.mpegurl" : "video/mp2t"}});
        }
        url_ = origin.url("/made/" + name + "/index.m3u8");
    }
    ~MadeStream() {
        std::error_code ignored;
        if (!dir_.empty()) std::filesystem::remove_all(dir_, ignored);
    }
    /// Empty when ffmpeg could not make it.
    const std::string& url() const { return url_; }

private:
    std::string dir_, url_;
};

/// A field of /proc/meminfo in KiB: "Shmem" is every memory file's pages, those on their
/// way in a socket included (the processes that made them have closed them).
long meminfo(const std::string& field) {
    std::string text = zidtest::readProcFile("/proc/meminfo");
    std::size_t at = text.find("\n" + field + ":");
    return at == std::string::npos ? -1 : std::atol(text.c_str() + at + field.size() + 2);
}

/// Bytes of the picture memory files a process has open.
long long pictureMemoryOf(pid_t pid) {
    long long bytes = 0;
    std::error_code error;
    std::string fds = "/proc/" + std::to_string(pid) + "/fd";
    for (auto it = std::filesystem::directory_iterator(fds, error); !error && it != std::filesystem::directory_iterator();
         it.increment(error)) {
        std::error_code e;
        if (std::filesystem::read_symlink(it->path(), e).string().find("memfd:zid-frame") == std::string::npos) continue;
        struct stat st {};
        if (::stat(it->path().c_str(), &st) == 0) bytes += st.st_size;
    }
    return bytes;
}

int openDescriptors() {
    std::error_code error;
    int n = 0;
    for (auto it = std::filesystem::directory_iterator("/proc/self/fd", error);
         !error && it != std::filesystem::directory_iterator(); it.increment(error))
        ++n;
    return n;
}

/// An item that notes when each picture came and its time; with `keepAll`, it keeps
/// every picture it is given, as a host recording them would.
class NotingItem : public PlayerItem {
    RT_CLASS(NotingItem, PlayerItem)
public:
    NotingItem(rt::Ref<Asset> asset, bool keepAll) : PlayerItem(std::move(asset)), keepAll_(keepAll) {}
    void engineVideoFrame(rt::Ref<VideoFrame> frame) override {
        came.push_back({Clock::now(), frame->presentationTime().toSeconds()});
        if (keepAll_) kept.push_back(frame);
        PlayerItem::engineVideoFrame(std::move(frame));
    }
    struct Came {
        Clock::time_point at;
        double pts;
    };
    std::vector<Came> came;
    std::vector<rt::Ref<VideoFrame>> kept;

private:
    bool keepAll_;
};

class HostPictureCostTest : public zidtest::GstMediaTest {
protected:
    rt::Ref<NotingItem> notingItem(const std::string& url, bool keepAll) {
        ProcessEngine::Options options;
        options.engine.nullOutput = true;
        options.keepSpare = false;
        return rt::make<NotingItem>(rt::make<Asset>(url, rt::make<ProcessEngine>(options)), keepAll);
    }

    static std::string failure(const rt::Ref<PlayerItem>& item) {
        return item->error() ? item->error()->localizedDescription() + " / " +
                                   (item->error()->underlyingError() ? item->error()->underlyingError()->localizedDescription() : "")
                             : std::string();
    }
};

TEST_F(HostPictureCostTest, AHostBusyForSecondsGetsNoPileOfPicturesAndPlaysOnWithTheNewest) {
    // What is counted is which pictures come after the spell, so the engine must decode
    // 1080p at the clock's pace: a sanitized engine beside other tests fell behind it and
    // sent the spell's pictures late, not queued (each passed alone).
    if (zidtest::kSanitized) GTEST_SKIP() << "a sanitized engine does not decode 1080p at the clock's pace under load";
    MadeStream stream(origin(), "busy1080", "testsrc2=size=1920x1080:rate=30:duration=12", 3);
    ASSERT_FALSE(stream.url().empty()) << "ffmpeg could not make the 1080p stream";
    auto item = notingItem(stream.url(), false);
    auto player = Player::playerWithPlayerItem(item);
    ASSERT_TRUE(waitUntil([&] { return item->status() != PlayerItemStatus::Unknown; }));
    ASSERT_EQ(item->status(), PlayerItemStatus::ReadyToPlay) << failure(item);
    player->play();
    ASSERT_TRUE(waitUntil([&] { return item->came.size() > 10 && item->came.back().pts > 1.0; }, 20)) << failure(item);
    auto engines = engineProcesses();
    ASSERT_EQ(engines.size(), 1u);
    pid_t engine = *engines.begin();
    const long long picture = 1920LL * 1080 * 4;

    // The main thread busy for 3 s: the host reads nothing while the pipeline plays on.
    double shownBefore = item->came.back().pts;
    long shmemBefore = meminfo("Shmem");
    std::this_thread::sleep_for(std::chrono::seconds(3));
    long long shmemGrowth = (meminfo("Shmem") - shmemBefore) * 1024LL;
    long long engineMemory = pictureMemoryOf(engine);
    auto busyEnd = Clock::now();
    std::printf("[ figures  ] busy 3 s: Shmem %+.0f MiB, the engine's picture memory %.0f MiB (a picture %.1f MiB)\n",
                shmemGrowth / 1048576.0, engineMemory / 1048576.0, picture / 1048576.0);
    EXPECT_LE(engineMemory, (process::kSlotCount + 2) * picture) << "the engine process's picture memory";
    // The machine's other processes move the figure a little; 3 s of pictures piled up
    // in the socket would be 90 pictures.
    EXPECT_LT(shmemGrowth, 24 * picture) << "memory made for pictures the host did not read";

    // The host reads again: the pictures sent before it stopped, then the newest.
    ASSERT_TRUE(waitUntil([&] { return item->came.back().pts > shownBefore + 3.5; }, 15))
        << "pictures flow again after the busy spell: " << failure(item);
    int fromTheSpell = 0;
    for (const auto& c : item->came)
        if (c.at >= busyEnd && c.pts > shownBefore + 0.5 && c.pts < shownBefore + 2.5) ++fromTheSpell;
    EXPECT_LE(fromTheSpell, 1) << "pictures of the busy spell queued for the host instead of the newest";
    EXPECT_EQ(item->status(), PlayerItemStatus::ReadyToPlay) << failure(item);
    EXPECT_GT(player->currentTime().toSeconds(), shownBefore + 3.5);
    // The pictures that never went are counted as dropped, as the host reads the log.
    long long dropped = 0;
    EXPECT_TRUE(waitUntil(
        [&] {
            auto log = item->accessLog();
            auto event = log ? log->lastEvent() : nullptr;
            dropped = event ? event->numberOfDroppedVideoFrames : 0;
            return dropped >= 20;
        },
        5))
        << "dropped video frames in the access log: " << dropped;
    std::printf("[ figures  ] after it: %d pictures of the spell, %lld dropped\n", fromTheSpell, dropped);
}

TEST_F(HostPictureCostTest, AHostKeepingTwoThousandPicturesUnderAThousandDescriptorsPlaysOn) {
    // Small pictures at 200 a second: 2,000 kept within seconds and 80 MB.
    MadeStream stream(origin(), "keep2000", "testsrc2=size=128x72:rate=200:duration=60", 4);
    ASSERT_FALSE(stream.url().empty()) << "ffmpeg could not make the stream";
    struct rlimit saved {};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
    struct rlimit limit = saved;
    limit.rlim_cur = std::min<rlim_t>(saved.rlim_cur, 1024);
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &limit), 0);
    struct Restore {
        rlimit saved;
        ~Restore() { ::setrlimit(RLIMIT_NOFILE, &saved); }
    } restore{saved};

    auto item = notingItem(stream.url(), true);
    auto player = Player::playerWithPlayerItem(item);
    ASSERT_TRUE(waitUntil([&] { return item->status() != PlayerItemStatus::Unknown; }));
    ASSERT_EQ(item->status(), PlayerItemStatus::ReadyToPlay) << failure(item);
    int descriptorsBefore = openDescriptors();
    player->play();
    ASSERT_TRUE(waitUntil([&] { return item->kept.size() >= 2000 || item->status() == PlayerItemStatus::Failed; }, 75))
        << item->kept.size() << " pictures kept";
    ASSERT_EQ(item->status(), PlayerItemStatus::ReadyToPlay) << "with " << item->kept.size() << " pictures kept: " << failure(item);
    int descriptors = openDescriptors() - descriptorsBefore;
    std::printf("[ figures  ] %zu pictures kept: %+d descriptors\n", item->kept.size(), descriptors);
    EXPECT_LT(descriptors, 16) << "descriptors held for " << item->kept.size() << " pictures";

    // It plays on, pictures still coming.
    std::size_t kept = item->kept.size();
    double at = player->currentTime().toSeconds();
    ASSERT_TRUE(waitUntil([&] { return item->kept.size() >= kept + 50 && player->currentTime().toSeconds() > at + 0.5; }, 20))
        << failure(item);
    EXPECT_EQ(item->status(), PlayerItemStatus::ReadyToPlay) << failure(item);
}

}  // namespace
