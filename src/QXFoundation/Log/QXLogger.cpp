#include <QXFoundation/Log/QXLogger.h>

#include <algorithm>

namespace zid {

rt::Ref<QXLogger> QXLogger::defaultLogger() {
    static rt::Ref<QXLogger>* logger = new rt::Ref<QXLogger>(rt::make<QXLogger>());  // never released
    return *logger;
}

void QXLogger::registerHandler(const rt::Ref<QXLogHandler>& handler) {
    if (!handler) return;
    std::lock_guard lock(mutex_);
    for (const auto& h : handlers_)
        if (h == handler || h->isEqual(*handler)) return;
    handlers_.push_back(handler);
}

void QXLogger::deregistreHandler(const rt::Ref<QXLogHandler>& handler) {
    if (!handler) return;
    std::vector<rt::Ref<QXLogHandler>> removed;  // released outside the lock
    std::lock_guard lock(mutex_);
    auto keep = std::stable_partition(handlers_.begin(), handlers_.end(),
                                      [&](const auto& h) { return !(h == handler || h->isEqual(*handler)); });
    removed.assign(keep, handlers_.end());
    handlers_.erase(keep, handlers_.end());
}

std::vector<rt::Ref<QXLogHandler>> QXLogger::handlers() const {
    std::lock_guard lock(mutex_);
    return handlers_;
}

void QXLogger::logRecord(const rt::Ref<QXLogRecord>& record) {
    for (const auto& handler : handlers()) handler->handleLogRecord(record);
}

void QXLogger::flush() {
    for (const auto& handler : handlers()) handler->flush();
}

void QXLogger::close() {
    for (const auto& handler : handlers()) handler->close();
}

}  // namespace zid
