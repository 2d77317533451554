#include "EngineServer.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>

#include <gst/gst.h>

#include <fnd/RunLoop.h>
#include <media/Asset.h>
#include <media/GstEngine.h>
#include <media/PlayerItem.h>

#include "EngineHeap.h"
#include "FrameSlots.h"
#include "IdleDescriptors.h"
#include "PictureChannel.h"
#include "gst/GstTeardown.h"
#include "RelayItem.h"
#include "Wire.h"

namespace media::process {

namespace {

class Server;

/// One item the process plays: its engine and asset, its playback, and its own picture
/// slots. Its reports reach the host through the server, naming the item.
class ServedItem final : public ReportSink {
public:
    ServedItem(Server& server, std::uint32_t id, const ServerOptions& options, std::shared_ptr<SlotMapping>& readySlot,
               const std::atomic<bool>& done)
        : server_(server), id_(id), options_(options), readySlot_(readySlot), done_(done) {}
    ~ServedItem() { forget(); }

    void send(const Writer& w, int fd = -1) override { send(w, fd, false); }
    /// `now`: from any thread, this report and those before it leave at once.
    void send(const Writer& w, int fd, bool now);

    void offerFrame(rt::Ref<VideoFrame> frame) override {
        if (channel_) channel_->offer(std::move(frame), position(), false);
    }

    std::shared_ptr<PlayerItem::FrameMemory> frameMemory() override {
        if (shrinksSlots()) return nullptr;
        return channel_;
    }

    PlayerItem::FrameOutlet frameOutlet() override {
        // The streaming thread's pictures go straight to the host. The stand-in engine
        // that shrinks its slots keeps to the main loop, where it times the shrinking.
        if (!channel_ || shrinksSlots()) return {};
        return [channel = channel_](const rt::Ref<VideoFrame>& frame) {
            return channel->offer(frame, Time::invalid(), true);
        };
    }

    void sendPositionSoon() override { positionDirty_ = true; }
    void setGroups(std::vector<rt::Ref<MediaSelectionGroup>> groups) override { groups_ = std::move(groups); }
    Time position() const override { return playback_ ? playback_->currentTime() : Time::zero(); }

    bool hasPlayback() const { return playback_ != nullptr; }
    bool hasEngine() const { return engine_ != nullptr; }

    void load(const std::string& url, const GstEngine::Options& options) {
        engine_ = rt::make<GstEngine>(options);
        asset_ = rt::make<Asset>(url, engine_);
        engine_->loadAsset(asset_, [this, alive = std::weak_ptr<bool>(alive_)](rt::Ref<rt::Error> error, AssetInfo info) {
            // Any thread: answered on the main loop, in order with everything else;
            // not at all once the host has closed the item.
            fnd::RunLoop::main()->post([this, alive, error, info] {
                if (alive.expired()) return;
                groups_ = info.groups;
                Writer w(static_cast<std::uint8_t>(Report::Loaded));
                w.boolean(error != nullptr);
                if (error) w.error(error);
                else w.info(info);
                send(w);
                // Attached on the pipeline the load prerolled.
                if (!error && std::exchange(attachOnLoad_, false)) attach(url_, loadOptions_);
            });
        });
    }

    /// Attaches the item once its load has prerolled the pipeline, on that pipeline.
    void attachWhenLoaded(const std::string& url, const GstEngine::Options& options) {
        url_ = url;
        loadOptions_ = options;
        attachOnLoad_ = true;
    }

    void attach(const std::string& url, const GstEngine::Options& options) {
        if (!engine_) {
            engine_ = rt::make<GstEngine>(options);
            asset_ = rt::make<Asset>(url, engine_);
        }
        channel_ = std::make_shared<PictureChannel>(
            [this](const Writer& w, int fd, bool now) { send(w, fd, now); }, shrinksSlots());
        if (readySlot_) channel_->giveReadySlot(std::exchange(readySlot_, nullptr));
        nextAccessLog_ = fnd::RunLoop::main()->clock().now() + 1.0;
        item_ = rt::make<RelayItem>(asset_, this);
        playback_ = engine_->makePlayback(item_);
        tickWhilePlaying();
    }

