#pragma once
// The client of the service's JSON web gateway. A host calls a method by its full name
// ("Quorvex.getVideoInfo") with a dictionary of parameters and receives, on the main
// queue, the mapped result or an error. Everything gateway-specific about URLs, bodies,
// envelopes and key names happens in the gateway's request and response serializers;
// the client builds the method's URL, starts the task, logs, and completes two methods'
// results with what the caller asked for.
//
// Any thread may call; the request is built on the caller's thread, the response is
// decoded and mapped on the session's processing thread, and at most three requests
// run at once. The returned task can be cancelled: its completion then gets the
// network layer's cancelled error.

#include <functional>
#include <optional>
#include <string>

#include "Common/Image/QXJPEGRepresentation.h"
#include "Common/Session/HTTPSessionManager.h"
#include "Gateway/QXGatewayHosts.h"
#include "Gateway/Request/QXGatewayRequestSerializer.h"

namespace zid {

/// The mapped result (nil on failure) and the error (nullptr on success).
using QXGatewayCompletion = std::function<void(const rt::Value& result, const rt::Ref<rt::Error>& error)>;

class QXGatewayClient : public rt::Object {
    RT_CLASS(QXGatewayClient, rt::Object)
public:
    /// A client on "http://<base host>/json.php"; the hosts as given go to the request
    /// serializer (requests go out over https to the one the method calls for).
    QXGatewayClient(std::optional<std::string> baseHost, std::optional<std::string> baseHostCached);
    /// A client on that base URL; the cached host is QXCacheGatewayHost.
    static rt::Ref<QXGatewayClient> clientWithBaseURL(const std::string& baseURL);

    /// The shared client, made once on the first call (with QXGatewayHost and
    /// QXCacheGatewayHost for missing or empty hosts); later hosts are ignored.
    static rt::Ref<QXGatewayClient> defaultClient();
    static rt::Ref<QXGatewayClient> defaultClientWithBaseHost(std::optional<std::string> baseHost,
                                                             std::optional<std::string> baseHostCached);

    const rt::Ref<HTTPSessionManager>& requestOperationManager() const { return manager_; }
    /// The gateway request serializer of the session.
    rt::Ref<QXGatewayRequestSerializer> gatewaySerializer() const;
    /// Parameters merged into every request; they win over the caller's.
    rt::Dictionary defaultParameters() const;
    void setDefaultParameters(rt::Dictionary parameters);
    /// Stored only.
    const std::optional<std::string>& baseHost() const { return baseHost_; }
    void setBaseHost(std::optional<std::string> host) { baseHost_ = std::move(host); }

    /// Calls the method. A request that cannot be built completes at once, on the
    /// caller's thread, and the answer is nullptr.
    rt::Ref<SessionDataTask> performMethod(const std::string& method, const rt::Dictionary& parameters,
                                           QXGatewayCompletion completion);

    /// Uploads the picture in a POST, whatever the method's verb, as the JPEG file part
    /// "picture" ("picture.jpg", image/jpeg, quality 0.95) after the parameters and the
    /// default parameters as plain form fields. The result is the mapped response,
    /// without the completion step of performMethod.
    rt::Ref<SessionDataTask> uploadPicture(const QXImagePixels& image, const std::string& method,
                                           const rt::Dictionary& parameters, QXGatewayCompletion completion);

    /// The response completed for the method: "Quorvex.getVideoInfo" carries the caller's
    /// "recordID", else its "videoID", else the mapped one; "Broadcaster.loginMobile" has
    /// "displayName" null when the gateway sent none. Other methods and results that are
    /// no objects come back unchanged.
    static rt::Value fillMissingParameters(const rt::Value& response, const std::string& method,
                                           const rt::Dictionary& parameters);

    /// The comma-separated keys of the JSON object in the URL's last path component;
    /// nothing when it holds none (POST requests, GET requests without parameters).
    static std::optional<std::string> parameterKeysOfRequestURL(const std::string& url);

    /// A client on the base URL with that request serializer.
    QXGatewayClient(const std::string& baseURL, rt::Ref<QXGatewayRequestSerializer> serializer);

private:
    std::string methodURL(const std::string& method) const;

    rt::Ref<HTTPSessionManager> manager_;
    std::string basePath_;
    std::optional<std::string> baseHost_;
};

}  // namespace zid
