#include <QXFoundation/Log/QXLogRecord.h>

#include <rt/Format.h>

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
    if (!source_.isNil()) return rt::format("[%@ : %@] %@", source_, date_, message_);
    return rt::format("[%@] %@", date_, message_);
}

}  // namespace zid
