#include "Common/JSON/QXJSONSerialization.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <functional>
#include <string_view>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include <fnd/JsonNesting.h>
#include <fnd/UTF16.h>

namespace zid {

namespace {

// Deeper nesting than this is refused both ways, so neither writing nor reading text
// from outside can exhaust the stack.
constexpr int kMaxDepth = 512;

bool validInside(const rt::Value& value, int depth) {
    if (depth > kMaxDepth) return false;
    switch (value.type()) {
        case rt::Value::Type::Null:
            return true;
        case rt::Value::Type::String:
            return fnd::isValidUTF8(value.string());
        case rt::Value::Type::Number: {
            const rt::Number n = value.numberValue();
            return !n.isFloatingPoint() || std::isfinite(n.doubleValue());
        }
        case rt::Value::Type::Array:
            for (const auto& item : value.array())
                if (!validInside(item, depth + 1)) return false;
            return true;
        case rt::Value::Type::Dictionary:
            for (const auto& [key, item] : value.dictionary().entries())
                if (!key.isString() || !fnd::isValidUTF8(key.string()) || !validInside(item, depth + 1)) return false;
            return true;
        default:
            return false;
    }
}

void writeString(std::string& out, const std::string& text) {
    out.push_back('"');
    for (unsigned char c : text) {
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '/': out += "\\/"; break;
            case '\b': out += "\\b"; break;
            case '\f': out += "\\f"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (c < 0x20) {
                    char buffer[8];
                    std::snprintf(buffer, sizeof buffer, "\\u%04x", c);
                    out += buffer;
                } else {
                    out.push_back(static_cast<char>(c));
                }
        }
    }
    out.push_back('"');
}

void writeNumber(std::string& out, const rt::Number& n) {
    using Kind = rt::Number::Kind;
    char buffer[64];
    std::to_chars_result result{};
    switch (n.kind()) {
        case Kind::Bool: out += n.boolValue() ? "true" : "false"; return;
        case Kind::Float: result = std::to_chars(buffer, buffer + sizeof buffer, n.floatValue()); break;
        case Kind::Double: result = std::to_chars(buffer, buffer + sizeof buffer, n.doubleValue()); break;
        default:
            if (n.isUnsigned()) result = std::to_chars(buffer, buffer + sizeof buffer, n.unsignedLongLongValue());
            else result = std::to_chars(buffer, buffer + sizeof buffer, n.longLongValue());
    }
    out.append(buffer, result.ptr);
}

void write(std::string& out, const rt::Value& value) {
    switch (value.type()) {
        case rt::Value::Type::Null: out += "null"; break;
        case rt::Value::Type::String: writeString(out, value.string()); break;
        case rt::Value::Type::Number: writeNumber(out, value.numberValue()); break;
        case rt::Value::Type::Array: {
            out.push_back('[');
            bool first = true;
            for (const auto& item : value.array()) {
                if (!first) out.push_back(',');
                first = false;
                write(out, item);
            }
            out.push_back(']');
            break;
        }
        case rt::Value::Type::Dictionary: {
            out.push_back('{');
            bool first = true;
            for (const auto& [key, item] : value.dictionary().entries()) {
                if (!first) out.push_back(',');
                first = false;
                writeString(out, key.string());
                out.push_back(':');
                write(out, item);
            }
            out.push_back('}');
            break;
        }
        default: break;  // excluded by the validity check
    }
}

// Builds the value bottom up as the parser reads the text: an array or object is made
// whole once it closes and moved into its parent then. A key is looked for among the
// few before it, and in a large object in a hash index of them, so an object of n
// members costs n steps rather than the n squared of an ordered object's own look-up
// (a gateway answer may be megabytes of one object). A key that comes again in one
// object keeps its first place and takes the last value.
class ValueBuilder {
public:
    using number_integer_t = nlohmann::json::number_integer_t;
    using number_unsigned_t = nlohmann::json::number_unsigned_t;
    using number_float_t = nlohmann::json::number_float_t;
    using string_t = nlohmann::json::string_t;
    using binary_t = nlohmann::json::binary_t;

    bool null() { return place(rt::Value::null()); }
    bool boolean(bool v) { return place(rt::Value(rt::Number::ofBool(v))); }
    bool number_integer(number_integer_t v) { return place(rt::Value(rt::Number::ofLongLong(v))); }
    bool number_unsigned(number_unsigned_t v) {
        if (v <= static_cast<number_unsigned_t>(INT64_MAX))
            return place(rt::Value(rt::Number::ofLongLong(static_cast<long long>(v))));
        return place(rt::Value(rt::Number::ofULongLong(v)));
    }
    bool number_float(number_float_t v, const string_t&) { return place(rt::Value(rt::Number::ofDouble(v))); }
    bool string(string_t& v) { return place(rt::Value(std::move(v))); }
    bool binary(binary_t&) { return false; }  // JSON text holds none
    bool start_object(std::size_t) { return enter(true); }
    bool start_array(std::size_t) { return enter(false); }
    bool key(string_t& name) {
        open_[depth_ - 1].slot = open_[depth_ - 1].placeOf(std::move(name));
        return true;
    }
    bool end_object() {
        Open& done = open_[--depth_];
        std::vector<std::pair<rt::Value, rt::Value>> entries;
        entries.reserve(done.keys.size());
        for (std::size_t i = 0; i < done.keys.size(); ++i)
            entries.emplace_back(rt::Value(std::move(done.keys[i])), std::move(done.values[i]));
        done.clear();
        return place(rt::Value(rt::Dictionary::withDistinctKeys(std::move(entries))));
    }
    bool end_array() {
        Open& done = open_[--depth_];
        rt::Value::Array items = std::move(done.values);
        done.clear();
        return place(rt::Value(std::move(items)));
    }
    template <class Exception>
    bool parse_error(std::size_t, const std::string&, const Exception&) {
        return false;
    }

