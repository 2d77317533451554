#include <media/Asset.h>
#include <media/PlayerItem.h>
#include <media/ProcessEngine.h>

#include <unistd.h>

#include <array>
#include <cstdlib>
#include <map>
#include <mutex>

#include <fnd/Paths.h>
#include <fnd/Queue.h>
#include <rt/Format.h>

#include "EngineProcess.h"
#include "FrameSlots.h"

namespace media {

// Defined only in the build tree's own programs (tests, tools, the demo); nothing
// installed names the build tree.
const char* buildTreeEnginePath() __attribute__((weak));

using namespace process;

namespace {
void recycleProcess(const std::shared_ptr<EngineProcess>& process);

constexpr const char* kEngineProgram = "zid_media_engine";
/// Seconds an engine process may take past its own load timeout to answer a load.
constexpr double kLoadAnswerGrace = 2;

/// What the item sees of the engine process.
class ProcessPlayback : public Playback {
    RT_CLASS(ProcessPlayback, Playback)
public:
    ProcessPlayback(std::shared_ptr<EngineProcess> process, const rt::Ref<PlayerItem>& item)
        : process_(std::move(process)), item_(item), releases_(std::make_shared<std::shared_ptr<EngineProcess>>(process_)) {}
    ~ProcessPlayback() override { close(); }

    void start() {
        rt::Weak<ProcessPlayback> weak = std::static_pointer_cast<ProcessPlayback>(self());
        process_->setHandlers(
            [weak](Report kind, Reader& body, int fd) {
                if (auto self = weak.lock()) self->onReport(kind, body, fd);
                else if (fd >= 0) ::close(fd);
            },
            [weak](rt::Ref<rt::Error> cause) {
                if (auto self = weak.lock()) self->onEnded(std::move(cause));
            });
    }

    void setRate(float rate) override { send(Writer(u8(Command::SetRate)).f64(rate)); }

    void seek(Time time, Time before, Time after, std::function<void(bool)> done) override {
        std::uint64_t id = ++lastSeek_;
        seekTarget_ = time;
        seeks_[id] = std::move(done);  // kept even without a completion: the target is the position until it lands
        if (!process_ || !send(Writer(u8(Command::Seek)).u64(id).time(time).time(before).time(after))) {
            fnd::Queue::main()->async([weak = weakSelf(), id] {
                if (auto self = weak.lock()) self->finishSeek(id, false);
            });
            return;
        }
        // The newest seek ends the older ones at once, so each is answered within one
        // seek's time; a process silent for longer is hung inside the media framework.
        double limit = process_->options().seekAnswerLimit;
        fnd::RunLoop::main()->after(limit, [weak = weakSelf(), id, limit] {
            auto self = weak.lock();
            if (self && self->seeks_.count(id)) self->refuse(rt::format("did not answer a seek within %g s", limit));
        });
    }

    Time currentTime() const override { return seeks_.empty() || !process_ ? position_ : seekTarget_; }
    void setMuted(bool muted) override { send(Writer(u8(Command::SetMuted)).boolean(muted)); }
    void setVolume(float volume) override { send(Writer(u8(Command::SetVolume)).f64(volume)); }

    void select(const rt::Ref<MediaSelectionGroup>& group, const rt::Ref<MediaSelectionOption>& option) override {
        if (!group) return;
        send(Writer(u8(Command::Select)).string(group->characteristic()).boolean(option != nullptr)
                 .string(option ? option->streamID() : std::string()));
    }

    void refreshAccessLog(AccessLogEvent& event) override {
        if (!haveLog_) return;
        // Stalls are counted by the item itself.
        long long stalls = event.numberOfStalls;
        std::string uri = event.URI;
        copyLog(*log_, event);
        event.numberOfStalls = stalls;
        if (event.URI.empty()) event.URI = uri;
    }

    void close() override {
        // A process that is still sound plays the next asset (GStreamer and its plugins
        // already loaded); one that ended or broke the rules does not come back.
        if (auto process = std::exchange(process_, nullptr)) {
            if (process->hasEnded()) process->close();
            else recycleProcess(process);
        }
        releases_.reset();
        slots_ = {};
        states_ = nullptr;
        auto seeks = std::exchange(seeks_, {});
        if (!seeks.empty())
            fnd::Queue::main()->async([seeks] {
                for (auto& [id, done] : seeks)
                    if (done) done(false);
            });
    }

private:
    static std::uint8_t u8(Command c) { return static_cast<std::uint8_t>(c); }
    rt::Weak<ProcessPlayback> weakSelf() { return std::static_pointer_cast<ProcessPlayback>(self()); }
    bool send(const Writer& w) { return process_ && process_->send(w); }

