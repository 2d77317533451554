#include <fnd/KeyedArchiver.h>

#include <cmath>
#include <set>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>
#include <rt/Exception.h>

#include "KeyedArchiveFormat.h"

namespace fnd {

using Json = nlohmann::ordered_json;

struct KeyedArchiver::State {
    // The key scopes being written: the top level, then one per object being encoded.
    std::vector<Json> scopes;
    std::set<const rt::Object*> encoding;  // objects on the way down, to refuse cycles
    bool finished = false;

    Json& scope() {
        if (finished) {
            throw rt::Exception(rt::Exception::InternalInconsistency, "The archiver has already finished encoding");
        }
        return scopes.back();
    }
};

KeyedArchiver::KeyedArchiver() : state_(std::make_unique<State>()) { state_->scopes.push_back(Json::object()); }

KeyedArchiver::~KeyedArchiver() = default;

namespace {

Json encodeNumber(const rt::Number& n) {
    if (n.kind() == rt::Number::Kind::Bool) return n.boolValue();
    if (n.isFloatingPoint()) return n.doubleValue();
    if (n.isUnsigned()) return n.unsignedLongLongValue();
    return n.longLongValue();
}

}  // namespace

// Encodes one value; objects recurse through their encodeWithCoder.
static Json encodeValue(KeyedArchiver& archiver, KeyedArchiver::State& state, const rt::Value& value);

void KeyedArchiver::encodeObject(const rt::Value& value, std::string_view key) {
    (void)state_->scope();
    Json encoded = encodeValue(*this, *state_, value);
    state_->scope()[std::string(key)] = std::move(encoded);
}

void KeyedArchiver::encodeBool(bool value, std::string_view key) { state_->scope()[std::string(key)] = value; }

void KeyedArchiver::encodeInt64(long long value, std::string_view key) { state_->scope()[std::string(key)] = value; }

void KeyedArchiver::encodeDouble(double value, std::string_view key) {
    // JSON has no infinities or NaN: they are written as null and read back as 0.0.
    if (std::isfinite(value)) state_->scope()[std::string(key)] = value;
    else state_->scope()[std::string(key)] = nullptr;
}

rt::Data KeyedArchiver::finishEncoding() {
    Json document = Json::object();
    document[archive::ArchiveKey] = archive::FormatName;
    document[archive::VersionKey] = archive::FormatVersion;
    document[archive::TopKey] = std::move(state_->scope());
    state_->finished = true;
    std::string text = document.dump(2);
    text += '\n';
    return rt::Data(text.begin(), text.end());
}

rt::Data KeyedArchiver::archivedData(const rt::Value& root) {
    auto archiver = rt::make<KeyedArchiver>();
    archiver->encodeObject(root, "root");
    return archiver->finishEncoding();
}

static Json encodeValue(KeyedArchiver& archiver, KeyedArchiver::State& state, const rt::Value& value) {
    using Type = rt::Value::Type;
    switch (value.type()) {
    case Type::Nil:
        return nullptr;
    case Type::Null:
        return Json{{archive::NullKey, true}};
    case Type::Number:
        return encodeNumber(value.numberValue());
    case Type::String:
        return value.string();
    case Type::Data:
        return Json{{archive::DataKey, archive::base64Encode(value.data())}};
    case Type::Date:
        return Json{{archive::DateKey, value.date().secondsSince1970}};
    case Type::Array: {
        Json array = Json::array();
        for (const auto& element : value.array()) array.push_back(encodeValue(archiver, state, element));
        return array;
    }
    case Type::Dictionary: {
        Json entries = Json::array();
        for (const auto& [key, element] : value.dictionary().entries()) {
            entries.push_back(Json::array({encodeValue(archiver, state, key), encodeValue(archiver, state, element)}));
        }
        return Json{{archive::DictionaryKey, std::move(entries)}};
    }
    case Type::Object: {
        auto object = value.object();
        auto* coding = dynamic_cast<const Coding*>(object.get());
        if (!coding) {
            throw rt::Exception(rt::Exception::InvalidArgument,
                                "Cannot archive an object of class " + object->className() + ": it does not implement Coding");
        }
        if (!state.encoding.insert(object.get()).second) {
            throw rt::Exception(rt::Exception::InvalidArgument,
                                "Cannot archive an object of class " + object->className() + " that contains itself");
        }
        state.scopes.push_back(Json::object());
        try {
            coding->encodeWithCoder(archiver);
        } catch (...) {
            state.scopes.pop_back();
            state.encoding.erase(object.get());
            throw;
        }
        Json values = std::move(state.scopes.back());
        state.scopes.pop_back();
        state.encoding.erase(object.get());
        Json encoded = Json::object();
        encoded[archive::ClassKey] = object->className();
        encoded[archive::ValuesKey] = std::move(values);
        return encoded;
    }
    case Type::Class:
    case Type::Struct:
        break;
    }
    throw rt::Exception(rt::Exception::InvalidArgument, "Cannot archive a value of this kind: " + value.description().substr(0, 200));
}

}  // namespace fnd
