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
// The parser's own tree builder with a depth count: it stops the parse at the first
// array or object opened beyond the limit, so the tree never grows deeper than that (a
// deep tree exhausts the stack when an ordered object copies its members on growth),
// without a pass over the text of its own before the parse.
class DepthLimitedBuilder : public nlohmann::detail::json_sax_dom_parser<QXVexaMessage> {
public:
    explicit DepthLimitedBuilder(QXVexaMessage& root) : json_sax_dom_parser(root, false) {}
    bool start_object(std::size_t length) { return enter() && json_sax_dom_parser::start_object(length); }
    bool start_array(std::size_t length) { return enter() && json_sax_dom_parser::start_array(length); }
    bool end_object() { return leave() && json_sax_dom_parser::end_object(); }
    bool end_array() { return leave() && json_sax_dom_parser::end_array(); }
    bool tooDeep() const { return tooDeep_; }

private:
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
    bool tooDeep_ = false;
};
}  // namespace

QXVexaMessage vexaParse(const std::string& text) {
    // Frames come from the network: a hostile one nesting deep enough is refused like
    // any other malformed frame.
    QXVexaMessage result;
    DepthLimitedBuilder builder(result);
    if (!QXVexaMessage::sax_parse(text, &builder) || builder.is_errored() || builder.tooDeep())
        return QXVexaMessage(QXVexaMessage::value_t::discarded);
    return result;
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
