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

#include <atomic>
#include <cstddef>
#include <string_view>

#include <QXNetworking/Common/Session/HTTPResponseSerializer.h>

namespace zid {

class QXGatewayResponseSerializer : public JSONResponseSerializer {
    RT_CLASS(QXGatewayResponseSerializer, JSONResponseSerializer)
public:
    static constexpr std::size_t kDefaultMaximumBodyLength = 16u << 20;

    /// The JSON content types and "text/html".
    QXGatewayResponseSerializer();

    /// The longest body decoded, in bytes (16 MiB unless set).
    std::size_t maximumBodyLength() const { return maximumBodyLength_.load(); }
    void setMaximumBodyLength(std::size_t bytes) { maximumBodyLength_.store(bytes); }

    rt::Value responseObjectForResponse(const HTTPURLResponse& response, const std::string& data,
                                        rt::Ref<rt::Error>* error) const override;

    /// True when the decoded object is an envelope whose "success" is true and which
    /// has the method's payload member; otherwise false and the error.
    static bool validateResponseObject(const rt::Value& object, std::string_view method, rt::Ref<rt::Error>* error);

private:
    std::atomic<std::size_t> maximumBodyLength_{kDefaultMaximumBodyLength};
};

}  // namespace zid
