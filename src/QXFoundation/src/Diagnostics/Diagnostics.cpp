#include <QXFoundation/Diagnostics/Diagnostics.h>

#include <algorithm>

#include <QXFoundation/Log/QXLogger.h>

namespace zid {

rt::Ref<Diagnostics> Diagnostics::sharedDiagnostics() {
    // Never released, like the logger: events may still come while the process exits
    // (from exit handlers or threads still running) after static objects are gone.
    static rt::Ref<Diagnostics>* shared = new rt::Ref<Diagnostics>(rt::make<Diagnostics>());
    return *shared;
}

void Diagnostics::doRegisterDiagnosticRecorder(const rt::Ref<DiagnosticRecorder>& recorder) {
    if (!recorder) return;
    // A recorder's isEqual is its own code and may record: it is never called under the
    // lock. The list is compared as a snapshot and extended only if it did not change
    // meanwhile.
    for (;;) {
        std::vector<rt::Ref<DiagnosticRecorder>> snapshot;
        std::uint64_t seen;
        {
            std::lock_guard lock(mutex_);
            snapshot = recorders_;
            seen = version_;
        }
        bool known = std::any_of(snapshot.begin(), snapshot.end(),
                                 [&](const auto& r) { return r == recorder || r->isEqual(*recorder); });
        if (known) return;
        std::lock_guard lock(mutex_);
        if (version_ != seen) continue;
        recorders_.push_back(recorder);
        ++version_;
        return;
    }
}

std::vector<rt::Ref<DiagnosticRecorder>> Diagnostics::recorders() const {
    std::lock_guard lock(mutex_);
    return recorders_;
}

void Diagnostics::setRecorders(std::vector<rt::Ref<DiagnosticRecorder>> recorders) {
    std::lock_guard lock(mutex_);
    recorders_.swap(recorders);  // the replaced recorders are released after the lock
    ++version_;
}

void Diagnostics::log(const std::string& message) const {
    // The message is data, never a format: "%@" keeps any '%' in it as it is.
    QXLog(LogModule, Diagnostics::staticClass(), LogLevel, "%@", message);
}

void Diagnostics::doRecordLog(const std::string& text) {
    log(text);
    for (auto& recorder : snapshot()) recorder->recordLog(text);
}

void Diagnostics::doRecordError(const rt::Ref<rt::Error>& error) {
    log(rt::format("%@", error));
    for (auto& recorder : snapshot()) recorder->recordError(error);
}

void Diagnostics::doSetObjectValue(const rt::Value& value, const std::string& key) {
    log(rt::format("%@ = %@", key, value));
    for (auto& recorder : snapshot()) recorder->setObjectValue(value, key);
}

void Diagnostics::doSetIntValue(std::int32_t value, const std::string& key) {
    log(rt::format("%@ = %d", key, value));
    for (auto& recorder : snapshot()) recorder->setIntValue(value, key);
}

void Diagnostics::doSetBoolValue(bool value, const std::string& key) {
    log(rt::format("%@ = %@", key, value ? "YES" : "NO"));
    for (auto& recorder : snapshot()) recorder->setBoolValue(value, key);
}

void Diagnostics::doSetFloatValue(float value, const std::string& key) {
    log(rt::format("%@ = %f", key, static_cast<double>(value)));
    for (auto& recorder : snapshot()) recorder->setFloatValue(value, key);
}

void Diagnostics::doSetUserID(const std::string& userID) {
    log(rt::format("UserID = %@", userID));
    for (auto& recorder : snapshot()) recorder->setUserID(userID);
}

}  // namespace zid
