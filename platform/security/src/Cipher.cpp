#include <sec/Cipher.h>

#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/params.h>

#include <climits>
#include <memory>

#include <sec/Random.h>

#include "LibraryContext.h"

namespace sec {
namespace {

using CipherPtr = std::unique_ptr<EVP_CIPHER, decltype(&EVP_CIPHER_free)>;
using ContextPtr = std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)>;

const char* cipherName(CipherAlgorithm algorithm, std::size_t keySize) {
    switch (algorithm) {
        case CipherAlgorithm::AES:
            return keySize == 16 ? "AES-128-CBC" : keySize == 24 ? "AES-192-CBC" : "AES-256-CBC";
        case CipherAlgorithm::DES: return "DES-CBC";
        case CipherAlgorithm::TripleDES: return "DES-EDE3-CBC";
        case CipherAlgorithm::CAST: return "CAST5-CBC";
        case CipherAlgorithm::RC4: return "RC4";
    }
    return nullptr;
}

CipherPtr fetch(const char* name) {
    OSSL_LIB_CTX* ctx = detail::libraryContext();
    if (!ctx) return CipherPtr(nullptr, &EVP_CIPHER_free);  // never fall back to the process-wide context
    return CipherPtr(EVP_CIPHER_fetch(ctx, name, nullptr), &EVP_CIPHER_free);
}

}  // namespace

bool isValidKeySize(CipherAlgorithm algorithm, std::size_t keySize) {
    switch (algorithm) {
        case CipherAlgorithm::AES: return keySize == 16 || keySize == 24 || keySize == 32;
        case CipherAlgorithm::DES: return keySize == 8;
        case CipherAlgorithm::TripleDES: return keySize == 24;
        case CipherAlgorithm::CAST: return keySize >= 5 && keySize <= 16;
        case CipherAlgorithm::RC4: return keySize >= 1 && keySize <= 512;
    }
    return false;
}

std::optional<rt::Data> crypt(CipherOperation operation, CipherAlgorithm algorithm, const rt::Data& key,
                              const rt::Data& input) {
    if (!isValidKeySize(algorithm, key.size()) || input.size() > static_cast<std::size_t>(INT_MAX) - 64) {
        return std::nullopt;
    }
    CipherPtr cipher = fetch(cipherName(algorithm, key.size()));
    ContextPtr ctx(EVP_CIPHER_CTX_new(), &EVP_CIPHER_CTX_free);
    if (!cipher || !ctx) return std::nullopt;
    const int enc = operation == CipherOperation::Encrypt ? 1 : 0;
    if (EVP_CipherInit_ex2(ctx.get(), cipher.get(), nullptr, nullptr, enc, nullptr) != 1) return std::nullopt;
    // Variable-length keys (CAST, RC4) are set before the key itself.
    if (EVP_CIPHER_CTX_set_key_length(ctx.get(), static_cast<int>(key.size())) != 1) return std::nullopt;
    const unsigned char zeroIV[16] = {};
    const unsigned char* iv = EVP_CIPHER_get_iv_length(cipher.get()) > 0 ? zeroIV : nullptr;
    if (EVP_CipherInit_ex2(ctx.get(), nullptr, key.data(), iv, enc, nullptr) != 1) return std::nullopt;
    EVP_CIPHER_CTX_set_padding(ctx.get(), 1);

    rt::Data out(input.size() + static_cast<std::size_t>(EVP_CIPHER_get_block_size(cipher.get())) + 16);
    int written = 0;
    int total = 0;
    if (!input.empty()) {
        if (EVP_CipherUpdate(ctx.get(), out.data(), &written, input.data(), static_cast<int>(input.size())) != 1) {
            return std::nullopt;
        }
        total = written;
    }
    if (EVP_CipherFinal_ex(ctx.get(), out.data() + total, &written) != 1) return std::nullopt;
    total += written;
    out.resize(static_cast<std::size_t>(total));
    return out;
}

