#pragma once
// Diagnostic events that must reach both the log and the application's reporting
// services. Each event is logged at level 5 (module "ZIDoredider/QXFoundation",
// source Diagnostics) and then handed unchanged to every registered recorder.
//
// The static members are the interface the rest of the system uses; each forwards
// to the shared instance's operation of the same name with a "do" prefix. Events
// may come from any thread: the recorders are walked as a snapshot, so a recorder
// registered meanwhile (even by a recorder) never disturbs a walk in progress.

#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include <QXFoundation/Diagnostics/DiagnosticRecorder.h>
#include <rt/Error.h>
#include <rt/Format.h>
#include <rt/Object.h>
#include <rt/Value.h>

namespace zid {

class Diagnostics : public rt::Object {
    RT_CLASS(Diagnostics, rt::Object)
public:
    static constexpr const char* LogModule = "ZIDoredider/QXFoundation";
    static constexpr std::int64_t LogLevel = 5;

    /// The shared instance, made on first use.
    static rt::Ref<Diagnostics> sharedDiagnostics();

    static void registerDiagnosticRecorder(const rt::Ref<DiagnosticRecorder>& recorder) {
        sharedDiagnostics()->doRegisterDiagnosticRecorder(recorder);
    }
    /// Builds the text from a printf-style format (with %@) and records it.
    template <class... Args> static void recordLog(std::string_view format, const Args&... args) {
        sharedDiagnostics()->doRecordLog(rt::format(format, args...));
    }
    static void recordError(const rt::Ref<rt::Error>& error) { sharedDiagnostics()->doRecordError(error); }
    static void setObjectValue(const rt::Value& value, const std::string& key) {
        sharedDiagnostics()->doSetObjectValue(value, key);
    }
    static void setIntValue(std::int32_t value, const std::string& key) { sharedDiagnostics()->doSetIntValue(value, key); }
    static void setBoolValue(bool value, const std::string& key) { sharedDiagnostics()->doSetBoolValue(value, key); }
    static void setFloatValue(float value, const std::string& key) { sharedDiagnostics()->doSetFloatValue(value, key); }
    static void setUserID(const std::string& userID) { sharedDiagnostics()->doSetUserID(userID); }

    /// Appends the recorder unless an equal one is registered. There is no removal.
    virtual void doRegisterDiagnosticRecorder(const rt::Ref<DiagnosticRecorder>& recorder);
    /// Logs "%@" of the text, then forwards the text.
    virtual void doRecordLog(const std::string& text);
    /// Logs the error's description.
    virtual void doRecordError(const rt::Ref<rt::Error>& error);
    /// Logs "<key> = <value>".
    virtual void doSetObjectValue(const rt::Value& value, const std::string& key);
    /// Logs "<key> = <value>" (%d).
    virtual void doSetIntValue(std::int32_t value, const std::string& key);
    /// Logs "<key> = YES" or "<key> = NO".
    virtual void doSetBoolValue(bool value, const std::string& key);
    /// Logs "<key> = <value>" (%f of the value widened to double).
    virtual void doSetFloatValue(float value, const std::string& key);
    /// Logs "UserID = <id>".
    virtual void doSetUserID(const std::string& userID);

    std::vector<rt::Ref<DiagnosticRecorder>> recorders() const;
    void setRecorders(std::vector<rt::Ref<DiagnosticRecorder>> recorders);

private:
    void log(const std::string& message) const;
    std::vector<rt::Ref<DiagnosticRecorder>> snapshot() const { return recorders(); }

    mutable std::mutex mutex_;
    std::vector<rt::Ref<DiagnosticRecorder>> recorders_;
    std::uint64_t version_ = 0;  // counts changes of recorders_
};

}  // namespace zid
