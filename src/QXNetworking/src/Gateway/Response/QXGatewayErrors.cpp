#include "QXNetworking/Gateway/Response/QXGatewayErrors.h"

#include <QXFoundation/Extensions/BundleExtensions.h>

namespace zid {

rt::Ref<rt::Error> gatewayErrorWithCode(long long code, const rt::Dictionary& userInfo,
                                        const std::optional<std::string>& localizedDescription) {
    rt::Dictionary info = userInfo;
    info.set(rt::Value(rt::Error::LocalizedDescriptionKey),
             rt::Value(localizedDescription ? *localizedDescription : defaultGatewayErrorText()));
    return rt::Error::make(QXGatewayClientErrorDomain, code, info);
}

bool isGatewayClientError(const rt::Ref<rt::Error>& error) {
    return error && error->domain() == QXGatewayClientErrorDomain;
}

rt::Value gatewayResponse(const rt::Ref<rt::Error>& error) {
    if (!isGatewayClientError(error)) return {};
    return error->userInfo().get(rt::Value(QXGatewayClientResponseErrorKey));
}

rt::Value gatewayResopnseErrorObject(const rt::Ref<rt::Error>& error) {
    const rt::Value response = gatewayResponse(error);
    if (!response.isDictionary()) return {};
    return response.dictionary().get(rt::Value("error"));
}

rt::Ref<fnd::Bundle> QXNetworkingBundle() { return moduleBundleNamed("QXNetworking"); }

std::string defaultGatewayErrorText() {
    return localizedStringForKey("networkKit.gateway.error.unknown", QXNetworkingBundle());
}

}  // namespace zid
