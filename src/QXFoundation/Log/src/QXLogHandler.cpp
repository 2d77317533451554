#include <QXFoundation/Log/QXLogHandler.h>

namespace zid {

QXLogHandler::QXLogHandler() : formatter_(rt::make<QXLogFormatter>()) {}

QXLogHandler::QXLogHandler(rt::Ref<QXLogFilter> filter, std::int64_t level)
    : filter_(std::move(filter)), formatter_(rt::make<QXLogFormatter>()), level_(level) {}

bool QXLogHandler::acceptsLogRecord(const QXLogRecord& record) const {
    if (record.level() > level()) return false;
    auto currentFilter = filter();
    return !currentFilter || currentFilter->filterLog(record);
}

void QXLogHandler::setLevel(std::int64_t level) {
    level_.store(level, std::memory_order_release);
    levelsChanged();
}

void QXLogHandler::handleLogRecord(const rt::Ref<QXLogRecord>& record) {
    if (record) (void)acceptsLogRecord(*record);
}

void QXLogHandler::flush() {}

void QXLogHandler::close() { flush(); }

rt::Ref<QXLogFilter> QXLogHandler::filter() const {
    std::lock_guard lock(mutex_);
    return filter_;
}

void QXLogHandler::setFilter(rt::Ref<QXLogFilter> filter) {
    std::lock_guard lock(mutex_);
    filter_ = std::move(filter);
}

rt::Ref<QXLogFormatter> QXLogHandler::formatter() const {
    std::lock_guard lock(mutex_);
    return formatter_;
}

void QXLogHandler::setFormatter(rt::Ref<QXLogFormatter> formatter) {
    std::lock_guard lock(mutex_);
    formatter_ = std::move(formatter);
}

}  // namespace zid
