#pragma once
// printf-compatible formatting that also takes %@ (a value's description; nil prints
// "(null)"). The system's texts are format strings, and some come from outside: the
// arguments travel as a typed list, so a format never reads past them. A conversion
// without an argument prints "(null)".

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include <rt/Value.h>

namespace rt {

std::string formatv(std::string_view format, const Value* args, std::size_t count);
inline std::string formatv(std::string_view format, const std::vector<Value>& args) {
    return formatv(format, args.data(), args.size());
}

template <class... Args> std::string format(std::string_view fmt, const Args&... args) {
    if constexpr (sizeof...(Args) == 0) {
        return formatv(fmt, nullptr, 0);
    } else {
        const Value values[] = {Value(args)...};  // on the stack: no list to allocate
        return formatv(fmt, values, sizeof...(Args));
    }
}

}  // namespace rt