namespace {
constexpr std::size_t kNonceSize = 12;
constexpr std::size_t kTagSize = 16;
}  // namespace

std::optional<rt::Data> sealAES256GCM(const rt::Data& key, const rt::Data& plaintext, const rt::Data& associatedData) {
    if (key.size() != 32 || plaintext.size() > static_cast<std::size_t>(INT_MAX) - 64 ||
        associatedData.size() > static_cast<std::size_t>(INT_MAX)) {
        return std::nullopt;
    }
    rt::Data out(kNonceSize + plaintext.size() + kTagSize);
    if (!randomBytes(out.data(), kNonceSize)) return std::nullopt;
    CipherPtr cipher = fetch("AES-256-GCM");
    ContextPtr ctx(EVP_CIPHER_CTX_new(), &EVP_CIPHER_CTX_free);
    if (!cipher || !ctx) return std::nullopt;
    if (EVP_EncryptInit_ex2(ctx.get(), cipher.get(), key.data(), out.data(), nullptr) != 1) return std::nullopt;
    int written = 0;
    if (!associatedData.empty() &&
        EVP_EncryptUpdate(ctx.get(), nullptr, &written, associatedData.data(), static_cast<int>(associatedData.size())) != 1) {
        return std::nullopt;
    }
    unsigned char* body = out.data() + kNonceSize;
    int total = 0;
    if (!plaintext.empty()) {
        if (EVP_EncryptUpdate(ctx.get(), body, &written, plaintext.data(), static_cast<int>(plaintext.size())) != 1) {
            return std::nullopt;
        }
        total = written;
    }
    if (EVP_EncryptFinal_ex(ctx.get(), body + total, &written) != 1) return std::nullopt;
    total += written;
    if (static_cast<std::size_t>(total) != plaintext.size()) return std::nullopt;
    if (EVP_CIPHER_CTX_ctrl(ctx.get(), EVP_CTRL_AEAD_GET_TAG, kTagSize, body + total) != 1) return std::nullopt;
    return out;
}

std::optional<rt::Data> openAES256GCM(const rt::Data& key, const rt::Data& sealed, const rt::Data& associatedData) {
    if (key.size() != 32 || sealed.size() < kNonceSize + kTagSize ||
        sealed.size() > static_cast<std::size_t>(INT_MAX) || associatedData.size() > static_cast<std::size_t>(INT_MAX)) {
        return std::nullopt;
    }
    const std::size_t bodySize = sealed.size() - kNonceSize - kTagSize;
    CipherPtr cipher = fetch("AES-256-GCM");
    ContextPtr ctx(EVP_CIPHER_CTX_new(), &EVP_CIPHER_CTX_free);
    if (!cipher || !ctx) return std::nullopt;
    if (EVP_DecryptInit_ex2(ctx.get(), cipher.get(), key.data(), sealed.data(), nullptr) != 1) return std::nullopt;
    int written = 0;
    if (!associatedData.empty() &&
        EVP_DecryptUpdate(ctx.get(), nullptr, &written, associatedData.data(), static_cast<int>(associatedData.size())) != 1) {
        return std::nullopt;
    }
    rt::Data out(bodySize + 16);
    int total = 0;
    if (bodySize > 0) {
        if (EVP_DecryptUpdate(ctx.get(), out.data(), &written, sealed.data() + kNonceSize, static_cast<int>(bodySize)) != 1) {
            return std::nullopt;
        }
        total = written;
    }
    rt::Data tag(sealed.end() - kTagSize, sealed.end());
    if (EVP_CIPHER_CTX_ctrl(ctx.get(), EVP_CTRL_AEAD_SET_TAG, kTagSize, tag.data()) != 1) return std::nullopt;
    if (EVP_DecryptFinal_ex(ctx.get(), out.data() + total, &written) != 1) return std::nullopt;  // tag mismatch
    total += written;
    out.resize(static_cast<std::size_t>(total));
    return out;
}

}  // namespace sec
