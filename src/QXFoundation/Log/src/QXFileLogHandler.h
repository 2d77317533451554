#pragma once
// Writes one line per accepted record to a file, flushed at once, so that the file
// is complete up to the last record when the process dies.

#include <cstdio>
#include <mutex>
#include <string>

#include <QXFoundation/Log/QXLogHandler.h>

namespace zid {

class QXFileLogHandler : public QXLogHandler {
    RT_CLASS(QXFileLogHandler, QXLogHandler)
public:
    /// The temporary directory followed by "logs/".
    static std::string logDir();

    /// Opens (creating or truncating) the file at the path; nullptr when it cannot be
    /// opened. The handler starts at level 0: raise it before records are taken.
    static rt::Ref<QXFileLogHandler> initWithPath(const std::string& path);
    /// Creates the log directory when missing, then opens the named file in it.
    static rt::Ref<QXFileLogHandler> initWithFileName(const std::string& fileName);
    /// A new file in the log directory named after the current date ("<date>.log").
    /// A handler made in the same second as another gets "<date>-2.log" and so on
    /// instead of truncating the other's file.
    static rt::Ref<QXFileLogHandler> init();

    /// Takes ownership of an open stream; use the factories above.
    QXFileLogHandler(std::FILE* file, std::string path);
    ~QXFileLogHandler() override;

    const std::string& path() const { return path_; }
    /// Whether the file is still open.
    bool isOpen() const;

    void handleLogRecord(const rt::Ref<QXLogRecord>& record) override;
    void flush() override;
    /// Closes the file; later records are dropped and a second close does nothing.
    void close() override;

private:
    mutable std::mutex mutex_;  // a close on one thread never pulls the file from under a write
    std::FILE* file_;
    std::string path_;
};

}  // namespace zid
