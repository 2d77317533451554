#pragma once
// Keyed archives: objects written as named values, read back as objects of the same
// classes.
//
// Format (version 1). An archive is a UTF-8 JSON document:
//
//   { "archive": "zid.keyed-archive", "version": 1, "top": { <key>: <value>, ... } }
//
// "top" holds the keys written on the archiver itself. A value is one of:
//   null                      nil
//   true / false              a boolean (encodeBool, or a boolean number)
//   an integer                encodeInt64, or an integral number
//   a number with a fraction  encodeDouble, or a floating-point number ("2.0" stays a double)
//   a string                  a string
//   [ <value>, ... ]          an array
//   { "$dictionary": [ [<key value>, <value>], ... ] }   a dictionary, in its order
//   { "$data": "<base64>" }   bytes
//   { "$date": <seconds since 1970 UTC> }
//   { "$null": true }         the null placeholder of collections
//   { "$class": "<class name>", "values": { <key>: <value>, ... } }
//                             an object: the keys its encodeWithCoder wrote
//
// An object is decoded by instantiating the recorded class by name (its default
// constructor) and calling initWithCoder on it; only classes registered with
// registerCodingClass() are instantiated, so a file cannot make the reader build
// arbitrary objects. Objects are written by value: an object reached twice is written
// twice, and an object that contains itself raises InvalidArgumentException.
//
// A reader of version 1 rejects any other "archive" or "version" value. Later versions
// add value forms; they never change the meaning of these.

#include <string_view>

#include <rt/Object.h>

namespace fnd {

class KeyedArchiver;
class KeyedUnarchiver;

/// Implemented by classes whose objects can be archived.
class Coding {
public:
    virtual ~Coding() = default;
    virtual void encodeWithCoder(KeyedArchiver& coder) const = 0;
    /// Called on a default-constructed object. Missing keys read as nil, 0, 0.0 or NO.
    virtual void initWithCoder(KeyedUnarchiver& coder) = 0;
};

/// Allows the class to be decoded by name. The class must derive from rt::Object and
/// Coding and be default-constructible.
void registerCodingClass(const rt::Class& cls);
template <class T> void registerCodingClass() { registerCodingClass(T::staticClass()); }

/// The error domain of archive failures.
inline constexpr const char* KeyedArchiveErrorDomain = "KeyedArchiveErrorDomain";
enum class KeyedArchiveError : long long {
    Unreadable = 1,       // not a JSON document
    NotAnArchive = 2,     // another "archive" or "version"
    UnknownClass = 3,     // a class not registered for decoding
    MalformedValue = 4,   // a value of an unknown form, or nested too deep
};

}  // namespace fnd
