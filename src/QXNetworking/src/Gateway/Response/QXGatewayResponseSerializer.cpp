#include "QXNetworking/Gateway/Response/QXGatewayResponseSerializer.h"

#include <QXNetworking/Gateway/QXGatewayDescription.h>
#include <QXNetworking/Gateway/Response/QXGatewayErrors.h>
#include <QXNetworking/Gateway/Response/QXGatewayResponseMapper.h>
#include <rt/Format.h>

namespace zid {

QXGatewayResponseSerializer::QXGatewayResponseSerializer(std::string basePath) : basePath_(std::move(basePath)) {
    acceptableContentTypes_.insert("text/html");
}

namespace {

// The status error with the status under the gateway's key and, when the body was
// refused for another reason (its content type), that reason underneath.
rt::Ref<rt::Error> withHTTPStatus(const rt::Ref<rt::Error>& status, long statusCode, const rt::Ref<rt::Error>& decoding) {
    rt::Dictionary info = status->userInfo();
    info.set(rt::Value(QXGatewayClientHTTPStatusCodeKey), rt::Value(static_cast<long long>(statusCode)));
    if (decoding && decoding != status && !info.contains(rt::Value(rt::Error::UnderlyingErrorKey)))
        info.set(rt::Value(rt::Error::UnderlyingErrorKey), rt::Value(decoding));
    return rt::Error::make(status->domain(), status->code(), info);
}

bool isStatusError(const rt::Ref<rt::Error>& error) {
    return error && error->domain() == std::string(QXResponseSerializationErrorDomain) &&
           error->code() == static_cast<long long>(QXResponseSerializationError::BadServerResponse);
}

}  // namespace

bool QXGatewayResponseSerializer::validateResponseObject(const rt::Value& object, std::string_view method,
                                                         rt::Ref<rt::Error>* error) {
    const rt::Value responseEntry = object.isNilOrNull() ? rt::Value("Response is empty") : object;
    if (!object.isNilOrNull() && !object.isDictionary()) {
        // A list, text or number at the top is not an envelope, whatever it holds.
        if (error) {
            rt::Dictionary info;
            info.set(rt::Value(rt::Error::LocalizedFailureReasonKey), rt::Value("The response is not a JSON object"));
            info.set(rt::Value(QXGatewayClientResponseErrorKey), responseEntry);
            *error = gatewayErrorWithCode(static_cast<long long>(QXGatewayClientError::Envelope), info, std::nullopt);
        }
        return false;
    }
    const rt::Dictionary envelope = object.isDictionary() ? object.dictionary() : rt::Dictionary();
    if (!envelope.get(rt::Value("success")).boolValue()) {
        if (error) {
            std::optional<std::string> message;
            const rt::Value errorObject = envelope.get(rt::Value("error"));
            if (errorObject.isDictionary()) {
                const rt::Value text = errorObject.dictionary().get(rt::Value("message"));
                if (text.isString()) message = text.string();
            }
            rt::Dictionary info;
            info.set(rt::Value(rt::Error::LocalizedFailureReasonKey),
                     rt::Value(message ? *message : std::string("Success field is false in the response")));
            info.set(rt::Value(QXGatewayClientResponseErrorKey), responseEntry);
            *error = gatewayErrorWithCode(static_cast<long long>(QXGatewayClientError::Envelope), info, message);
        }
        return false;
    }
    const auto payloadKey = QXGatewayDescription::payloadKeyForGatewayMethod(method);
    if (payloadKey && !envelope.contains(rt::Value(*payloadKey))) {
        if (error) {
            rt::Dictionary info;
            info.set(rt::Value(rt::Error::LocalizedFailureReasonKey),
                     rt::Value(rt::format("Payload (%@) is not present in the response", *payloadKey)));
            info.set(rt::Value(QXGatewayClientResponseErrorKey), responseEntry);
            *error = gatewayErrorWithCode(static_cast<long long>(QXGatewayClientError::Envelope), info, std::nullopt);
        }
        return false;
    }
    return true;
}

rt::Value QXGatewayResponseSerializer::responseObjectForResponse(const HTTPURLResponse& response, const std::string& data,
                                                                 rt::Ref<rt::Error>* error) const {
    const std::size_t bound = maximumBodyLength();
    if (data.size() > bound) {
        if (error) {
            const std::string reason = "The gateway's answer of " + std::to_string(data.size()) +
                                       " bytes is longer than the " + std::to_string(bound) +
                                       " bytes accepted (QXGatewayResponseSerializer::setMaximumBodyLength)";
            rt::Dictionary info;
            info.set(rt::Value(rt::Error::LocalizedFailureReasonKey), rt::Value(reason));
            info.set(rt::Value(QXGatewayClientResponseErrorKey), rt::Value("Response is too large"));
            *error = gatewayErrorWithCode(static_cast<long long>(QXGatewayClientError::BodyTooLarge), info, reason);
        }
        return {};
    }
    rt::Ref<rt::Error> decoding;
    const rt::Value object = JSONResponseSerializer::responseObjectForResponse(response, data, &decoding);
    if (object.isNilOrNull()) {
        // No envelope to read: an unacceptable status is the failure, not the gateway.
        if (const auto status = statusCodeError(response, data)) {
            if (error) *error = withHTTPStatus(isStatusError(decoding) ? decoding : status, response.statusCode, decoding);
            return {};
        }
    }
    const std::string method = QXGatewayDescription::gatewayMethodOfURL(response.url, basePath_);
    rt::Ref<rt::Error> envelope;
    if (!validateResponseObject(object, method, &envelope)) {
        if (error) *error = envelope;
        return {};
    }
    if (decoding) {
        // An acceptable envelope under an unacceptable status: the status error stands.
        if (error) *error = isStatusError(decoding) ? withHTTPStatus(decoding, response.statusCode, nullptr) : decoding;
        return {};
    }
    const auto payloadKey = QXGatewayDescription::payloadKeyForGatewayMethod(method);
    const rt::Value payload = payloadKey ? object.dictionary().get(rt::Value(*payloadKey)) : object;
    return QXGatewayResponseMapper::mappedResponse(payload, method, error);
}

}  // namespace zid
