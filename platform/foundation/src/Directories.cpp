#include <fnd/Directories.h>

#include <fnd/Paths.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <random>

namespace fnd {

namespace {

std::mutex nameMutex;
std::string& overriddenName() {
    static std::string name;
    return name;
}

rt::Ref<rt::Error> fileError(int code, const std::string& what, const std::string& path) {
    return rt::Error::withDescription(FileErrorDomain, code, what + " \"" + path + "\": " + std::strerror(code));
}

std::string executableName() {
    std::error_code ec;
    auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec || exe.filename().empty()) return "application";
    return exe.filename().string();
}

}  // namespace

std::string Directories::applicationName() {
    std::lock_guard lock(nameMutex);
    if (!overriddenName().empty()) return overriddenName();
    return executableName();
}

void Directories::setApplicationName(std::string name) {
    std::lock_guard lock(nameMutex);
    overriddenName() = std::move(name);
}

std::string Directories::library() {
    const char* xdg = std::getenv("XDG_DATA_HOME");
    std::string base = xdg && xdg[0] == '/' ? std::string(xdg) : joinPath(homeDirectory(), ".local/share");
    return joinPath(base, applicationName());
}

bool writeFileAtomically(const std::string& path, const rt::Data& data, rt::Ref<rt::Error>* error) {
    namespace fs = std::filesystem;
    auto fail = [&](int code, const std::string& what, const std::string& file) {
        if (error) *error = fileError(code, what, file);
        return false;
    };
    fs::path target(path);
    if (target.has_parent_path()) {
        std::error_code ec;
        fs::create_directories(target.parent_path(), ec);
        if (ec) return fail(ec.value(), "Cannot create the folder of", path);
    }
    static std::atomic<unsigned> counter{0};
    std::string temporary = path + ".tmp." + std::to_string(::getpid()) + "." + std::to_string(counter.fetch_add(1));
    int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) return fail(errno, "Cannot create", temporary);
    std::size_t written = 0;
    while (written < data.size()) {
        ssize_t n = ::write(fd, data.data() + written, data.size() - written);
        if (n < 0) {
            if (errno == EINTR) continue;
            int code = errno;
            ::close(fd);
            ::unlink(temporary.c_str());
            return fail(code, "Cannot write", temporary);
        }
        written += static_cast<std::size_t>(n);
    }
    // The descriptor is closed whether or not the flush worked.
    int code = ::fsync(fd) == 0 ? 0 : errno;
    if (::close(fd) != 0 && code == 0) code = errno;
    if (code != 0) {
        ::unlink(temporary.c_str());
        return fail(code, "Cannot flush", temporary);
    }
    if (::rename(temporary.c_str(), path.c_str()) != 0) {
        int code = errno;
        ::unlink(temporary.c_str());
        return fail(code, "Cannot replace", path);
    }
    return true;
}

std::optional<rt::Data> readFile(const std::string& path, rt::Ref<rt::Error>* error) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (error) *error = fileError(errno, "Cannot open", path);
        return std::nullopt;
    }
    rt::Data data;
    std::uint8_t buffer[65536];
    for (;;) {
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            int code = errno;
            ::close(fd);
            if (error) *error = fileError(code, "Cannot read", path);
            return std::nullopt;
        }
        data.insert(data.end(), buffer, buffer + n);
    }
    ::close(fd);
    return data;
}

std::optional<rt::Data> readRegularFile(const std::string& path, std::size_t maxBytes, rt::Ref<rt::Error>* error,
                                        const std::function<bool()>& stop) {
    auto fail = [&](int code, const std::string& what) -> std::optional<rt::Data> {
        if (error) *error = rt::Error::withDescription(FileErrorDomain, code, what);
        return std::nullopt;
    };
    // Opening a FIFO for reading waits for a writer; without O_NONBLOCK it returns at
    // once, and the type check below refuses it.
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        int code = errno;
        return fail(code, "Cannot open \"" + path + "\": " + std::strerror(code));
    }
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        int code = errno;
        return fail(code, "Cannot read \"" + path + "\": " + std::strerror(code));
    }
    if (S_ISDIR(info.st_mode)) return fail(EISDIR, "\"" + path + "\" is a directory, not a file");
    if (!S_ISREG(info.st_mode))
        return fail(EINVAL, "\"" + path + "\" is not a regular file (a device, pipe or socket); only regular files are read");
    auto tooLarge = [&] {
        return fail(EFBIG, "\"" + path + "\" is larger than the " + std::to_string(maxBytes) + "-byte bound of this read");
    };
    if (static_cast<unsigned long long>(info.st_size) > maxBytes) return tooLarge();
    rt::Data data;
    data.reserve(static_cast<std::size_t>(info.st_size));
    std::uint8_t buffer[65536];
    for (;;) {
        if (stop && stop()) return fail(ECANCELED, "The read of \"" + path + "\" was cancelled");
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            int code = errno;
            return fail(code, "Cannot read \"" + path + "\": " + std::strerror(code));
        }
        // The file may grow while it is read: the bound holds for what is read.
        if (data.size() + static_cast<std::size_t>(n) > maxBytes) return tooLarge();
        data.insert(data.end(), buffer, buffer + n);
    }
    return data;
}

}  // namespace fnd
