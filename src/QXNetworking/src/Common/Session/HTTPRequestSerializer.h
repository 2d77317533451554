#pragma once
// Request serializers: turn a verb, a URL and a parameter dictionary into a request.
//
// The plain serializer writes the parameters as a query string (GET, HEAD, DELETE) or
// as a form-encoded body; the JSON serializer writes a JSON body instead. Subclasses
// override requestBySerializingRequest(), which both ordinary and multipart requests
// go through.

#include <functional>
#include <string>

#include "Common/Session/MultipartFormData.h"
#include <fnd/URLRequest.h>
#include <rt/Error.h>
#include <rt/Value.h>

namespace zid {

/// The error domain of requests that cannot be built.
inline constexpr const char* QXRequestSerializationErrorDomain = "QXRequestSerializationErrorDomain";
enum class QXRequestSerializationError : long long {
    BadURL = -1000,           // the URL text is not an absolute http(s) URL
    InvalidParameters = 3840, // parameters the body's format cannot hold
};

class HTTPRequestSerializer : public rt::Object {
    RT_CLASS(HTTPRequestSerializer, rt::Object)
public:
    HTTPRequestSerializer() = default;

    /// A request of that verb to the URL with the parameters; nullptr and the error
    /// when it cannot be built.
    rt::Ref<fnd::URLRequest> requestWithMethod(const std::string& method, const std::string& URLString,
                                               const rt::Value& parameters, rt::Ref<rt::Error>* error);

    /// A multipart/form-data request: the bare request goes through
    /// requestBySerializingRequest() without parameters, then the parameters are written
    /// as form fields, followed by the parts the block appends; the multipart body
    /// replaces any body the serializer wrote.
    virtual rt::Ref<fnd::URLRequest> multipartFormRequestWithMethod(
        const std::string& method, const std::string& URLString, const rt::Value& parameters,
        const std::function<void(MultipartFormData&)>& constructingBody, rt::Ref<rt::Error>* error);

    /// The request with the parameters written in; nullptr and the error on failure.
    virtual rt::Ref<fnd::URLRequest> requestBySerializingRequest(const fnd::URLRequest& request,
                                                                 const rt::Value& parameters,
                                                                 rt::Ref<rt::Error>* error);

    /// Verbs whose parameters go into the query: GET, HEAD, DELETE.
    static bool encodesParametersInURI(const std::string& method);
    /// "a=1&b%5Bc%5D=2": dictionaries as key[sub], arrays as key[], in the given order.
    static std::string queryStringFromParameters(const rt::Value& parameters);
    /// The same pairs, unencoded, for form fields.
    static std::vector<std::pair<std::string, std::string>> fieldPairsFromParameters(const rt::Value& parameters);

protected:
    static rt::Ref<fnd::URLRequest> copyOf(const fnd::URLRequest& request);
    /// A request of that verb to the URL, nothing written yet; nullptr and the error
    /// when the URL is not an absolute http(s) URL.
    static rt::Ref<fnd::URLRequest> bareRequest(const std::string& method, const std::string& URLString,
                                                rt::Ref<rt::Error>* error);
    /// Replaces the request's body by the parameters as form fields followed by the
    /// parts the block appends, with the multipart content type and length.
    static void writeMultipartBody(fnd::URLRequest& request, const rt::Value& parameters,
                                   const std::function<void(MultipartFormData&)>& constructingBody);
};

class JSONRequestSerializer : public HTTPRequestSerializer {
    RT_CLASS(JSONRequestSerializer, HTTPRequestSerializer)
public:
    JSONRequestSerializer() = default;
    /// GET, HEAD and DELETE as the plain serializer; any other verb gets the JSON text
    /// of the parameters as body and "Content-Type: application/json" unless the request
    /// has a content type. Parameters JSON cannot hold fail with
    /// "The `parameters` argument is not valid JSON.".
    rt::Ref<fnd::URLRequest> requestBySerializingRequest(const fnd::URLRequest& request, const rt::Value& parameters,
                                                         rt::Ref<rt::Error>* error) override;
};

}  // namespace zid
