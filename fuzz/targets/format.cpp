// Format strings partly come from outside (localized texts, server messages). Input:
// one byte giving the number of arguments (its low three bits), one byte per argument
// choosing its kind, then the format.

#include <cstdint>
#include <cstdlib>
#include <limits>
#include <string>
#include <vector>

#include <rt/Format.h>

#include "FuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    zidfuzz::FuzzInput input(data, size);
    const std::uint8_t count = input.byte() & 7u;
    // Every kind of argument, the extremes of each included.
    const rt::Value pool[] = {
        rt::Value(),
        rt::Value(0),
        rt::Value(-1),
        rt::Value(std::numeric_limits<long long>::min()),
        rt::Value(rt::Number::ofULongLong(std::numeric_limits<unsigned long long>::max())),
        rt::Value(1e308),
        rt::Value(-1e308),
        rt::Value(std::numeric_limits<double>::quiet_NaN()),
        rt::Value(std::numeric_limits<double>::infinity()),
        rt::Value(0.5),
        rt::Value(true),
        rt::Value("text %@ %n %s"),
        rt::Value(std::string("\xE2\x82X\xFF", 4)),
        rt::Value(rt::Value::Array{1, "two", rt::Value()}),
        rt::Value(rt::Dictionary{{rt::Value("k"), rt::Value(2)}}),
        rt::Value(rt::Data{0, 1, 2}),
    };
    constexpr std::size_t kinds = sizeof pool / sizeof pool[0];
    std::vector<rt::Value> args;
    for (std::size_t i = 0; i < count; ++i) args.push_back(pool[input.byte() % kinds]);
    const std::string_view format = input.rest();
    input.reached();
    const std::string out = rt::formatv(format, args);
    (void)out;
    return 0;
}
