#include "VexaWebSocketClient/QXVexaMessage.h"

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

namespace {
// The parser's own tree builder with two counts: it stops the parse at the first array
// or object opened beyond the nesting limit, so the tree never grows deeper than that
// (a deep tree exhausts the stack when an ordered object copies its members on growth),
// and at the first value beyond the value limit, so a frame of many small values (two
// bytes of text each, a hundred bytes or so each in the tree) cannot take memory many
// times its size. Neither needs a pass over the text of its own before the parse.
class BoundedBuilder : public nlohmann::detail::json_sax_dom_parser<QXVexaMessage> {
public:
    explicit BoundedBuilder(QXVexaMessage& root) : json_sax_dom_parser(root, false) {}
    bool null() { return count() && json_sax_dom_parser::null(); }
    bool boolean(bool value) { return count() && json_sax_dom_parser::boolean(value); }
    bool number_integer(number_integer_t value) { return count() && json_sax_dom_parser::number_integer(value); }
    bool number_unsigned(number_unsigned_t value) { return count() && json_sax_dom_parser::number_unsigned(value); }
    bool number_float(number_float_t value, const string_t& text) {
        return count() && json_sax_dom_parser::number_float(value, text);
    }
    bool string(string_t& value) { return count() && json_sax_dom_parser::string(value); }
    bool binary(binary_t& value) { return count() && json_sax_dom_parser::binary(value); }
    bool start_object(std::size_t length) { return count() && enter() && json_sax_dom_parser::start_object(length); }
    bool start_array(std::size_t length) { return count() && enter() && json_sax_dom_parser::start_array(length); }
    bool end_object() { return leave() && json_sax_dom_parser::end_object(); }
    bool end_array() { return leave() && json_sax_dom_parser::end_array(); }
    bool tooDeep() const { return tooDeep_; }
    bool tooMany() const { return tooMany_; }

private:
    bool count() {
        if (++values_ <= kVexaMaximumValues) return true;
        tooMany_ = true;
        return false;
    }
    bool enter() {
        if (++depth_ <= kVexaMaximumNesting) return true;
        tooDeep_ = true;
        return false;
    }
    bool leave() {
        --depth_;
        return true;
    }
    int depth_ = 0;
    std::size_t values_ = 0;
    bool tooDeep_ = false;
    bool tooMany_ = false;
};
}  // namespace

QXVexaMessage vexaParse(const std::string& text, std::string* refusal) {
    // Frames come from the network: a hostile one nesting deep enough, or holding more
    // values than any message needs, is refused like any other malformed frame.
    QXVexaMessage result;
    {
        BoundedBuilder builder(result);
        if (QXVexaMessage::sax_parse(text, &builder) && !builder.is_errored()) return result;
        if (refusal) {
            if (builder.tooDeep()) {
                *refusal = "a frame of " + std::to_string(text.size()) + " bytes nests more than " +
                           std::to_string(kVexaMaximumNesting) + " arrays and objects";
            } else if (builder.tooMany()) {
                *refusal = "a frame of " + std::to_string(text.size()) + " bytes holds more than " +
                           std::to_string(kVexaMaximumValues) + " values";
            } else {
                *refusal = "not JSON: " + text.substr(0, 200);
            }
        }
    }
    return QXVexaMessage(QXVexaMessage::value_t::discarded);
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

bool vexaLogs(std::int64_t level) { return QXLogger::defaultLoggerTakes(level); }

}  // namespace zid
