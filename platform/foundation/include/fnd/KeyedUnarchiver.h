#pragma once
// Reads a keyed archive (the format is described in fnd/KeyedArchive.h).
//
// Reading never throws on bad input: a document that is not an archive leaves error()
// set and every key missing; a value that cannot be decoded (an unknown class, an
// unknown form) reads as nil and sets error(). Callers check error() after decoding.

#include <memory>
#include <string_view>

#include <fnd/KeyedArchive.h>
#include <rt/Error.h>
#include <rt/Value.h>

namespace fnd {

class KeyedUnarchiver : public rt::Object {
    RT_CLASS(KeyedUnarchiver, rt::Object)
public:
    explicit KeyedUnarchiver(const rt::Data& data);
    KeyedUnarchiver();  // an empty, failed reader
    ~KeyedUnarchiver() override;

    /// The first failure met, or nullptr.
    rt::Ref<rt::Error> error() const;
    /// Records a failure that a decoded object found in its own keys (the first
    /// failure met stays the one reported).
    void failWithError(rt::Ref<rt::Error> error);

    bool containsValueForKey(std::string_view key) const;
    /// Nil when missing or undecodable.
    rt::Value decodeObject(std::string_view key);
    /// NO, 0 and 0.0 when missing; numbers convert between kinds (a double truncates
    /// toward zero for decodeInt64).
    bool decodeBool(std::string_view key);
    long long decodeInt64(std::string_view key);
    double decodeDouble(std::string_view key);

    /// The object under "root" of an archive made by KeyedArchiver::archivedData.
    /// Nil and *error set when it cannot be read.
    static rt::Value unarchivedObject(const rt::Data& data, rt::Ref<rt::Error>* error = nullptr);

    struct State;  // the implementation's own

private:
    std::unique_ptr<State> state_;
};

}  // namespace fnd