    static void copyLog(const AccessLogEvent& from, AccessLogEvent& to) {
        to.URI = from.URI;
        to.serverAddress = from.serverAddress;
        to.playbackStartDate = from.playbackStartDate;
        to.playbackSessionID = from.playbackSessionID;
        to.playbackStartOffset = from.playbackStartOffset;
        to.playbackType = from.playbackType;
        to.startupTime = from.startupTime;
        to.numberOfMediaRequests = from.numberOfMediaRequests;
        to.segmentsDownloadedDuration = from.segmentsDownloadedDuration;
        to.durationWatched = from.durationWatched;
        to.numberOfBytesTransferred = from.numberOfBytesTransferred;
        to.transferDuration = from.transferDuration;
        to.observedBitrate = from.observedBitrate;
        to.observedBitrateStandardDeviation = from.observedBitrateStandardDeviation;
        to.observedMaxBitrate = from.observedMaxBitrate;
        to.observedMinBitrate = from.observedMinBitrate;
        to.indicatedBitrate = from.indicatedBitrate;
        to.switchBitrate = from.switchBitrate;
        to.numberOfDroppedVideoFrames = from.numberOfDroppedVideoFrames;
    }

    void finishSeek(std::uint64_t id, bool finished) {
        auto it = seeks_.find(id);
        if (it == seeks_.end()) return;
        auto done = std::move(it->second);
        seeks_.erase(it);
        if (done) done(finished);
    }

    void onReport(Report kind, Reader& body, int fd) {
        auto item = item_.lock();
        if (kind != Report::SlotBuffer && kind != Report::SlotStates && fd >= 0) {
            ::close(fd);
            return refuse("sent a descriptor with a message that carries none");
        }
        switch (kind) {
        case Report::Ready: {
            AssetInfo info = body.info();
            Size size = body.size();
            if (!body.finished()) break;
            if (item) item->engineDidBecomeReady(info, size);
            return;
        }
        case Report::Failed: {
            auto error = body.error();
            if (!body.finished() || !error) break;
            if (item) item->engineDidFail(error);
            return;
        }
        case Report::Buffering: {
            bool keepUp = body.boolean(), empty = body.boolean(), full = body.boolean();
            if (!body.finished()) break;
            if (item) item->engineBufferingChanged(keepUp, empty, full);
            return;
        }
        case Report::Stalled:
            if (!body.finished()) break;
            if (item) item->engineDidStall();
            return;
        case Report::LoadedRanges: {
            auto ranges = body.ranges();
            if (!body.finished()) break;
            if (item) item->engineLoadedTimeRanges(std::move(ranges));
            return;
        }
        case Report::PresentationSize: {
            Size size = body.size();
            if (!body.finished()) break;
            if (item) item->enginePresentationSize(size);
            return;
        }
        case Report::Duration: {
            Time duration = body.time();
            if (!body.finished()) break;
            if (item) item->engineDuration(duration);
            return;
        }
        case Report::Groups: {
            auto groups = body.groups();
            if (!body.finished()) break;
            if (item) item->engineSelectionGroups(std::move(groups));
            return;
        }
        case Report::Selected: {
            std::string characteristic = body.string();
            rt::Ref<MediaSelectionOption> option = body.boolean() ? body.option() : nullptr;
            if (!body.finished()) break;
            if (item) item->engineSelected(characteristic, option);
            return;
        }
        case Report::PlayedToEnd:
            if (!body.finished()) break;
            if (item) item->engineDidPlayToEnd();
            return;
        case Report::SlotBuffer: {
            std::uint32_t slot = body.u32();
            std::uint64_t size = body.u64();
            if (!body.finished() || slot >= kSlotCount || fd < 0 || size > std::uint64_t(kMaxDimension) * kMaxDimension * 4) {
                if (fd >= 0) ::close(fd);
                break;
            }
            slots_[slot] = SlotMapping::map(fd, static_cast<std::size_t>(size), false);
            if (!slots_[slot]) return refuse("sent a picture buffer that cannot be mapped or whose size is not sealed");
            return;
        }
        case Report::SlotStates: {
            if (!body.finished() || fd < 0 || states_) {
                if (fd >= 0) ::close(fd);
                break;
            }
            states_ = SlotMapping::mapShared(fd, sizeof(SlotStates));
            if (!states_) return refuse("sent slot states that cannot be mapped or whose size is not sealed");
            return;
        }
        case Report::Frame: {
            std::uint32_t slot = body.u32();
            int width = body.i32(), height = body.i32(), stride = body.i32();
            Time pts = body.time();
            Time position = body.time();
            if (!body.finished() || slot >= kSlotCount || !slots_[slot] || !states_ || width <= 0 || height <= 0 ||
                width > kMaxDimension || height > kMaxDimension || stride < width * 4 ||
                static_cast<std::size_t>(stride) * static_cast<std::size_t>(height) > slots_[slot]->size())
                break;
            position_ = position;
            deliverFrame(item, slot, width, height, stride, pts);
            return;
        }
        case Report::Cue: {
            LegibleCue cue;
            cue.start = body.time();
            cue.duration = body.time();
            cue.text = body.string();
            if (!body.finished()) break;
            if (item) item->engineLegibleCue(cue);
            return;
        }
        case Report::AccessLog: {
            auto event = rt::make<AccessLogEvent>();
            body.accessLogEvent(*event);
            if (!body.finished()) break;
            copyLog(*event, *log_);
            haveLog_ = true;
            if (item)
                if (auto running = item->engineAccessLogEvent()) refreshAccessLog(*running);
            return;
        }
        case Report::ErrorLog: {
            auto event = body.errorLogEvent();
            if (!body.finished() || !event) break;
            if (item) item->engineErrorLogEvent(event);
            return;
        }
        case Report::Position: {
            Time position = body.time();
            if (!body.finished()) break;
            position_ = position;
            return;
        }
        case Report::SeekDone: {
            std::uint64_t id = body.u64();
            bool finished = body.boolean();
            Time position = body.time();
            if (!body.finished() || id == 0 || id > lastSeek_) break;
            if (id == lastSeek_) position_ = position;
            finishSeek(id, finished);
            return;
        }
        case Report::Loaded:
        case Report::Idle:
            break;  // only ever the answers to a load and to a recycling
        }
        refuse("sent a report this host does not understand or that breaks its limits");
    }

