#include "Common/JSON/QXJSONSerialization.h"

#include <charconv>
#include <cmath>
#include <cstdio>

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

rt::Value fromJSON(const nlohmann::ordered_json& json) {
    switch (json.type()) {
        case nlohmann::json::value_t::null: return rt::Value::null();
        case nlohmann::json::value_t::boolean: return rt::Value(rt::Number::ofBool(json.get<bool>()));
        case nlohmann::json::value_t::number_integer: return rt::Value(rt::Number::ofLongLong(json.get<long long>()));
        case nlohmann::json::value_t::number_unsigned: {
            const auto u = json.get<unsigned long long>();
            if (u <= static_cast<unsigned long long>(INT64_MAX)) return rt::Value(rt::Number::ofLongLong(static_cast<long long>(u)));
            return rt::Value(rt::Number::ofULongLong(u));
        }
        case nlohmann::json::value_t::number_float: return rt::Value(rt::Number::ofDouble(json.get<double>()));
        case nlohmann::json::value_t::string: return rt::Value(json.get<std::string>());
        case nlohmann::json::value_t::array: {
            rt::Value::Array items;
            items.reserve(json.size());
            for (const auto& item : json) items.push_back(fromJSON(item));
            return rt::Value(std::move(items));
        }
        case nlohmann::json::value_t::object: {
            rt::Dictionary dictionary;
            for (const auto& [key, item] : json.items()) dictionary.set(rt::Value(key), fromJSON(item));
            return rt::Value(dictionary);
        }
        default: return rt::Value::null();
    }
}

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
    auto json = nlohmann::ordered_json::parse(text.begin(), text.end(), nullptr, /*allow_exceptions=*/false);
    if (json.is_discarded()) {
        if (error) *error = jsonError(QXJSONError::InvalidText, "The data is not valid JSON text.");
        return std::nullopt;
    }
    if (!allowFragments && !json.is_object() && !json.is_array()) {
        if (error) *error = jsonError(QXJSONError::InvalidText, "The JSON text has neither an object nor an array at its top.");
        return std::nullopt;
    }
    return fromJSON(json);
}

}  // namespace zid
