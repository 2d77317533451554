#pragma once
// The same ciphers and digests computed by nettle: an implementation that shares no
// code with the cipher library under test, so an agreement between the two means more
// than a round trip through one of them.

#include <nettle/aes.h>
#include <nettle/arcfour.h>
#include <nettle/cast128.h>
#include <nettle/cbc.h>
#include <nettle/des.h>
#include <nettle/md5.h>
#include <nettle/sha1.h>

#include <rt/Value.h>

namespace reference {

inline rt::Data md5(const rt::Data& in) {
    md5_ctx ctx;
    md5_init(&ctx);
    md5_update(&ctx, in.size(), in.data());
    rt::Data out(MD5_DIGEST_SIZE);
    md5_digest(&ctx, out.size(), out.data());
    return out;
}

inline rt::Data sha1(const rt::Data& in) {
    sha1_ctx ctx;
    sha1_init(&ctx);
    sha1_update(&ctx, in.size(), in.data());
    rt::Data out(SHA1_DIGEST_SIZE);
    sha1_digest(&ctx, out.size(), out.data());
    return out;
}

/// PKCS#7 padding to the block size.
inline rt::Data padded(rt::Data in, std::size_t block) {
    const std::size_t pad = block - in.size() % block;
    in.insert(in.end(), pad, static_cast<std::uint8_t>(pad));
    return in;
}

template <class Ctx, std::size_t Block>
rt::Data cbcEncrypt(Ctx& ctx, nettle_cipher_func* f, const rt::Data& plain) {
    rt::Data in = padded(plain, Block);
    rt::Data out(in.size());
    std::uint8_t iv[Block] = {};
    cbc_encrypt(&ctx, f, Block, iv, in.size(), out.data(), in.data());
    return out;
}

inline rt::Data aesCBC(const rt::Data& key, const rt::Data& plain) {
    if (key.size() == 16) {
        aes128_ctx ctx;
        aes128_set_encrypt_key(&ctx, key.data());
        return cbcEncrypt<aes128_ctx, AES_BLOCK_SIZE>(ctx, [](const void* c, std::size_t n, std::uint8_t* d, const std::uint8_t* src) { aes128_encrypt(static_cast<const aes128_ctx*>(c), n, d, src); }, plain);
    }
    if (key.size() == 24) {
        aes192_ctx ctx;
        aes192_set_encrypt_key(&ctx, key.data());
        return cbcEncrypt<aes192_ctx, AES_BLOCK_SIZE>(ctx, [](const void* c, std::size_t n, std::uint8_t* d, const std::uint8_t* src) { aes192_encrypt(static_cast<const aes192_ctx*>(c), n, d, src); }, plain);
    }
    aes256_ctx ctx;
    aes256_set_encrypt_key(&ctx, key.data());
    return cbcEncrypt<aes256_ctx, AES_BLOCK_SIZE>(ctx, [](const void* c, std::size_t n, std::uint8_t* d, const std::uint8_t* src) { aes256_encrypt(static_cast<const aes256_ctx*>(c), n, d, src); }, plain);
}

inline rt::Data desCBC(const rt::Data& key, const rt::Data& plain) {
    des_ctx ctx;
    des_set_key(&ctx, key.data());  // answers 0 for weak keys, but the schedule is set all the same
    return cbcEncrypt<des_ctx, DES_BLOCK_SIZE>(ctx, [](const void* c, std::size_t n, std::uint8_t* d, const std::uint8_t* src) { des_encrypt(static_cast<const des_ctx*>(c), n, d, src); }, plain);
}

inline rt::Data des3CBC(const rt::Data& key, const rt::Data& plain) {
    des3_ctx ctx;
    des3_set_key(&ctx, key.data());
    return cbcEncrypt<des3_ctx, DES3_BLOCK_SIZE>(ctx, [](const void* c, std::size_t n, std::uint8_t* d, const std::uint8_t* src) { des3_encrypt(static_cast<const des3_ctx*>(c), n, d, src); }, plain);
}

inline rt::Data castCBC(const rt::Data& key, const rt::Data& plain) {
    cast128_ctx ctx;
    cast5_set_key(&ctx, key.size(), key.data());
    return cbcEncrypt<cast128_ctx, CAST128_BLOCK_SIZE>(ctx, [](const void* c, std::size_t n, std::uint8_t* d, const std::uint8_t* src) { cast128_encrypt(static_cast<const cast128_ctx*>(c), n, d, src); }, plain);
}

inline rt::Data rc4(const rt::Data& key, const rt::Data& plain) {
    arcfour_ctx ctx;
    arcfour_set_key(&ctx, key.size(), key.data());
    rt::Data out(plain.size());
    arcfour_crypt(&ctx, plain.size(), out.data(), plain.data());
    return out;
}

}  // namespace reference
