// Digests, ciphers, hexadecimal and Base64 of the foundation's crypto classes.

#include <gtest/gtest.h>

#include "Crypto/QXBase64.h"
#include <QXFoundation/Crypto/QXCrypto.h>

namespace {

using zid::QXBase64;
using zid::QXCrypto;

rt::Data bytes(std::string_view s) { return rt::Data(s.begin(), s.end()); }

TEST(QXCryptoDigest, HexFormsAndCase) {
    EXPECT_EQ(QXCrypto::MD5ForString(std::string("abc")), "900150983CD24FB0D6963F7D28E17F72");
    EXPECT_EQ(QXCrypto::MD5ForString(std::string("")), "D41D8CD98F00B204E9800998ECF8427E");
    EXPECT_FALSE(QXCrypto::MD5ForString(std::nullopt));
    EXPECT_EQ(QXCrypto::MD5ForData(bytes("abc")), "900150983CD24FB0D6963F7D28E17F72");
    // All UTF-8 bytes of a non-ASCII text count: "é" is C3 A9.
    EXPECT_EQ(QXCrypto::MD5ForString(std::string("\xC3\xA9")), QXCrypto::MD5ForData(rt::Data{0xC3, 0xA9}));
    EXPECT_NE(QXCrypto::MD5ForString(std::string("\xC3\xA9")), QXCrypto::MD5ForData(rt::Data{0xC3}));

    EXPECT_EQ(QXCrypto::SHA1ForString(std::string("abc")), "a9993e364706816aba3e25717850c26c9cd0d89d");
    EXPECT_EQ(QXCrypto::SHA1ForString(std::nullopt), "da39a3ee5e6b4b0d3255bfef95601890afd80709");
}

TEST(QXCryptoCipher, NamedCiphersRoundTripAndUseTheirKeySizes) {
    const rt::Data plain = bytes("The quick brown fox jumps over the lazy dog");
    struct Named {
        decltype(&QXCrypto::encryptAES128) enc, dec;
        const char* key;
        std::size_t block;  // 1 for the stream cipher
    };
    const Named all[] = {
        {QXCrypto::encryptAES128, QXCrypto::decryptAES128, "sixteen byte key", 16},
        {QXCrypto::encryptDES, QXCrypto::decryptDES, "8bytekey", 8},
        {QXCrypto::encrypt3DES, QXCrypto::decrypt3DES, "twenty-four byte key!!!!", 8},
        {QXCrypto::encryptCAST, QXCrypto::decryptCAST, "castkey", 8},
        {QXCrypto::encryptRC4, QXCrypto::decryptRC4, "Key", 1},
    };
    for (const auto& c : all) {
        SCOPED_TRACE(c.key);
        auto cipher = c.enc(plain, std::string(c.key));
        ASSERT_TRUE(cipher);
        EXPECT_NE(*cipher, plain);
        EXPECT_EQ(cipher->size(), c.block == 1 ? plain.size() : (plain.size() / c.block + 1) * c.block);
        EXPECT_EQ(c.dec(*cipher, std::string(c.key)), plain);
        EXPECT_FALSE(c.enc(plain, std::nullopt));
    }
    // RC4 of "Plaintext" under "Key" is the well-known BBF316E8D940AF0AD3.
    auto rc4 = QXCrypto::encryptRC4(bytes("Plaintext"), std::string("Key"));
    ASSERT_TRUE(rc4);
    EXPECT_EQ(*rc4, (rt::Data{0xBB, 0xF3, 0x16, 0xE8, 0xD9, 0x40, 0xAF, 0x0A, 0xD3}));
}

TEST(QXCryptoCipher, ShortKeysArePaddedLongKeysRefused) {
    const rt::Data plain = bytes("padding check");
    // A short AES key is the same key padded with zero bytes to 16.
    std::string padded("abc");
    padded.append(13, '\0');
    auto viaShort = QXCrypto::encryptAES128(plain, std::string("abc"));
    auto viaGeneric = QXCrypto::encryptOrDecrypt(plain, padded, QXCrypto::Encrypt, QXCrypto::AES128, 16);
    ASSERT_TRUE(viaShort);
    // The generic call reads the key up to its first zero byte, so both keys agree.
    EXPECT_EQ(viaShort, viaGeneric);
    EXPECT_EQ(QXCrypto::decryptAES128(*viaShort, std::string("abc")), plain);
    EXPECT_NE(QXCrypto::encryptAES128(plain, std::string("abd")), viaShort);

    EXPECT_FALSE(QXCrypto::encryptAES128(plain, std::string(17, 'k')));
    EXPECT_FALSE(QXCrypto::encryptDES(plain, std::string("nine bytes")));
    EXPECT_FALSE(QXCrypto::encryptCAST(plain, std::string("four")));
    EXPECT_FALSE(QXCrypto::encryptRC4(plain, std::string("")));
    EXPECT_FALSE(QXCrypto::encryptOrDecrypt(plain, std::string("k"), 2, QXCrypto::RC4, 1));
    EXPECT_FALSE(QXCrypto::encryptOrDecrypt(plain, std::string("k"), QXCrypto::Encrypt, 5, 1));
    EXPECT_FALSE(QXCrypto::encryptOrDecrypt(plain, std::string("k"), QXCrypto::Encrypt, QXCrypto::AES128, 15));
    // A wrong key on a block cipher fails the padding check far more often than not;
    // a corrupted length always fails.
    auto cipher = QXCrypto::encryptDES(plain, std::string("8bytekey"));
    ASSERT_TRUE(cipher);
    cipher->pop_back();
    EXPECT_FALSE(QXCrypto::decryptDES(*cipher, std::string("8bytekey")));
}

TEST(QXCryptoHex, DecodingIsStrict) {
    EXPECT_EQ(QXCrypto::deHex(std::string("0aFF")), (rt::Data{0x0A, 0xFF}));
    EXPECT_EQ(QXCrypto::deHex(std::string("")), rt::Data{});
    EXPECT_FALSE(QXCrypto::deHex(std::string("abc")));
    EXPECT_FALSE(QXCrypto::deHex(std::string("zz")));
    EXPECT_FALSE(QXCrypto::deHex(std::string("0g")));
    EXPECT_FALSE(QXCrypto::deHex(std::nullopt));
    EXPECT_EQ(QXCrypto::hexTetradeToValue('7'), 7);
    EXPECT_EQ(QXCrypto::hexTetradeToValue('c'), 12);
    EXPECT_EQ(QXCrypto::hexTetradeToValue('C'), 12);
    EXPECT_EQ(QXCrypto::hexTetradeToValue('x'), 0);
    EXPECT_EQ(QXCrypto::obfuscate(rt::Data{0x00, 0x0F, 0xFF}, 0x1F0), (rt::Data{0xF0, 0xFF, 0x0F}));
    EXPECT_TRUE(QXCrypto::obfuscate({}, 0xFF).empty());
}

TEST(QXCryptoComposite, EncipheredBase64) {
    // "Key" inverted is 0xB4 0x9A 0x86.
    auto text = QXCrypto::encryptedBase64StringFromString(std::string("Plaintext"), std::string("b49a86"));
    ASSERT_TRUE(text);
    // RC4 gives BBF316E8D940AF0AD3, whose Base64 is "u/MW6NlArwrT".
    EXPECT_EQ(*text, "u%2FMW6NlArwrT");
    auto padded = QXCrypto::encryptedBase64StringFromString(std::string("Plaintext!"), std::string("b49a86"));
    ASSERT_TRUE(padded);
    EXPECT_EQ(padded->substr(padded->size() - 6), "%3D%3D");
    EXPECT_EQ(padded->find('='), std::string::npos);

    EXPECT_FALSE(QXCrypto::encryptedBase64StringFromString(std::string("x"), std::string("b49a8")));  // odd
    EXPECT_FALSE(QXCrypto::encryptedBase64StringFromString(std::string("x"), std::string("b49a8z")));
    EXPECT_FALSE(QXCrypto::encryptedBase64StringFromString(std::string("x"), std::string("")));  // no key bytes
    EXPECT_FALSE(QXCrypto::encryptedBase64StringFromString(std::string("x"), std::string("3f")));  // 0xC0: not UTF-8
    EXPECT_FALSE(QXCrypto::encryptedBase64StringFromString(std::nullopt, std::string("b49a86")));
    EXPECT_FALSE(QXCrypto::encryptedBase64StringFromString(std::string("x"), std::nullopt));
}

TEST(QXBase64Codec, EncodesAndDecodesByTheStandardAlphabet) {
    // RFC 4648 test vectors.
    const std::pair<const char*, const char*> vectors[] = {
        {"", ""}, {"f", "Zg=="}, {"fo", "Zm8="}, {"foo", "Zm9v"},
        {"foob", "Zm9vYg=="}, {"fooba", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"},
    };
    for (const auto& [plain, encoded] : vectors) {
        EXPECT_EQ(QXBase64::base64Encoding(bytes(plain)), encoded);
        EXPECT_EQ(QXBase64::dataWithBase64EncodedString(std::string(encoded)), bytes(plain));
    }
    EXPECT_EQ(QXBase64::base64Encoding(std::nullopt), "");
    EXPECT_EQ(QXBase64::base64Encoding(rt::Data{0xFB, 0xFF}), "+/8=");
    rt::Data all(256);
    for (int i = 0; i < 256; ++i) all[i] = static_cast<std::uint8_t>(i);
    const std::string encoded = QXBase64::base64Encoding(all);
    EXPECT_EQ(encoded.size(), 4u * 86);
    EXPECT_EQ(QXBase64::dataWithBase64EncodedString(encoded), all);
}

TEST(QXBase64Codec, DecoderToleratesSpacingAndRejectsGarbage) {
    EXPECT_EQ(QXBase64::dataWithBase64EncodedString(std::string("Zm9v\r\nYmFy")), bytes("foobar"));
    EXPECT_EQ(QXBase64::dataWithBase64EncodedString(std::string(" Zm 9v\tYg")), bytes("foob"));
    EXPECT_EQ(QXBase64::dataWithBase64EncodedString(std::string("Zm=9v")), bytes("foo"));
    EXPECT_EQ(QXBase64::dataWithBase64EncodedString(std::string("QQ")), bytes("A"));
    EXPECT_FALSE(QXBase64::dataWithBase64EncodedString(std::string("Q")));
    EXPECT_FALSE(QXBase64::dataWithBase64EncodedString(std::string("Zm9vY")));
    EXPECT_FALSE(QXBase64::dataWithBase64EncodedString(std::string("Zm9v*")));
    EXPECT_FALSE(QXBase64::dataWithBase64EncodedString(std::string("Zm9v\xC3\xA9")));
    EXPECT_FALSE(QXBase64::dataWithBase64EncodedString(std::nullopt));
    EXPECT_EQ(QXBase64::dataWithBase64EncodedString(std::string("")), rt::Data{});
}

}  // namespace
