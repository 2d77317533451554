#pragma once
// One log entry: who logged what, when, and how urgently.

#include <cstdint>
#include <string>

#include <rt/Object.h>
#include <rt/Value.h>

namespace zid {

class QXLogRecord : public rt::Object {
    RT_CLASS(QXLogRecord, rt::Object)
public:
    /// The date is taken now: the moment of the call, not of output.
    QXLogRecord(std::string module, rt::Value source, std::int64_t address, std::string message, std::int64_t level);

    const std::string& message() const { return message_; }
    void setMessage(std::string message) { message_ = std::move(message); }
    const rt::Date& date() const { return date_; }
    void setDate(rt::Date date) { date_ = date; }
    std::int64_t level() const { return level_; }
    void setLevel(std::int64_t level) { level_ = level; }
    const std::string& module() const { return module_; }
    void setModule(std::string module) { module_ = std::move(module); }
    /// The sender; callers pass their class, whose text form is the class name.
    const rt::Value& source() const { return source_; }
    void setSource(rt::Value source) { source_ = std::move(source); }
    std::int64_t address() const { return address_; }
    void setAddress(std::int64_t address) { address_ = address; }

    /// "[<source> : <date>] <message>", or "[<date>] <message>" without a source.
    std::string description() const override;

private:
    std::string message_;
    rt::Date date_;
    std::int64_t level_;
    std::string module_;
    rt::Value source_;
    std::int64_t address_;
};

}  // namespace zid
