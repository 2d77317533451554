#include <media/Asset.h>
#include <media/PlayerItem.h>
#include <media/ProcessEngine.h>

#include <unistd.h>

#include <algorithm>
#include <cstdlib>

#include <fnd/Paths.h>
#include <fnd/Queue.h>
#include <rt/Format.h>

#include "EngineProcess.h"
#include "PendingLoads.h"
#include "ProcessPlayback.h"

namespace media {

// Defined only in the build tree's own programs (tests, tools, the demo); nothing
// installed names the build tree.
const char* buildTreeEnginePath() __attribute__((weak));

using namespace process;

namespace {

constexpr const char* kEngineProgram = "zid_media_engine";
/// Items one engine process plays at most. Each item beside the first costs the memory
/// of its pipeline alone, instead of a process with GStreamer and its plugins of its own;
/// what ends the process (a crash in a demuxer) fails at most this many items, each of
/// which recovers as it would alone.
constexpr std::size_t kItemsPerProcess = 4;
/// Seconds an engine process may take past its own load timeout to answer a load.
constexpr double kLoadAnswerGrace = 2;

class EarlyReports;

/// One load in an engine process. A record of its own per load: an asset's address and
/// a process are both used again (a new asset where a freed one was, the process an item
/// gave back), so only the record tells a load from an earlier one of the same pair.
struct ProcessLoad {
    std::shared_ptr<EngineProcess> process;
    std::uint32_t item = 0;
    std::shared_ptr<EarlyReports> early;
};

PendingLoads<ProcessLoad>& pendingLoads() {
    static auto* loads = new PendingLoads<ProcessLoad>;
    return *loads;
}

bool isExecutable(const std::string& path) { return !path.empty() && ::access(path.c_str(), X_OK) == 0; }

/// Seconds a process may take to answer the check made as it is handed an item (whether
/// it waited for one or serves others): one stopped or hung is stopped, its items hear
/// that it stopped answering, and the item loads in another.
constexpr double kCheckLimit = 1;

/// Seconds after a process is handed out before a spare is started: started at once, it
/// would load its plugins on the same cores exactly while the asset's pipeline prerolls,
/// delaying the first picture it is there to speed up.
constexpr double kSpareDelay = 2;

/// The engine processes of the host (main thread only). Never released, like the engine.
struct Pool {
    /// Processes with items, which take more items up to kItemsPerProcess.
    std::vector<std::weak_ptr<EngineProcess>> serving;
    /// A process without items, kept for the next asset (the last given back: the warmest).
    std::shared_ptr<EngineProcess> idle;
    /// A process started ahead for an asset that finds no room (light, or with its
    /// plugins loaded when prepare() started it).
    std::shared_ptr<EngineProcess> spare;
    /// ProcessEngines alive: when the last goes, so do the processes kept for later.
    int engines = 0;
};

Pool& pool() {
    static auto* p = new Pool;
    return *p;
}

/// Whether a process may be handed an item of these options: running the same program
/// under the same bound, and not retired.
bool serves(const std::shared_ptr<EngineProcess>& process, const ProcessEngine::Options& options) {
    return process && !process->hasEnded() && !process->hasHungUp() &&
           process->path() == ProcessEngine::locateEngine(options) &&
           process->options().memoryLimit == options.memoryLimit && !process->isRetired();
}

/// A serving process of these options with room for one more item, the fullest first (so
/// that processes empty and end); nullptr when none has room.
std::shared_ptr<EngineProcess> serverWithRoom(const ProcessEngine::Options& options) {
    std::shared_ptr<EngineProcess> best;
    auto& serving = pool().serving;
    serving.erase(std::remove_if(serving.begin(), serving.end(), [](const auto& weak) {
                      auto p = weak.lock();
                      return !p || p->hasEnded();
                  }),
                  serving.end());
    for (const auto& weak : serving) {
        auto p = weak.lock();
        // A process that crashed is passed over even before its end is read (its items
        // hear of it on the loop's next turn).
        if (!serves(p, options) || p->failedCheck() || p->itemCount() >= kItemsPerProcess) continue;
        if (!best || p->itemCount() > best->itemCount()) best = p;
    }
    return best;
}

/// Whether an asset that comes now finds a process ready: one with room, or one kept.
bool processReady(const ProcessEngine::Options& options) {
    return serverWithRoom(options) || serves(pool().idle, options) || serves(pool().spare, options);
}

/// When every process is full, a spare for the next asset. A light one: the program
/// started and linked, GStreamer set up only when an item comes, about 1 MB of its own
/// where one with GStreamer's registry holds 3.5 and one that has played tens, as nobody
/// knows whether a next asset comes; it still spares that asset the program's start.
/// (prepare(), which says an asset comes soon, starts one with the plugins loaded.)
void startSpareLater(const ProcessEngine::Options& options) {
    if (!options.keepSpare) return;
    fnd::RunLoop::main()->after(kSpareDelay, [options] {
        // Not when a process has room or was given back meanwhile, nor once the engines are gone.
        if (pool().engines == 0 || processReady(options)) return;
        pool().spare = EngineProcess::start(options, nullptr, EngineProcess::Ahead::Light);
    });
}

/// An engine process for an asset: one serving others with room for it; else the idle
/// one, else the spare, when it runs the same program; else a new one. One that was
/// running is checked: it answers the command before the asset's. A little later, when
/// no process is ready for the next asset, a spare is started.
std::shared_ptr<EngineProcess> obtainProcess(const ProcessEngine::Options& options, rt::Ref<rt::Error>* error) {
    auto process = serverWithRoom(options);
    if (!process) {
        for (auto* ready : {&pool().idle, &pool().spare}) {
            // One retired while it waited (it said it keeps what its last item left) ends.
            if (*ready && (*ready)->isRetired()) std::exchange(*ready, nullptr)->close();
            if (!process && serves(*ready, options)) process = std::exchange(*ready, nullptr);
        }
        if (process) {
            process->setOptions(options);
            pool().serving.push_back(process);
        }
    }
    if (process) {
        // One still tearing an item down answers once that is done, which has a limit of
        // its own.
        process->check(kCheckLimit + (process->isTearingDown() ? options.teardownLimit : 0));
    } else if ((process = EngineProcess::start(options, error))) {
        pool().serving.push_back(process);
    }
    if (process) startSpareLater(options);
    return process;
}

/// Stops the processes kept for later once no engine is left to play in them.
void closeKeptProcesses() {
    if (pool().engines > 0) return;
    for (auto* kept : {&pool().idle, &pool().spare})
        if (auto process = std::exchange(*kept, nullptr)) process->close();
}

/// What a process reported for an item the host has not made the playback of yet: the
/// process attaches the item as it loads it, and its first reports and picture wait here.
class EarlyReports {
public:
    EarlyReports() = default;
    EarlyReports(const EarlyReports&) = delete;
    EarlyReports& operator=(const EarlyReports&) = delete;
    ~EarlyReports() {
        for (auto& report : reports_)
            if (report.fd >= 0) ::close(report.fd);
    }
    void keep(Report kind, const Reader& body, int fd) {
        // An asset may wait long for its player while its item reports on: of the reports
        // that say the state anew each time only the newest is kept.
        if (kind == Report::Position || kind == Report::AccessLog || kind == Report::LoadedRanges)
            reports_.erase(std::remove_if(reports_.begin(), reports_.end(), [kind](const Kept& k) { return k.kind == kind; }),
                           reports_.end());
        reports_.push_back({kind, body.rest(), fd});
    }
    /// Hands each kept report to `handler`, in order, until none is left.
    void replay(const EngineProcess::ReportHandler& handler) {
        while (!reports_.empty()) {
            auto report = std::move(reports_.front());
            reports_.erase(reports_.begin());
            Reader body(report.body.data(), report.body.size());
            handler(report.kind, body, report.fd);
        }
    }

private:
    struct Kept {
        Report kind;
        std::vector<std::uint8_t> body;
        int fd;
    };
    std::vector<Kept> reports_;
};

/// An item loaded in a process and not yet played: the asset's prepared state. An asset
/// that goes without being played gives its item back.
struct PreparedItem {
    std::shared_ptr<EngineProcess> process;
    std::uint32_t item = 0;
    std::shared_ptr<EarlyReports> early;
    PreparedItem() = default;
    PreparedItem(const PreparedItem&) = delete;
    PreparedItem& operator=(const PreparedItem&) = delete;
    ~PreparedItem() {
        if (!process) return;
        // The asset may go on any thread; the process is driven from the main one.
        fnd::Queue::main()->async([process = process, item = item] { giveBack(process, item); });
    }
};
}  // namespace

void process::giveBack(const std::shared_ptr<EngineProcess>& process, std::uint32_t item) {
    process->closeItem(item, process->options().teardownLimit);
    if (process->itemCount() > 0 || process->hasEnded()) return;
    auto& serving = pool().serving;
    serving.erase(std::remove_if(serving.begin(), serving.end(), [&](const auto& weak) { return weak.lock() == process; }),
                  serving.end());
    // A retired process ends with its last item, and with it whatever its items left.
    if (!process->options().keepSpare || pool().engines == 0 || process->isRetired()) return process->close();
    // One process is kept without items, the warmest: the one that just played. The
    // spare stays too: closed here, it would be started again two seconds after the
    // next round of items filled this one.
    auto previous = std::exchange(pool().idle, process);
    if (previous && previous != process) previous->close();
}

ProcessEngine::ProcessEngine(Options options) : options_(std::move(options)) {
    startOnMainThread([] { ++pool().engines; });
}

ProcessEngine::~ProcessEngine() {
    startOnMainThread([] {
        --pool().engines;
        closeKeptProcesses();
    });
}

void ProcessEngine::prepare() {
    Options options = options_;
    startOnMainThread([options] {
        if (!options.keepSpare || processReady(options)) return;
        pool().spare = EngineProcess::start(options, nullptr, EngineProcess::Ahead::Warm);
    });
}

std::vector<std::string> ProcessEngine::enginePaths(const Options& options) {
    if (!options.enginePath.empty()) return {options.enginePath};
    if (const char* named = std::getenv("ZID_MEDIA_ENGINE"); named && *named) return {named};
    // The build tree's own programs play with the engine this build made; installed ones
    // find it under their installation prefix, wherever it was moved, or beside them.
    if (buildTreeEnginePath && options.installationPrefix.empty()) return {buildTreeEnginePath()};
    std::vector<std::string> candidates;
    std::string prefix = options.installationPrefix.empty() ? fnd::installationPrefix() : options.installationPrefix;
    if (!prefix.empty())
        candidates.push_back(fnd::joinPath(fnd::joinPath(prefix, ZID_MEDIA_ENGINE_INSTALL_SUBDIR), kEngineProgram));
    if (std::string exe = fnd::executableDirectory(); !exe.empty()) candidates.push_back(fnd::joinPath(exe, kEngineProgram));
    return candidates;
}

std::string ProcessEngine::locateEngine(const Options& options) {
    for (const auto& path : enginePaths(options))
        if (isExecutable(path)) return path;
    return {};
}

namespace {
/// Loads an asset in an engine process (main thread). A process given back by the last
/// item may still be tearing that item down when it is handed out; when that teardown
/// hangs and the process is stopped for it, the load starts again once in another
/// process: the fault was the last item's, not this asset's. So it does when a process
/// that waited for an item fails its check (stopped or hung while it waited).
void startLoad(const rt::Weak<Asset>& weakAsset, const std::string& url, const ProcessEngine::Options& options,
               const Engine::AssetCompletion& done, bool again) {
    auto asset = weakAsset.lock();
    if (!asset) return;
    rt::Ref<rt::Error> error;
    auto process = obtainProcess(options, &error);
    if (!process) return done(error, {});
    const Asset* key = asset.get();
    // The check made as the process was handed the asset: one that ends before answering
    // it never saw the asset's load.
    unsigned handedOut = process->checksSent();
    std::uint32_t id = process->addItem();
    auto early = std::make_shared<EarlyReports>();
    auto load = std::make_shared<ProcessLoad>(ProcessLoad{process, id, early});
    pendingLoads().put(key, load);
    std::weak_ptr<EngineProcess> weakProcess = process;
    std::weak_ptr<ProcessLoad> weakLoad = load;
    auto finish = [weakAsset, weakLoad, key, done](rt::Ref<rt::Error> error, AssetInfo info) {
        // Copies: dropping the process's handlers below destroys this closure.
        auto complete = done;
        auto asset = weakAsset.lock();
        auto load = weakLoad.lock();
        if (!load || !pendingLoads().take(key, load)) return;  // cancelled
        if (!error && asset) {
            // The item's reports wait for its playback; its end is the playback's to hear.
            auto early = load->early;
            load->process->setItemHandlers(
                load->item, [early](Report kind, Reader& body, int fd) { early->keep(kind, body, fd); }, nullptr);
            // Made in place: a copied one would give the item back as the copy went.
            auto prepared = std::make_shared<PreparedItem>();
            prepared->process = load->process;
            prepared->item = load->item;
            prepared->early = early;
            asset->setPreparedState(prepared);
        } else {
            giveBack(load->process, load->item);
        }
        complete(std::move(error), std::move(info));
    };
    process->setItemHandlers(
        id, [finish, weakProcess, early](Report kind, Reader& body, int fd) {
            // The process attaches the item as it loads it: the playback's reports may
            // come before the load's answer.
            if (kind != Report::Loaded) return early->keep(kind, body, fd);
            if (fd >= 0) ::close(fd);
            bool failed = body.boolean();
            rt::Ref<rt::Error> error = failed ? body.error() : nullptr;
            AssetInfo info = failed ? AssetInfo{} : body.info();
            if (kind != Report::Loaded || !body.finished() || (failed && !error) || fd >= 0) {
                if (auto p = weakProcess.lock()) p->refuse("sent a report other than the load's answer");
                return;
            }
            finish(error, std::move(info));
        },
        [finish, weakProcess, weakLoad, weakAsset, url, options, done, again, key,
         handedOut](rt::Ref<rt::Error> cause) {
            auto process = weakProcess.lock();
            auto load = weakLoad.lock();
            bool notThisAssets =
                process && (process->failedCheck() ||
                            (!again && (process->isTearingDown() || !process->hasAnswered(handedOut))));
            if (notThisAssets && load && pendingLoads().take(key, load)) {
                giveBack(process, load->item);
                return startLoad(weakAsset, url, options, done, true);
            }
            rt::Dictionary info{
                {rt::Value(rt::Error::LocalizedDescriptionKey),
                 rt::Value(std::string("The media engine stopped while loading the asset."))},
                {rt::Value(rt::Error::LocalizedFailureReasonKey), rt::Value(cause->localizedDescription())},
                {rt::Value(rt::Error::UnderlyingErrorKey), rt::Value(cause)}};
            finish(rt::Error::make(MediaErrorDomain, static_cast<long long>(MediaErrorCode::EngineFailed), info), {});
        });
    Writer command(static_cast<std::uint8_t>(Command::Load));
    command.string(url);
    EngineProcess::writeOptions(command, options);
    // Attached at once: an item is made for nearly every asset right after its load, and
    // its first picture is then ready when the host makes its playback.
    command.boolean(true);
    process->send(command.addressedTo(id));
    // The engine gives up a load itself after loadTimeout; a process that has not
    // answered a little after that is hung, and stopped (the load then fails).
    process->awaitAnswer(
        options.engine.loadTimeout + kLoadAnswerGrace,
        [weakLoad, key] {
            auto load = weakLoad.lock();
            return !load || !pendingLoads().holds(key, load);
        },
        [weakLoad] {
            if (auto load = weakLoad.lock()) load->process->refuse("did not answer the load in time");
        });
}
}  // namespace

void ProcessEngine::loadAsset(const rt::Ref<Asset>& asset, AssetCompletion done) {
    rt::Weak<Asset> weakAsset = asset;
    std::string url = asset->url();
    Options options = options_;
    // Engine processes are started and driven from the main thread, whichever thread asked.
    auto start = [weakAsset, url, options, done] { startLoad(weakAsset, url, options, done, false); };
    startOnMainThread(start);
}

void ProcessEngine::cancelAssetLoad(const rt::Ref<Asset>& asset) {
    if (auto load = pendingLoads().take(asset.get()))
        fnd::Queue::main()->async([load] { giveBack(load->process, load->item); });
}

rt::Ref<Playback> ProcessEngine::makePlayback(const rt::Ref<PlayerItem>& item) {
    auto prepared = std::static_pointer_cast<PreparedItem>(item->asset()->takePreparedState());
    std::shared_ptr<EngineProcess> process;
    std::uint32_t id = 0;
    if (prepared && prepared->process && !prepared->process->hasEnded()) {
        // Attached as it loaded: what it reported meanwhile reaches the item on the next
        // turn, as a playback's first reports would, once the player has attached it.
        process = std::exchange(prepared->process, nullptr);
        id = prepared->item;
        auto playback = rt::make<ProcessPlayback>(process, id, options_.seekAnswerLimit, item);
        auto early = prepared->early;
        process->setItemHandlers(
            id, [early](Report kind, Reader& body, int fd) { early->keep(kind, body, fd); }, playback->endHandler());
        fnd::RunLoop::main()->post([weak = rt::Weak<ProcessPlayback>(playback), early] {
            auto playback = weak.lock();
            if (!playback) return;
            early->replay(playback->reportHandler());
            playback->start();
        });
        return playback;
    } else {
        // Made without a load (or its process ended since): the item is attached at once,
        // with no second try in another process should a waiting one fail its check.
        rt::Ref<rt::Error> error;
        process = obtainProcess(options_, &error);
        if (!process) {
            item->engineDidFail(error);
            return nullptr;
        }
        id = process->addItem();
    }
    auto playback = rt::make<ProcessPlayback>(process, id, options_.seekAnswerLimit, item);
    playback->start();
    Writer attach(static_cast<std::uint8_t>(Command::Attach));
    attach.string(item->asset()->url());
    EngineProcess::writeOptions(attach, options_);
    process->send(attach.addressedTo(id));
    return playback;
}

}  // namespace media