    bool isAttached() const { return item_ != nullptr; }
    /// The server's tick runs while any item has a playback: the position of one whose
    /// pictures stand travels on it alone.
    void tickWhilePlaying();

    /// The host's rate: what this turn has said so far leaves first, as setting the
    /// pipeline playing holds the loop for 0.3-3 ms.
    void setRate(double rate);

    void seek(std::uint64_t id, Time time, Time before, Time after) {
        ++seeks_;
        if constexpr (kEngineFaults) {
            if (options_.misbehaviour == ServerOptions::Misbehaviour::SilentSeeks) return;
            if (options_.misbehaviour == ServerOptions::Misbehaviour::HangOnSeek)
                for (;;) ::pause();
            if (options_.abortOnSeek > 0 && seeks_ == options_.abortOnSeek) {
                std::fprintf(stderr, "zid_media_engine: aborting on seek %ld, as the fault injection asks\n", seeks_);
                std::fflush(stderr);
                std::abort();
            }
        }
        auto finish = [this, id, alive = std::weak_ptr<bool>(alive_)](bool finished) {
            if (alive.expired()) return;  // an item the host has closed
            // The engine's queue decided that the seek landed and where: the position
            // of a finished seek reads the picture it landed on (or a later one).
            Time landed = position();
            Writer w(static_cast<std::uint8_t>(Report::SeekDone));
            w.u64(id).boolean(finished).time(landed);
            send(w);
        };
        // A picture still waiting for a slot is from before the seek: its time would
        // take the position back once the seek has landed.
        if (channel_) channel_->dropWaiting();
        if (playback_) playback_->seek(time, before, after, finish);
        else fnd::RunLoop::main()->post([finish] { finish(false); });
    }

    void setMuted(bool muted) {
        if (playback_) playback_->setMuted(muted);
    }

    void setVolume(double volume) {
        if (playback_) playback_->setVolume(static_cast<float>(volume));
    }

    void select(const std::string& characteristic, bool some, const std::string& id) {
        if (!playback_) return;
        rt::Ref<MediaSelectionGroup> group;
        for (const auto& g : groups_)
            if (g->characteristic() == characteristic) group = g;
        if (!group) return;
        auto option = some ? group->optionWithStreamID(id) : nullptr;
        if (some && !option) return;  // an option this stream no longer has
        playback_->select(group, option);
    }

    /// The host let a slot go or took a picture: a waiting picture may go.
    void resumePictures() {
        if (channel_) channel_->resume();  // the slot states say which slots are free
    }

    /// Sends the position when pictures did not carry it, and the access log once a
    /// second.
    void tick() {
        if (!playback_ || !item_ || done_) return;
        Time now = position();
        // While pictures flow they carry the position: a report of its own would wake the
        // host ten times a second more for nothing.
        Time carriedAt;
        bool carried = channel_ && channel_->takeCarried(carriedAt);
        if (carried) lastPosition_ = carriedAt;
        // Unless the pictures lag where playback is: one that stands while the audio
        // plays on, or comes late after a still scene, does not carry the position.
        bool lagging = carried && now.isNumeric() && carriedAt.isNumeric() && now.toSeconds() - carriedAt.toSeconds() > 0.5;
        if (positionDirty_ || ((!carried || lagging) && !(now == lastPosition_))) {
            Writer w(static_cast<std::uint8_t>(Report::Position));
            w.time(now);
            send(w);
            lastPosition_ = now;
            positionDirty_ = false;
        }
        double t = fnd::RunLoop::main()->clock().now();
        if (t >= nextAccessLog_) {
            sendAccessLog();
            nextAccessLog_ = t + 1.0;
        }
    }

    void sendAccessLog() override {
        if (!playback_ || !item_) return;
        // Only once the engine has started the log (when the item became ready).
        if (!item_->accessLog()) return;
        auto event = item_->engineAccessLogEvent();
        playback_->refreshAccessLog(*event);
        // Beside those the pipeline dropped, those that waited for a host too busy to
        // read until a newer one took their place.
        if (channel_) event->numberOfDroppedVideoFrames += channel_->dropped();
        Writer w(static_cast<std::uint8_t>(Report::AccessLog));
        w.accessLogEvent(*event);
        send(w);
    }

