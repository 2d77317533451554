#include "ProcessPlayback.h"

#include <unistd.h>

#include <cstdio>

#include <fnd/Queue.h>
#include <media/MediaErrors.h>
#include <rt/Format.h>

namespace media::process {

namespace {
/// Seconds a process whose seek answer is late may take to answer a check.
constexpr double kSeekPingLimit = 2;

/// The bytes of the largest picture the wire allows.
constexpr std::uint64_t kMaxPictureBytes = std::uint64_t(kMaxDimension) * kMaxDimension * 4;

/// Whether a picture of these dimensions is within the wire's limits and `capacity` bytes.
bool fitsPicture(int width, int height, int stride, std::uint64_t capacity) {
    return width > 0 && height > 0 && width <= kMaxDimension && height <= kMaxDimension && stride >= width * 4 &&
           stride <= kMaxDimension * 4 && std::uint64_t(stride) * std::uint64_t(height) <= capacity;
}
}  // namespace

void ProcessPlayback::start() {
    if (process_) process_->setItemHandlers(id_, reportHandler(), endHandler());
}

EngineProcess::ReportHandler ProcessPlayback::reportHandler() {
    return [weak = weakSelf()](Report kind, Reader& body, int fd) {
        if (auto self = weak.lock()) self->onReport(kind, body, fd);
        else if (fd >= 0) ::close(fd);
    };
}

EngineProcess::EndHandler ProcessPlayback::endHandler() {
    return [weak = weakSelf()](rt::Ref<rt::Error> cause) {
        if (auto self = weak.lock()) self->onEnded(std::move(cause));
    };
}


void ProcessPlayback::seek(Time time, Time before, Time after, std::function<void(bool)> done) {
    std::uint64_t id = ++lastSeek_;
    seeks_[id] = std::move(done);  // kept even without a completion: the answer is awaited within a bound
    if (!process_ || !send(Writer(u8(Command::Seek)).u64(id).time(time).time(before).time(after))) {
        fnd::Queue::main()->async([weak = weakSelf(), id] {
            if (auto self = weak.lock()) self->finishSeek(id, false);
        });
        return;
    }
    // The engine answers every seek within its own bounds, well inside the limit. One
    // that takes longer is answered NO for this item alone, whatever the process does
    // for its other items: a process is hung when it no longer answers at all, not when
    // one item's network is slow, so it is asked, and stopped only if it stays silent.
    // Like the process's own limits, it is judged on the host's listening time, after
    // reading what waits in the socket.
    double limit = seekAnswerLimit_;
    auto weak = weakSelf();
    process_->awaitAnswer(
        limit,
        [weak, id] {
            auto self = weak.lock();
            return !self || !self->seeks_.count(id);
        },
        [weak, id, limit] {
            auto self = weak.lock();
            if (!self) return;
            std::fprintf(stderr,
                         "zid media: the engine process did not answer a seek within %g s; the seek is given up\n",
                         limit);
            self->finishSeek(id, false);
            if (self->process_)
                self->process_->ping(
                    kSeekPingLimit,
                    rt::format("did not answer a seek within %g s, nor a check %g s after", limit, kSeekPingLimit));
        });
}


void ProcessPlayback::select(const rt::Ref<MediaSelectionGroup>& group, const rt::Ref<MediaSelectionOption>& option) {
    if (!group) return;
    send(Writer(u8(Command::Select)).string(group->characteristic()).boolean(option != nullptr)
             .string(option ? option->streamID() : std::string()));
}


void ProcessPlayback::refreshAccessLog(AccessLogEvent& event) {
    if (!haveLog_) return;
    // Stalls are counted by the item itself.
    long long stalls = event.numberOfStalls;
    std::string uri = event.URI;
    copyLog(*log_, event);
    event.numberOfStalls = stalls;
    if (event.URI.empty()) event.URI = uri;
}


void ProcessPlayback::close() {
    // A process that is still sound plays on (its other items, the next asset: GStreamer
    // and its plugins already loaded); one that ended or broke the rules does not come back.
    // Of a process that ended, only this item goes: the process is still being waited
    // for, and its other items still hear how it ended.
    if (auto process = std::exchange(process_, nullptr)) giveBack(process, id_);
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


void ProcessPlayback::copyLog(const AccessLogEvent& from, AccessLogEvent& to) {
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


void ProcessPlayback::pictureCarried(Time position) {
    // A picture that comes late (the last of a still scene, held by the decoder until the
    // scene ends) would take the position back to its time, behind where the engine has
    // said playback is. Outside a seek the position only goes on.
    if (seeks_.empty() && position.isNumeric() && position_.isNumeric() && position.toSeconds() < position_.toSeconds())
        return;
    position_ = position;
}

void ProcessPlayback::finishSeek(std::uint64_t id, bool finished) {
    auto it = seeks_.find(id);
    if (it == seeks_.end()) return;
    auto done = std::move(it->second);
    seeks_.erase(it);
    if (done) done(finished);
}


void ProcessPlayback::onReport(Report kind, Reader& body, int fd) {
    auto item = item_.lock();
    if (kind != Report::SlotBuffer && kind != Report::SlotStates && kind != Report::OwnFrame && fd >= 0) {
        ::close(fd);
        return refuse("sent a descriptor with a message that carries none");
    }
    bool understood = false;
    switch (kind) {
    case Report::SlotBuffer:
    case Report::SlotStates:
    case Report::Frame:
    case Report::OwnFrame:
        understood = takePictureReport(kind, body, fd, item);
        break;
    case Report::AccessLog:
    case Report::Position:
    case Report::SeekDone:
        understood = takePlaybackReport(kind, body, item);
        break;
    case Report::Loaded:
    case Report::Idle:
    case Report::Pong:
    case Report::Unfit:
        break;  // only ever the answers to a load, a recycling and a check, and the process's own word
    case Report::Ready:
    case Report::Failed:
    case Report::Buffering:
    case Report::Stalled:
    case Report::LoadedRanges:
    case Report::PresentationSize:
    case Report::Duration:
    case Report::Groups:
    case Report::Selected:
    case Report::PlayedToEnd:
    case Report::Cue:
    case Report::ErrorLog:
        understood = relayToItem(kind, body, item);
        break;
    }
    if (!understood) refuse("sent a report this host does not understand or that breaks its limits");
}

bool ProcessPlayback::relayToItem(Report kind, Reader& body, const rt::Ref<PlayerItem>& item) {
    switch (kind) {
    case Report::Ready: {
        AssetInfo info = body.info();
        Size size = body.size();
        if (!body.finished()) return false;
        if (item) item->engineDidBecomeReady(info, size);
        return true;
    }
    case Report::Failed: {
        auto error = body.error();
        if (!body.finished() || !error) return false;
        if (item) item->engineDidFail(error);
        return true;
    }
    case Report::Buffering: {
        bool keepUp = body.boolean(), empty = body.boolean(), full = body.boolean();
        if (!body.finished()) return false;
        if (item) item->engineBufferingChanged(keepUp, empty, full);
        return true;
    }
    case Report::Stalled:
        if (!body.finished()) return false;
        if (item) item->engineDidStall();
        return true;
    case Report::LoadedRanges: {
        auto ranges = body.ranges();
        if (!body.finished()) return false;
        if (item) item->engineLoadedTimeRanges(std::move(ranges));
        return true;
    }
    case Report::PresentationSize: {
        Size size = body.size();
        if (!body.finished()) return false;
        if (item) item->enginePresentationSize(size);
        return true;
    }
    case Report::Duration: {
        Time duration = body.time();
        if (!body.finished()) return false;
        if (item) item->engineDuration(duration);
        return true;
    }
    case Report::Groups: {
        auto groups = body.groups();
        if (!body.finished()) return false;
        if (item) item->engineSelectionGroups(std::move(groups));
        return true;
    }
    case Report::Selected: {
        std::string characteristic = body.string();
        rt::Ref<MediaSelectionOption> option = body.boolean() ? body.option() : nullptr;
        if (!body.finished()) return false;
        if (item) item->engineSelected(characteristic, option);
        return true;
    }
    case Report::PlayedToEnd:
        if (!body.finished()) return false;
        if (item) item->engineDidPlayToEnd();
        return true;
    case Report::Cue: {
        LegibleCue cue;
        cue.start = body.time();
        cue.duration = body.time();
        cue.text = body.string();
        if (!body.finished()) return false;
        if (item) item->engineLegibleCue(cue);
        return true;
    }
    case Report::ErrorLog: {
        auto event = body.errorLogEvent();
        if (!body.finished() || !event) return false;
        if (item) item->engineErrorLogEvent(event);
        return true;
    }
    default:
        return false;
    }
}

bool ProcessPlayback::takePictureReport(Report kind, Reader& body, int fd, const rt::Ref<PlayerItem>& item) {
    switch (kind) {
    case Report::SlotBuffer: {
        std::uint32_t slot = body.u32();
        std::uint64_t size = body.u64();
        if (!body.finished() || slot >= kSlotCount || fd < 0 ||
            size > kMaxPictureBytes) {
            if (fd >= 0) ::close(fd);
            return false;
        }
        slots_[slot] = SlotMapping::map(fd, static_cast<std::size_t>(size), false);
        if (!slots_[slot]) refuse("sent a picture buffer that cannot be mapped or whose size is not sealed");
        return true;
    }
    case Report::SlotStates: {
        if (!body.finished() || fd < 0 || states_) {
            if (fd >= 0) ::close(fd);
            return false;
        }
        states_ = SlotMapping::mapShared(fd, sizeof(SlotStates));
        if (!states_) refuse("sent slot states that cannot be mapped or whose size is not sealed");
        return true;
    }
    case Report::Frame: {
        std::uint32_t slot = body.u32();
        int width = body.i32(), height = body.i32(), stride = body.i32();
        Time pts = body.time();
        Time position = body.time();
        if (!body.finished() || slot >= kSlotCount || !slots_[slot] || !states_ ||
            !fitsPicture(width, height, stride, slots_[slot]->size()))
            return false;
        pictureCarried(position);
        tookPicture();
        deliverFrame(item, slot, width, height, stride, pts);
        return true;
    }
    case Report::OwnFrame: {
        int width = body.i32(), height = body.i32(), stride = body.i32();
        Time pts = body.time();
        Time position = body.time();
        if (!body.finished() || fd < 0 || !fitsPicture(width, height, stride, kMaxPictureBytes)) {
            if (fd >= 0) ::close(fd);
            return false;
        }
        // Its memory is its own: unmapped (and freed) as the last frame over it goes; its
        // descriptor is closed at once.
        auto memory = SlotMapping::map(fd, static_cast<std::size_t>(stride) * static_cast<std::size_t>(height), false);
        if (!memory) {
            refuse("sent a picture whose memory cannot be mapped or whose size is not sealed");
            return true;
        }
        pictureCarried(position);
        tookPicture();
        if (item) item->engineVideoFrame(rt::make<VideoFrame>(width, height, stride, memory->data(), memory, pts));
        return true;
    }
    default:
        return false;
    }
}

bool ProcessPlayback::takePlaybackReport(Report kind, Reader& body, const rt::Ref<PlayerItem>& item) {
    switch (kind) {
    case Report::AccessLog: {
        auto event = rt::make<AccessLogEvent>();
        body.accessLogEvent(*event);
        if (!body.finished()) return false;
        copyLog(*event, *log_);
        haveLog_ = true;
        if (item)
            if (auto running = item->engineAccessLogEvent()) refreshAccessLog(*running);
        return true;
    }
    case Report::Position: {
        Time position = body.time();
        if (!body.finished()) return false;
        position_ = position;
        return true;
    }
    case Report::SeekDone: {
        std::uint64_t id = body.u64();
        bool finished = body.boolean();
        Time position = body.time();
        if (!body.finished() || id == 0 || id > lastSeek_) return false;
        if (finished) position_ = position;
        finishSeek(id, finished);
        return true;
    }
    default:
        return false;
    }
}

void ProcessPlayback::deliverFrame(const rt::Ref<PlayerItem>& item, std::uint32_t slot, int width, int height,
                                   int stride, Time pts) {
    // The slot goes back to the engine process once the last frame over it goes.
    // Through the playback's own token: once the item is gone and the process serves
    // another, a late release must not free a slot of the new item's.
    struct Lease {
        std::shared_ptr<SlotMapping> mapping;
        std::shared_ptr<SlotMapping> states;
        std::weak_ptr<std::shared_ptr<EngineProcess>> owner;
        std::uint32_t item = 0;
        std::uint32_t slot = 0;
        ~Lease() {
            // Marked free in the item's own slot states (a later item's are others);
            // a message only when the process waits for a slot.
            SlotStates* shared = SlotStates::in(*states);
            shared->busy[slot].store(0, std::memory_order_seq_cst);
            if (shared->engineWaits.exchange(0, std::memory_order_seq_cst) == 0) return;
            if (auto o = owner.lock())
                if (*o) (*o)->send(Writer(u8(Command::ReleaseSlot)).u32(slot).addressedTo(item));
        }
    };
    // Made in place: a lease copied from a temporary would free the slot as the
    // temporary goes, while the host still shows its picture.
    auto lease = std::make_shared<Lease>();
    lease->mapping = slots_[slot];
    lease->states = states_;
    lease->owner = releases_;
    lease->item = id_;
    lease->slot = slot;
    auto frame = rt::make<VideoFrame>(width, height, stride, lease->mapping->data(), lease, pts);
    if (item) item->engineVideoFrame(std::move(frame));
}

void ProcessPlayback::tookPicture() {
    // The process sends each picture after the slot states that count them.
    if (!states_) return;
    SlotStates* shared = SlotStates::in(*states_);
    shared->taken.fetch_add(1, std::memory_order_seq_cst);
    if (shared->engineWaits.exchange(0, std::memory_order_seq_cst) != 0) send(Writer(u8(Command::PictureTaken)));
}

void ProcessPlayback::refuse(const std::string& what) {
    if (process_) process_->refuse(what);
}


void ProcessPlayback::onEnded(rt::Ref<rt::Error> cause) {
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

}  // namespace media::process
