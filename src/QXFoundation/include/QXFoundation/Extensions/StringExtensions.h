#pragma once
// Text utilities: formatting with an argument list, URL percent-encoding, UTF-16
// subscripts, small rewrites, and the short viewer-count form.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include <fnd/RegularExpression.h>
#include <rt/Value.h>

namespace zid {

/// The format applied to the arguments in order as object arguments. Every argument can
/// be used, however many there are; a conversion past the end prints "(null)". The
/// format may come from outside: it never reads anything but the arguments.
std::string stringWithFormat(std::string_view format, const rt::Value::Array& arrayOfArguments);

/// The standard placeholder paragraph ("Lorem ipsum dolor sit amet, ..." 69 words).
const std::string& loremIpsum();

/// The one-unit text at a UTF-16 index. Raises RangeException past the end.
std::string objectAtIndexedSubscript(std::string_view text, std::size_t index);
/// The text in a UTF-16 range. Raises RangeException for a range past the end.
std::string objectForKeyedSubscript(std::string_view text, fnd::TextRange range);

/// Percent-encoding of the UTF-8 bytes: letters, digits and "-._~" stay, every other
/// byte becomes %XX (upper-case hexadecimal).
std::string urlEncodedString(std::string_view text);
/// Every %XX replaced by its byte; nothing when an escape is malformed or the result
/// is not valid UTF-8.
std::optional<std::string> urlDecodedString(std::string_view text);
/// Decoded, then encoded again; nothing when decoding fails.
std::optional<std::string> urlRecodedString(std::string_view text);
inline std::string urlEncode(std::string_view text) { return urlEncodedString(text); }
inline std::optional<std::string> urlDecode(std::string_view text) { return urlDecodedString(text); }
inline std::optional<std::string> urlRecode(std::string_view text) { return urlRecodedString(text); }

/// Every occurrence of one byte replaced by its %XX escape ("." -> "%2E").
std::string urlEscapedOfOccurences(std::string_view text, char character);

/// The text without a trailing parenthesised part ("Show (live)" -> "Show ").
std::string stringByRemovingSocialStreamSuffix(std::string_view text);
/// Every "\n" replaced by "<br/>".
std::string stringByReplacingNewLinesWithHTMLBreaks(std::string_view text);

/// Short count text: up to 9999 in full (negative counts too), "12.3k" up to 999999,
/// "1.01M" / "1M" from a million.
std::string formatViewerNumber(std::int32_t count);

}  // namespace zid