    /// Stops the item's pipeline and load; nothing of it reaches the host afterwards.
    /// Answers the byte size of its pictures' slots (0 before the first).
    std::size_t forget() {
        alive_.reset();
        // The pipeline first: its sinks pass no picture more. Then its pictures: those
        // held go back to the engine, which frees their lent buffers rather than filling
        // them again while the pipeline stops on a thread of its own (the host may still
        // show them).
        if (playback_) playback_->close();
        if (asset_ && engine_) engine_->cancelAssetLoad(asset_);
        std::size_t pictureBytes = 0;
        if (auto channel = std::exchange(channel_, nullptr)) pictureBytes = channel->close();
        playback_ = nullptr;
        item_ = nullptr;
        asset_ = nullptr;
        engine_ = nullptr;
        return pictureBytes;
    }

private:
    /// The tests' stand-in engine's misbehaviour of unsealed, shrunk picture memory.
    bool shrinksSlots() const {
        return kEngineFaults && options_.misbehaviour == ServerOptions::Misbehaviour::ShrinkSlots;
    }

    Server& server_;
    std::uint32_t id_;
    const ServerOptions& options_;
    /// A slot made and touched ahead (the process's, for whichever item needs it first).
    std::shared_ptr<SlotMapping>& readySlot_;
    const std::atomic<bool>& done_;
    /// Expires when the item is forgotten: answers still on their way are not sent.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
    rt::Ref<GstEngine> engine_;
    rt::Ref<Asset> asset_;
    bool attachOnLoad_ = false;
    std::string url_;
    GstEngine::Options loadOptions_;
    rt::Ref<RelayItem> item_;
    rt::Ref<Playback> playback_;
    long seeks_ = 0;
    /// The item's pictures on their way to the host.
    std::shared_ptr<PictureChannel> channel_;
    std::vector<rt::Ref<MediaSelectionGroup>> groups_;
    Time lastPosition_ = Time::invalid();
    bool positionDirty_ = false;
    double nextAccessLog_ = 0;
};

/// Serves the host's items on one socket, each its own ServedItem.
class Server {
public:
    Server(int socket, ServerOptions options) : socket_(socket), options_(options) {}

    int run() {
        auto loop = fnd::RunLoop::main();
        source_ = loop->addSource(socket_, POLLIN, [this](short revents) { onReadable(revents); });
        // A pipeline that does not stop keeps its thread and its memory in this process
        // for good: the host gives it no new item, and it ends with its last one.
        gstimpl::setTeardownOverdueHandler([this] { sayUnfit(); });
        // Reports of a turn leave when the turn ends: sent from a posted block instead,
        // every picture would also make the loop look for further posts a while before
        // it sleeps, CPU spent 25 times a second for nothing.
        while (!done_) {
            loop->runOnce(1.0);
            flush();
        }
        if (ticker_) ticker_->invalidate();
        if (idleCheck_) idleCheck_->invalidate();
        if (trimLater_) trimLater_->invalidate();
        gstimpl::setTeardownOverdueHandler(nullptr);
        loop->removeSource(source_);
        items_.clear();
        loop->drain();
        return 0;
    }

    /// Reports made in one turn of the loop go to the host in one datagram when the turn
    /// ends, so the host takes them in one turn too, as an item in the host's own process
    /// would (ready, then its buffering state, then its first picture). One that carries a
    /// descriptor goes alone.
    /// `now`: from any thread (a streaming thread's picture), this report and those
    /// before it leave at once.
    void send(const Writer& w, int fd = -1, bool now = false) {
        std::lock_guard lock(sendMutex_);
        if (done_) return;
        const auto& bytes = w.bytes();
        if (fd >= 0 || batch_.size() + bytes.size() + 4 > kMaxMessage) flushLocked();
        if (fd >= 0) {
            std::vector<std::uint8_t> one;
            appendFramed(one, bytes);
            if (!sendDatagram(socket_, one, fd)) done_ = true;
            return;
        }
        appendFramed(batch_, bytes);
        if (now) flushLocked();
    }

