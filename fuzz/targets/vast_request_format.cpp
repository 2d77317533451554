// Request formats are configuration a host may take from a server. Parsing and
// substituting any format gives pairs with trimmed keys and values, and the query
// escaping leaves only unreserved bytes and %XX escapes.

#include <cstdint>
#include <cstdlib>

#include "../targets/FuzzInput.h"
#include "Ad/ZeveVO/ZeveVoRequestFormat.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    zidfuzz::FuzzInput input(data, size);
    zid::ZeveVoPlaceholderValues values;
    values.title = std::string(input.field());
    values.keywords = std::string(input.field());
    values.description = zid::ZeveVoRequestFormat::cutDescription(input.field());
    std::string_view format = input.rest();
    input.reached();
    std::string url = "http://h/a?";
    for (const auto& [key, value] : zid::ZeveVoRequestFormat::parse(format)) {
        if (key.find(',') != std::string::npos || value.find('=') != std::string::npos) std::abort();
        std::string substituted = zid::ZeveVoRequestFormat::substitute(value, values);
        if (substituted.size() > value.size() * (values.title.size() + values.keywords.size() + values.description.size() + 64) + 64)
            std::abort();  // one pass: a replacement is never expanded again
        url = zid::ZeveVoRequestFormat::appendUrlParameter(std::move(url), "k", substituted);
    }
    for (std::size_t i = 0; i < url.size(); ++i) {
        char c = url[i];
        bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                     std::string_view("-._~%&=?:/").find(c) != std::string_view::npos;
        if (!plain) std::abort();
    }
    return 0;
}
