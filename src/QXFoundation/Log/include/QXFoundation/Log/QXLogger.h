#pragma once
// The process-wide logger: hands every record to every registered handler, in
// registration order, on the caller's thread. Handlers decide what to take.

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include <QXFoundation/Log/QXLogHandler.h>
#include <QXFoundation/Log/QXLogRecord.h>
#include <rt/Format.h>

namespace zid {

class QXLogger : public rt::Object {
    RT_CLASS(QXLogger, rt::Object)
public:
    /// The shared logger, made on first use and never released.
    static rt::Ref<QXLogger> defaultLogger();

    /// Appends the handler unless an equal one is registered already.
    void registerHandler(const rt::Ref<QXLogHandler>& handler);
    /// Removes every entry equal to the handler.
    void deregistreHandler(const rt::Ref<QXLogHandler>& handler);
    /// Delivers to a snapshot of the handler list, so that registration may race with
    /// logging from other threads.
    void logRecord(const rt::Ref<QXLogRecord>& record);
    void flush();
    /// Closes every handler; they stay registered.
    void close();
    /// A copy of the handler list, in registration order.
    std::vector<rt::Ref<QXLogHandler>> handlers() const;

    /// Whether a record of the level can reach a handler: a handler takes no record
    /// above its own level, so below the highest level registered nothing is made.
    /// A few loads while nothing changed.
    bool takesLevel(std::int64_t level) const {
        if (levelsSeen_.load(std::memory_order_acquire) != QXLogHandler::levelGeneration()) findHighestLevel();
        return level <= highestLevel_.load(std::memory_order_relaxed);
    }
    /// takesLevel of the default logger; false before it is made (it has no handler).
    static bool defaultLoggerTakes(std::int64_t level) {
        const QXLogger* logger = default_.load(std::memory_order_acquire);
        return logger && logger->takesLevel(level);
    }

private:
    std::pair<std::vector<rt::Ref<QXLogHandler>>, std::uint64_t> versionedHandlers() const;
    void findHighestLevel() const;

    mutable std::mutex mutex_;
    std::vector<rt::Ref<QXLogHandler>> handlers_;
    std::uint64_t version_ = 0;  // counts changes of handlers_
    mutable std::mutex levelsMutex_;
    mutable std::atomic<std::int64_t> highestLevel_{INT64_MIN};
    mutable std::atomic<std::uint64_t> levelsSeen_{0};
    static inline std::atomic<const QXLogger*> default_{nullptr};
};

/// The pattern every caller follows: module, the sender's class, address 0, a
/// formatted message, a level, handed to the default logger.
/// Nothing is formatted or made when no handler takes the level.
template <class... Args>
void QXLog(const char* module, const rt::Class& source, std::int64_t level, std::string_view format, const Args&... args) {
    if (!QXLogger::defaultLoggerTakes(level)) return;
    QXLogger::defaultLogger()->logRecord(
        rt::make<QXLogRecord>(module, rt::Value(&source), 0, rt::format(format, args...), level));
}

}  // namespace zid