    void flush() {
        std::lock_guard lock(sendMutex_);
        flushLocked();
    }

    /// A datagram of no framed report, as the tests' stand-in engine sends on purpose.
    void sendGarbage() {
        flush();
        sendDatagram(socket_, {0xde, 0xad, 0xbe, 0xef, 0x01}, -1);
    }

    /// The position and the access log travel on their own while an item plays (pictures
    /// carry the position too); a process without one stays asleep. Started as each item
    /// gets its playback: an item closed while the others still load or wait to attach
    /// stops the tick, which their playbacks must start again.
    void tickWhilePlaying() {
        if (!ticker_ && !done_) ticker_ = fnd::RunLoop::main()->schedule(kTick, true, [this](fnd::Timer&) { tick(); });
    }

private:
    void onReadable(short revents) {
        for (int i = 0; i < 64 && !done_; ++i) {
            int fd = -1;
            if (!received_.receive(socket_, fd)) {
                done_ = true;
                return;
            }
            if (fd >= 0) ::close(fd);  // the host never sends descriptors
            if (received_.size() == 0) break;
            handle(received_.data(), received_.size());
        }
        if (revents & (POLLHUP | POLLERR)) done_ = true;
    }

    static GstEngine::Options readOptions(Reader& r) {
        GstEngine::Options o;
        o.nullOutput = r.boolean();
        o.loadTimeout = r.f64();
        o.extraTrustAnchorsPem = r.string();
        return o;
    }

    void handle(const std::uint8_t* bytes, std::size_t size) {
        Reader r(bytes, size);
        auto kind = static_cast<Command>(r.u8());
        if (kind == Command::Ping) return onPing(r);
        std::uint32_t id = r.u32();
        if (!r.ok()) return protocolFault();
        if (kind == Command::Load || kind == Command::Attach) return onLoadOrAttach(kind, id, r);
        auto it = items_.find(id);
        if (it == items_.end()) {
            // A slot released as the host closed the item crosses its Close: nothing to do.
            if (kind == Command::ReleaseSlot || kind == Command::PictureTaken) return;
            return protocolFault();
        }
        ServedItem& item = *it->second;
        switch (kind) {
        case Command::SetRate: {
            double rate = r.f64();
            if (!r.finished()) return protocolFault();
            return item.setRate(rate);
        }
        case Command::Seek: {
            std::uint64_t seek = r.u64();
            Time time = r.time(), before = r.time(), after = r.time();
            if (!r.finished()) return protocolFault();
            return item.seek(seek, time, before, after);
        }
        case Command::SetMuted: {
            bool muted = r.boolean();
            if (!r.finished()) return protocolFault();
            return item.setMuted(muted);
        }
        case Command::SetVolume: {
            double volume = r.f64();
            if (!r.finished()) return protocolFault();
            return item.setVolume(volume);
        }
        case Command::Select: {
            std::string characteristic = r.string();
            bool some = r.boolean();
            std::string stream = r.string();
            if (!r.finished()) return protocolFault();
            return item.select(characteristic, some, stream);
        }
        case Command::ReleaseSlot: {
            std::uint32_t slot = r.u32();
            if (!r.finished() || slot >= kSlotCount) return protocolFault();
            return item.resumePictures();
        }
        case Command::PictureTaken:
            if (!r.finished()) return protocolFault();
            return item.resumePictures();
        case Command::Close:
            if (!r.finished()) return protocolFault();
            return onClose(id);
        default:
            return protocolFault();
        }
    }

