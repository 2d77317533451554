#pragma once
// A guard for JSON read from outside (files, the network): the parser copies an
// ordered object's members when it grows, and that copy recurses through everything
// nested inside, so a document nesting deep enough exhausts the stack before any
// depth check on the parsed value.

#include <cstdint>
#include <string_view>

namespace fnd::json_nesting {

/// Whether the JSON text opens more than limit arrays and objects inside one another
/// (brackets inside strings do not count).
inline bool deeperThan(std::string_view text, int limit) {
    int depth = 0;
    bool inString = false;
    bool escaped = false;
    for (char c : text) {
        if (inString) {
            if (escaped) escaped = false;
            else if (c == '\\') escaped = true;
            else if (c == '"') inString = false;
            continue;
        }
        if (c == '"') inString = true;
        else if (c == '[' || c == '{') {
            if (++depth > limit) return true;
        } else if (c == ']' || c == '}') {
            --depth;
        }
    }
    return false;
}

}  // namespace fnd::json_nesting
