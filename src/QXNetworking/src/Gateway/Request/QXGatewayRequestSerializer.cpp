#include "Gateway/Request/QXGatewayRequestSerializer.h"

#include <QXFoundation/Extensions/StringExtensions.h>
#include <QXFoundation/Log/QXLogger.h>
#include "Common/JSON/QXJSONSerialization.h"
#include <QXNetworking/Common/Session/URLComponents.h>
#include <QXNetworking/Gateway/QXGatewayDescription.h>
#include "Gateway/QXGatewayHosts.h"
#include "Gateway/Request/QXGatewayRequestMapper.h"

namespace zid {

QXGatewayRequestSerializer::QXGatewayRequestSerializer(std::optional<std::string> baseHost,
                                                       std::optional<std::string> baseHostCached)
    : baseHost_(std::move(baseHost)),
      baseHostCached_(std::move(baseHostCached)),
      basePath_(std::string(QXGatewayDescription::kDefaultBasePath)) {}

QXGatewayRequestSerializer::QXGatewayRequestSerializer() : QXGatewayRequestSerializer(QXGatewayHost, QXCacheGatewayHost) {}

rt::Ref<QXGatewayRequestSerializer> QXGatewayRequestSerializer::withBaseHost(std::optional<std::string> baseHost) {
    return rt::make<QXGatewayRequestSerializer>(std::move(baseHost), QXCacheGatewayHost);
}

rt::Dictionary QXGatewayRequestSerializer::withDefaults(const rt::Value& parameters) const {
    rt::Dictionary merged = parameters.isDictionary() ? parameters.dictionary() : rt::Dictionary();
    const rt::Dictionary defaults = defaultParameters();
    for (const auto& [key, value] : defaults.entries()) merged.set(key, value);
    return merged;
}

rt::Ref<fnd::URLRequest> QXGatewayRequestSerializer::requestBySerializingRequest(const fnd::URLRequest& request,
                                                                                const rt::Value& parameters,
                                                                                rt::Ref<rt::Error>* error) {
    const rt::Dictionary merged = withDefaults(parameters);
    return serialize(request, &merged, std::nullopt, error);
}

rt::Ref<fnd::URLRequest> QXGatewayRequestSerializer::multipartFormRequestWithMethod(
    const std::string&, const std::string& URLString, const rt::Value& parameters,
    const std::function<void(MultipartFormData&)>& constructingBody, rt::Ref<rt::Error>* error) {
    const auto bare = bareRequest("POST", URLString, error);
    if (!bare) return nullptr;
    auto request = serialize(*bare, nullptr, std::string("POST"), error);
    if (!request) return nullptr;
    writeMultipartBody(*request, rt::Value(withDefaults(parameters)), constructingBody);
    return request;
}

rt::Ref<fnd::URLRequest> QXGatewayRequestSerializer::serialize(const fnd::URLRequest& request,
                                                              const rt::Dictionary* parameters,
                                                              const std::optional<std::string>& verbGiven,
                                                              rt::Ref<rt::Error>* error) {
    auto components = URLComponents::parse(request.url());
    if (!components) {
        if (error)
            *error = rt::Error::withDescription(QXRequestSerializationErrorDomain,
                                                static_cast<long long>(QXRequestSerializationError::BadURL),
                                                "The URL \"" + request.url() + "\" cannot be taken apart.");
        return nullptr;
    }
    const std::string method = QXGatewayDescription::gatewayMethodOfURL(request.url(), basePath());
    components->scheme = "https";
    const auto host = QXGatewayDescription::isCachingEnabledForGatewayMethod(method) ? baseHostCached() : baseHost();
    if (!host || host->empty()) {
        if (error)
            *error = rt::Error::withDescription(QXRequestSerializationErrorDomain,
                                                static_cast<long long>(QXRequestSerializationError::BadURL),
                                                "No gateway host is configured for the method " + method + ".");
        return nullptr;
    }
    components->host = *host;

    const rt::Dictionary mapped = parameters ? QXGatewayRequestMapper::mappedRequest(*parameters, method) : rt::Dictionary();
    const std::string verb = verbGiven.value_or(QXGatewayDescription::HTTPMethodForGatewayMethod(method));
    auto withVerb = copyOf(request);
    withVerb->setHTTPMethod(verb);
    auto out = JSONRequestSerializer::requestBySerializingRequest(*withVerb, parameters ? rt::Value(mapped) : rt::Value(), error);
    if (!out) return nullptr;

    if (verb == "GET") {
        std::string text;
        if (!mapped.empty()) {
            rt::Ref<rt::Error> writing;
            const auto json = JSONDataWithObject(rt::Value(mapped), &writing);
            if (!json) {
                // The caller's parameters would be lost on the way: the call fails instead.
                QXLog(kQXGatewayLogModule, staticClass(), 5, "Error: %@", writing);
                if (error) *error = writing;
                return nullptr;
            }
            text = urlEscapedOfOccurences(percentEncodedForPath(*json), '.');
        }
        std::string path = components->percentEncodedPath;
        if (path.empty() || path.back() != '/') path.push_back('/');
        components->percentEncodedPath = path + text;
        components->query.reset();
    }
    out->setURL(components->string());
    return out;
}

}  // namespace zid
