#include "QXNetworking/Common/Session/HTTPResponseSerializer.h"

#include <algorithm>

#include "Common/JSON/QXJSONSerialization.h"

namespace zid {

namespace {
std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}
std::string trimmedField(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    const auto last = text.find_last_not_of(" \t");
    return std::string(text.substr(first, last - first + 1));
}
}  // namespace

HTTPURLResponse HTTPURLResponse::from(const net::HttpResponse& response, const std::string& requestURL) {
    HTTPURLResponse out;
    out.url = response.url.empty() ? requestURL : response.url;
    out.statusCode = response.status;
    out.headers = response.headers;
    return out;
}

std::string HTTPURLResponse::header(std::string_view name) const {
    for (const auto& [key, value] : headers)
        if (lower(key) == lower(std::string(name))) return value;
    return {};
}

std::string HTTPURLResponse::MIMEType() const {
    const std::string type = header("Content-Type");
    return lower(trimmedField(std::string_view(type).substr(0, type.find(';'))));
}

std::string HTTPURLResponse::textEncodingName() const {
    const std::string type = header("Content-Type");
    std::string_view rest = type;
    while (true) {
        const auto semicolon = rest.find(';');
        if (semicolon == std::string_view::npos) return {};
        rest.remove_prefix(semicolon + 1);
        std::string parameter = trimmedField(rest.substr(0, rest.find(';')));
        const auto equals = parameter.find('=');
        if (equals != std::string::npos && lower(trimmedField(std::string_view(parameter).substr(0, equals))) == "charset") {
            std::string value = trimmedField(std::string_view(parameter).substr(equals + 1));
            if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
            return lower(value);
        }
    }
}

HTTPResponseSerializer::HTTPResponseSerializer() {
    for (long code = 200; code < 300; ++code) acceptableStatusCodes_.insert(code);
}

namespace {

rt::Dictionary responseInfo(const HTTPURLResponse& response, const std::string& data) {
    rt::Dictionary info;
    info.set(rt::Value("FailingURL"), rt::Value(response.url));
    info.set(rt::Value(QXResponseSerializationStatusCodeKey), rt::Value(static_cast<long long>(response.statusCode)));
    info.set(rt::Value(QXResponseSerializationResponseDataKey), rt::Value(rt::Data(data.begin(), data.end())));
    return info;
}

}  // namespace

rt::Ref<rt::Error> HTTPResponseSerializer::statusCodeError(const HTTPURLResponse& response, const std::string& data) const {
    if (acceptableStatusCodes_.count(response.statusCode)) return nullptr;
    rt::Dictionary info = responseInfo(response, data);
    info.set(rt::Value(rt::Error::LocalizedDescriptionKey),
             rt::Value("Request failed: status code " + std::to_string(response.statusCode)));
    return rt::Error::make(QXResponseSerializationErrorDomain,
                           static_cast<long long>(QXResponseSerializationError::BadServerResponse), info);
}

bool HTTPResponseSerializer::validateResponse(const HTTPURLResponse& response, const std::string& data,
                                              rt::Ref<rt::Error>* error) const {
    if (!acceptableContentTypes_.empty() && !data.empty() && !acceptableContentTypes_.count(response.MIMEType())) {
        if (error) {
            rt::Dictionary info = responseInfo(response, data);
            info.set(rt::Value(rt::Error::LocalizedDescriptionKey),
                     rt::Value("Request failed: unacceptable content-type: " +
                               (response.MIMEType().empty() ? std::string("(none)") : response.MIMEType())));
            *error = rt::Error::make(QXResponseSerializationErrorDomain,
                                     static_cast<long long>(QXResponseSerializationError::CannotDecodeContentData), info);
        }
        return false;
    }
    if (auto status = statusCodeError(response, data)) {
        if (error) *error = std::move(status);
        return false;
    }
    return true;
}

rt::Value HTTPResponseSerializer::responseObjectForResponse(const HTTPURLResponse& response, const std::string& data,
                                                            rt::Ref<rt::Error>* error) const {
    validateResponse(response, data, error);
    return rt::Value(rt::Data(data.begin(), data.end()));
}

JSONResponseSerializer::JSONResponseSerializer() {
    acceptableContentTypes_ = {"application/json", "text/json", "text/javascript"};
}

rt::Value JSONResponseSerializer::responseObjectForResponse(const HTTPURLResponse& response, const std::string& data,
                                                            rt::Ref<rt::Error>* error) const {
    rt::Ref<rt::Error> validation;
    if (!validateResponse(response, data, &validation)) {
        if (error) *error = validation;
        if (validation->code() == static_cast<long long>(QXResponseSerializationError::CannotDecodeContentData)) return {};
    }
    if (data.find_first_not_of(" \t\r\n") == std::string::npos) return {};
    rt::Ref<rt::Error> reading;
    auto value = JSONObjectWithData(data, /*allowFragments=*/false, &reading);
    if (!value) {
        if (error) {
            if (validation) {
                rt::Dictionary info = validation->userInfo();
                info.set(rt::Value(rt::Error::UnderlyingErrorKey), rt::Value(reading));
                *error = rt::Error::make(validation->domain(), validation->code(), info);
            } else {
                *error = reading;
            }
        }
        return {};
    }
    return *value;
}

}  // namespace zid
