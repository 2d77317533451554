#include <sec/Random.h>

#include <openssl/rand.h>

#include <climits>

#include "LibraryContext.h"

namespace sec {

bool randomBytes(void* buffer, std::size_t length) {
    if (length == 0) return true;
    OSSL_LIB_CTX* ctx = detail::libraryContext();
    return ctx && RAND_bytes_ex(ctx, static_cast<unsigned char*>(buffer), length, 0) == 1;
}

std::optional<rt::Data> randomData(std::size_t length) {
    rt::Data out(length);
    if (!randomBytes(out.data(), out.size())) return std::nullopt;
    return out;
}

std::optional<std::string> randomUUIDString() {
    unsigned char b[16];
    if (!randomBytes(b, sizeof b)) return std::nullopt;
    b[6] = static_cast<unsigned char>((b[6] & 0x0F) | 0x40);  // version 4
    b[8] = static_cast<unsigned char>((b[8] & 0x3F) | 0x80);  // RFC 4122 variant
    static const char* digits = "0123456789ABCDEF";
    std::string out;
    out.reserve(36);
    for (int i = 0; i < 16; ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) out.push_back('-');
        out.push_back(digits[b[i] >> 4]);
        out.push_back(digits[b[i] & 0x0F]);
    }
    return out;
}

}  // namespace sec
