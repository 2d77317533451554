#pragma once
// Turns a record into one line of text: its level tag, a blank, its description.

#include <cstdint>
#include <string>

#include <QXFoundation/Log/QXLogRecord.h>

namespace zid {

class QXLogFormatter : public rt::Object {
    RT_CLASS(QXLogFormatter, rt::Object)
public:
    /// "[C]" "[E]" "[!]" "[S]" "[i]" "[d]" for levels 1 to 6, "[?]" for any other.
    static std::string logRecordTypeFromLevel(std::int64_t level);
    /// No trailing line break: the handler adds one where its medium needs it.
    virtual std::string formatLog(const QXLogRecord& record) const;
};

}  // namespace zid
