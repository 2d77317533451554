#pragma once
// Shared-memory picture slots between the engine process and its host. The engine
// process owns kSlotCount anonymous memory files, each mapped on both sides; it writes a
// picture into a free slot and names the slot in a Frame report, and the slot stays the
// host's until the host's last VideoFrame over it goes. The host then marks the slot free
// in a small block of slot states both sides map, and sends ReleaseSlot only when the
// engine process said it waits for a free slot: while pictures flow, a picture costs the
// host no message and the engine process no wake-up for its slot.

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
    /// the descriptor. nullptr when it cannot be mapped, or, for the host, when the file is
    /// not sealed against shrinking and growing.
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
    static std::shared_ptr<SlotMapping> map(int fd, std::size_t size, bool writable, bool sealed);
    SlotMapping(int fd, std::uint8_t* data, std::size_t size) : fd_(fd), data_(data), size_(size) {}
    int fd_;
    std::uint8_t* data_;
    std::size_t size_;
};

/// The slot states both sides map (in a SlotMapping of sizeof(SlotStates) bytes).
struct SlotStates {
    /// 1 from the engine process naming a picture in the slot until the host lets it go.
    std::atomic<std::uint32_t> busy[kSlotCount];
    /// 1 while the engine process has a picture waiting for a free slot: the host's next
    /// release then sends ReleaseSlot to wake it.
    std::atomic<std::uint32_t> engineWaits;

    static SlotStates* in(const SlotMapping& mapping) { return reinterpret_cast<SlotStates*>(mapping.data()); }
};
static_assert(std::atomic<std::uint32_t>::is_always_lock_free, "slot states are shared between processes");

}  // namespace media::process
