#include <QXCorePlayer/Core/ResumePositions/QXPlayerResumePositions.h>

#include <QXFoundation/Log/QXLogger.h>
#include <sec/Digest.h>

#include <algorithm>
#include <mutex>
#include <vector>
#include "Core/CoreLogModule.h"

namespace zid {

namespace {
std::mutex sharedMutex;
rt::Ref<QXPlayerResumePositions>& shared() {
    static rt::Ref<QXPlayerResumePositions> positions;
    return positions;
}
double now() { return fnd::RunLoop::main()->clock().now(); }
}  // namespace

QXPlayerResumePositions::QXPlayerResumePositions(rt::Ref<fnd::UserDefaults> defaults, std::size_t capacity)
    : defaults_(defaults ? std::move(defaults) : fnd::UserDefaults::standard()), capacity_(std::max<std::size_t>(capacity, 1)) {}

QXPlayerResumePositions::~QXPlayerResumePositions() {
    if (writeTimer_) writeTimer_->invalidate();
    if (dirty_) write();
}

rt::Ref<QXPlayerResumePositions> QXPlayerResumePositions::defaultPositions() {
    std::lock_guard lock(sharedMutex);
    if (!shared()) shared() = rt::make<QXPlayerResumePositions>();
    return shared();
}

void QXPlayerResumePositions::setDefaultPositions(rt::Ref<QXPlayerResumePositions> positions) {
    std::lock_guard lock(sharedMutex);
    shared() = std::move(positions);
}

std::string QXPlayerResumePositions::keyForURL(const std::string& url) {
    return sec::toHex(sec::sha256(url));
}

void QXPlayerResumePositions::load() {
    if (loaded_) return;
    loaded_ = true;
    auto stored = defaults_->objectForKey(kDefaultsKey);
    if (!stored.isDictionary()) return;
    for (const auto& key : stored.dictionary().keys()) {
        auto entry = stored.dictionary().get(key);
        if (!key.isString() || !entry.isDictionary()) continue;
        std::int64_t seq = entry.dictionary().get("sequence").longLongValue();
        entries_[key.string()] = {seq, entry.dictionary()};
        sequence_ = std::max(sequence_, seq);
    }
}

void QXPlayerResumePositions::storeResumePosition(media::Time time, const std::string& url) {
    if (url.empty()) return;
    load();
    rt::Dictionary archive;
    archive.set("epoch", static_cast<long long>(0));
    archive.set("flags", static_cast<long long>(time.flags));
    archive.set("timescale", static_cast<long long>(time.timescale));
    archive.set("value", static_cast<long long>(time.value));
    archive.set("sequence", static_cast<long long>(++sequence_));
    entries_[keyForURL(url)] = {sequence_, archive};
    while (entries_.size() > capacity_) {
        auto oldest = std::min_element(entries_.begin(), entries_.end(),
                                       [](const auto& a, const auto& b) { return a.second.first < b.second.first; });
        entries_.erase(oldest);
    }
    dirty_ = true;
    scheduleWrite();
}

media::Time QXPlayerResumePositions::resumePositionForURL(const std::string& url) {
    if (url.empty()) return media::Time::invalid();
    load();
    auto it = entries_.find(keyForURL(url));
    if (it == entries_.end()) return media::Time::invalid();
    const auto& a = it->second.second;
    media::Time t;
    t.value = a.get("value").longLongValue();
    t.timescale = static_cast<std::int32_t>(a.get("timescale").longLongValue());
    t.flags = static_cast<std::uint32_t>(a.get("flags").longLongValue());
    return t;
}

void QXPlayerResumePositions::removeResumePositionForURL(const std::string& url) {
    if (url.empty()) return;
    load();
    if (entries_.erase(keyForURL(url)) == 0) return;
    dirty_ = true;
    scheduleWrite();
}

void QXPlayerResumePositions::scheduleWrite() {
    if (writeTimer_ && writeTimer_->isValid()) return;  // the pending write takes this change too
    double wait = lastWrite_ ? *lastWrite_ + kWriteInterval - now() : 0;
    if (wait <= 0) {
        write();
        return;
    }
    rt::Weak<QXPlayerResumePositions> weak = selfAs<QXPlayerResumePositions>();
    writeTimer_ = fnd::RunLoop::main()->after(wait, [weak] {
        if (auto self = weak.lock()) self->write();
    });
}

void QXPlayerResumePositions::flush() {
    if (writeTimer_) writeTimer_->invalidate();
    if (dirty_) write();
}

void QXPlayerResumePositions::write() {
    if (!dirty_) return;
    rt::Dictionary all;
    for (const auto& [key, entry] : entries_) all.set(key, entry.second);
    dirty_ = false;
    lastWrite_ = now();
    ++writes_;
    // UserDefaults replaces its file atomically; a failed write stays pending there.
    if (!defaults_->setObject(all, kDefaultsKey))
        QXLog(kCoreLogModule, staticClass(), 3, "Resume positions not written: %@", defaults_->lastError());
}

}  // namespace zid
