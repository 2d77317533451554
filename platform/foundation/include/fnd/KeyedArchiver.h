#pragma once
// Writes a keyed archive (the format is described in fnd/KeyedArchive.h).

#include <memory>
#include <string_view>

#include <fnd/KeyedArchive.h>
#include <rt/Value.h>

namespace fnd {

class KeyedArchiver : public rt::Object {
    RT_CLASS(KeyedArchiver, rt::Object)
public:
    KeyedArchiver();
    ~KeyedArchiver() override;

    /// Writes a value: nil, numbers, strings, bytes, dates, arrays, dictionaries and
    /// objects of classes that implement Coding. Another object raises
    /// InvalidArgumentException.
    void encodeObject(const rt::Value& value, std::string_view key);
    void encodeBool(bool value, std::string_view key);
    void encodeInt64(long long value, std::string_view key);
    void encodeDouble(double value, std::string_view key);

    /// The archive's bytes. Encoding afterwards raises InternalInconsistencyException.
    rt::Data finishEncoding();

    /// An archive whose top level holds the object under "root".
    static rt::Data archivedData(const rt::Value& root);

    struct State;  // the implementation's own

private:
    std::unique_ptr<State> state_;
};

}  // namespace fnd
