#include "EngineServer.h"

#include <poll.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include <gst/gst.h>

#include <fnd/RunLoop.h>
#include <media/Asset.h>
#include <media/GstEngine.h>
#include <media/PlayerItem.h>

#include "FrameSlots.h"
#include "PictureChannel.h"
#include "RelayItem.h"
#include "Wire.h"

namespace media::process {

namespace {

class Server : public ReportSink {
public:
    Server(int socket, ServerOptions options) : socket_(socket), options_(options) {}

    int run() {
        auto loop = fnd::RunLoop::main();
        source_ = loop->addSource(socket_, POLLIN, [this](short revents) { onReadable(revents); });
        // Reports of a turn leave when the turn ends: sent from a posted block instead,
        // every picture would also make the loop look for further posts a while before
        // it sleeps, CPU spent 25 times a second for nothing.
        while (!done_) {
            loop->runOnce(1.0);
            flush();
        }
        if (ticker_) ticker_->invalidate();
        loop->removeSource(source_);
        if (channel_) channel_->close();
        if (playback_) playback_->close();
        if (asset_ && engine_) engine_->cancelAssetLoad(asset_);
        loop->drain();
        return 0;
    }

    /// Reports made in one turn of the loop go to the host in one datagram when the turn
    /// ends, so the host takes them in one turn too, as an item in the host's own process
    /// would (ready, then its buffering state, then its first picture). One that carries a
    /// descriptor goes alone.
    void send(const Writer& w, int fd = -1) override { send(w, fd, false); }

    /// `now`: from any thread, this report and those before it leave at once.
    void send(const Writer& w, int fd, bool now) {
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

    void flushLocked() {
        if (batch_.empty() || done_) return;
        if (!sendDatagram(socket_, batch_, -1)) done_ = true;  // the host is gone
        batch_.clear();
    }

    void offerFrame(rt::Ref<VideoFrame> frame) override {
        if (channel_) channel_->offer(std::move(frame), position(), false);
    }

    std::shared_ptr<PlayerItem::FrameMemory> frameMemory() override {
        if (options_.misbehaviour == ServerOptions::Misbehaviour::ShrinkSlots) return nullptr;
        return channel_;
    }

    PlayerItem::FrameOutlet frameOutlet() override {
        // The streaming thread's pictures go straight to the host. The stand-in engine
        // that shrinks its slots keeps to the main loop, where it times the shrinking.
        if (!channel_ || options_.misbehaviour == ServerOptions::Misbehaviour::ShrinkSlots) return {};
        return [channel = channel_](const rt::Ref<VideoFrame>& frame) {
            return channel->offer(frame, Time::invalid(), true);
        };
    }

    void sendPositionSoon() override { positionDirty_ = true; }
    void setGroups(std::vector<rt::Ref<MediaSelectionGroup>> groups) override { groups_ = std::move(groups); }
    Time position() const override { return playback_ ? playback_->currentTime() : Time::zero(); }

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
        switch (kind) {
        case Command::Load: return onLoad(r);
        case Command::Attach: return onAttach(r);
        case Command::SetRate: return onSetRate(r);
        case Command::Seek: return onSeek(r);
        case Command::SetMuted: return onSetMuted(r);
        case Command::SetVolume: return onSetVolume(r);
        case Command::Select: return onSelect(r);
        case Command::ReleaseSlot: return onReleaseSlot(r);
        case Command::Close: return onClose(r);
        case Command::Ping: return onPing(r);
        }
        protocolFault();
    }

    void onLoad(Reader& r) {
        std::string url = r.string();
        auto options = readOptions(r);
        if (!r.finished() || engine_) return protocolFault();
        engine_ = rt::make<GstEngine>(options);
        asset_ = rt::make<Asset>(url, engine_);
        engine_->loadAsset(asset_, [this, generation = generation_](rt::Ref<rt::Error> error, AssetInfo info) {
            // Any thread: answered on the main loop, in order with everything else;
            // not at all once the host has moved on to another item.
            fnd::RunLoop::main()->post([this, error, info, generation] {
                if (generation != generation_) return;
                groups_ = info.groups;
                Writer w(static_cast<std::uint8_t>(Report::Loaded));
                w.boolean(error != nullptr);
                if (error) w.error(error);
                else w.info(info);
                send(w);
            });
        });
    }