    void deliverFrame(const rt::Ref<PlayerItem>& item, std::uint32_t slot, int width, int height, int stride, Time pts) {
        // The slot goes back to the engine process once the last frame over it goes.
        // Through the playback's own token: once the item is gone and the process serves
        // another, a late release must not free a slot of the new item's.
        struct Lease {
            std::shared_ptr<SlotMapping> mapping;
            std::shared_ptr<SlotMapping> states;
            std::weak_ptr<std::shared_ptr<EngineProcess>> owner;
            std::uint32_t slot = 0;
            ~Lease() {
                // Marked free in the item's own slot states (a later item's are others);
                // a message only when the process waits for a slot.
                SlotStates* shared = SlotStates::in(*states);
                shared->busy[slot].store(0, std::memory_order_seq_cst);
                if (shared->engineWaits.exchange(0, std::memory_order_seq_cst) == 0) return;
                if (auto o = owner.lock())
                    if (*o) (*o)->send(Writer(u8(Command::ReleaseSlot)).u32(slot));
            }
        };
        // Made in place: a lease copied from a temporary would free the slot as the
        // temporary goes, while the host still shows its picture.
        auto lease = std::make_shared<Lease>();
        lease->mapping = slots_[slot];
        lease->states = states_;
        lease->owner = releases_;
        lease->slot = slot;
        auto frame = rt::make<VideoFrame>(width, height, stride, lease->mapping->data(), lease, pts);
        if (item) item->engineVideoFrame(std::move(frame));
    }

    void refuse(const std::string& what) {
        if (process_) process_->refuse(what);
    }

    void onEnded(rt::Ref<rt::Error> cause) {
        auto item = item_.lock();
        std::string url = item ? item->asset()->url() : std::string();
        close();
        if (!item) return;
        rt::Dictionary info{
            {rt::Value(rt::Error::LocalizedDescriptionKey),
             rt::Value("The media engine stopped while playing \"" + url +
                       "\"; the item cannot go on, but a new item of the same URL plays again.")},
            {rt::Value(rt::Error::LocalizedFailureReasonKey), rt::Value(cause->localizedDescription())},
            {rt::Value(rt::Error::UnderlyingErrorKey), rt::Value(cause)}};
        item->engineDidFail(rt::Error::make(MediaErrorDomain, static_cast<long long>(MediaErrorCode::EngineFailed), info));
    }

