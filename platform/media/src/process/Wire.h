#pragma once
// The messages between a host and its media-engine process: one datagram per message on
// a local sequenced-packet socket (so a message never arrives in pieces), a one-byte kind
// then its fields. Pictures do not travel in messages: they sit in shared-memory slots
// whose descriptors are passed once each, and a message names the slot (while the host
// holds every slot, a picture's own memory file goes with its message instead, never
// more than one on its way).
//
// One engine process plays several items: every command and report but Ping and Pong
// names its item (a u32 the host chose) right after its kind.
//
// Everything read from the other side is bounded and checked: a short message, a string
// or list longer than its limit or an unknown kind makes the reader fail, and the host
// then treats the engine process as broken.

#include <cstdint>
#include <string>
#include <vector>

#include <media/Engine.h>
#include <media/AccessLog.h>
#include <media/Time.h>
#include <rt/Error.h>

namespace media::process {

/// Host to engine process; each but Ping then names its item.
enum class Command : std::uint8_t {
    Load = 1,        // url, options, bool attach: prerolls the asset and answers Loaded;
                     // with attach, the item's playback is made at once too
    Attach,          // url, options: makes the item's playback (of the loaded pipeline, or
                     // a new one)
    SetRate,         // f64
    Seek,            // u64 id, time, time before, time after: answered by SeekDone
    SetMuted,        // bool
    SetVolume,       // f64
    Select,          // characteristic, bool some, stream id
    ReleaseSlot,     // u32 slot: the host no longer reads it (sent only when the slot
                     // states say the engine process waits for a free slot)
    Close,           // forgets everything of the item and answers Idle (the process ends
                     // when the host closes its socket)
    Ping,            // answered by Pong: asked of a waiting process before it is given an item
    PictureTaken,    // the host took a picture off its socket (sent only when the slot
                     // states say the engine process waits for it to catch up)
};

/// Engine process to host; each but Pong and Unfit then names its item.
enum class Report : std::uint8_t {
    Loaded = 1,       // bool failed, error or asset info
    Ready,            // asset info, size
    Failed,           // error
    Buffering,        // 3 bools
    Stalled,
    LoadedRanges,     // ranges
    PresentationSize, // size
    Duration,         // time
    Groups,           // groups
    Selected,         // characteristic, bool some, option
    PlayedToEnd,
    SlotBuffer,       // u32 slot, u64 size; carries the slot's descriptor
    Frame,            // u32 slot, i32 width, height, stride, time pts, time position
    Cue,              // time start, time duration, text
    AccessLog,        // the running event's fields
    ErrorLog,         // an error-log event
    Position,         // time
    SeekDone,         // u64 id, bool finished, time position
    Idle,             // the answer to Close: nothing of the item is left
    SlotStates,       // carries the descriptor of the item's slot-state block (FrameSlots.h)
    Pong,             // the answer to Ping
    OwnFrame,         // i32 width, height, stride, time pts, time position; carries the
                      // descriptor of a memory file holding this picture alone (sent while
                      // the host holds every slot, and has taken every picture sent)
    Unfit,            // names no item: what a closed item left outlives its bound (a teardown
                      // stuck in the media framework), or stays open once no item is left
                      // (IdleDescriptors); the process takes no new item
};

/// Limits on what a message may hold.
inline constexpr std::size_t kMaxMessage = 192 * 1024;
inline constexpr std::size_t kMaxString = 64 * 1024;
inline constexpr std::size_t kMaxList = 512;
inline constexpr int kMaxErrorDepth = 4;
inline constexpr int kMaxDimension = 16384;
/// Picture slots of an item: one the host shows, one on its way to it, one the engine
/// converts the next picture into, and one for pictures copied in. A host that holds
/// them all gets each further picture in memory of its own (OwnFrame), one at a time.
inline constexpr std::uint32_t kSlotCount = 4;

class Writer {
public:
    explicit Writer(std::uint8_t kind) { bytes_.push_back(kind); }
    Writer& u8(std::uint8_t v);
    Writer& boolean(bool v) { return u8(v ? 1 : 0); }
    Writer& u32(std::uint32_t v);
    Writer& i32(std::int32_t v) { return u32(static_cast<std::uint32_t>(v)); }
    Writer& u64(std::uint64_t v);
    Writer& i64(std::int64_t v) { return u64(static_cast<std::uint64_t>(v)); }
    Writer& f64(double v);
    Writer& string(const std::string& v);
    Writer& time(const Time& t);
    Writer& size(const Size& s);
    Writer& error(const rt::Ref<rt::Error>& e, int depth = 0);
    Writer& option(const rt::Ref<MediaSelectionOption>& o);
    Writer& groups(const std::vector<rt::Ref<MediaSelectionGroup>>& groups);
    Writer& info(const AssetInfo& info);
    Writer& ranges(const std::vector<TimeRange>& ranges);
    Writer& accessLogEvent(const AccessLogEvent& e);
    Writer& errorLogEvent(const ErrorLogEvent& e);
    const std::vector<std::uint8_t>& bytes() const { return bytes_; }
    /// The same message naming `item` after its kind.
    Writer addressedTo(std::uint32_t item) const;

private:
    std::vector<std::uint8_t> bytes_;
};

class Reader {
public:
    Reader(const std::uint8_t* data, std::size_t size) : p_(data), end_(data + size) {}
    /// Whether every read so far stayed inside the message and its limits.
    bool ok() const { return ok_; }
    /// Whether the message was read whole and nothing was left over.
    bool finished() const { return ok_ && p_ == end_; }
    std::uint8_t u8();
    bool boolean() { return u8() != 0; }
    std::uint32_t u32();
    std::int32_t i32() { return static_cast<std::int32_t>(u32()); }
    std::uint64_t u64();
    std::int64_t i64() { return static_cast<std::int64_t>(u64()); }
    double f64();
    std::string string();
    Time time();
    Size size();
    rt::Ref<rt::Error> error(int depth = 0);
    rt::Ref<MediaSelectionOption> option();
    std::vector<rt::Ref<MediaSelectionGroup>> groups();
    AssetInfo info();
    std::vector<TimeRange> ranges();
    void accessLogEvent(AccessLogEvent& e);
    rt::Ref<ErrorLogEvent> errorLogEvent();
    /// Fails the reader (a value out of its range).
    void fail() { ok_ = false; }
    /// The bytes not read yet.
    std::vector<std::uint8_t> rest() const { return ok_ ? std::vector<std::uint8_t>(p_, end_) : std::vector<std::uint8_t>(); }

private:
    bool take(void* out, std::size_t n);
    std::uint32_t count();
    const std::uint8_t* p_;
    const std::uint8_t* end_;
    bool ok_ = true;
};

/// Reports travel framed, several to a datagram: each is its length (u32) then its bytes.
void appendFramed(std::vector<std::uint8_t>& datagram, const std::vector<std::uint8_t>& message);
/// Splits a datagram of framed reports; false (and nothing) when a frame overruns it.
bool splitFramed(const std::uint8_t* datagram, std::size_t size, std::vector<std::pair<std::size_t, std::size_t>>& messages);
inline bool splitFramed(const std::vector<std::uint8_t>& datagram, std::vector<std::pair<std::size_t, std::size_t>>& messages) {
    return splitFramed(datagram.data(), datagram.size(), messages);
}
/// Sends a datagram as it is, with a descriptor when fd >= 0.
bool sendDatagram(int socket, const std::vector<std::uint8_t>& datagram, int fd, bool* full = nullptr);

/// Sends one message, with a descriptor when fd >= 0. Answers false when the other side
/// is gone or, when `full` is given, would have to wait for room (then *full is set).
/// Thread-safe for one socket (each message is one datagram).
bool sendMessage(int socket, const Writer& message, int fd = -1, bool* full = nullptr);
/// Where one endpoint receives its messages: one buffer of the largest message, made once
/// (a fresh one per message would be zero-filled each time, for every picture).
class ReceiveBuffer {
public:
    ReceiveBuffer() : bytes_(kMaxMessage) {}
    /// Receives one message (and a descriptor it carries, or -1) into the buffer. Answers
    /// false on the end of the stream or a broken socket; size() is 0 when nothing was
    /// waiting. The message stays valid until the next receive.
    bool receive(int socket, int& fd);
    const std::uint8_t* data() const { return bytes_.data(); }
    std::size_t size() const { return size_; }

private:
    std::vector<std::uint8_t> bytes_;
    std::size_t size_ = 0;
};

}  // namespace media::process
