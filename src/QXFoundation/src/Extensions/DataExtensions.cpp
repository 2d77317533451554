#include "Extensions/DataExtensions.h"

namespace zid {

std::string hexStringValue(const rt::Data& data) {
    static constexpr char digits[] = "0123456789abcdef";
    std::string out;
    out.reserve(data.size() * 2);
    for (auto byte : data) {
        out += digits[byte >> 4];
        out += digits[byte & 0xF];
    }
    return out;
}

}  // namespace zid
