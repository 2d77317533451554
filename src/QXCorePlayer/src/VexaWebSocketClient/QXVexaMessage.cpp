#include "VexaWebSocketClient/QXVexaMessage.h"

#include <deque>
#include <map>
#include <string_view>
#include <utility>
#include <vector>

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
// The parser's own tree builder, which builds the tree bottom up: an array or object is
// made whole once it closes and moved into its parent then, so no member is ever copied
// (an ordered object copies its members, whole subtrees, each time it grows). A key is
// looked for among the few before it, and in a large object in a sorted index of them,
// so an object of n members costs n log n comparisons rather than the n squared of an
// ordered object's own look-up. Every frame costs time in proportion to its text.
//
// Two counts stop the parse: the first array or object opened beyond the nesting limit,
// and the first value beyond the value limit, so a frame of many small values (two bytes
// of text each, a hundred bytes or so each in the tree) cannot take memory many times
// its size. Neither needs a pass over the text of its own before the parse.
//
// A key that comes again in one object keeps its first place and takes the last value.
class BoundedBuilder {
public:
    using number_integer_t = QXVexaMessage::number_integer_t;
    using number_unsigned_t = QXVexaMessage::number_unsigned_t;
    using number_float_t = QXVexaMessage::number_float_t;
    using string_t = QXVexaMessage::string_t;
    using binary_t = QXVexaMessage::binary_t;

    explicit BoundedBuilder(QXVexaMessage& root) : root_(root) {}

    bool null() { return value(nullptr); }
    bool boolean(bool v) { return value(v); }
    bool number_integer(number_integer_t v) { return value(v); }
    bool number_unsigned(number_unsigned_t v) { return value(v); }
    bool number_float(number_float_t v, const string_t&) { return value(v); }
    bool string(string_t& v) { return value(std::move(v)); }
    bool binary(binary_t& v) { return value(QXVexaMessage::binary(std::move(v))); }
    bool start_object(std::size_t) { return count() && enter(true); }
    bool start_array(std::size_t) { return count() && enter(false); }
    bool key(string_t& name) {
        Open& object = open_[depth_ - 1];
        object.slot = object.find(name);
        if (object.slot == object.keys.size()) object.add(std::move(name));
        return true;
    }
    bool end_object() {
        Open& done = open_[--depth_];
        QXVexaMessage object(QXVexaMessage::value_t::object);
        auto& members = object.get_ref<QXVexaMessage::object_t&>();
        members.reserve(done.keys.size());
        for (std::size_t i = 0; i < done.keys.size(); ++i)
            members.emplace_back(std::move(done.keys[i]), std::move(done.values[i]));
        done.clear();
        place(std::move(object));
        return true;
    }
    bool end_array() {
        Open& done = open_[--depth_];
        QXVexaMessage array(QXVexaMessage::value_t::array);
        array.get_ref<QXVexaMessage::array_t&>() = std::move(done.values);
        done.clear();
        place(std::move(array));
        return true;
    }
    template <class Exception>
    bool parse_error(std::size_t, const std::string&, const Exception&) {
        errored_ = true;
        return false;
    }

    bool errored() const { return errored_; }
    bool tooDeep() const { return tooDeep_; }
    bool tooMany() const { return tooMany_; }

private:
    /// An array or object still open: its values so far, and an object's keys. The
    /// builder keeps one for each depth it has reached and uses it again.
    struct Open {
        /// Keys an object looks for one by one, before it indexes them.
        static constexpr std::size_t kIndexFrom = 16;

        bool object = false;
        std::vector<QXVexaMessage> values;
        /// An object's keys in the order they first came, each with its value at the same
        /// place (a deque, so the index may refer to them as it grows).
        std::deque<std::string> keys;
        /// A large object's keys, each with its place.
        std::map<std::string_view, std::size_t> index;
        /// Where the value after the last key goes.
        std::size_t slot = 0;

        /// The place of the key, or the number of keys when it is new.
        std::size_t find(const std::string& name) const {
            if (!index.empty()) {
                auto at = index.find(name);
                return at == index.end() ? keys.size() : at->second;
            }
            for (std::size_t i = 0; i < keys.size(); ++i)
                if (keys[i] == name) return i;
            return keys.size();
        }
        void add(std::string&& name) {
            keys.push_back(std::move(name));
            values.emplace_back();
            if (!index.empty()) {
                index.emplace(keys.back(), keys.size() - 1);
            } else if (keys.size() == kIndexFrom) {
                for (std::size_t i = 0; i < keys.size(); ++i) index.emplace(keys[i], i);
            }
        }
        void clear() {
            values.clear();
            keys.clear();
            index.clear();
        }
    };

    template <class V>
    bool value(V&& v) {
        if (!count()) return false;
        place(QXVexaMessage(std::forward<V>(v)));
        return true;
    }
    void place(QXVexaMessage&& v) {
        if (depth_ == 0) {
            root_ = std::move(v);
        } else if (Open& parent = open_[depth_ - 1]; parent.object) {
            parent.values[parent.slot] = std::move(v);
        } else {
            parent.values.push_back(std::move(v));
        }
    }
    bool count() {
        if (++values_ <= kVexaMaximumValues) return true;
        tooMany_ = true;
        return false;
    }
    bool enter(bool object) {
        if (depth_ >= static_cast<std::size_t>(kVexaMaximumNesting)) {
            tooDeep_ = true;
            return false;
        }
        if (depth_ == open_.size()) open_.emplace_back();
        open_[depth_++].object = object;
        return true;
    }

    QXVexaMessage& root_;
    /// The arrays and objects open, outermost first, in the first `depth_` places.
    std::deque<Open> open_;
    std::size_t depth_ = 0;
    std::size_t values_ = 0;
    bool errored_ = false;
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
        if (QXVexaMessage::sax_parse(text, &builder) && !builder.errored()) return result;
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
