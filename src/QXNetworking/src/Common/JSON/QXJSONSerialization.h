#pragma once
// JSON text to and from rt::Value, in the gateway's wire form.
//
// The writer is compact (no white space), writes members in the dictionary's order,
// escapes "/" as "\/", writes every other non-ASCII character as raw UTF-8 and control
// characters as \uXXXX (\b \f \n \r \t by name). Booleans are written as true and
// false, so a number that remembers it was made as a boolean never turns into 1.
// The reader keeps booleans apart from numbers the same way, gives integers as
// integers and null as the null placeholder, and keeps members in their order.

#include <optional>
#include <string>
#include <string_view>

#include <rt/Error.h>
#include <rt/Value.h>

namespace zid {

/// The error domain of JSON reading and writing.
inline constexpr const char* QXJSONErrorDomain = "QXJSONErrorDomain";
enum class QXJSONError : long long {
    InvalidObject = 1,  // a value JSON cannot hold (a date, bytes, an object, NaN, a non-text key)
    InvalidText = 2,    // text that is not JSON
};

/// Whether the value can be written: a dictionary or an array at the top, only text
/// keys, and only nil-free JSON values (numbers that are finite, valid UTF-8 text, null,
/// dictionaries, arrays) inside, nested at most 512 deep.
bool isValidJSONObject(const rt::Value& value);

/// The JSON text of a dictionary or an array; nothing (and the error) when the value
/// cannot be written.
std::optional<std::string> JSONDataWithObject(const rt::Value& value, rt::Ref<rt::Error>* error = nullptr);

/// The value of a JSON text. Without allowFragments the top level must be an object
/// or an array. Nothing (and the error) for text that is not JSON or is nested more
/// than 512 deep; never throws.
std::optional<rt::Value> JSONObjectWithData(std::string_view text, bool allowFragments = false,
                                            rt::Ref<rt::Error>* error = nullptr);

}  // namespace zid
