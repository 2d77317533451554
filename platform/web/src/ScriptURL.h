#pragma once
// Whether a URL is a script to run in the present page ("javascript:"), read the way an
// engine reads it: leading controls and spaces skipped, tabs and line breaks inside
// ignored, the scheme in any case.

#include <string>

namespace web {

inline bool isScriptURL(const std::string& url) {
    static constexpr const char* kScheme = "javascript:";
    std::size_t i = 0;
    while (i < url.size() && static_cast<unsigned char>(url[i]) <= 0x20) ++i;
    const char* want = kScheme;
    for (; i < url.size() && *want; ++i) {
        char c = url[i];
        if (c == '\t' || c == '\n' || c == '\r') continue;
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != *want) return false;
        ++want;
    }
    return *want == '\0';
}

}  // namespace web
