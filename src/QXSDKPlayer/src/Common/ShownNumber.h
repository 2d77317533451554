#pragma once
// A number in a refusal, written as the caller wrote it: the shortest text that reads
// back as the same double ("-300", "0.25", "nan"), never a rounded "-3e+02".

#include <charconv>
#include <string>

namespace zid {

inline std::string shownNumber(double value) {
    char text[32];
    auto [end, error] = std::to_chars(text, text + sizeof text, value);
    return error == std::errc() ? std::string(text, end) : std::to_string(value);
}

}  // namespace zid
