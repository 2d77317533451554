#include <fnd/KeyedUnarchiver.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include <fnd/Excerpt.h>
#include <fnd/JsonNesting.h>
#include "KeyedArchiveFormat.h"

namespace fnd {

using Json = nlohmann::ordered_json;

namespace {

constexpr std::size_t ExcerptLimit = 80;
constexpr int ExcerptDepth = 4;

void writeExcerpt(const Json& json, std::string& out, int depth) {
    if (out.size() > ExcerptLimit) return;
    const auto scalar = [&](const Json& j) {
        if (j.is_string() && j.get_ref<const std::string&>().size() > ExcerptLimit) {
            out += Json(j.get_ref<const std::string&>().substr(0, ExcerptLimit)).dump(-1, ' ', false, Json::error_handler_t::replace);
        } else {
            out += j.dump(-1, ' ', false, Json::error_handler_t::replace);
        }
    };
    if (json.is_object() || json.is_array()) {
        const bool object = json.is_object();
        if (depth >= ExcerptDepth && !json.empty()) {
            out += object ? "{...}" : "[...]";
            return;
        }
        out += object ? '{' : '[';
        bool first = true;
        for (auto it = json.begin(); it != json.end() && out.size() <= ExcerptLimit; ++it) {
            if (!first) out += ',';
            first = false;
            if (object) {
                scalar(Json(it.key()));
                out += ':';
            }
            writeExcerpt(*it, out, depth + 1);
        }
        out += object ? '}' : ']';
        return;
    }
    scalar(json);
}

}  // namespace

/// A short text of a value for an error message: a few levels and at most about 80
/// bytes, however large or deep the value is.
static std::string archiveExcerpt(const Json& json) {
    std::string out;
    writeExcerpt(json, out, 0);
    return fnd::excerpt(out, ExcerptLimit);
}

struct KeyedUnarchiver::State {
    Json document;
    // The key scopes being read: the top level, then one per object being decoded.
    std::vector<const Json*> scopes;
    rt::Ref<rt::Error> error;
    int depth = 0;

