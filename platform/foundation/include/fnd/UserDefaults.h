#pragma once
// Small persistent settings of the application: property-list values (strings,
// numbers, booleans, bytes, dates, arrays, dictionaries with text keys) under text
// keys, kept in one JSON file.
//
// Values are read from the file on first use. Every change is written through to the
// file at once, atomically (a reader never sees half a file); a write that fails leaves
// the change pending in memory and synchronize() reports it and tries again. Safe to
// use from any thread.

#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include <rt/Object.h>
#include <rt/Value.h>

namespace fnd {

class UserDefaults : public rt::Object {
    RT_CLASS(UserDefaults, rt::Object)
public:
    /// The application's defaults, in "UserDefaults.json" of the Library directory.
    /// The file's place is fixed when the shared object is first made.
    static rt::Ref<UserDefaults> standard();

    /// Defaults kept in the given file; nothing is read until the first call.
    explicit UserDefaults(std::filesystem::path file);

    const std::filesystem::path& file() const { return file_; }

    /// Nil when absent.
    rt::Value objectForKey(std::string_view key);
    /// Stores a property-list value; nil removes the key. Any other value (an object
    /// reference, a class, a dictionary with a key that is not text) raises
    /// InvalidArgumentException and changes nothing. Answers whether the change reached
    /// the file.
    bool setObject(const rt::Value& value, std::string_view key);
    bool removeObjectForKey(std::string_view key);
    /// Every entry, in the order of first insertion.
    rt::Dictionary dictionaryRepresentation();

    /// Writes pending changes; when there are none, reloads the file so that changes
    /// another process made become visible. False when the file could not be written
    /// (the changes stay pending) or could not be read.
    bool synchronize();

    /// Why the last write or read failed (empty when the last one succeeded).
    std::string lastError() const;

    /// Whether the value can be stored: nil, null, numbers, strings, bytes, dates, and
    /// arrays and text-keyed dictionaries of those.
    static bool isPropertyList(const rt::Value& value);
    /// The JSON text of a property-list value; bytes and dates are written as
    /// {"$data": "<hex>"} and {"$date": <seconds since 1970>}, and a dictionary that
    /// would read back as one of those forms as {"$dictionary": {...}}. Nothing for a
    /// value that is not a property list.
    static std::optional<std::string> encodePropertyList(const rt::Value& value);
    /// Reverses encodePropertyList. Nothing for text that is not JSON of that shape.
    static std::optional<rt::Value> decodePropertyList(std::string_view json);

private:
    bool loadLocked();
    bool writeLocked();

    std::filesystem::path file_;
    mutable std::mutex mutex_;
    bool loaded_ = false;
    bool dirty_ = false;
    rt::Dictionary values_;
    std::string lastError_;
};

}  // namespace fnd
