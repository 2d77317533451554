#pragma once
// Shared-memory picture slots between the engine process and its host. The engine
// process owns kSlotCount anonymous memory files, each mapped on both sides; it writes a
// picture into a free slot and names the slot in a Frame report, and the slot stays the
// host's until the host's last VideoFrame over it goes and a ReleaseSlot comes back.

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
    SlotMapping(int fd, std::uint8_t* data, std::size_t size) : fd_(fd), data_(data), size_(size) {}
    int fd_;
    std::uint8_t* data_;
    std::size_t size_;
};

}  // namespace media::process
