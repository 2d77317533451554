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

}  // namespace zid
