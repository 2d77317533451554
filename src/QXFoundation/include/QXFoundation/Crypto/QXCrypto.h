#pragma once
// Digests as hexadecimal text, symmetric ciphers, a one-byte mask, hexadecimal
// decoding, and the composite "enciphered Base64" routine.
//
// The ciphers run in cipher-block chaining with PKCS#7 padding and an all-zero
// initialisation vector. DES, triple DES, CAST and RC4 are kept for compatibility with
// peers and data that already use them and must not be chosen for anything new. The key
// is text: its UTF-8 bytes (up to a first zero byte) are padded with zero bytes to the
// key size; a key that is longer than the key size, or absent, is refused (nothing).

#include <cstdint>
#include <optional>
#include <string>

#include <rt/Object.h>
#include <rt/Value.h>

namespace zid {

class QXCrypto : public rt::Object {
    RT_CLASS(QXCrypto, rt::Object)
public:
    /// The cipher library's algorithm numbers.
    enum Algorithm : std::uint32_t { AES128 = 0, DES = 1, TripleDES = 2, CAST = 3, RC4 = 4 };
    enum Operation : std::uint32_t { Encrypt = 0, Decrypt = 1 };

    /// 32 upper-case hexadecimal digits of the MD5 of the text's UTF-8 bytes; nothing for no text.
    static std::optional<std::string> MD5ForString(const std::optional<std::string>& text);
    /// 32 upper-case hexadecimal digits.
    static std::string MD5ForData(const rt::Data& data);
    /// 40 lower-case hexadecimal digits of the SHA-1 of the text's UTF-8 bytes; no text
    /// is digested as empty input.
    static std::string SHA1ForString(const std::optional<std::string>& text);

    /// AES with a 16-byte key.
    static std::optional<rt::Data> encryptAES128(const rt::Data& data, const std::optional<std::string>& key);
    static std::optional<rt::Data> decryptAES128(const rt::Data& data, const std::optional<std::string>& key);
    /// Legacy, compatibility only: DES with an 8-byte key.
    static std::optional<rt::Data> encryptDES(const rt::Data& data, const std::optional<std::string>& key);
    static std::optional<rt::Data> decryptDES(const rt::Data& data, const std::optional<std::string>& key);
    /// Legacy, compatibility only: triple DES with a 24-byte key.
    static std::optional<rt::Data> encrypt3DES(const rt::Data& data, const std::optional<std::string>& key);
    static std::optional<rt::Data> decrypt3DES(const rt::Data& data, const std::optional<std::string>& key);
    /// Legacy, compatibility only: CAST-128 with the key's own length (5 to 16 bytes).
    static std::optional<rt::Data> encryptCAST(const rt::Data& data, const std::optional<std::string>& key);
    static std::optional<rt::Data> decryptCAST(const rt::Data& data, const std::optional<std::string>& key);
    /// Legacy, compatibility only: RC4 with the key's own length (1 to 512 bytes).
    static std::optional<rt::Data> encryptRC4(const rt::Data& data, const std::optional<std::string>& key);
    static std::optional<rt::Data> decryptRC4(const rt::Data& data, const std::optional<std::string>& key);

    /// One cipher call: operation 0 enciphers, 1 deciphers; algorithm by the numbers
    /// above; keySize in bytes. Nothing for an unknown operation or algorithm, a key
    /// size the algorithm does not take, a key that does not fit, or a cipher failure.
    static std::optional<rt::Data> encryptOrDecrypt(const rt::Data& data, const std::optional<std::string>& key,
                                                    std::uint32_t operation, std::uint32_t algorithm,
                                                    std::size_t keySize);

    /// Each byte XOR the low 8 bits of key.
    static rt::Data obfuscate(const rt::Data& data, std::int32_t key);
    /// Pairs of hexadecimal digits as bytes, first digit the high nibble. Nothing for
    /// text of odd length or with a character that is not a hexadecimal digit.
    static std::optional<rt::Data> deHex(const std::optional<std::string>& text);
    /// "0"-"9" give 0-9, "A"-"F" and "a"-"f" 10-15, anything else 0.
    static std::uint8_t hexTetradeToValue(std::uint32_t character);

    /// RC4 of the text's UTF-8 bytes under the key given as hexadecimal text of the
    /// inverted key bytes, as Base64 with "+", "/" and "=" written as "%2B", "%2F" and
    /// "%3D". Nothing when the text or key is missing, the key is not hexadecimal, its
    /// bytes are not UTF-8 text, or the cipher refuses the key.
    static std::optional<std::string> encryptedBase64StringFromString(const std::optional<std::string>& text,
                                                                      const std::optional<std::string>& key);
};

}  // namespace zid
