#pragma once
// What the gateway client knows about each method, keyed by its name: the HTTP verb,
// whether the cached gateway host serves it, and where its payload sits in the response
// envelope.
//
// The verb and the host are decided by the full name ("Quorvex.searchMedia"); the
// description, the request and the response mappings by the short name: the part after
// the last ".", first letter upper-cased ("SearchMedia").

#include <optional>
#include <string>
#include <string_view>

#include <rt/Value.h>

namespace zid {

class QXGatewayDescription {
public:
    /// The short name; empty for an empty name.
    static std::string shortNameForGatewayMethod(std::string_view method);

    /// {"payloadKey": text, "isCollection": boolean, optional "typeKey": text}; nil for
    /// a method without a description.
    static rt::Value descriptionForGatewayMethod(std::string_view method);
    /// The description of a short name; nil when there is none.
    static rt::Value descriptionForShortName(std::string_view shortName);
    static std::optional<std::string> payloadKeyForGatewayMethod(std::string_view method);
    static std::optional<std::string> typeKeyForGatewayMethod(std::string_view method);
    static bool isCollectionGatewayMethod(std::string_view method);

    /// Whether the full name is one of the methods the cached host serves.
    static bool isCachingEnabledForGatewayMethod(std::string_view method);
    /// "POST" for the methods that send a body, "GET" for every other name.
    static std::string HTTPMethodForGatewayMethod(std::string_view method);

    /// The path of the gateway's base URL unless a client is made on another.
    static constexpr std::string_view kDefaultBasePath = "/json.php";
    /// The method a gateway URL names: the path component right after the base URL's
    /// own path ("https://h/v2/json.php/Quorvex.getEvents/%7B%7D" under "/v2/json.php"
    /// is "Quorvex.getEvents"). Empty when the URL is not below that path.
    static std::string gatewayMethodOfURL(std::string_view url, std::string_view basePath);
};

}  // namespace zid
