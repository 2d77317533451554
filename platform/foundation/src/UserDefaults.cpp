#include <fnd/UserDefaults.h>

#include <cerrno>
#include <cmath>
#include <cstring>

#include <nlohmann/json.hpp>

#include <fnd/JsonNesting.h>

#include <fnd/Directories.h>
#include <rt/Exception.h>

namespace fnd {
namespace {

using json = nlohmann::ordered_json;

constexpr int kMaxDepth = 64;

bool isTaggedForm(const json& j) {
    if (!j.is_object() || j.size() != 1) return false;
    const auto& key = j.begin().key();
    return key == "$data" || key == "$date" || key == "$dictionary";
}

std::string hex(const rt::Data& d) {
    static const char* digits = "0123456789abcdef";
    std::string s;
    s.reserve(d.size() * 2);
    for (auto b : d) {
        s.push_back(digits[b >> 4]);
        s.push_back(digits[b & 15]);
    }
    return s;
}

std::optional<rt::Data> unhex(const std::string& s) {
    if (s.size() % 2) return std::nullopt;
    auto nibble = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    rt::Data d(s.size() / 2);
    for (std::size_t i = 0; i < d.size(); ++i) {
        int hi = nibble(s[2 * i]), lo = nibble(s[2 * i + 1]);
        if (hi < 0 || lo < 0) return std::nullopt;
        d[i] = static_cast<std::uint8_t>(hi << 4 | lo);
    }
    return d;
}

std::optional<json> toJSON(const rt::Value& v, int depth) {
    if (depth > kMaxDepth) return std::nullopt;
    switch (v.type()) {
        case rt::Value::Type::Nil:
        case rt::Value::Type::Null: return json(nullptr);
        case rt::Value::Type::Number: {
            const rt::Number n = v.numberValue();
            if (n.kind() == rt::Number::Kind::Bool) return json(n.boolValue());
            if (n.isFloatingPoint()) {
                double d = n.doubleValue();
                if (!std::isfinite(d)) return std::nullopt;  // JSON has no place for them
                return json(d);
            }
            if (n.isUnsigned()) return json(n.unsignedLongLongValue());
            return json(n.longLongValue());
        }
        case rt::Value::Type::String: return json(v.string());
        case rt::Value::Type::Data: return json{{"$data", hex(v.data())}};
        case rt::Value::Type::Date: return json{{"$date", v.date().secondsSince1970}};
        case rt::Value::Type::Array: {
            json a = json::array();
            for (const auto& e : v.array()) {
                auto j = toJSON(e, depth + 1);
                if (!j) return std::nullopt;
                a.push_back(std::move(*j));
            }
            return a;
        }
        case rt::Value::Type::Dictionary: {
            json o = json::object();
            for (const auto& [k, e] : v.dictionary().entries()) {
                if (!k.isString()) return std::nullopt;
                auto j = toJSON(e, depth + 1);
                if (!j) return std::nullopt;
                o[k.string()] = std::move(*j);
            }
            if (isTaggedForm(o)) return json{{"$dictionary", std::move(o)}};
            return o;
        }
        case rt::Value::Type::Object:
        case rt::Value::Type::Class:
        case rt::Value::Type::Struct: return std::nullopt;
    }
    return std::nullopt;
}

std::optional<rt::Value> fromJSON(const json& j, int depth);

std::optional<rt::Value> fromObject(const json& j, int depth) {
    rt::Dictionary d;
    for (auto it = j.begin(); it != j.end(); ++it) {
        auto v = fromJSON(it.value(), depth + 1);
        if (!v) return std::nullopt;
        d.set(rt::Value(it.key()), v->isNil() ? rt::Value::null() : *v);
    }
    return rt::Value(d);
}

std::optional<rt::Value> fromJSON(const json& j, int depth) {
    if (depth > kMaxDepth) return std::nullopt;
    switch (j.type()) {
        case json::value_t::null: return rt::Value::null();
        case json::value_t::boolean: return rt::Value(j.get<bool>());
        case json::value_t::number_integer: return rt::Value(j.get<long long>());
        case json::value_t::number_unsigned: {
            auto u = j.get<unsigned long long>();
            if (u <= static_cast<unsigned long long>(INT64_MAX)) return rt::Value(static_cast<long long>(u));
            return rt::Value(u);
        }
        case json::value_t::number_float: return rt::Value(j.get<double>());
        case json::value_t::string: return rt::Value(j.get<std::string>());
        case json::value_t::array: {
            rt::Value::Array a;
            for (const auto& e : j) {
                auto v = fromJSON(e, depth + 1);
                if (!v) return std::nullopt;
                a.push_back(v->isNil() ? rt::Value::null() : *v);
            }
            return rt::Value(std::move(a));
        }
        case json::value_t::object: {
            if (isTaggedForm(j)) {
                const auto tagged = j.begin();
                const std::string& key = tagged.key();
                const json& inner = tagged.value();
                if (key == "$data") {
                    if (!inner.is_string()) return std::nullopt;
                    auto d = unhex(inner.get<std::string>());
                    if (!d) return std::nullopt;
                    return rt::Value(std::move(*d));
                }
                if (key == "$date") {
                    if (!inner.is_number()) return std::nullopt;
                    return rt::Value(rt::Date{inner.get<double>()});
                }
                if (!inner.is_object()) return std::nullopt;
                return fromObject(inner, depth);
            }
            return fromObject(j, depth);
        }
        default: return std::nullopt;
    }
}

}  // namespace

rt::Ref<UserDefaults> UserDefaults::standard() {
    static const rt::Ref<UserDefaults> shared = rt::make<UserDefaults>(std::filesystem::path(Directories::library()) / "UserDefaults.json");
    return shared;
}

UserDefaults::UserDefaults(std::filesystem::path file) : file_(std::move(file)) {}

bool UserDefaults::isPropertyList(const rt::Value& value) { return toJSON(value, 0).has_value(); }

std::optional<std::string> UserDefaults::encodePropertyList(const rt::Value& value) {
    auto j = toJSON(value, 0);
    if (!j) return std::nullopt;
    return j->dump();
}

std::optional<rt::Value> UserDefaults::decodePropertyList(std::string_view text) {
    // Two levels of JSON per level of value at most ({"$dictionary": {...}}).
    if (json_nesting::deeperThan(text, 2 * kMaxDepth + 4)) return std::nullopt;
    json j = json::parse(text.begin(), text.end(), nullptr, /*allow_exceptions=*/false);
    if (j.is_discarded()) return std::nullopt;
    return fromJSON(j, 0);
}

bool UserDefaults::loadLocked() {
    if (loaded_) return true;
    rt::Ref<rt::Error> error;
    auto bytes = readFile(file_.string(), &error);
    if (!bytes) {
        if (error && (error->code() == ENOENT || error->code() == ENOTDIR)) {
            values_ = {};
            loaded_ = true;
            return true;
        }
        // Leave the file alone: a later write must not replace what could not be read.
        lastError_ = error ? error->localizedDescription() : "cannot read " + file_.string();
        return false;
    }
    auto value = decodePropertyList(std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size()));
    if (!value || !value->isDictionary()) {
        // An unreadable file cannot be repaired; keep it beside the new one for a person to look at.
        std::error_code ec;
        std::filesystem::rename(file_, file_.string() + ".unreadable", ec);
        lastError_ = file_.string() + " is not a defaults file; it was moved aside and the defaults start empty";
        values_ = {};
        loaded_ = true;
        return false;
    }
    values_ = value->dictionary();
    loaded_ = true;
    return true;
}