    void fail(KeyedArchiveError code, std::string message) {
        if (!error) error = rt::Error::withDescription(KeyedArchiveErrorDomain, static_cast<long long>(code), std::move(message));
    }
    const Json* find(std::string_view key) const {
        if (scopes.empty()) return nullptr;
        const Json& scope = *scopes.back();
        auto it = scope.find(std::string(key));
        return it == scope.end() ? nullptr : &*it;
    }
};

KeyedUnarchiver::KeyedUnarchiver() : state_(std::make_unique<State>()) {
    state_->fail(KeyedArchiveError::Unreadable, "No archive data");
}

KeyedUnarchiver::KeyedUnarchiver(const rt::Data& data) : state_(std::make_unique<State>()) {
    // Every decoded level takes at most four levels of the document (an object, its
    // values, a dictionary's entries and one entry).
    const std::string_view text(reinterpret_cast<const char*>(data.data()), data.size());
    if (json_nesting::deeperThan(text, 4 * archive::MaxDepth + 8)) {
        state_->fail(KeyedArchiveError::MalformedValue, "The keyed archive nests values too deeply");
        return;
    }
    Json document = Json::parse(data.begin(), data.end(), nullptr, /*allow_exceptions=*/false);
    if (document.is_discarded()) {
        state_->fail(KeyedArchiveError::Unreadable, "The archive is not a readable JSON document");
        return;
    }
    // Look, never copy: any member may be a hostile value of any size or depth.
    const auto format = document.is_object() ? document.find(archive::ArchiveKey) : document.end();
    if (!document.is_object() || format == document.end() || !format->is_string() || *format != archive::FormatName) {
        state_->fail(KeyedArchiveError::NotAnArchive, "The document is not a keyed archive");
        return;
    }
    auto version = document.find(archive::VersionKey);
    if (version == document.end() || !version->is_number_integer() || *version != archive::FormatVersion) {
        state_->fail(KeyedArchiveError::NotAnArchive,
                     "The keyed archive has version " + (version == document.end() ? std::string("(none)") : archiveExcerpt(*version)) +
                         "; this reader reads version " + std::to_string(archive::FormatVersion));
        return;
    }
    auto top = document.find(archive::TopKey);
    if (top == document.end() || !top->is_object()) {
        state_->fail(KeyedArchiveError::NotAnArchive, "The keyed archive has no top-level object");
        return;
    }
    state_->document = std::move(document);
    state_->scopes.push_back(&state_->document[archive::TopKey]);
}

KeyedUnarchiver::~KeyedUnarchiver() = default;

rt::Ref<rt::Error> KeyedUnarchiver::error() const { return state_->error; }

void KeyedUnarchiver::failWithError(rt::Ref<rt::Error> error) {
    if (!state_->error) state_->error = std::move(error);
}

bool KeyedUnarchiver::containsValueForKey(std::string_view key) const { return state_->find(key) != nullptr; }

static rt::Value decodeValue(KeyedUnarchiver& reader, KeyedUnarchiver::State& state, const Json& json);

rt::Value KeyedUnarchiver::decodeObject(std::string_view key) {
    const Json* json = state_->find(key);
    if (!json) return {};
    return decodeValue(*this, *state_, *json);
}

bool KeyedUnarchiver::decodeBool(std::string_view key) {
    const Json* json = state_->find(key);
    if (!json) return false;
    if (json->is_boolean()) return json->get<bool>();
    if (json->is_number()) return json->get<double>() != 0;
    return false;
}

long long KeyedUnarchiver::decodeInt64(std::string_view key) {
    const Json* json = state_->find(key);
    if (!json) return 0;
    if (json->is_boolean()) return json->get<bool>() ? 1 : 0;
    if (json->is_number_unsigned()) {
        auto u = json->get<unsigned long long>();
        return u > static_cast<unsigned long long>(std::numeric_limits<long long>::max()) ? std::numeric_limits<long long>::max()
                                                                                          : static_cast<long long>(u);
    }
    if (json->is_number_integer()) return json->get<long long>();
    if (json->is_number_float()) {
        double d = std::trunc(json->get<double>());
        if (!(d >= -9.2e18 && d <= 9.2e18)) return 0;  // out of range or NaN
        return static_cast<long long>(d);
    }
    return 0;
}

double KeyedUnarchiver::decodeDouble(std::string_view key) {
    const Json* json = state_->find(key);
    if (!json) return 0;
    if (json->is_boolean()) return json->get<bool>() ? 1 : 0;
    if (json->is_number()) return json->get<double>();
    return 0;
}

rt::Value KeyedUnarchiver::unarchivedObject(const rt::Data& data, rt::Ref<rt::Error>* error) {
    auto reader = rt::make<KeyedUnarchiver>(data);
    rt::Value root = reader->error() ? rt::Value() : reader->decodeObject("root");
    if (error) *error = reader->error();
    return reader->error() ? rt::Value() : root;
}

namespace {
rt::Value numberValue(const Json& json) {
    if (json.is_boolean()) return rt::Value(json.get<bool>());
    if (json.is_number_unsigned()) return rt::Value(rt::Number::ofULongLong(json.get<unsigned long long>()));
    if (json.is_number_integer()) return rt::Value(rt::Number::ofLongLong(json.get<long long>()));
    return rt::Value(rt::Number::ofDouble(json.get<double>()));
}
}  // namespace

static rt::Value decodeValue(KeyedUnarchiver& reader, KeyedUnarchiver::State& state, const Json& json) {
    if (json.is_null()) return {};
    if (json.is_boolean() || json.is_number()) return numberValue(json);
    if (json.is_string()) return rt::Value(json.get<std::string>());
    if (state.depth >= archive::MaxDepth) {
        state.fail(KeyedArchiveError::MalformedValue, "The keyed archive nests values too deeply");
        return {};
    }
    struct Level {
        int& depth;
        explicit Level(int& d) : depth(d) { ++depth; }
        ~Level() { --depth; }
    } level(state.depth);

    if (json.is_array()) {
        rt::Value::Array array;
        array.reserve(json.size());
        for (const auto& element : json) {
            rt::Value v = decodeValue(reader, state, element);
            array.push_back(v.isNil() ? rt::Value::null() : v);
        }
        return rt::Value(std::move(array));
    }
    if (!json.is_object() || json.empty()) {
        state.fail(KeyedArchiveError::MalformedValue, "The keyed archive holds a value of unknown form: " + archiveExcerpt(json));
        return {};
    }
    if (auto it = json.find(archive::ClassKey); it != json.end()) {
        auto values = json.find(archive::ValuesKey);
        if (!it->is_string() || values == json.end() || !values->is_object()) {
            state.fail(KeyedArchiveError::MalformedValue, "The keyed archive holds a malformed object");
            return {};
        }
        std::string name = it->get<std::string>();
        const rt::Class* cls = archive::codingClassNamed(name);
        auto object = cls ? cls->instantiate() : nullptr;
        auto* coding = dynamic_cast<Coding*>(object.get());
        if (!coding) {
            state.fail(KeyedArchiveError::UnknownClass, "The keyed archive holds an object of class " + archiveExcerpt(*it) +
                                                            ", which is not registered for decoding");
            return {};
        }
        state.scopes.push_back(&*values);
        struct Pop {
            std::vector<const Json*>& scopes;
            ~Pop() { scopes.pop_back(); }
        } pop{state.scopes};
        coding->initWithCoder(reader);
        return rt::Value(object);
    }
    if (auto it = json.find(archive::DictionaryKey); it != json.end() && it->is_array()) {
        rt::Dictionary dictionary;
        for (const auto& entry : *it) {
            if (!entry.is_array() || entry.size() != 2) {
                state.fail(KeyedArchiveError::MalformedValue, "The keyed archive holds a malformed dictionary entry");
                return {};
            }
            rt::Value key = decodeValue(reader, state, entry[0]);
            rt::Value element = decodeValue(reader, state, entry[1]);
            if (key.isNil()) continue;
            dictionary.set(key, element.isNil() ? rt::Value::null() : element);
        }
        return rt::Value(dictionary);
    }
    if (auto it = json.find(archive::DataKey); it != json.end() && it->is_string()) {
        if (auto bytes = archive::base64Decode(it->get<std::string>())) return rt::Value(std::move(*bytes));
        state.fail(KeyedArchiveError::MalformedValue, "The keyed archive holds bytes that are not base64");
        return {};
    }
    if (auto it = json.find(archive::DateKey); it != json.end() && it->is_number()) {
        return rt::Value(rt::Date{it->get<double>()});
    }
    if (json.contains(archive::NullKey)) return rt::Value::null();
    state.fail(KeyedArchiveError::MalformedValue, "The keyed archive holds a value of unknown form: " + archiveExcerpt(json));
    return {};
}

}  // namespace fnd
