#include "Gateway/QXGatewayHosts.h"

#include <cstdlib>

namespace zid {

std::string QXGatewayHost = [] {
    const char* configured = std::getenv("ZID_GATEWAY_HOST");
    return std::string(configured && *configured ? configured : "localhost");
}();

std::string QXCacheGatewayHost = [] {
    const char* configured = std::getenv("ZID_CACHE_GATEWAY_HOST");
    if (configured && *configured) return std::string(configured);
    const char* base = std::getenv("ZID_GATEWAY_HOST");
    return std::string(base && *base ? base : "localhost");
}();

}  // namespace zid