bool UserDefaults::writeLocked() {
    auto text = encodePropertyList(rt::Value(values_));
    if (!text) {
        lastError_ = "defaults hold a value that is not a property list";
        return false;
    }
    rt::Ref<rt::Error> error;
    if (!writeFileAtomically(file_.string(), rt::Data(text->begin(), text->end()), &error)) {
        lastError_ = error ? error->localizedDescription() : "cannot write " + file_.string();
        dirty_ = true;
        return false;
    }
    dirty_ = false;
    lastError_.clear();
    return true;
}

rt::Value UserDefaults::objectForKey(std::string_view key) {
    std::lock_guard lock(mutex_);
    loadLocked();
    rt::Value v = values_.get(rt::Value(key));
    return v.isNull() ? rt::Value() : v;
}

bool UserDefaults::setObject(const rt::Value& value, std::string_view key) {
    if (value.isNil()) return removeObjectForKey(key);
    if (!isPropertyList(value)) {
        throw rt::Exception(rt::Exception::InvalidArgument,
                            "Attempt to store a value that is not a property list under the defaults key \"" +
                                std::string(key) + "\"");
    }
    std::lock_guard lock(mutex_);
    if (!loadLocked() && !loaded_) return false;
    values_.set(rt::Value(key), value);
    dirty_ = true;
    return writeLocked();
}

bool UserDefaults::removeObjectForKey(std::string_view key) {
    std::lock_guard lock(mutex_);
    if (!loadLocked() && !loaded_) return false;
    if (!values_.contains(rt::Value(key))) return !dirty_ || writeLocked();
    values_.remove(rt::Value(key));
    dirty_ = true;
    return writeLocked();
}

rt::Dictionary UserDefaults::dictionaryRepresentation() {
    std::lock_guard lock(mutex_);
    loadLocked();
    return values_;
}

bool UserDefaults::synchronize() {
    std::lock_guard lock(mutex_);
    if (!loaded_) return loadLocked();
    if (dirty_) return writeLocked();
    loaded_ = false;
    return loadLocked();
}

std::string UserDefaults::lastError() const {
    std::lock_guard lock(mutex_);
    return lastError_;
}

}  // namespace fnd
