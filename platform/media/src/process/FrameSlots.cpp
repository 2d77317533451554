#include "FrameSlots.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

namespace media::process {

namespace {
/// The seals that keep a memory file's size fixed for good: once they are on, nobody (the
/// process that made it included) can shrink it under a reader's mapping, whose reads past
/// the new end would kill the reader with SIGBUS.
constexpr int kSizeSeals = F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_SEAL;
}  // namespace

std::shared_ptr<SlotMapping> SlotMapping::map(int fd, std::size_t size, bool writable) {
    // A reader is the host's.
    return map(fd, size, writable, !writable);
}

std::shared_ptr<SlotMapping> SlotMapping::mapShared(int fd, std::size_t size) { return map(fd, size, true, true); }

std::shared_ptr<SlotMapping> SlotMapping::map(int fd, std::size_t size, bool writable, bool hosts) {
    if (fd < 0) return nullptr;
    // The host maps only memory whose size can no longer change.
    if (hosts) {
        int seals = ::fcntl(fd, F_GET_SEALS);
        if (seals < 0 || (seals & kSizeSeals) != kSizeSeals) {
            ::close(fd);
            return nullptr;
        }
    }
    // The memory file must really hold what the other side says it does: reading past
    // its end would fault.
    off_t length = ::lseek(fd, 0, SEEK_END);
    if (size == 0 || length < 0 || static_cast<std::size_t>(length) < size) {
        ::close(fd);
        return nullptr;
    }
    void* p = ::mmap(nullptr, size, writable ? PROT_READ | PROT_WRITE : PROT_READ, MAP_SHARED, fd, 0);
    if (p == MAP_FAILED) {
        ::close(fd);
        return nullptr;
    }
    // The mapping holds the memory: a host that keeps pictures would otherwise keep a
    // descriptor for each and run out of them. The engine process keeps its own, to
    // pass them on.
    if (hosts) {
        ::close(fd);
        fd = -1;
    }
    return std::shared_ptr<SlotMapping>(new SlotMapping(fd, static_cast<std::uint8_t*>(p), size));
}

std::shared_ptr<SlotMapping> SlotMapping::create(std::size_t size, bool sealed) {
    int fd = ::memfd_create("zid-frame", MFD_CLOEXEC | MFD_ALLOW_SEALING);
    if (fd < 0) return nullptr;
    if (::ftruncate(fd, static_cast<off_t>(size)) != 0 || (sealed && ::fcntl(fd, F_ADD_SEALS, kSizeSeals) != 0)) {
        ::close(fd);
        return nullptr;
    }
    return map(fd, size, true);
}

SlotMapping::~SlotMapping() {
    ::munmap(data_, size_);
    if (fd_ >= 0) ::close(fd_);
}

}  // namespace media::process
