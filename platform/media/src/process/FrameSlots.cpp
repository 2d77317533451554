#include "FrameSlots.h"

#include <sys/mman.h>
#include <unistd.h>

namespace media::process {

std::shared_ptr<SlotMapping> SlotMapping::map(int fd, std::size_t size, bool writable) {
    if (fd < 0) return nullptr;
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
    return std::shared_ptr<SlotMapping>(new SlotMapping(fd, static_cast<std::uint8_t*>(p), size));
}

std::shared_ptr<SlotMapping> SlotMapping::create(std::size_t size) {
    int fd = ::memfd_create("zid-frame", MFD_CLOEXEC);
    if (fd < 0) return nullptr;
    if (::ftruncate(fd, static_cast<off_t>(size)) != 0) {
        ::close(fd);
        return nullptr;
    }
    return map(fd, size, true);
}

SlotMapping::~SlotMapping() {
    ::munmap(data_, size_);
    ::close(fd_);
}

}  // namespace media::process