    void onAttach(Reader& r) {
        std::string url = r.string();
        auto options = readOptions(r);
        if (!r.finished() || item_) return protocolFault();
        if (!engine_) {
            engine_ = rt::make<GstEngine>(options);
            asset_ = rt::make<Asset>(url, engine_);
        }
        bool shrink = options_.misbehaviour == ServerOptions::Misbehaviour::ShrinkSlots;
        channel_ = std::make_shared<PictureChannel>(
            [this](const Writer& w, int fd, bool now) { send(w, fd, now); }, shrink);
        if (readySlot_) channel_->giveReadySlot(std::exchange(readySlot_, nullptr));
        item_ = rt::make<RelayItem>(asset_, this);
        playback_ = engine_->makePlayback(item_);
        // The position and the access log travel on their own while the item plays
        // (pictures carry the position too); a process without an item stays asleep.
        nextAccessLog_ = fnd::RunLoop::main()->clock().now() + 1.0;
        if (!ticker_) startTicker(kTick);
        if (options_.misbehaviour == ServerOptions::Misbehaviour::Garbage) {
            flush();
            sendDatagram(socket_, {0xde, 0xad, 0xbe, 0xef, 0x01}, -1);
        }
    }

    void onSetRate(Reader& r) {
        double rate = r.f64();
        if (!r.finished()) return protocolFault();
        if (playback_) playback_->setRate(static_cast<float>(rate));
        sendAccessLog();
    }

