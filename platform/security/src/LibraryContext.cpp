#include "LibraryContext.h"

#include <openssl/crypto.h>
#include <openssl/provider.h>

namespace sec::detail {
namespace {

struct Context {
    OSSL_LIB_CTX* ctx = nullptr;
    OSSL_PROVIDER* defaultProvider = nullptr;
    OSSL_PROVIDER* legacyProvider = nullptr;

    Context() {
        ctx = OSSL_LIB_CTX_new();
        if (!ctx) return;
        defaultProvider = OSSL_PROVIDER_load(ctx, "default");
        legacyProvider = OSSL_PROVIDER_load(ctx, "legacy");
        if (!defaultProvider) {
            if (legacyProvider) OSSL_PROVIDER_unload(legacyProvider);
            legacyProvider = nullptr;
            OSSL_LIB_CTX_free(ctx);
            ctx = nullptr;
        }
    }
    ~Context() {
        if (legacyProvider) OSSL_PROVIDER_unload(legacyProvider);
        if (defaultProvider) OSSL_PROVIDER_unload(defaultProvider);
        if (ctx) OSSL_LIB_CTX_free(ctx);
    }
};

Context& context() {
    static Context instance;  // thread-safe one-time construction
    return instance;
}

}  // namespace

OSSL_LIB_CTX* libraryContext() { return context().ctx; }

}  // namespace sec::detail
