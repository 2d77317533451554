#pragma once
// printf-compatible formatting that also takes %@ (a value's description; nil prints
// "(null)"). The system's texts are format strings, and some come from outside: the
// arguments travel as a typed list, so a format never reads past them. A conversion
// without an argument prints "(null)".

#include <string>
#include <string_view>
#include <vector>

#include <rt/Value.h>

namespace rt {

std::string formatv(std::string_view format, const std::vector<Value>& args);

template <class... Args> std::string format(std::string_view fmt, const Args&... args) {
    return formatv(fmt, std::vector<Value>{Value(args)...});
}

}  // namespace rt
