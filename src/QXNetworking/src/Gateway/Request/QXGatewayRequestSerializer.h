#pragma once
// Builds the gateway's wire form of every request the gateway client makes:
//
//   GET  https://{host}/json.php/{method}/{percent-encoded JSON of the mapped parameters}
//   POST https://{host}/json.php/{method}   body: the JSON of the mapped parameters
//
// The host is the cached gateway host for the cacheable read methods, the base host
// otherwise; the verb comes from the method table, whatever verb the request came with.
// In the GET form every "." of the last component is escaped as %2E and there is no
// query. Default parameters win over the caller's.
//
// An upload (multipartFormRequestWithMethod) always goes out as a POST whose multipart
// body holds the caller's fields with the defaults merged in, as given (no key mapping),
// then the parts the caller appends.

#include <optional>
#include <string>

#include "Common/Session/HTTPRequestSerializer.h"
#include <rt/Locked.h>

namespace zid {

class QXGatewayRequestSerializer : public JSONRequestSerializer {
    RT_CLASS(QXGatewayRequestSerializer, JSONRequestSerializer)
public:
    /// Both hosts as given (nothing stays nothing: requests for that host then fail).
    QXGatewayRequestSerializer(std::optional<std::string> baseHost, std::optional<std::string> baseHostCached);
    /// The base host and QXCacheGatewayHost.
    static rt::Ref<QXGatewayRequestSerializer> withBaseHost(std::optional<std::string> baseHost);
    /// QXGatewayHost and QXCacheGatewayHost.
    QXGatewayRequestSerializer();

    rt::Dictionary defaultParameters() const { return defaultParameters_.get(); }
    void setDefaultParameters(rt::Dictionary parameters) { defaultParameters_.set(std::move(parameters)); }
    std::optional<std::string> baseHost() const { return baseHost_.get(); }
    void setBaseHost(std::optional<std::string> host) { baseHost_.set(std::move(host)); }
    std::optional<std::string> baseHostCached() const { return baseHostCached_.get(); }
    void setBaseHostCached(std::optional<std::string> host) { baseHostCached_.set(std::move(host)); }
    /// The path of the client's base URL; the method is the path component after it
    /// ("/json.php" unless set).
    std::string basePath() const { return basePath_.get(); }
    void setBasePath(std::string path) { basePath_.set(std::move(path)); }

    /// The finished request; nullptr and the error when the parameters cannot be
    /// written as JSON or the chosen host is missing.
    rt::Ref<fnd::URLRequest> requestBySerializingRequest(const fnd::URLRequest& request, const rt::Value& parameters,
                                                         rt::Ref<rt::Error>* error) override;

    /// A POST to the method's host whatever the method's verb, since only a POST carries
    /// the body; the defaults become form fields beside the caller's.
    rt::Ref<fnd::URLRequest> multipartFormRequestWithMethod(const std::string& method, const std::string& URLString,
                                                            const rt::Value& parameters,
                                                            const std::function<void(MultipartFormData&)>& constructingBody,
                                                            rt::Ref<rt::Error>* error) override;

private:
    /// The caller's parameters with the defaults written over them.
    rt::Dictionary withDefaults(const rt::Value& parameters) const;
    /// The request in the gateway's wire form with that verb; without parameters
    /// nothing is written into the path or the body.
    rt::Ref<fnd::URLRequest> serialize(const fnd::URLRequest& request, const rt::Dictionary* parameters,
                                       const std::optional<std::string>& verb, rt::Ref<rt::Error>* error);

    rt::Locked<rt::Dictionary> defaultParameters_;
    rt::Locked<std::optional<std::string>> baseHost_;
    rt::Locked<std::optional<std::string>> baseHostCached_;
    rt::Locked<std::string> basePath_;
};

}  // namespace zid
