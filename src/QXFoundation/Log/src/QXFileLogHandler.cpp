#include "QXFileLogHandler.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace zid {

namespace {

std::string temporaryDirectory() {
    const char* fromEnvironment = std::getenv("TMPDIR");
    std::string dir = fromEnvironment && *fromEnvironment ? fromEnvironment : "/tmp/";
    if (dir.back() != '/') dir += '/';
    return dir;
}

}  // namespace

std::string QXFileLogHandler::logDir() { return temporaryDirectory() + "logs/"; }

rt::Ref<QXFileLogHandler> QXFileLogHandler::initWithPath(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "w");
    if (!file) return nullptr;
    return rt::make<QXFileLogHandler>(file, path);
}

rt::Ref<QXFileLogHandler> QXFileLogHandler::initWithFileName(const std::string& fileName) {
    std::error_code ignored;
    std::filesystem::create_directories(logDir(), ignored);
    return initWithPath(logDir() + fileName);
}

rt::Ref<QXFileLogHandler> QXFileLogHandler::init() {
    std::error_code ignored;
    std::filesystem::create_directories(logDir(), ignored);
    std::string stem = logDir() + rt::Date::now().description();
    // The date has a resolution of one second: claim the name exclusively so that a
    // second handler of the same second takes the next free name instead.
    for (int n = 1; n < 10000; ++n) {
        std::string path = n == 1 ? stem + ".log" : stem + "-" + std::to_string(n) + ".log";
        int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            return nullptr;
        }
        std::FILE* file = ::fdopen(fd, "w");
        if (!file) {
            ::close(fd);
            return nullptr;
        }
        return rt::make<QXFileLogHandler>(file, path);
    }
    return nullptr;
}

QXFileLogHandler::QXFileLogHandler(std::FILE* file, std::string path) : file_(file), path_(std::move(path)) {}

QXFileLogHandler::~QXFileLogHandler() {
    if (file_) std::fclose(file_);
}

bool QXFileLogHandler::isOpen() const {
    std::lock_guard lock(mutex_);
    return file_ != nullptr;
}

void QXFileLogHandler::handleLogRecord(const rt::Ref<QXLogRecord>& record) {
    if (!record || !acceptsLogRecord(*record)) return;
    std::string line = formatter()->formatLog(*record);
    std::lock_guard lock(mutex_);
    if (!file_) return;
    std::fwrite(line.data(), 1, line.size(), file_);
    std::fputc('\n', file_);
    std::fflush(file_);
}

void QXFileLogHandler::flush() {
    std::lock_guard lock(mutex_);
    if (file_) std::fflush(file_);
}

void QXFileLogHandler::close() {
    std::lock_guard lock(mutex_);
    if (!file_) return;
    std::fclose(file_);
    file_ = nullptr;
}

}  // namespace zid
