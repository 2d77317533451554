#pragma once
// A URL taken apart and put together again, and the percent-encoding sets requests use.
//
// The host keeps a port when the URL has one ("127.0.0.1:8443"), so a host chosen from
// configuration may name one as well. The path is kept percent-encoded as written.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zid {

struct URLComponents {
    std::string scheme;
    std::string host;                // with ":port" when the URL names one
    std::string percentEncodedPath;  // "" or beginning with "/"
    std::optional<std::string> query;
    std::optional<std::string> fragment;

    /// Nothing unless the text is scheme "://" authority [path] ["?" query] ["#" fragment].
    static std::optional<URLComponents> parse(std::string_view url);
    std::string string() const;

    /// The path's components with escapes removed; the leading "/" is the first one
    /// ("/json.php/A.b" -> "/", "json.php", "A.b"), as the platform lists them.
    std::vector<std::string> pathComponents() const;
    std::string lastPathComponent() const;
};

/// The URL with one more path component: the text is percent-encoded with the path set
/// (so a "/" inside it stays a separator) and joined with exactly one "/".
std::string URLByAppendingPathComponent(std::string_view url, std::string_view component);

/// Bytes that stay as they are in a URL path: ASCII letters, digits and
/// ! $ & ' ( ) * + , - . / : = @ _ ~. Every other byte becomes %XX (upper case).
std::string percentEncodedForPath(std::string_view text);
/// Bytes that stay in a query's keys and values: letters, digits and - . _ ~ and the
/// query's own sub-delimiters except & = + ; and # (the form the session writes).
std::string percentEncodedForQueryComponent(std::string_view text);

}  // namespace zid
