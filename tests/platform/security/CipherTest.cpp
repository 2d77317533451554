// Ciphers and digests checked against published answers and against nettle.

#include <gtest/gtest.h>

#include <string>

#include <openssl/evp.h>

#include <sec/Cipher.h>
#include <sec/Digest.h>
#include <sec/Random.h>

#include "NettleReference.h"

namespace {

using sec::CipherAlgorithm;
using sec::CipherOperation;

rt::Data bytes(std::string_view s) { return rt::Data(s.begin(), s.end()); }

rt::Data pattern(std::size_t n, std::uint8_t seed) {
    rt::Data d(n);
    for (std::size_t i = 0; i < n; ++i) d[i] = static_cast<std::uint8_t>(seed + i * 37 + (i >> 3));
    return d;
}

rt::Data fromHex(std::string_view hex) {
    rt::Data d;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) d.push_back(static_cast<std::uint8_t>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16)));
    return d;
}

std::optional<rt::Data> encrypt(CipherAlgorithm a, const rt::Data& key, const rt::Data& in) {
    return sec::crypt(CipherOperation::Encrypt, a, key, in);
}
std::optional<rt::Data> decrypt(CipherAlgorithm a, const rt::Data& key, const rt::Data& in) {
    return sec::crypt(CipherOperation::Decrypt, a, key, in);
}

