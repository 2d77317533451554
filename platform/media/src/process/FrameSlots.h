#pragma once
// Shared-memory picture slots between the engine process and its host. The engine
// process owns kSlotCount anonymous memory files, each mapped on both sides; it writes a
// picture into a free slot and names the slot in a Frame report, and the slot stays the
// host's until the host's last VideoFrame over it goes. The host then marks the slot free
// in a small block of slot states both sides map, and sends ReleaseSlot only when the
// engine process said it waits for a free slot: while pictures flow, a picture costs the
// host no message and the engine process no wake-up for its slot.
//
// The host also counts in the slot states the pictures it has taken off its socket, so
// the engine process tells a slot the host holds from one whose picture is still on its
// way (a host too busy to read), and sends PictureTaken when the engine process waits
// for the host to catch up.
//
// The host maps each memory file as it comes and closes its descriptor at once: the
// mapping keeps the memory, so whatever pictures a host holds cost it no descriptor.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "Wire.h"

namespace media::process {

/// One mapping of a slot's memory file (either side); unmapped when the last user goes.
class SlotMapping {
public:
    /// Maps `size` bytes of fd (read-write for the writer, read-only for the host); takes
    /// the descriptor, which the host's mapping closes at once (fd() is then -1). nullptr
    /// when it cannot be mapped, or, for the host, when the file is not sealed against
    /// shrinking and growing.
    static std::shared_ptr<SlotMapping> map(int fd, std::size_t size, bool writable);
    /// The host's mapping of the slot-state block: read-write, yet sealed like a slot.
    static std::shared_ptr<SlotMapping> mapShared(int fd, std::size_t size);
    /// A new memory file of `size` bytes, sealed at that size (unless a test's stand-in
    /// engine asks otherwise), mapped for writing.
    static std::shared_ptr<SlotMapping> create(std::size_t size, bool sealed = true);
    ~SlotMapping();
    SlotMapping(const SlotMapping&) = delete;
    SlotMapping& operator=(const SlotMapping&) = delete;

    std::uint8_t* data() const { return data_; }
    std::size_t size() const { return size_; }
    int fd() const { return fd_; }

private:
    static std::shared_ptr<SlotMapping> map(int fd, std::size_t size, bool writable, bool hosts);
    SlotMapping(int fd, std::uint8_t* data, std::size_t size) : fd_(fd), data_(data), size_(size) {}
    int fd_;
    std::uint8_t* data_;
    std::size_t size_;
};

/// The slot states both sides map (in a SlotMapping of sizeof(SlotStates) bytes).
struct SlotStates {
    /// 1 from the engine process naming a picture in the slot until the host lets it go.
    std::atomic<std::uint32_t> busy[kSlotCount];
    /// 1 while the engine process has a picture waiting for a free slot or for the host
    /// to take the pictures on their way: the host's next release then sends ReleaseSlot,
    /// its next picture taken PictureTaken, to wake it.
    std::atomic<std::uint32_t> engineWaits;
    /// Pictures (Frame and OwnFrame reports) the host has taken off its socket, counted
    /// modulo 2^32; the engine process compares it with those it has sent.
    std::atomic<std::uint32_t> taken;

    static SlotStates* in(const SlotMapping& mapping) { return reinterpret_cast<SlotStates*>(mapping.data()); }
};
static_assert(std::atomic<std::uint32_t>::is_always_lock_free, "slot states are shared between processes");

}  // namespace media::process
