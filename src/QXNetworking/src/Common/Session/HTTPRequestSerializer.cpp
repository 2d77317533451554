#include "Common/Session/HTTPRequestSerializer.h"

#include "Common/JSON/QXJSONSerialization.h"
#include <QXNetworking/Common/Session/URLComponents.h>

namespace zid {

namespace {

std::string fieldText(const rt::Value& value) {
    if (value.isString()) return value.string();
    if (value.isNumber()) {
        const rt::Number n = value.numberValue();
        return n.kind() == rt::Number::Kind::Bool ? (n.boolValue() ? "1" : "0") : n.description();
    }
    if (value.isNull()) return "";
    return value.description();
}

void collectPairs(const std::string& key, const rt::Value& value, std::vector<std::pair<std::string, std::string>>& out) {
    if (value.isDictionary()) {
        for (const auto& [subKey, item] : value.dictionary().entries()) {
            const std::string name = key.empty() ? fieldText(subKey) : key + "[" + fieldText(subKey) + "]";
            collectPairs(name, item, out);
        }
    } else if (value.isArray()) {
        for (const auto& item : value.array()) collectPairs(key + "[]", item, out);
    } else if (!value.isNil()) {
        out.emplace_back(key, fieldText(value));
    }
}

rt::Ref<rt::Error> serializationError(QXRequestSerializationError code, std::string description) {
    return rt::Error::withDescription(QXRequestSerializationErrorDomain, static_cast<long long>(code), std::move(description));
}

}  // namespace

bool HTTPRequestSerializer::encodesParametersInURI(const std::string& method) {
    return method == "GET" || method == "HEAD" || method == "DELETE";
}

std::vector<std::pair<std::string, std::string>> HTTPRequestSerializer::fieldPairsFromParameters(const rt::Value& parameters) {
    std::vector<std::pair<std::string, std::string>> out;
    if (parameters.isDictionary()) collectPairs("", parameters, out);
    return out;
}

std::string HTTPRequestSerializer::queryStringFromParameters(const rt::Value& parameters) {
    std::string out;
    for (const auto& [key, value] : fieldPairsFromParameters(parameters)) {
        if (!out.empty()) out.push_back('&');
        out += percentEncodedForQueryComponent(key) + "=" + percentEncodedForQueryComponent(value);
    }
    return out;
}

rt::Ref<fnd::URLRequest> HTTPRequestSerializer::copyOf(const fnd::URLRequest& request) {
    auto copy = rt::make<fnd::URLRequest>(request.url());
    copy->setHTTPMethod(request.httpMethod());
    for (const auto& [name, value] : request.allHTTPHeaderFields()) copy->setValueForHTTPHeaderField(value, name);
    copy->setHTTPBody(request.httpBody());
    return copy;
}

rt::Ref<fnd::URLRequest> HTTPRequestSerializer::bareRequest(const std::string& method, const std::string& URLString,
                                                            rt::Ref<rt::Error>* error) {
    const auto parts = URLComponents::parse(URLString);
    // "http://" and "https:///x" have the right scheme and no host: said so, not that
    // the scheme is wrong.
    const std::string_view text(URLString);
    const char* scheme = parts ? (parts->scheme == "http" || parts->scheme == "https" ? parts->scheme.c_str() : nullptr)
                         : text.substr(0, 7) == "http://"   ? "http"
                         : text.substr(0, 8) == "https://"  ? "https"
                                                            : nullptr;
    if (!scheme) {
        if (error) *error = serializationError(QXRequestSerializationError::BadURL, "The URL \"" + URLString + "\" is not an http or https URL.");
        return nullptr;
    }
    if (!parts || parts->host.front() == ':') {
        if (error)
            *error = serializationError(QXRequestSerializationError::BadURL, "The URL \"" + URLString + "\" is an " +
                                                                                  scheme + " URL without a host.");
        return nullptr;
    }
    auto request = rt::make<fnd::URLRequest>(URLString);
    request->setHTTPMethod(method);
    return request;
}

rt::Ref<fnd::URLRequest> HTTPRequestSerializer::requestWithMethod(const std::string& method, const std::string& URLString,
                                                                  const rt::Value& parameters, rt::Ref<rt::Error>* error) {
    const auto request = bareRequest(method, URLString, error);
    return request ? requestBySerializingRequest(*request, parameters, error) : nullptr;
}

void HTTPRequestSerializer::writeMultipartBody(fnd::URLRequest& request, const rt::Value& parameters,
                                               const std::function<void(MultipartFormData&)>& constructingBody) {
    MultipartFormData form;
    for (const auto& [name, value] : fieldPairsFromParameters(parameters)) form.appendPartWithFormData(value, name);
    if (constructingBody) constructingBody(form);
    const std::string body = form.body();
    request.setHTTPBody(rt::Data(body.begin(), body.end()));
    request.setValueForHTTPHeaderField(form.contentType(), "Content-Type");
    request.setValueForHTTPHeaderField(std::to_string(body.size()), "Content-Length");
}

rt::Ref<fnd::URLRequest> HTTPRequestSerializer::multipartFormRequestWithMethod(
    const std::string& method, const std::string& URLString, const rt::Value& parameters,
    const std::function<void(MultipartFormData&)>& constructingBody, rt::Ref<rt::Error>* error) {
    auto request = requestWithMethod(method, URLString, rt::Value(), error);
    if (!request) return nullptr;
    writeMultipartBody(*request, parameters, constructingBody);
    return request;
}

rt::Ref<fnd::URLRequest> HTTPRequestSerializer::requestBySerializingRequest(const fnd::URLRequest& request,
                                                                            const rt::Value& parameters,
                                                                            rt::Ref<rt::Error>*) {
    auto out = copyOf(request);
    if (!parameters.isDictionary()) return out;
    const std::string query = queryStringFromParameters(parameters);
    if (encodesParametersInURI(request.httpMethod())) {
        if (!query.empty()) {
            auto parts = URLComponents::parse(request.url());
            if (parts) {
                parts->query = parts->query && !parts->query->empty() ? *parts->query + "&" + query : query;
                out->setURL(parts->string());
            }
        }
    } else {
        if (!out->valueForHTTPHeaderField("Content-Type"))
            out->setValueForHTTPHeaderField("application/x-www-form-urlencoded", "Content-Type");
        out->setHTTPBody(rt::Data(query.begin(), query.end()));
    }
    return out;
}

rt::Ref<fnd::URLRequest> JSONRequestSerializer::requestBySerializingRequest(const fnd::URLRequest& request,
                                                                            const rt::Value& parameters,
                                                                            rt::Ref<rt::Error>* error) {
    if (encodesParametersInURI(request.httpMethod())) return HTTPRequestSerializer::requestBySerializingRequest(request, parameters, error);
    auto out = copyOf(request);
    if (parameters.isNil()) return out;
    const auto text = JSONDataWithObject(parameters);
    if (!text) {
        if (error)
            *error = serializationError(QXRequestSerializationError::InvalidParameters,
                                        "The `parameters` argument is not valid JSON.");
        return nullptr;
    }
    if (!out->valueForHTTPHeaderField("Content-Type")) out->setValueForHTTPHeaderField("application/json", "Content-Type");
    out->setHTTPBody(rt::Data(text->begin(), text->end()));
    return out;
}

}  // namespace zid
