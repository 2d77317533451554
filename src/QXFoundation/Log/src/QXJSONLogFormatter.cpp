#include "QXJSONLogFormatter.h"

#include <nlohmann/json.hpp>

namespace zid {

std::string QXJSONLogFormatter::formatLog(const QXLogRecord& record) const {
    try {
        nlohmann::ordered_json object;
        object["address"] = record.address();
        object["message"] = record.message();
        object["date"] = record.date().description();
        object["level"] = record.level();
        if (!record.module().empty()) object["module"] = record.module();
        if (!record.source().isNil()) object["source"] = record.source().description();
        return object.dump();
    } catch (const nlohmann::json::exception&) {
        return SerializationFailure;
    }
}

}  // namespace zid
