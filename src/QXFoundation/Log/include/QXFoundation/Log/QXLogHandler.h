#pragma once
// Base of every log output: a level threshold, an optional filter and a formatter.

#include <atomic>
#include <cstdint>

#include <QXFoundation/Log/QXLogFilter.h>
#include <QXFoundation/Log/QXLogFormatter.h>
#include <QXFoundation/Log/QXLogRecord.h>
#include <rt/Locked.h>

namespace zid {

class QXLogHandler : public rt::Object {
    RT_CLASS(QXLogHandler, rt::Object)
public:
    /// No filter, a fresh formatter, level 0 (accepts no record of level 1 to 6).
    QXLogHandler();
    QXLogHandler(rt::Ref<QXLogFilter> filter, std::int64_t level);

    /// Level test first (record level <= handler level), then the filter if set.
    bool acceptsLogRecord(const QXLogRecord& record) const;
    /// Concrete handlers write the formatted record when it is accepted.
    virtual void handleLogRecord(const rt::Ref<QXLogRecord>& record);
    virtual void flush();
    /// The base flushes.
    virtual void close();

    rt::Ref<QXLogFilter> filter() const { return filter_.get(); }
    void setFilter(rt::Ref<QXLogFilter> filter) { filter_.set(std::move(filter)); }
    rt::Ref<QXLogFormatter> formatter() const { return formatter_.get(); }
    void setFormatter(rt::Ref<QXLogFormatter> formatter) { formatter_.set(std::move(formatter)); }
    std::int64_t level() const { return level_.load(std::memory_order_relaxed); }
    void setLevel(std::int64_t level);

    /// Counts changes of any handler's level and of any logger's handler list, so that
    /// a logger knows when the highest level it serves has to be found again.
    static std::uint64_t levelGeneration() { return levelGeneration_.load(std::memory_order_acquire); }
    static void levelsChanged() { levelGeneration_.fetch_add(1, std::memory_order_acq_rel); }

private:
    // Handlers are called from any thread while the host may reconfigure them.
    rt::Locked<rt::Ref<QXLogFilter>> filter_;
    rt::Locked<rt::Ref<QXLogFormatter>> formatter_;
    std::atomic<std::int64_t> level_{0};
    static inline std::atomic<std::uint64_t> levelGeneration_{1};
};

}  // namespace zid