    void onLoadOrAttach(Command kind, std::uint32_t id, Reader& r) {
        std::string url = r.string();
        auto options = readOptions(r);
        bool attach = kind == Command::Attach || r.boolean();
        if (!r.finished()) return protocolFault();
        auto it = items_.find(id);
        if (kind == Command::Load ? it != items_.end() : it != items_.end() && it->second->isAttached())
            return protocolFault();
        // A light process sets GStreamer up with its first item, which takes seconds when
        // the registry of plugins has to be made anew: what the turn has said so far (the
        // answer to the check the host made as it handed the item out) leaves first.
        if (options_.light && !std::exchange(setUp_, true)) {
            flush();
            GstEngine::ensureInitialized();
        }
        if (it == items_.end())
            it = items_.emplace(id, std::make_unique<ServedItem>(*this, id, options_, readySlot_, done_)).first;
        if (kind == Command::Load && attach) {
            it->second->load(url, options);
            it->second->attachWhenLoaded(url, options);
        } else if (kind == Command::Load) {
            return it->second->load(url, options);
        } else {
            it->second->attach(url, options);
        }
        if constexpr (kEngineFaults) {
            if (options_.misbehaviour == ServerOptions::Misbehaviour::Garbage) sendGarbage();
        }
    }

    void onClose(std::uint32_t id) {
        if constexpr (kEngineFaults) {
            if (options_.misbehaviour == ServerOptions::Misbehaviour::HangOnClose)
                for (;;) ::pause();
            if (options_.misbehaviour == ServerOptions::Misbehaviour::LeakOnClose && closes_++ > 0) {
                [[maybe_unused]] int leaked = ::eventfd(0, EFD_CLOEXEC);
            }
        }
        auto it = items_.find(id);
        std::size_t pictureBytes = it->second->forget();
        items_.erase(it);
        send(Writer(static_cast<std::uint8_t>(Report::Idle)).addressedTo(id));
        bool playing = false;
        for (const auto& [other, item] : items_) playing = playing || item->hasPlayback();
        if (!playing && ticker_) std::exchange(ticker_, nullptr)->invalidate();
        if (items_.empty()) checkWhatItemsLeft();
        // The next item's first picture would otherwise be copied into memory touched
        // for the first time, a fault per page while the viewer waits for it: one slot
        // of the last item's size is made ready while nothing plays.
        if (pictureBytes > 0)
            fnd::RunLoop::main()->post([this, pictureBytes] {
                if (done_ || readySlot_) return;
                readySlot_ = SlotMapping::create(pictureBytes);
                if (readySlot_) std::memset(readySlot_->data(), 0, readySlot_->size());
            });
    }

    /// Once the closed items' pipelines have stopped (on threads of their own) and a
    /// moment has passed for what they hand to other threads to close, and while no new
    /// item has come, counts what the process keeps open (IdleDescriptors); left idle a
    /// while longer, the process gives back what its items freed.
    void checkWhatItemsLeft() {
        if (idleCheck_) idleCheck_->invalidate();
        if (trimLater_) trimLater_->invalidate();
        quietChecks_ = 0;
        idleCheck_ = fnd::RunLoop::main()->schedule(kIdleCheckInterval, true, [this](fnd::Timer& timer) {
            if (!items_.empty()) return timer.invalidate();
            if (gstimpl::teardownsInProgress() > 0) {
                // One past its bound is reported as such (setTeardownOverdueHandler).
                quietChecks_ = 0;
                return;
            }
            if (++quietChecks_ * kIdleCheckInterval < kIdleQuiet) return;
            timer.invalidate();
            if (!saidUnfit_ && idleDescriptors_.grew()) sayUnfit();
            // Trimming walks each arena under its lock, and the pages it gives back are
            // faulted in again by the next items (thousands of faults an item): only a
            // process no item has come to for a while does it, never one that plays.
            trimLater_ = fnd::RunLoop::main()->after(kIdleTrimDelay - kIdleQuiet, [this] {
                if (items_.empty()) returnFreedMemory();
            });
        });
    }

    void sayUnfit() {
        if (!std::exchange(saidUnfit_, true)) send(Writer(static_cast<std::uint8_t>(Report::Unfit)));
    }

    void onPing(Reader& r) {
        if (!r.finished()) return protocolFault();
        send(Writer(static_cast<std::uint8_t>(Report::Pong)));
    }

    void protocolFault() {
        std::fprintf(stderr, "zid_media_engine: the host sent a message this engine does not understand; stopping\n");
        done_ = true;
    }

