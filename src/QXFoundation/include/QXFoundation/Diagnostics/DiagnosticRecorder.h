#pragma once
// A reporting service the application plugs into Diagnostics. Every operation is
// optional: a recorder overrides the ones it wants, the others do nothing.

#include <cstdint>
#include <string>

#include <rt/Error.h>
#include <rt/Object.h>
#include <rt/Value.h>

namespace zid {

class DiagnosticRecorder : public rt::Object {
    RT_CLASS(DiagnosticRecorder, rt::Object)
public:
    virtual void recordLog(const std::string& text) { (void)text; }
    virtual void recordError(const rt::Ref<rt::Error>& error) { (void)error; }
    virtual void setObjectValue(const rt::Value& value, const std::string& key) { (void)value, (void)key; }
    virtual void setIntValue(std::int32_t value, const std::string& key) { (void)value, (void)key; }
    virtual void setBoolValue(bool value, const std::string& key) { (void)value, (void)key; }
    virtual void setFloatValue(float value, const std::string& key) { (void)value, (void)key; }
    virtual void setUserID(const std::string& userID) { (void)userID; }
};

}  // namespace zid
