#pragma once
// The one test of URLs that came from a peer (a server's thumbnails, logos, stream
// addresses) before anything fetches them: only http and https. A server must never
// make the player read local files or reach other schemes' handlers.

#include <optional>
#include <string>
#include <string_view>

namespace zid {

/// The scheme the text begins with, lower-cased: a letter, then letters, digits, "+",
/// "-" or ".", then ":". Nothing for text without one (a bare name, a relative path).
std::optional<std::string> urlScheme(std::string_view text);
/// Whether the text is an http or https URL.
bool isWebURL(std::string_view text);
/// Whether the text names a scheme other than http and https ("file:", "ftp:"): what a
/// fetch of an address sent by a peer must refuse.
bool hasNonWebScheme(std::string_view text);

}  // namespace zid