    void onSeek(Reader& r) {
        std::uint64_t id = r.u64();
        Time time = r.time(), before = r.time(), after = r.time();
        if (!r.finished()) return protocolFault();
        ++seeks_;
        if (options_.misbehaviour == ServerOptions::Misbehaviour::SilentSeeks) return;
        if (options_.abortOnSeek > 0 && seeks_ == options_.abortOnSeek) {
            std::fprintf(stderr, "zid_media_engine: aborting on seek %ld, as the fault injection asks\n", seeks_);
            std::fflush(stderr);
            std::abort();
        }
        auto finish = [this, id, generation = generation_](bool finished) {
            if (generation != generation_) return;  // an item the host has forgotten
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

    void onSetMuted(Reader& r) {
        bool muted = r.boolean();
        if (!r.finished()) return protocolFault();
        if (playback_) playback_->setMuted(muted);
    }

    void onSetVolume(Reader& r) {
        double volume = r.f64();
        if (!r.finished()) return protocolFault();
        if (playback_) playback_->setVolume(static_cast<float>(volume));
    }

    void onSelect(Reader& r) {
        std::string characteristic = r.string();
        bool some = r.boolean();
        std::string id = r.string();
        if (!r.finished()) return protocolFault();
        if (!playback_) return;
        rt::Ref<MediaSelectionGroup> group;
        for (const auto& g : groups_)
            if (g->characteristic() == characteristic) group = g;
        if (!group) return;
        auto option = some ? group->optionWithStreamID(id) : nullptr;
        if (some && !option) return;  // an option this stream no longer has
        playback_->select(group, option);
    }

    void onReleaseSlot(Reader& r) {
        std::uint32_t slot = r.u32();
        if (!r.finished() || slot >= kSlotCount) return protocolFault();
        if (channel_) channel_->slotReleased();  // the slot states say which slots are free
    }

    void onClose(Reader& r) {
        bool keep = r.boolean();
        if (!r.finished()) return protocolFault();
        if (!keep) {
            done_ = true;
            return;
        }
        if (options_.misbehaviour == ServerOptions::Misbehaviour::HangOnClose)
            for (;;) ::pause();
        std::size_t pictureBytes = channel_ ? channel_->close() : 0;
        forgetItem();
        send(Writer(static_cast<std::uint8_t>(Report::Idle)));
        // The next item's first picture would otherwise be copied into memory touched
        // for the first time, a fault per page while the viewer waits for it: one slot
        // of the last item's size is made ready while nothing plays.
        if (pictureBytes > 0)
            fnd::RunLoop::main()->post([this, pictureBytes, generation = generation_] {
                if (generation != generation_ || done_ || readySlot_) return;
                auto ready = SlotMapping::create(pictureBytes);
                if (!ready) return;
                std::memset(ready->data(), 0, ready->size());
                if (channel_) channel_->giveReadySlot(std::move(ready));
                else readySlot_ = std::move(ready);
            });
    }

    void onPing(Reader& r) {
        if (!r.finished()) return protocolFault();
        send(Writer(static_cast<std::uint8_t>(Report::Pong)));
    }

    /// Back to the state of a fresh process, GStreamer and its plugins still loaded. The
    /// picture slots are new: the host may still show pictures in the old ones.
    void forgetItem() {
        ++generation_;
        if (auto ticker = std::exchange(ticker_, nullptr)) ticker->invalidate();
        if (playback_) playback_->close();
        if (asset_ && engine_) engine_->cancelAssetLoad(asset_);
        playback_ = nullptr;
        item_ = nullptr;
        asset_ = nullptr;
        engine_ = nullptr;
        if (auto channel = std::exchange(channel_, nullptr)) channel->close();
        groups_.clear();
        seeks_ = 0;
        lastPosition_ = Time::invalid();
        positionDirty_ = false;
    }

    void protocolFault() {
        std::fprintf(stderr, "zid_media_engine: the host sent a message this engine does not understand; stopping\n");
        done_ = true;
    }

    void tick() {
        if (!playback_ || !item_ || done_) return;
        Time now = position();
        // While pictures flow they carry the position: a report of its own would wake the
        // host ten times a second more for nothing.
        Time carriedAt;
        bool carried = channel_ && channel_->takeCarried(carriedAt);
        if (carried) lastPosition_ = carriedAt;
        if (positionDirty_ || (!carried && !(now == lastPosition_))) {
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
        // While pictures carry the position the tick has only the access log to send:
        // once a second then, and ten times a second again once they stop.
        double interval = carried ? 1.0 : kTick;
        if (interval != tickInterval_) startTicker(interval);
    }

    static constexpr double kTick = 0.1;

    void startTicker(double interval) {
        if (ticker_) ticker_->invalidate();
        tickInterval_ = interval;
        ticker_ = fnd::RunLoop::main()->schedule(interval, true, [this](fnd::Timer&) { tick(); });
    }

public:
    void sendAccessLog() override {
        if (!playback_ || !item_) return;
        // Only once the engine has started the log (when the item became ready).
        if (!item_->accessLog()) return;
        auto event = item_->engineAccessLogEvent();
        playback_->refreshAccessLog(*event);
        Writer w(static_cast<std::uint8_t>(Report::AccessLog));
        w.accessLogEvent(*event);
        send(w);
    }

private:
    int socket_;
    ServerOptions options_;
    /// Also set by a streaming thread whose report finds the host gone.
    std::atomic<bool> done_ = false;
    fnd::RunLoop::SourceId source_ = 0;
    rt::Ref<fnd::Timer> ticker_;
    rt::Ref<GstEngine> engine_;
    rt::Ref<Asset> asset_;
    rt::Ref<RelayItem> item_;
    rt::Ref<Playback> playback_;
    long seeks_ = 0;
    /// Counts the items served; answers due to an earlier item are not sent.
    unsigned generation_ = 0;
    /// The item's pictures on their way to the host.
    std::shared_ptr<PictureChannel> channel_;
    /// A slot made and touched ahead while no item was there to take it.
    std::shared_ptr<SlotMapping> readySlot_;
    /// The reports of the loop's turn; the streaming thread sends its pictures' among them.
    std::mutex sendMutex_;
    std::vector<std::uint8_t> batch_;
    ReceiveBuffer received_;
    std::vector<rt::Ref<MediaSelectionGroup>> groups_;
    Time lastPosition_ = Time::invalid();
    bool positionDirty_ = false;
    double tickInterval_ = kTick;
    double nextAccessLog_ = 0;
};

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
    else GstEngine::ensureInitialized();
    Server server(socket, options);
    return server.run();
}

}  // namespace media::process
