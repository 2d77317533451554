#include "Gateway/QXGatewayClient.h"

#include <QXFoundation/Log/QXLogger.h>
#include "Common/JSON/QXJSONSerialization.h"
#include <QXNetworking/Common/Session/URLComponents.h>
#include <QXNetworking/Gateway/QXGatewayDescription.h>
#include <QXNetworking/Gateway/Response/QXGatewayResponseSerializer.h>

namespace zid {

namespace {

std::string hostOr(const std::optional<std::string>& host, const std::string& fallback) {
    return host && !host->empty() ? *host : fallback;
}

std::string basePathOf(const std::string& baseURL) {
    const auto parts = URLComponents::parse(baseURL);
    return parts ? parts->percentEncodedPath : std::string();
}

}  // namespace

QXGatewayClient::QXGatewayClient(const std::string& baseURL, rt::Ref<QXGatewayRequestSerializer> serializer)
    : manager_(rt::make<HTTPSessionManager>(baseURL)), basePath_(basePathOf(baseURL)) {
    // Both serializers find the method right after the base URL's own path, however deep.
    if (serializer) serializer->setBasePath(basePath_);
    manager_->setRequestSerializer(std::move(serializer));
    manager_->setResponseSerializer(rt::make<QXGatewayResponseSerializer>(basePath_));
    manager_->setMaxConcurrentOperationCount(3);
}

QXGatewayClient::QXGatewayClient(std::optional<std::string> baseHost, std::optional<std::string> baseHostCached)
    : QXGatewayClient("http://" + baseHost.value_or("") + "/json.php",
                      rt::make<QXGatewayRequestSerializer>(baseHost, baseHostCached)) {}

rt::Ref<QXGatewayClient> QXGatewayClient::clientWithBaseURL(const std::string& baseURL) {
    const auto parts = URLComponents::parse(baseURL);
    std::optional<std::string> host;
    if (parts) host = parts->host;
    return rt::Ref<QXGatewayClient>(
        rt::make<QXGatewayClient>(std::string(baseURL), QXGatewayRequestSerializer::withBaseHost(host)));
}

rt::Ref<QXGatewayClient> QXGatewayClient::defaultClient() { return defaultClientWithBaseHost(std::nullopt, std::nullopt); }

rt::Ref<QXGatewayClient> QXGatewayClient::defaultClientWithBaseHost(std::optional<std::string> baseHost,
                                                                   std::optional<std::string> baseHostCached) {
    // Made once and never released: completions may still arrive while the process ends.
    static const auto* shared = new rt::Ref<QXGatewayClient>(
        rt::make<QXGatewayClient>(std::optional<std::string>(hostOr(baseHost, QXGatewayHost)),
                                  std::optional<std::string>(hostOr(baseHostCached, QXCacheGatewayHost))));
    return *shared;
}

rt::Ref<QXGatewayRequestSerializer> QXGatewayClient::gatewaySerializer() const {
    return std::dynamic_pointer_cast<QXGatewayRequestSerializer>(manager_->requestSerializer());
}

rt::Dictionary QXGatewayClient::defaultParameters() const {
    const auto serializer = gatewaySerializer();
    return serializer ? serializer->defaultParameters() : rt::Dictionary();
}

void QXGatewayClient::setDefaultParameters(rt::Dictionary parameters) {
    if (const auto serializer = gatewaySerializer()) serializer->setDefaultParameters(std::move(parameters));
}

std::string QXGatewayClient::methodURL(const std::string& method) const {
    return URLByAppendingPathComponent(manager_->baseURL(), method);
}

std::optional<std::string> QXGatewayClient::parameterKeysOfRequestURL(const std::string& url) {
    const auto parts = URLComponents::parse(url);
    if (!parts) return std::nullopt;
    const auto object = JSONObjectWithData(parts->lastPathComponent());
    if (!object || !object->isDictionary()) return std::nullopt;
    std::string keys;
    for (const auto& [key, value] : object->dictionary().entries()) {
        if (!keys.empty()) keys += ", ";
        keys += key.string();
    }
    return keys;
}

rt::Value QXGatewayClient::fillMissingParameters(const rt::Value& response, const std::string& method,
                                                 const rt::Dictionary& parameters) {
    if (!response.isDictionary()) return response;
    rt::Dictionary filled = response.dictionary();
    if (method == "Quorvex.getVideoInfo") {
        // The caller may name the video by either key; without one the gateway's own
        // "recordID" stays.
        for (const char* key : {"recordID", "videoID"}) {
            const rt::Value given = parameters.get(rt::Value(key));
            if (!given.isNilOrNull()) {
                filled.set(rt::Value("recordID"), given);
                break;
            }
        }
    } else if (method == "Broadcaster.loginMobile") {
        if (!filled.contains(rt::Value("displayName"))) filled.set(rt::Value("displayName"), rt::Value::null());
    }
    return rt::Value(filled);
}

rt::Ref<SessionDataTask> QXGatewayClient::performMethod(const std::string& method, const rt::Dictionary& parameters,
                                                        QXGatewayCompletion completion) {
    const std::string verb = QXGatewayDescription::HTTPMethodForGatewayMethod(method);
    rt::Ref<rt::Error> error;
    auto request = manager_->requestSerializer()->requestWithMethod(verb, methodURL(method), rt::Value(parameters), &error);
    if (!request) {
        if (completion) completion(rt::Value(), error);
        return nullptr;
    }
    auto task = manager_->dataTaskWithRequest(
        request, [method, parameters, completion](const std::optional<HTTPURLResponse>&, const rt::Value& object,
                                                  const rt::Ref<rt::Error>& failure) {
            if (failure) {
                QXLog(kQXGatewayLogModule, staticClass(), 5, "Gateway call (%@) error: %@", method, failure);
                if (completion) completion(rt::Value(), failure);
                return;
            }
            if (completion) completion(fillMissingParameters(object, method, parameters), nullptr);
        });
    task->resume();
    const auto parts = URLComponents::parse(request->url());
    const auto keys = parameterKeysOfRequestURL(request->url());
    QXLog(kQXGatewayLogModule, staticClass(), 5, "Request: %@ method: %@ protocol: %@ host:%@ parameters: %@",
          QXGatewayDescription::gatewayMethodOfURL(request->url(), basePath_), request->httpMethod(), parts ? parts->scheme : std::string(),
          parts ? parts->host : std::string(), keys ? rt::Value(*keys) : rt::Value());
    return task;
}

rt::Ref<SessionDataTask> QXGatewayClient::uploadPicture(const QXImagePixels& image, const std::string& method,
                                                        const rt::Dictionary& parameters, QXGatewayCompletion completion) {
    // Only a POST carries the multipart body, whatever verb the method's other calls use.
    const std::string verb = "POST";
    rt::Ref<rt::Error> error;
    const auto jpeg = JPEGRepresentation(image, 0.95, &error);
    rt::Ref<fnd::URLRequest> request;
    if (jpeg) {
        request = manager_->requestSerializer()->multipartFormRequestWithMethod(
            verb, methodURL(method), rt::Value(parameters),
            [&jpeg](MultipartFormData& form) { form.appendPartWithFileData(*jpeg, "picture", "picture.jpg", "image/jpeg"); },
            &error);
    }
    if (!request) {
        if (completion) completion(rt::Value(), error);
        return nullptr;
    }
    auto task = manager_->dataTaskWithRequest(
        request, [method, completion](const std::optional<HTTPURLResponse>&, const rt::Value& object,
                                      const rt::Ref<rt::Error>& failure) {
            if (failure) {
                QXLog(kQXGatewayLogModule, staticClass(), 5, "Gateway call (%@) error: %@", method, failure);
                if (completion) completion(rt::Value(), failure);
                return;
            }
            QXLog(kQXGatewayLogModule, staticClass(), 5, "Gateway call success (%@)", method);
            if (completion) completion(object, nullptr);
        });
    task->resume();
    return task;
}

}  // namespace zid
