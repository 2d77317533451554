#include "VexaWebSocketClient/QXVexaMessage.h"

#include <fnd/JsonNesting.h>

namespace zid {

QXVexaMessage vexaJSONFromValue(const rt::Value& value) {
    switch (value.type()) {
        case rt::Value::Type::Nil:
        case rt::Value::Type::Null:
            return nullptr;
        case rt::Value::Type::Number: {
            const rt::Number& n = *value.number();
            if (n.kind() == rt::Number::Kind::Bool) return n.boolValue();
            if (n.isFloatingPoint()) return n.doubleValue();
            if (n.isUnsigned()) return n.unsignedLongLongValue();
            return n.longLongValue();
        }
        case rt::Value::Type::String:
            return value.string();
        case rt::Value::Type::Date:
            return value.date().secondsSince1970;
        case rt::Value::Type::Array: {
            QXVexaMessage array = QXVexaMessage::array();
            for (const auto& item : value.array()) array.push_back(vexaJSONFromValue(item));
            return array;
        }
        case rt::Value::Type::Dictionary: {
            QXVexaMessage object = QXVexaMessage::object();
            for (const auto& [key, item] : value.dictionary().entries())
                object[key.isString() ? key.string() : key.description()] = vexaJSONFromValue(item);
            return object;
        }
        default:
            return value.description();
    }
}

QXVexaMessage vexaParse(const std::string& text) {
    // Frames come from the network: a hostile one nesting deep enough would exhaust the
    // stack inside the parser, so it is refused like any other malformed frame.
    if (fnd::json_nesting::deeperThan(text, kVexaMaximumNesting))
        return QXVexaMessage(QXVexaMessage::value_t::discarded);
    return QXVexaMessage::parse(text, nullptr, false);
}

std::optional<std::string> vexaSerialize(const QXVexaMessage& message) {
    try {
        return message.dump();
    } catch (const nlohmann::json::exception&) {
        return std::nullopt;
    }
}

namespace {
void hideSecrets(QXVexaMessage& json) {
    if (json.is_array()) {
        for (auto& item : json) hideSecrets(item);
    } else if (json.is_object()) {
        for (auto& [key, value] : json.items()) {
            if (key == "password" || key == "hash" || key == "apiKey" || key == "rpin") {
                value = "(hidden)";
            } else {
                hideSecrets(value);
            }
        }
    }
}
}  // namespace

std::string vexaLogText(const QXVexaMessage& message) {
    QXVexaMessage shown = message;
    hideSecrets(shown);
    return shown.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::optional<std::int64_t> vexaInteger(const QXVexaMessage& object, const char* key) {
    if (!object.is_object()) return std::nullopt;
    auto it = object.find(key);
    if (it == object.end() || !it->is_number_integer()) return std::nullopt;
    if (it->is_number_unsigned() && it->get<std::uint64_t>() > std::uint64_t(INT64_MAX)) return std::nullopt;
    return it->get<std::int64_t>();
}

std::optional<bool> vexaBoolean(const QXVexaMessage& object, const char* key) {
    if (!object.is_object()) return std::nullopt;
    auto it = object.find(key);
    if (it == object.end() || !it->is_boolean()) return std::nullopt;
    return it->get<bool>();
}

std::optional<std::string> vexaString(const QXVexaMessage& object, const char* key) {
    if (!object.is_object()) return std::nullopt;
    auto it = object.find(key);
    if (it == object.end() || !it->is_string()) return std::nullopt;
    return it->get<std::string>();
}

const QXVexaMessage* vexaObject(const QXVexaMessage& object, const char* key) {
    if (!object.is_object()) return nullptr;
    auto it = object.find(key);
    if (it == object.end() || !it->is_object()) return nullptr;
    return &*it;
}

bool vexaLogs(std::int64_t level) {
    for (const auto& handler : QXLogger::defaultLogger()->handlers())
        if (handler->level() >= level) return true;
    return false;
}

}  // namespace zid
