#pragma once
// The GStreamer engine run in child processes of the host, each playing up to four items
// (their assets, prepared and playing ones alike): whatever the media framework does
// wrong (an abort inside a demuxer on a seek, a crash in a decoder) ends that process
// only. Each of its items then fails with a MediaErrorDomain EngineFailed error whose
// underlying error (MediaEngineProcessErrorDomain; code: the signal or the exit status)
// says how the process ended and what it last printed, and the host plays on: a new item
// of the same URL plays in another process.
//
// Starting a process and loading GStreamer's plugins takes about 0.1 s: an item goes to a
// process that plays others and has room; a process left without items is kept for the
// next asset; and when every process is full, a light spare (GStreamer set up only when
// its item comes) is started ahead (Options::keepSpare), two seconds after the last was handed
// out, not while its first pipeline prerolls on the same cores. prepare() starts one with
// the common plugins loaded before any asset is known.
// The processes kept for later end with the last ProcessEngine; the others with their
// items. A process is asked whether it still answers before each item it is given and
// every few seconds while it has items; one that has served its number of items or
// passed its memory mark takes no more and ends with its last.
//
// Pictures reach the host through shared memory, commands and reports through a local
// socket; everything the process sends is bounded and checked, and a process that sends
// anything else is stopped and its item failed.
//
// The process is the program zid_media_engine, found in this order: Options::enginePath;
// the ZID_MEDIA_ENGINE environment variable; in the build tree's own programs, the one
// this build made; else <prefix>/libexec/zidoredider/ under the prefix the code is
// installed under (fnd::installationPrefix) or Options::installationPrefix, then beside
// the executable. When it is found nowhere, the error names every path tried.

#include <media/Engine.h>
#include <media/GstEngine.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace media {

inline constexpr const char* MediaEngineProcessErrorDomain = "MediaEngineProcessErrorDomain";

class ProcessEngine : public Engine {
    RT_CLASS(ProcessEngine, Engine)
public:
    struct Options {
        /// What the engine in the child process is made with.
        GstEngine::Options engine;
        /// The engine program; empty: looked up (see above).
        std::string enginePath;
        /// Seconds a closed engine process may take to end before it is killed.
        double exitGrace = 2;
        /// Seconds an engine process may take to answer a seek, counted while the main loop
        /// listens (fnd::RunLoop::listenedTime): above the engine's own bound on a seek
        /// (9 s), which answers a seek the network holds back NO. A seek still unanswered
        /// then is answered NO for its item alone, and the process is asked whether it
        /// answers at all; one silent 2 s more is hung, and stopped: its items fail as
        /// when it dies.
        double seekAnswerLimit = 15;
        /// Seconds a process an item gave back may take to tear that item down, counted
        /// while the main loop listens; one that takes longer is hung, stopped and never
        /// given another item.
        double teardownLimit = 2;
        /// Keeps the process an item gives back for the next asset, and one engine process
        /// started ahead (light, or with the common plugins loaded after prepare()) for an
        /// asset that comes while the others play, so an asset does not wait for a process to start; the
        /// host keeps one or two idle processes more. Shared by the engines of the same
        /// program.
        bool keepSpare = true;
        /// Bytes of data memory (RLIMIT_DATA) an engine process may have; one that needs
        /// more ends, alone, and its item fails as when it dies. 0: no limit. Not applied
        /// in sanitizer builds, whose shadow memory alone is larger.
        std::uint64_t memoryLimit = 2ull << 30;
        /// The prefix the program is looked for under; empty: the one the code is
        /// installed under (in the build tree's own programs: the engine this build made).
        std::string installationPrefix;
        /// Items an engine process is given over its life. One that has had this many
        /// takes no new item and ends with its last one, and so does one whose data
        /// memory has passed retireAboveMemory (looked at as an item is handed out or
        /// goes) or that keeps what a closed item left (a teardown stuck in the media
        /// framework): whatever a library keeps of each item is so bounded. 0: no bound.
        std::size_t retireAfterItems = 64;
        /// Bytes of data memory past which an engine process takes no new item; below
        /// memoryLimit, so a process retires before it is ended. 0: no mark.
        std::uint64_t retireAboveMemory = 1ull << 30;
    };
    explicit ProcessEngine(Options options);
    ProcessEngine() : ProcessEngine(Options{}) {}
    ~ProcessEngine() override;

    const Options& options() const { return options_; }
    /// The engine program these options run, or empty when none is found.
    static std::string locateEngine(const Options& options);
    /// Where locateEngine looks for the program, in order.
    static std::vector<std::string> enginePaths(const Options& options);

    /// Starts an engine process ahead (its plugins loaded) unless one is ready.
    void prepare() override;
    void loadAsset(const rt::Ref<Asset>& asset, AssetCompletion done) override;
    void cancelAssetLoad(const rt::Ref<Asset>& asset) override;
    rt::Ref<Playback> makePlayback(const rt::Ref<PlayerItem>& item) override;

private:
    Options options_;
};

}  // namespace media