    std::shared_ptr<EngineProcess> process_;
    rt::Weak<PlayerItem> item_;
    /// What the pictures' leases release their slots through; reset when the item goes.
    std::shared_ptr<std::shared_ptr<EngineProcess>> releases_;
    std::map<std::uint64_t, std::function<void(bool)>> seeks_;
    std::uint64_t lastSeek_ = 0;
    Time seekTarget_ = Time::zero();
    Time position_ = Time::zero();
    std::array<std::shared_ptr<SlotMapping>, kSlotCount> slots_;
    /// The item's slot states, shared with the process.
    std::shared_ptr<SlotMapping> states_;
    rt::Ref<AccessLogEvent> log_ = rt::make<AccessLogEvent>();
    bool haveLog_ = false;
};

struct PendingLoads {
    std::mutex mutex;
    std::map<const Asset*, std::shared_ptr<EngineProcess>> processes;
};

PendingLoads& pendingLoads() {
    static auto* loads = new PendingLoads;
    return *loads;
}

std::shared_ptr<EngineProcess> takePending(const Asset* key, const std::shared_ptr<EngineProcess>& only = nullptr) {
    std::lock_guard lock(pendingLoads().mutex);
    auto it = pendingLoads().processes.find(key);
    if (it == pendingLoads().processes.end() || (only && it->second != only)) return nullptr;
    auto process = it->second;
    pendingLoads().processes.erase(it);
    return process;
}

bool isExecutable(const std::string& path) { return !path.empty() && ::access(path.c_str(), X_OK) == 0; }

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
           process->options().abortOnSeek == options.abortOnSeek;
}

/// An engine process for an asset: the idle one, else the spare, when it runs the same
/// program; else a new one. A little later, when no process is ready for the next asset
/// (none given back meanwhile), a spare is started.
std::shared_ptr<EngineProcess> obtainProcess(const ProcessEngine::Options& options, rt::Ref<rt::Error>* error) {
    std::shared_ptr<EngineProcess> process;
    for (auto* ready : {&idleProcess(), &spareProcess()})
        if (!process && serves(*ready, options)) process = std::exchange(*ready, nullptr);
    if (process) process->setOptions(options);
    else process = EngineProcess::start(options, error);
    if (process && options.keepSpare)
        fnd::RunLoop::main()->after(kSpareDelay, [options] {
            // Not when an item has given its process back meanwhile: that one is ready.
            for (auto* ready : {&idleProcess(), &spareProcess()})
                if (serves(*ready, options)) return;
            spareProcess() = EngineProcess::start(options, nullptr, true);
        });
    return process;
}

void recycleProcess(const std::shared_ptr<EngineProcess>& process) {
    if (!process->options().keepSpare) return process->close();
    process->recycle(process->options().teardownLimit);
    // The warmest process is kept: the one that just played.
    auto previous = std::exchange(idleProcess(), process);
    if (previous && previous != process) previous->close();
}
}  // namespace

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
/// process: the fault was the last item's, not this asset's.
void startLoad(const rt::Weak<Asset>& weakAsset, const std::string& url, const ProcessEngine::Options& options,
               const Engine::AssetCompletion& done, bool again) {
    auto asset = weakAsset.lock();
    if (!asset) return;
    rt::Ref<rt::Error> error;
    auto process = obtainProcess(options, &error);
    if (!process) return done(error, {});
    const Asset* key = asset.get();
    {
        std::lock_guard lock(pendingLoads().mutex);
        pendingLoads().processes[key] = process;
    }
    std::weak_ptr<EngineProcess> weakProcess = process;
    auto finish = [weakAsset, weakProcess, key, done](rt::Ref<rt::Error> error, AssetInfo info) {
        // Copies: dropping the process's handlers below destroys this closure.
        auto complete = done;
        auto asset = weakAsset.lock();
        auto process = takePending(key, weakProcess.lock());
        if (!process) return;  // cancelled
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
        [finish, weakProcess, weakAsset, url, options, done, again, key](rt::Ref<rt::Error> cause) {
            auto process = weakProcess.lock();
            if (!again && process && process->isTearingDown() && takePending(key, process)) {
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
    Writer load(static_cast<std::uint8_t>(Command::Load));
    load.string(url);
    process->writeOptions(load);
    process->send(load);
    // The engine gives up a load itself after loadTimeout; a process that has not
    // answered a little after that is hung, and stopped (the load then fails).
    fnd::RunLoop::main()->after(options.engine.loadTimeout + kLoadAnswerGrace, [weakProcess, key] {
        auto process = weakProcess.lock();
        bool pending = false;
        {
            std::lock_guard lock(pendingLoads().mutex);
            auto it = pendingLoads().processes.find(key);
            pending = it != pendingLoads().processes.end() && it->second == process;
        }
        if (process && pending) process->refuse("did not answer the load in time");
    });
}
}  // namespace

void ProcessEngine::loadAsset(const rt::Ref<Asset>& asset, AssetCompletion done) {
    rt::Weak<Asset> weakAsset = asset;
    std::string url = asset->url();
    Options options = options_;
    // Engine processes are started and driven from the main thread, whichever thread asked.
    auto start = [weakAsset, url, options, done] { startLoad(weakAsset, url, options, done, false); };
    if (fnd::RunLoop::main()->isCurrent()) start();
    else fnd::Queue::main()->async(start);
}

void ProcessEngine::cancelAssetLoad(const rt::Ref<Asset>& asset) {
    if (auto process = takePending(asset.get())) fnd::Queue::main()->async([process] { process->close(); });
}

rt::Ref<Playback> ProcessEngine::makePlayback(const rt::Ref<PlayerItem>& item) {
    auto process = std::static_pointer_cast<EngineProcess>(item->asset()->takePreparedState());
    if (!process || process->hasEnded()) {
        rt::Ref<rt::Error> error;
        process = obtainProcess(options_, &error);
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
