#pragma once
// The URL text rules of the ad stack. Both escapings work on UTF-8 bytes and write
// %XX with upper-case hexadecimal digits.
#include <string>
#include <string_view>

namespace zid {

/// True when the text can stand as a URL as it is: not empty, every byte one of
///   A-Z a-z 0-9 - . _ ~            (unreserved)
///   : / ? # [ ] @ ! $ & ' ( ) * + , ; =   (reserved)
/// or a "%" followed by two hexadecimal digits.
bool isValidUrlText(std::string_view text);

/// The repair of a media file's address: every byte outside the set of isValidUrlText
/// is escaped (space, control bytes, DEL, every non-ASCII byte, " < > \ ^ ` { | }) and
/// so is a "%" that does not start a valid escape; the reserved characters and valid
/// escapes stay ("a b" -> a%20b, "ü" -> %C3%BC, "{t}" -> %7Bt%7D, "%zz" -> %25zz).
std::string mediaUrlEscaped(std::string_view text);

/// The escaping of a request's query value: only A-Z a-z 0-9 - . _ ~ stay; every other
/// byte, the reserved characters included, is escaped (" " -> %20, "/" -> %2F,
/// "," -> %2C).
std::string queryValueEscaped(std::string_view text);

/// The reference (a URL without a scheme: "//host/p", "/p", "p", "../p", "?q") resolved
/// against the absolute base URL, as a link in a document fetched from the base is:
/// "//host/p" takes the base's scheme, "/p" its host, "p" its folder, with "." and ".."
/// segments removed. No character is escaped or checked.
std::string resolvedUrl(std::string_view reference, std::string_view base);

/// True for an http or https URL with a host that isValidUrlText accepts.
bool isFetchableUrl(std::string_view url);

}  // namespace zid
