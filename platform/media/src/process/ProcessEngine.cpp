#include <media/Asset.h>
#include <media/PlayerItem.h>
#include <media/ProcessEngine.h>

#include <unistd.h>

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
/// Seconds an engine process may take past its own load timeout to answer a load.
constexpr double kLoadAnswerGrace = 2;

/// One load in an engine process. A record of its own per load: an asset's address and
/// a process are both used again (a new asset where a freed one was, the process an item
/// gave back), so only the record tells a load from an earlier one of the same pair.
struct ProcessLoad {
    std::shared_ptr<EngineProcess> process;
};

PendingLoads<ProcessLoad>& pendingLoads() {
    static auto* loads = new PendingLoads<ProcessLoad>;
    return *loads;
}

bool isExecutable(const std::string& path) { return !path.empty() && ::access(path.c_str(), X_OK) == 0; }

/// Seconds a process that waited for an item (given back, or the spare) may take to
/// answer the check made as it is handed out: one stopped or hung meanwhile is stopped,
/// and the item loads in another.
constexpr double kCheckLimit = 1;

/// Seconds after a process is handed out before a spare is started: started at once, it
/// would load its plugins on the same cores exactly while the asset's pipeline prerolls,
/// delaying the first picture it is there to speed up.
constexpr double kSpareDelay = 2;

/// The last process an item gave back, the warmest (main thread only). Never released,
/// like the engine.
std::shared_ptr<EngineProcess>& idleProcess() {
    static auto* idle = new std::shared_ptr<EngineProcess>;
    return *idle;
}

/// The process started ahead for an asset while the others are busy (main thread only).
/// Kept when an item gives its process back: a host playing one item after another then
/// starts no process at all.
std::shared_ptr<EngineProcess>& spareProcess() {
    static auto* spare = new std::shared_ptr<EngineProcess>;
    return *spare;
}

bool serves(const std::shared_ptr<EngineProcess>& process, const ProcessEngine::Options& options) {
    return process && !process->hasEnded() && process->path() == ProcessEngine::locateEngine(options) &&
           process->options().memoryLimit == options.memoryLimit;
}

/// An engine process for an asset: the idle one, else the spare, when it runs the same
/// program (checked: it answers the command before the asset's); else a new one. A
/// little later, when no process is ready for the next asset (none given back
/// meanwhile), a spare is started.
std::shared_ptr<EngineProcess> obtainProcess(const ProcessEngine::Options& options, rt::Ref<rt::Error>* error) {
    std::shared_ptr<EngineProcess> process;
    for (auto* ready : {&idleProcess(), &spareProcess()})
        if (!process && serves(*ready, options)) process = std::exchange(*ready, nullptr);
    if (process) {
        process->setOptions(options);
        // One still tearing its last item down answers once that is done, which has a
        // limit of its own.
        process->check(kCheckLimit + (process->isTearingDown() ? options.teardownLimit : 0));
    } else {
        process = EngineProcess::start(options, error);
    }
    if (process && options.keepSpare)
        fnd::RunLoop::main()->after(kSpareDelay, [options] {
            // Not when an item has given its process back meanwhile: that one is ready.
            for (auto* ready : {&idleProcess(), &spareProcess()})
                if (serves(*ready, options)) return;
            spareProcess() = EngineProcess::start(options, nullptr, true);
        });
    return process;
}
}  // namespace

void process::recycleProcess(const std::shared_ptr<EngineProcess>& process) {
    if (!process->options().keepSpare) return process->close();
    process->recycle(process->options().teardownLimit);
    // The warmest process is kept: the one that just played.
    auto previous = std::exchange(idleProcess(), process);
    if (previous && previous != process) previous->close();
}

ProcessEngine::ProcessEngine(Options options) : options_(std::move(options)) {}

std::string ProcessEngine::locateEngine(const Options& options) {
    if (!options.enginePath.empty()) return isExecutable(options.enginePath) ? options.enginePath : std::string();
    if (const char* named = std::getenv("ZID_MEDIA_ENGINE"); named && *named)
        return isExecutable(named) ? std::string(named) : std::string();
    // The build tree's own programs play with the engine this build made; installed ones
    // find it under their installation prefix, wherever it was moved, or beside them.
    if (buildTreeEnginePath) {
        std::string built = buildTreeEnginePath();
        return isExecutable(built) ? built : std::string();
    }
    std::vector<std::string> candidates;
    if (std::string prefix = fnd::installationPrefix(); !prefix.empty())
        candidates.push_back(fnd::joinPath(fnd::joinPath(prefix, ZID_MEDIA_ENGINE_INSTALL_SUBDIR), kEngineProgram));
    if (std::string exe = fnd::executableDirectory(); !exe.empty()) candidates.push_back(fnd::joinPath(exe, kEngineProgram));
    for (const auto& path : candidates)
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
    auto load = std::make_shared<ProcessLoad>(ProcessLoad{process});
    pendingLoads().put(key, load);
    std::weak_ptr<EngineProcess> weakProcess = process;
    std::weak_ptr<ProcessLoad> weakLoad = load;
    auto finish = [weakAsset, weakLoad, key, done](rt::Ref<rt::Error> error, AssetInfo info) {
        // Copies: dropping the process's handlers below destroys this closure.
        auto complete = done;
        auto asset = weakAsset.lock();
        auto load = weakLoad.lock();
        if (!load || !pendingLoads().take(key, load)) return;  // cancelled
        auto process = load->process;
        if (!error && asset) {
            process->setHandlers(nullptr, nullptr);
            asset->setPreparedState(process);
        } else {
            process->close();
        }
        complete(std::move(error), std::move(info));
    };
    process->setHandlers(
        [finish, weakProcess](Report kind, Reader& body, int fd) {
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
        [finish, weakProcess, weakLoad, weakAsset, url, options, done, again, key](rt::Ref<rt::Error> cause) {
            auto process = weakProcess.lock();
            auto load = weakLoad.lock();
            bool notThisAssets = process && (process->failedCheck() || (!again && process->isTearingDown()));
            if (notThisAssets && load && pendingLoads().take(key, load)) {
                process->close();
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
    process->writeOptions(command);
    process->send(command);
    // The engine gives up a load itself after loadTimeout; a process that has not
    // answered a little after that is hung, and stopped (the load then fails).
    fnd::RunLoop::main()->after(options.engine.loadTimeout + kLoadAnswerGrace, [weakLoad, key] {
        auto load = weakLoad.lock();
        if (load && pendingLoads().holds(key, load)) load->process->refuse("did not answer the load in time");
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
        fnd::Queue::main()->async([process = load->process] { process->close(); });
}

rt::Ref<Playback> ProcessEngine::makePlayback(const rt::Ref<PlayerItem>& item) {
    auto process = std::static_pointer_cast<EngineProcess>(item->asset()->takePreparedState());
    if (!process || process->hasEnded()) {
        // A new process: the item is attached at once, with no second try in another
        // process should a waiting one fail its check.
        rt::Ref<rt::Error> error;
        process = EngineProcess::start(options_, &error);
        if (!process) {
            item->engineDidFail(error);
            return nullptr;
        }
    }
    auto playback = rt::make<ProcessPlayback>(process, item);
    playback->start();
    Writer attach(static_cast<std::uint8_t>(Command::Attach));
    attach.string(item->asset()->url());
    process->writeOptions(attach);
    process->send(attach);
    return playback;
}

}  // namespace media
