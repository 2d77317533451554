#include <QXFoundation/Log/QXLogRecord.h>


namespace zid {

QXLogRecord::QXLogRecord(std::string module, rt::Value source, std::int64_t address, std::string message,
                         std::int64_t level)
    : message_(std::move(message)),
      date_(rt::Date::now()),
      level_(level),
      module_(std::move(module)),
      source_(std::move(source)),
      address_(address) {}

std::string QXLogRecord::description() const {
    std::string date = date_.description();
    std::string source = source_.isNil() ? std::string() : source_.description();
    std::string out;
    out.reserve(source.size() + date.size() + message_.size() + 8);
    out += '[';
    if (!source_.isNil()) {
        out += source;
        out += " : ";
    }
    out += date;
    out += "] ";
    out += message_;
    return out;
}

}  // namespace zid
