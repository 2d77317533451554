#include <QXFoundation/Log/QXLogger.h>

#include <algorithm>

namespace zid {

rt::Ref<QXLogger> QXLogger::defaultLogger() {
    static rt::Ref<QXLogger>* logger = [] {
        auto made = new rt::Ref<QXLogger>(rt::make<QXLogger>());  // never released
        default_.store(made->get(), std::memory_order_release);
        return made;
    }();
    return *logger;
}

namespace {

bool sameHandler(const rt::Ref<QXLogHandler>& a, const rt::Ref<QXLogHandler>& b) { return a == b || a->isEqual(*b); }

}  // namespace

// A handler's isEqual is its own code and may log: it is never called under the lock.
// The list is compared as a snapshot and changed only if nobody changed it meanwhile.

void QXLogger::registerHandler(const rt::Ref<QXLogHandler>& handler) {
    if (!handler) return;
    for (;;) {
        auto [snapshot, seen] = versionedHandlers();
        for (const auto& h : snapshot)
            if (sameHandler(h, handler)) return;
        std::lock_guard lock(mutex_);
        if (version_ != seen) continue;
        handlers_.push_back(handler);
        ++version_;
        QXLogHandler::levelsChanged();
        return;
    }
}

void QXLogger::deregistreHandler(const rt::Ref<QXLogHandler>& handler) {
    if (!handler) return;
    for (;;) {
        auto [snapshot, seen] = versionedHandlers();
        std::vector<rt::Ref<QXLogHandler>> kept;
        for (const auto& h : snapshot)
            if (!sameHandler(h, handler)) kept.push_back(h);
        if (kept.size() == snapshot.size()) return;
        std::lock_guard lock(mutex_);
        if (version_ != seen) continue;
        handlers_.swap(kept);  // the removed handlers are released with `kept`, after the lock
        ++version_;
        QXLogHandler::levelsChanged();
        return;
    }
}

std::pair<std::vector<rt::Ref<QXLogHandler>>, std::uint64_t> QXLogger::versionedHandlers() const {
    std::lock_guard lock(mutex_);
    return {handlers_, version_};
}

std::vector<rt::Ref<QXLogHandler>> QXLogger::handlers() const {
    std::lock_guard lock(mutex_);
    return handlers_;
}

// The generation is read before the levels: a change made meanwhile leaves it newer
// than the one stored, so the next call looks again.
void QXLogger::findHighestLevel() const {
    std::lock_guard levels(levelsMutex_);
    std::uint64_t generation = QXLogHandler::levelGeneration();
    std::int64_t highest = INT64_MIN;
    for (const auto& handler : handlers()) highest = std::max(highest, handler->level());
    highestLevel_.store(highest, std::memory_order_relaxed);
    levelsSeen_.store(generation, std::memory_order_release);
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
