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

#include <mutex>
#include <optional>
#include <string>

#include <QXNetworking/Common/Session/HTTPRequestSerializer.h>

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

    rt::Dictionary defaultParameters() const;
    void setDefaultParameters(rt::Dictionary parameters);
    std::optional<std::string> baseHost() const;
    void setBaseHost(std::optional<std::string> host);
    std::optional<std::string> baseHostCached() const;
    void setBaseHostCached(std::optional<std::string> host);

    /// The finished request; nullptr and the error when the parameters cannot be
    /// written as JSON or the chosen host is missing.
    rt::Ref<fnd::URLRequest> requestBySerializingRequest(const fnd::URLRequest& request, const rt::Value& parameters,
                                                         rt::Ref<rt::Error>* error) override;

private:
    mutable std::mutex mutex_;
    rt::Dictionary defaultParameters_;
    std::optional<std::string> baseHost_;
    std::optional<std::string> baseHostCached_;
};

}  // namespace zid
