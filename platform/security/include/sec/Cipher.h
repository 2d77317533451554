#pragma once
// Symmetric ciphers in cipher-block chaining with PKCS#7 padding and an all-zero
// initialisation vector, the one shape the framework's public cipher routines use.
//
// DES, CAST and RC4 are kept for compatibility with data and peers that already use
// them, and for nothing else: they are broken or far too weak to protect anything new.
// Triple DES is only slightly better. New protection uses sealAES256GCM.

#include <cstddef>
#include <optional>

#include <rt/Value.h>

namespace sec {

enum class CipherOperation { Encrypt = 0, Decrypt = 1 };

enum class CipherAlgorithm {
    AES = 0,        ///< key of 16, 24 or 32 bytes (AES-128, -192, -256)
    DES = 1,        ///< legacy, compatibility only; key of 8 bytes
    TripleDES = 2,  ///< legacy, compatibility only; key of 24 bytes (three DES keys)
    CAST = 3,       ///< legacy, compatibility only; CAST-128 with a key of 5 to 16 bytes
    RC4 = 4,        ///< legacy, compatibility only; stream cipher with a key of 1 to 512 bytes
};

/// Whether the algorithm takes a key of that many bytes.
bool isValidKeySize(CipherAlgorithm algorithm, std::size_t keySize);

/// Enciphers or deciphers in one call. Nothing on an unsupported key size, a wrong
/// padding on decryption or any failure of the cipher library. RC4 is a stream cipher:
/// no padding is added or expected.
std::optional<rt::Data> crypt(CipherOperation operation, CipherAlgorithm algorithm, const rt::Data& key,
                              const rt::Data& input);

/// Authenticated encryption for data at rest: AES-256-GCM with a fresh random 12-byte
/// nonce. The result is nonce, cipher text and 16-byte tag, in that order. The
/// associated data is authenticated but not stored. Nothing when the key is not 32
/// bytes or the random source fails.
std::optional<rt::Data> sealAES256GCM(const rt::Data& key, const rt::Data& plaintext, const rt::Data& associatedData);
/// Reverses sealAES256GCM. Nothing when the input is too short, the key is wrong or the
/// data or the associated data was changed.
std::optional<rt::Data> openAES256GCM(const rt::Data& key, const rt::Data& sealed, const rt::Data& associatedData);

}  // namespace sec
