#pragma once
// Decodes a gateway response: JSON (also when served as text/html), the envelope check,
// the payload taken out under the method's payload key, and the response mapping.
//
// The envelope is a JSON object with "success" true; on failure it may carry
// "error": {"message": ...}. A failed check becomes a QXGatewayClientErrorDomain error
// of code 1 whose user information holds the decoded response under
// QXGatewayClientResponseErrorKey ("Response is empty" when nothing decoded).
//
// A body longer than maximumBodyLength() is refused before it is decoded (code 3):
// decoding costs many times the body's size in memory and time.
//
// A status outside 200-299 with no envelope in the body (a proxy's HTML page) stays the
// network layer's status error, its status under QXGatewayClientHTTPStatusCodeKey, so an
// outage is not taken for a refusal by the gateway. The method is the path component
// after the base URL's own path.

#include <atomic>
#include <cstddef>
#include <string>
#include <string_view>

#include <QXNetworking/Common/Session/HTTPResponseSerializer.h>
#include <QXNetworking/Gateway/QXGatewayDescription.h>

namespace zid {

class QXGatewayResponseSerializer : public JSONResponseSerializer {
    RT_CLASS(QXGatewayResponseSerializer, JSONResponseSerializer)
public:
    static constexpr std::size_t kDefaultMaximumBodyLength = 16u << 20;

    /// The JSON content types and "text/html"; responses to URLs below the base path.
    explicit QXGatewayResponseSerializer(std::string basePath = std::string(QXGatewayDescription::kDefaultBasePath));

    const std::string& basePath() const { return basePath_; }

    /// The longest body decoded, in bytes (16 MiB unless set).
    std::size_t maximumBodyLength() const { return maximumBodyLength_.load(); }
    void setMaximumBodyLength(std::size_t bytes) { maximumBodyLength_.store(bytes); }

    rt::Value responseObjectForResponse(const HTTPURLResponse& response, const std::string& data,
                                        rt::Ref<rt::Error>* error) const override;

    /// True when the decoded object is an envelope whose "success" is true and which
    /// has the method's payload member; otherwise false and the error.
    static bool validateResponseObject(const rt::Value& object, std::string_view method, rt::Ref<rt::Error>* error);

private:
    const std::string basePath_;
    std::atomic<std::size_t> maximumBodyLength_{kDefaultMaximumBodyLength};
};

}  // namespace zid