TEST(Digest, KnownAnswersAndNettleAgree) {
    EXPECT_EQ(sec::toHex(sec::md5(std::string_view(""))), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(sec::toHex(sec::md5(std::string_view("abc"))), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(sec::toHex(sec::sha1(std::string_view("abc"))), "a9993e364706816aba3e25717850c26c9cd0d89d");
    EXPECT_EQ(sec::toHex(sec::sha1(std::string_view(""))), "da39a3ee5e6b4b0d3255bfef95601890afd80709");
    EXPECT_EQ(sec::toHex(sec::sha256(std::string_view("abc"))),
              "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(sec::toHex(sec::md5(std::string_view("abc")), true), "900150983CD24FB0D6963F7D28E17F72");
    for (std::size_t n : {1u, 55u, 56u, 64u, 1000u}) {
        rt::Data in = pattern(n, static_cast<std::uint8_t>(n));
        EXPECT_EQ(sec::md5(in), reference::md5(in)) << n;
        EXPECT_EQ(sec::sha1(in), reference::sha1(in)) << n;
    }
}

TEST(Cipher, PublishedAnswers) {
    // FIPS 197 appendix C.1 (one block, no chaining effect with a zero IV); PKCS#7 adds a
    // second block, so only the first 16 bytes are the published answer.
    auto aes = encrypt(CipherAlgorithm::AES, fromHex("000102030405060708090a0b0c0d0e0f"),
                       fromHex("00112233445566778899aabbccddeeff"));
    ASSERT_TRUE(aes);
    ASSERT_EQ(aes->size(), 32u);
    EXPECT_EQ(sec::toHex(rt::Data(aes->begin(), aes->begin() + 16)), "69c4e0d86a7b0430d8cdb78070b4c55a");

    // The classic DES example: key 133457799BBCDFF1, plaintext 0123456789ABCDEF.
    auto des = encrypt(CipherAlgorithm::DES, fromHex("133457799bbcdff1"), fromHex("0123456789abcdef"));
    ASSERT_TRUE(des);
    EXPECT_EQ(sec::toHex(rt::Data(des->begin(), des->begin() + 8)), "85e813540f0ab405");

    // RFC 2144 B.1, 128-bit key.
    auto cast = encrypt(CipherAlgorithm::CAST, fromHex("0123456712345678234567893456789a"), fromHex("0123456789abcdef"));
    ASSERT_TRUE(cast);
    EXPECT_EQ(sec::toHex(rt::Data(cast->begin(), cast->begin() + 8)), "238b4fe5847e44b2");

    // RFC 6229, 40-bit key 0102030405: the first keystream bytes.
    auto rc4 = encrypt(CipherAlgorithm::RC4, fromHex("0102030405"), rt::Data(16, 0));
    ASSERT_TRUE(rc4);
    EXPECT_EQ(sec::toHex(*rc4), "b2396305f03dc027ccc3524a0a1118a8");
}

TEST(Cipher, EveryAlgorithmAgreesWithNettleAndRoundTrips) {
    struct Case {
        CipherAlgorithm algorithm;
        std::size_t keySize;
        rt::Data (*reference)(const rt::Data&, const rt::Data&);
    };
    const Case cases[] = {
        {CipherAlgorithm::AES, 16, reference::aesCBC},       {CipherAlgorithm::AES, 24, reference::aesCBC},
        {CipherAlgorithm::AES, 32, reference::aesCBC},       {CipherAlgorithm::DES, 8, reference::desCBC},
        {CipherAlgorithm::TripleDES, 24, reference::des3CBC}, {CipherAlgorithm::CAST, 5, reference::castCBC},
        {CipherAlgorithm::CAST, 10, reference::castCBC},     {CipherAlgorithm::CAST, 16, reference::castCBC},
        {CipherAlgorithm::RC4, 1, reference::rc4},           {CipherAlgorithm::RC4, 16, reference::rc4},
        {CipherAlgorithm::RC4, 256, reference::rc4},
    };
    for (const auto& c : cases) {
        for (std::size_t n : {0u, 1u, 7u, 8u, 15u, 16u, 17u, 100u}) {
            SCOPED_TRACE(testing::Message() << "algorithm " << int(c.algorithm) << " key " << c.keySize << " length " << n);
            rt::Data key = pattern(c.keySize, 0xA5);
            rt::Data plain = pattern(n, static_cast<std::uint8_t>(n + 1));
            auto cipher = encrypt(c.algorithm, key, plain);
            ASSERT_TRUE(cipher);
            EXPECT_EQ(*cipher, c.reference(key, plain));
            auto back = decrypt(c.algorithm, key, *cipher);
            ASSERT_TRUE(back);
            EXPECT_EQ(*back, plain);
        }
    }
}

TEST(Cipher, RefusesWhatItCannotDo) {
    // Key sizes the algorithms do not take.
    EXPECT_FALSE(encrypt(CipherAlgorithm::AES, rt::Data(15, 1), bytes("x")));
    EXPECT_FALSE(encrypt(CipherAlgorithm::AES, rt::Data(17, 1), bytes("x")));
    EXPECT_FALSE(encrypt(CipherAlgorithm::DES, rt::Data(7, 1), bytes("x")));
    EXPECT_FALSE(encrypt(CipherAlgorithm::TripleDES, rt::Data(16, 1), bytes("x")));
    EXPECT_FALSE(encrypt(CipherAlgorithm::CAST, rt::Data(4, 1), bytes("x")));
    EXPECT_FALSE(encrypt(CipherAlgorithm::CAST, rt::Data(17, 1), bytes("x")));
    EXPECT_FALSE(encrypt(CipherAlgorithm::RC4, rt::Data(), bytes("x")));
    EXPECT_FALSE(encrypt(CipherAlgorithm::RC4, rt::Data(513, 1), bytes("x")));

    // Block ciphers: a cipher text that is not whole blocks, or whose padding is wrong.
    rt::Data key(16, 7);
    auto cipher = encrypt(CipherAlgorithm::AES, key, bytes("attack at dawn"));
    ASSERT_TRUE(cipher);
    EXPECT_FALSE(decrypt(CipherAlgorithm::AES, key, rt::Data(cipher->begin(), cipher->end() - 1)));
    rt::Data wrongKey(16, 8);
    auto garbled = decrypt(CipherAlgorithm::AES, wrongKey, *cipher);
    if (garbled) {  // a wrong key passes the padding check about 1 time in 256
        EXPECT_NE(*garbled, bytes("attack at dawn"));
    }
}

TEST(Cipher, LegacyAlgorithmsDoNotLeakIntoTheProcessWideContext) {
    // Other code in the host process must keep getting what its own configuration gives.
    auto globallyAvailable = [] {
        EVP_CIPHER* c = EVP_CIPHER_fetch(nullptr, "DES-CBC", nullptr);
        EVP_CIPHER_free(c);
        return c != nullptr;
    };
    if (globallyAvailable()) GTEST_SKIP() << "this machine's configuration loads the legacy provider globally";
    ASSERT_TRUE(encrypt(CipherAlgorithm::DES, rt::Data(8, 1), bytes("x")));
    ASSERT_TRUE(encrypt(CipherAlgorithm::RC4, rt::Data(8, 1), bytes("x")));
    EXPECT_FALSE(globallyAvailable());
}

TEST(AuthenticatedCipher, SealsAndDetectsEveryChange) {
    rt::Data key = pattern(32, 3);
    rt::Data aad = bytes("slot-1");
    rt::Data plain = bytes("the secret");
    auto sealed = sec::sealAES256GCM(key, plain, aad);
    ASSERT_TRUE(sealed);
    EXPECT_EQ(sealed->size(), 12 + plain.size() + 16);
    auto again = sec::sealAES256GCM(key, plain, aad);
    ASSERT_TRUE(again);
    EXPECT_NE(*sealed, *again) << "every seal takes a fresh nonce";

    auto opened = sec::openAES256GCM(key, *sealed, aad);
    ASSERT_TRUE(opened);
    EXPECT_EQ(*opened, plain);
    auto empty = sec::sealAES256GCM(key, {}, {});
    ASSERT_TRUE(empty);
    auto openedEmpty = sec::openAES256GCM(key, *empty, {});
    ASSERT_TRUE(openedEmpty);
    EXPECT_TRUE(openedEmpty->empty());

    for (std::size_t i = 0; i < sealed->size(); ++i) {
        rt::Data flipped = *sealed;
        flipped[i] ^= 0x01;
        EXPECT_FALSE(sec::openAES256GCM(key, flipped, aad)) << "byte " << i;
    }
    EXPECT_FALSE(sec::openAES256GCM(key, *sealed, bytes("slot-2")));
    EXPECT_FALSE(sec::openAES256GCM(pattern(32, 4), *sealed, aad));
    EXPECT_FALSE(sec::openAES256GCM(key, rt::Data(sealed->begin(), sealed->end() - 1), aad));
    EXPECT_FALSE(sec::openAES256GCM(key, rt::Data(27, 0), aad));
    EXPECT_FALSE(sec::sealAES256GCM(rt::Data(16, 0), plain, aad));
}

TEST(Random, FreshBytesAndWellFormedUUIDs) {
    auto a = sec::randomData(32);
    auto b = sec::randomData(32);
    ASSERT_TRUE(a && b);
    EXPECT_NE(*a, *b);
    auto uuid = sec::randomUUIDString();
    ASSERT_TRUE(uuid);
    ASSERT_EQ(uuid->size(), 36u);
    for (std::size_t i = 0; i < uuid->size(); ++i) {
        char c = (*uuid)[i];
        if (i == 8 || i == 13 || i == 18 || i == 23) {
            EXPECT_EQ(c, '-');
        } else {
            EXPECT_TRUE((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F')) << *uuid;
        }
    }
    EXPECT_EQ((*uuid)[14], '4');
    EXPECT_NE(std::string("89AB").find((*uuid)[19]), std::string::npos);
    EXPECT_NE(*uuid, *sec::randomUUIDString());
}

}  // namespace
