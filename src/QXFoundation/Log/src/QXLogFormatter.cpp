#include <QXFoundation/Log/QXLogFormatter.h>

namespace zid {

std::string QXLogFormatter::logRecordTypeFromLevel(std::int64_t level) {
    switch (level) {
        case 1: return "[C]";
        case 2: return "[E]";
        case 3: return "[!]";
        case 4: return "[S]";
        case 5: return "[i]";
        case 6: return "[d]";
        default: return "[?]";
    }
}

std::string QXLogFormatter::formatLog(const QXLogRecord& record) const {
    std::string line = logRecordTypeFromLevel(record.level());
    line += ' ';
    line += record.description();
    return line;
}

}  // namespace zid
