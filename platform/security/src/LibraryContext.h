#pragma once
// The cipher library context of this module.
//
// DES, CAST and RC4 live in the cipher library's "legacy" provider. Loading that
// provider into the process-wide default context would change what every other user of
// the library in the host process gets, so this module loads "legacy" and "default" into
// a private context of its own and fetches every algorithm from there.

#include <openssl/types.h>

namespace sec::detail {

/// The private context, made once (thread-safe); nullptr when a provider failed to load.
OSSL_LIB_CTX* libraryContext();

}  // namespace sec::detail
