#include "PrivateFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

namespace sec::detail {

bool createPrivateDirectory(const std::filesystem::path& directory) {
    std::error_code ec;
    if (!directory.has_parent_path() || directory.parent_path() == directory) return true;
    if (!std::filesystem::exists(directory.parent_path(), ec) && !createPrivateDirectory(directory.parent_path())) {
        return false;
    }
    if (::mkdir(directory.c_str(), 0700) != 0 && errno != EEXIST) return false;
    struct stat st {};
    if (::stat(directory.c_str(), &st) != 0) return false;
    if (!S_ISDIR(st.st_mode)) {
        errno = ENOTDIR;
        return false;
    }
    if ((st.st_mode & 077) != 0 && ::chmod(directory.c_str(), st.st_mode & 0700) != 0) return false;
    return true;
}

bool writePrivateFileAtomically(const std::filesystem::path& file, const void* bytes, std::size_t length) {
    std::string tmpl = (file.parent_path() / ("." + file.filename().string() + ".XXXXXX")).string();
    int fd = ::mkstemp(tmpl.data());  // mode 0600
    if (fd < 0) return false;
    auto fail = [&] {
        int saved = errno;
        ::close(fd);
        ::unlink(tmpl.c_str());
        errno = saved;
        return false;
    };
    const auto* p = static_cast<const char*>(bytes);
    std::size_t left = length;
    while (left > 0) {
        ssize_t n = ::write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            return fail();
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    if (::fsync(fd) != 0) return fail();
    if (::close(fd) != 0) {
        int saved = errno;
        ::unlink(tmpl.c_str());
        errno = saved;
        return false;
    }
    if (::rename(tmpl.c_str(), file.c_str()) != 0) {
        int saved = errno;
        ::unlink(tmpl.c_str());
        errno = saved;
        return false;
    }
    // Make the rename itself durable.
    int dirfd = ::open(file.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirfd >= 0) {
        ::fsync(dirfd);
        ::close(dirfd);
    }
    return true;
}

}  // namespace sec::detail