    static constexpr double kTick = 0.1;
    static constexpr double kIdleCheckInterval = 0.05;
    /// Seconds without a teardown before the descriptors are counted.
    static constexpr double kIdleQuiet = 0.5;

    /// Ten times a second even while pictures carry every position: the tick is what
    /// notices that they stopped (a still scene, a video shorter than its audio) soon
    /// enough for the host's position to follow playback. It wakes only this process; the
    /// host hears of it when there is something to tell.
    void tick() {
        for (const auto& [id, item] : items_)
            if (item->hasPlayback()) item->tick();
    }

    void flushLocked() {
        if (batch_.empty() || done_) return;
        if (!sendDatagram(socket_, batch_, -1)) done_ = true;  // the host is gone
        batch_.clear();
    }

    int socket_;
    ServerOptions options_;
    /// Also set by a streaming thread whose report finds the host gone.
    std::atomic<bool> done_ = false;
    bool saidUnfit_ = false;
    /// Whether a light process has set GStreamer up (ServerOptions::light).
    bool setUp_ = false;
    /// Items given back so far (the stand-in engine's LeakOnClose).
    int closes_ = 0;
    IdleDescriptors idleDescriptors_;
    rt::Ref<fnd::Timer> idleCheck_;
    rt::Ref<fnd::Timer> trimLater_;
    int quietChecks_ = 0;
    fnd::RunLoop::SourceId source_ = 0;
    rt::Ref<fnd::Timer> ticker_;
    std::map<std::uint32_t, std::unique_ptr<ServedItem>> items_;
    /// A slot made and touched ahead, not yet shown to the host.
    std::shared_ptr<SlotMapping> readySlot_;
    /// The reports of the loop's turn; streaming threads send their pictures' among them.
    std::mutex sendMutex_;
    std::vector<std::uint8_t> batch_;
    ReceiveBuffer received_;
};

void ServedItem::send(const Writer& w, int fd, bool now) { server_.send(w.addressedTo(id_), fd, now); }

void ServedItem::tickWhilePlaying() { server_.tickWhilePlaying(); }

void ServedItem::setRate(double rate) {
    // The host's first rate tends to come just as its item's first picture and readiness
    // are said, in the same turn: they would otherwise wait for the pipeline to start
    // playing before they leave. Only when they go is changed, never their order.
    server_.flush();
    if constexpr (kEngineFaults) {
        if (options_.misbehaviour == ServerOptions::Misbehaviour::SlowRate) ::usleep(3000000);
    }
    if (playback_) playback_->setRate(static_cast<float>(rate));
    sendAccessLog();
}

/// Loads what nearly every stream needs before the first command comes, so a process
/// started ahead of its item (ProcessEngine keeps one spare) starts playing as fast as a
/// pipeline in the host's own process would. A missing element is left to the pipeline,
/// which reports it.
void warmUp() {
    GstEngine::ensureInitialized();
    static const char* const kElements[] = {
        "playbin3",   "uridecodebin3", "urisourcebin", "decodebin3",   "parsebin",  "hlsdemux2", "souphttpsrc",
        "typefind",   "multiqueue",    "queue2",       "tsdemux",      "qtdemux",   "h264parse", "avdec_h264",
        "aacparse",   "avdec_aac",     "videoconvert", "videoscale",   "audioconvert", "audioresample",
        "volume",     "appsink",       "fakesink",     "autoaudiosink", "subparse", "webvttenc"};
    for (const char* name : kElements) {
        GstElementFactory* factory = gst_element_factory_find(name);
        if (!factory) continue;
        if (GstPluginFeature* loaded = gst_plugin_feature_load(GST_PLUGIN_FEATURE(factory))) gst_object_unref(loaded);
        gst_object_unref(factory);
    }
}

}  // namespace

int serveEngine(int socket, ServerOptions options) {
    if (options.warmUp) warmUp();
    else if (!options.light) GstEngine::ensureInitialized();
    Server server(socket, options);
    return server.run();
}

}  // namespace media::process