    rt::Value take() { return std::move(root_); }

private:
    /// An array or object still open: its values so far, and an object's keys. One is
    /// kept for each depth reached and used again.
    struct Open {
        /// Keys an object looks for one by one, before it indexes them.
        static constexpr std::size_t kIndexFrom = 16;

        bool object = false;
        std::vector<rt::Value> values;
        /// An object's keys in the order they first came, each with its value at the same
        /// place.
        std::vector<std::string> keys;
        /// A large object's index: open addressing over the keys' places (plus one; zero
        /// is free) with a part of each key's hash beside it, so a look-up touches one
        /// small array and compares text only where the hashes agree.
        std::vector<std::pair<std::uint32_t, std::uint32_t>> index;
        /// Where the value after the last key goes.
        std::size_t slot = 0;

        /// The place of the key's value: where it came before, or a new one at the end.
        std::size_t placeOf(std::string&& name) {
            if (keys.size() < kIndexFrom) {
                for (std::size_t i = 0; i < keys.size(); ++i)
                    if (keys[i] == name) return i;
                return add(std::move(name));
            }
            if (index.empty()) rebuildIndex(64);
            const std::size_t hash = std::hash<std::string_view>()(name);
            const auto tag = static_cast<std::uint32_t>(hash >> 32);
            const std::size_t mask = index.size() - 1;
            std::size_t at = hash & mask;
            for (; index[at].second != 0; at = (at + 1) & mask)
                if (index[at].first == tag && keys[index[at].second - 1] == name) return index[at].second - 1;
            index[at] = {tag, static_cast<std::uint32_t>(keys.size() + 1)};
            const std::size_t place = add(std::move(name));
            if (keys.size() * 2 > index.size()) rebuildIndex(index.size() * 2);
            return place;
        }
        std::size_t add(std::string&& name) {
            keys.push_back(std::move(name));
            values.emplace_back();
            return keys.size() - 1;
        }
        void rebuildIndex(std::size_t size) {
            index.assign(size, {0, 0});
            for (std::size_t i = 0; i < keys.size(); ++i) {
                const std::size_t hash = std::hash<std::string_view>()(keys[i]);
                std::size_t at = hash & (size - 1);
                while (index[at].second != 0) at = (at + 1) & (size - 1);
                index[at] = {static_cast<std::uint32_t>(hash >> 32), static_cast<std::uint32_t>(i + 1)};
            }
        }
        void clear() {
            values.clear();
            keys.clear();
            index.clear();
        }
    };

    bool place(rt::Value&& v) {
        if (depth_ == 0) {
            root_ = std::move(v);
        } else if (Open& parent = open_[depth_ - 1]; parent.object) {
            parent.values[parent.slot] = std::move(v);
        } else {
            parent.values.push_back(std::move(v));
        }
        return true;
    }
    bool enter(bool object) {
        if (depth_ == open_.size()) open_.emplace_back();
        open_[depth_++].object = object;
        return true;
    }

    rt::Value root_;
    /// The arrays and objects open, outermost first, in the first `depth_` places.
    std::deque<Open> open_;
    std::size_t depth_ = 0;
};

rt::Ref<rt::Error> jsonError(QXJSONError code, std::string description) {
    return rt::Error::withDescription(QXJSONErrorDomain, static_cast<long long>(code), std::move(description));
}

}  // namespace

bool isValidJSONObject(const rt::Value& value) {
    return (value.isDictionary() || value.isArray()) && validInside(value, 0);
}

std::optional<std::string> JSONDataWithObject(const rt::Value& value, rt::Ref<rt::Error>* error) {
    if (!isValidJSONObject(value)) {
        if (error)
            *error = jsonError(QXJSONError::InvalidObject,
                               "The value cannot be written as JSON: only dictionaries with text keys, arrays, text, "
                               "finite numbers and null can be.");
        return std::nullopt;
    }
    std::string out;
    write(out, value);
    return out;
}

std::optional<rt::Value> JSONObjectWithData(std::string_view text, bool allowFragments, rt::Ref<rt::Error>* error) {
    // Measured on the text, before parsing: the parser itself recurses through a deep
    // value when it moves the member before it (kMaxDepth levels below the top).
    if (fnd::json_nesting::deeperThan(text, kMaxDepth + 1)) {
        if (error) *error = jsonError(QXJSONError::InvalidText, "The JSON text is nested too deeply.");
        return std::nullopt;
    }
    ValueBuilder builder;
    if (!nlohmann::json::sax_parse(text.begin(), text.end(), &builder)) {
        if (error) *error = jsonError(QXJSONError::InvalidText, "The data is not valid JSON text.");
        return std::nullopt;
    }
    rt::Value value = builder.take();
    if (!allowFragments && !value.isDictionary() && !value.isArray()) {
        if (error) *error = jsonError(QXJSONError::InvalidText, "The JSON text has neither an object nor an array at its top.");
        return std::nullopt;
    }
    return value;
}

}  // namespace zid
