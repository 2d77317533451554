#pragma once
// The hosts of the service's gateway: deployment settings.
//
// QXGatewayHost serves every method; QXCacheGatewayHost serves the cacheable read
// methods (see QXGatewayDescription). Both may carry ":port". They are read at start-up
// from the environment variables ZID_GATEWAY_HOST and ZID_CACHE_GATEWAY_HOST; without
// them the gateway host is "localhost" and the cached host is the gateway host. A host
// may assign them before the shared client is first used.

#include <string>

namespace zid {

extern std::string QXGatewayHost;
extern std::string QXCacheGatewayHost;

/// The module string of the gateway client's log records.
inline constexpr const char* kQXGatewayLogModule = "ZIDoredider/QXNetworking/Gateway";

}  // namespace zid
