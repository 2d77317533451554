#pragma once
// Response serializers: check a response's status and content type and decode its body.
// They run on the session's processing thread and keep no state that changes.

#include <optional>
#include <set>
#include <string>

#include <net/HttpClient.h>
#include <rt/Error.h>
#include <rt/Value.h>

namespace zid {

/// The error domain of responses a serializer does not accept.
inline constexpr const char* QXResponseSerializationErrorDomain = "QXResponseSerializationErrorDomain";
enum class QXResponseSerializationError : long long {
    BadServerResponse = -1011,       // a status code outside the acceptable ones
    CannotDecodeContentData = -1016, // an unacceptable content type, or a body that does not decode
};
/// User-info keys of those errors.
inline constexpr const char* QXResponseSerializationStatusCodeKey = "StatusCode";
inline constexpr const char* QXResponseSerializationResponseDataKey = "ResponseData";

/// What the serializers see of a response.
struct HTTPURLResponse {
    std::string url;
    long statusCode = 0;
    net::HttpHeaders headers;

    static HTTPURLResponse from(const net::HttpResponse& response, const std::string& requestURL);
    std::string header(std::string_view name) const;
    /// The content type without parameters, lower-cased ("text/html").
    std::string MIMEType() const;
    /// The charset parameter of the content type, lower-cased; empty when none.
    std::string textEncodingName() const;
};

class HTTPResponseSerializer : public rt::Object {
    RT_CLASS(HTTPResponseSerializer, rt::Object)
public:
    HTTPResponseSerializer();

    /// 200 to 299 unless changed.
    const std::set<long>& acceptableStatusCodes() const { return acceptableStatusCodes_; }
    void setAcceptableStatusCodes(std::set<long> codes) { acceptableStatusCodes_ = std::move(codes); }
    /// Empty means any content type.
    const std::set<std::string>& acceptableContentTypes() const { return acceptableContentTypes_; }
    void setAcceptableContentTypes(std::set<std::string> types) { acceptableContentTypes_ = std::move(types); }

    /// True when status and content type are acceptable; otherwise false and the error
    /// (a content-type error takes precedence when both fail).
    bool validateResponse(const HTTPURLResponse& response, const std::string& data, rt::Ref<rt::Error>* error) const;
    /// The status error of a response whose status is not acceptable; nullptr otherwise.
    rt::Ref<rt::Error> statusCodeError(const HTTPURLResponse& response, const std::string& data) const;

    /// The decoded body (here the bytes, also when the check failed), nil with the error.
    virtual rt::Value responseObjectForResponse(const HTTPURLResponse& response, const std::string& data,
                                                rt::Ref<rt::Error>* error) const;

protected:
    std::set<long> acceptableStatusCodes_;
    std::set<std::string> acceptableContentTypes_;
};

class JSONResponseSerializer : public HTTPResponseSerializer {
    RT_CLASS(JSONResponseSerializer, HTTPResponseSerializer)
public:
    /// Accepts "application/json", "text/json" and "text/javascript".
    JSONResponseSerializer();

    /// The decoded JSON value. An unacceptable content type answers nil; an unacceptable
    /// status still decodes the body (the error stays reported). An empty body, or one
    /// of white space only, is nil without a further error; text that is not JSON is
    /// nil with the reading error (underlying the status error when there is one).
    rt::Value responseObjectForResponse(const HTTPURLResponse& response, const std::string& data,
                                        rt::Ref<rt::Error>* error) const override;
};

}  // namespace zid
