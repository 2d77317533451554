#include <QXFoundation/Crypto/QXCrypto.h>

#include <cstring>

#include "Crypto/QXBase64.h"
#include <fnd/UTF16.h>
#include <sec/Cipher.h>
#include <sec/Digest.h>

namespace zid {
namespace {

/// The key text's bytes up to a first zero byte, as a C string would carry them.
std::string keyText(const std::string& key) { return std::string(key.c_str()); }

std::size_t keyLength(const std::optional<std::string>& key) { return key ? keyText(*key).size() : 0; }

bool isHexDigit(unsigned char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

void replaceAll(std::string& s, std::string_view from, std::string_view to) {
    for (std::size_t pos = s.find(from); pos != std::string::npos; pos = s.find(from, pos + to.size())) {
        s.replace(pos, from.size(), to);
    }
}

}  // namespace

std::optional<std::string> QXCrypto::MD5ForString(const std::optional<std::string>& text) {
    if (!text) return std::nullopt;
    return sec::toHex(sec::md5(std::string_view(*text)), /*upperCase=*/true);
}

std::string QXCrypto::MD5ForData(const rt::Data& data) { return sec::toHex(sec::md5(data), /*upperCase=*/true); }

std::string QXCrypto::SHA1ForString(const std::optional<std::string>& text) {
    return sec::toHex(sec::sha1(std::string_view(text ? *text : std::string())));
}

std::optional<rt::Data> QXCrypto::encryptOrDecrypt(const rt::Data& data, const std::optional<std::string>& key,
                                                   std::uint32_t operation, std::uint32_t algorithm,
                                                   std::size_t keySize) {
    if (!key || operation > Decrypt || algorithm > RC4) return std::nullopt;
    const auto cipher = static_cast<sec::CipherAlgorithm>(algorithm);
    if (!sec::isValidKeySize(cipher, keySize)) return std::nullopt;
    const std::string text = keyText(*key);
    if (text.size() > keySize) return std::nullopt;  // never cut a key short without telling
    rt::Data keyBytes(keySize, 0);
    std::memcpy(keyBytes.data(), text.data(), text.size());
    return sec::crypt(static_cast<sec::CipherOperation>(operation), cipher, keyBytes, data);
}

std::optional<rt::Data> QXCrypto::encryptAES128(const rt::Data& data, const std::optional<std::string>& key) {
    return encryptOrDecrypt(data, key, Encrypt, AES128, 16);
}
std::optional<rt::Data> QXCrypto::decryptAES128(const rt::Data& data, const std::optional<std::string>& key) {
    return encryptOrDecrypt(data, key, Decrypt, AES128, 16);
}
std::optional<rt::Data> QXCrypto::encryptDES(const rt::Data& data, const std::optional<std::string>& key) {
    return encryptOrDecrypt(data, key, Encrypt, DES, 8);
}
std::optional<rt::Data> QXCrypto::decryptDES(const rt::Data& data, const std::optional<std::string>& key) {
    return encryptOrDecrypt(data, key, Decrypt, DES, 8);
}
std::optional<rt::Data> QXCrypto::encrypt3DES(const rt::Data& data, const std::optional<std::string>& key) {
    return encryptOrDecrypt(data, key, Encrypt, TripleDES, 24);
}
std::optional<rt::Data> QXCrypto::decrypt3DES(const rt::Data& data, const std::optional<std::string>& key) {
    return encryptOrDecrypt(data, key, Decrypt, TripleDES, 24);
}
std::optional<rt::Data> QXCrypto::encryptCAST(const rt::Data& data, const std::optional<std::string>& key) {
    return encryptOrDecrypt(data, key, Encrypt, CAST, keyLength(key));
}
std::optional<rt::Data> QXCrypto::decryptCAST(const rt::Data& data, const std::optional<std::string>& key) {
    return encryptOrDecrypt(data, key, Decrypt, CAST, keyLength(key));
}
std::optional<rt::Data> QXCrypto::encryptRC4(const rt::Data& data, const std::optional<std::string>& key) {
    return encryptOrDecrypt(data, key, Encrypt, RC4, keyLength(key));
}
std::optional<rt::Data> QXCrypto::decryptRC4(const rt::Data& data, const std::optional<std::string>& key) {
    return encryptOrDecrypt(data, key, Decrypt, RC4, keyLength(key));
}

rt::Data QXCrypto::obfuscate(const rt::Data& data, std::int32_t key) {
    const auto mask = static_cast<std::uint8_t>(key & 0xFF);
    rt::Data out(data);
    for (auto& b : out) b ^= mask;
    return out;
}

std::uint8_t QXCrypto::hexTetradeToValue(std::uint32_t c) {
    if (c >= '0' && c <= '9') return static_cast<std::uint8_t>(c - '0');
    if (c >= 'A' && c <= 'F') return static_cast<std::uint8_t>(c - 'A' + 10);
    if (c >= 'a' && c <= 'f') return static_cast<std::uint8_t>(c - 'a' + 10);
    return 0;
}

std::optional<rt::Data> QXCrypto::deHex(const std::optional<std::string>& text) {
    if (!text || text->size() % 2 != 0) return std::nullopt;
    rt::Data out;
    out.reserve(text->size() / 2);
    for (std::size_t i = 0; i < text->size(); i += 2) {
        const unsigned char hi = (*text)[i], lo = (*text)[i + 1];
        // A stray character would otherwise turn silently into a zero nibble.
        if (!isHexDigit(hi) || !isHexDigit(lo)) return std::nullopt;
        out.push_back(static_cast<std::uint8_t>(hexTetradeToValue(hi) << 4 | hexTetradeToValue(lo)));
    }
    return out;
}

std::optional<std::string> QXCrypto::encryptedBase64StringFromString(const std::optional<std::string>& text,
                                                                     const std::optional<std::string>& key) {
    if (!text || !key) return std::nullopt;
    auto keyBytes = deHex(key);
    if (!keyBytes) return std::nullopt;
    rt::Data masked = obfuscate(*keyBytes, 0xFF);
    if (!fnd::isValidUTF8(std::string_view(reinterpret_cast<const char*>(masked.data()), masked.size()))) return std::nullopt;
    const std::string keyString(masked.begin(), masked.end());
    auto cipher = encryptRC4(rt::Data(text->begin(), text->end()), keyString);
    if (!cipher) return std::nullopt;
    std::string out = QXBase64::base64Encoding(*cipher);
    replaceAll(out, "+", "%2B");
    replaceAll(out, "/", "%2F");
    replaceAll(out, "=", "%3D");
    return out;
}

}  // namespace zid
