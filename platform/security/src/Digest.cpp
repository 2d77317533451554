#include <sec/Digest.h>

#include <openssl/evp.h>

#include <memory>

#include <rt/Exception.h>

#include "LibraryContext.h"

namespace sec {
namespace {

rt::Data digest(const char* name, std::size_t size, const void* bytes, std::size_t length) {
    // Digests cannot fail for lack of input; a failure here means the library itself is
    // unusable, which no caller can work around.
    OSSL_LIB_CTX* ctx = detail::libraryContext();
    std::unique_ptr<EVP_MD, decltype(&EVP_MD_free)> md(ctx ? EVP_MD_fetch(ctx, name, nullptr) : nullptr, &EVP_MD_free);
    rt::Data out(size);
    unsigned int written = 0;
    if (!md || EVP_Digest(length ? bytes : "", length, out.data(), &written, md.get(), nullptr) != 1 ||
        written != size) {
        throw rt::Exception(rt::Exception::InternalInconsistency,
                            std::string("The digest ") + name + " is not available from the cipher library");
    }
    return out;
}

}  // namespace

rt::Data md5(const void* bytes, std::size_t length) { return digest("MD5", 16, bytes, length); }
rt::Data sha1(const void* bytes, std::size_t length) { return digest("SHA1", 20, bytes, length); }
rt::Data sha256(const void* bytes, std::size_t length) { return digest("SHA256", 32, bytes, length); }

std::string toHex(const rt::Data& bytes, bool upperCase) {
    const char* digits = upperCase ? "0123456789ABCDEF" : "0123456789abcdef";
    std::string out;
    out.reserve(bytes.size() * 2);
    for (auto b : bytes) {
        out.push_back(digits[b >> 4]);
        out.push_back(digits[b & 0x0F]);
    }
    return out;
}

}  // namespace sec
