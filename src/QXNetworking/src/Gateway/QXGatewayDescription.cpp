#include "QXNetworking/Gateway/QXGatewayDescription.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <set>

#include <QXNetworking/Common/Session/URLComponents.h>

namespace zid {

namespace {

rt::Value record(const char* payloadKey, bool isCollection, const char* typeKey = nullptr) {
    rt::Dictionary d;
    d.set(rt::Value("payloadKey"), rt::Value(payloadKey));
    d.set(rt::Value("isCollection"), rt::Value(rt::Number::ofBool(isCollection)));
    if (typeKey) d.set(rt::Value("typeKey"), rt::Value(typeKey));
    return rt::Value(d);
}

const std::map<std::string, rt::Value, std::less<>>& descriptions() {
    static const auto* table = new std::map<std::string, rt::Value, std::less<>>{
        {"CreateChannel", record("channel", false)},
        {"GetAllByUser", record("videos", true)},
        {"GetChannelsBySessionId", record("channels", true)},
        {"GetEventProfile", record("event", false)},
        {"GetEvents", record("events", true)},
        {"GetProductList", record("products", true)},
        {"GetShowProfile", record("channel", false)},
        {"GetUpcomingFeatured", record("upcoming", true)},
        {"GetUserChannels", record("channels", true)},
        {"GetUserVideos", record("videos", true)},
        {"GetVideoInfo", record("video", false)},
        {"ListFollowedChannels", record("channels", true)},
        {"ListFollowedUpcoming", record("upcoming", true)},
        {"SearchBroadcast", record("channels", true)},
        {"SearchMedia", record("medias", true, "mediaType")},
        {"SearchRecorded", record("recordeds", true)},
        {"SearchUpcoming", record("upcoming", true)},
        {"UserVideos", record("videos", true)},
    };
    return *table;
}

const std::set<std::string, std::less<>>& cachedMethods() {
    static const auto* list = new std::set<std::string, std::less<>>{
        "Quorvex.getShowProfile", "Quorvex.searchBroadcast", "Quorvex.searchMedia", "Quorvex.searchRecorded",
        "Quorvex.searchUpcoming"};
    return *list;
}

const std::set<std::string, std::less<>>& postMethods() {
    static const auto* list = new std::set<std::string, std::less<>>{
        "Purchase.startITunesInAppPurchase", "Broadcaster.loginMobile", "Quorvex.forgotPassword", "Quorvex.registerUser",
        "Quorvex.changePassword", "User.uploadProfilePicture", "User.update"};
    return *list;
}

}  // namespace

std::string QXGatewayDescription::shortNameForGatewayMethod(std::string_view method) {
    const auto dot = method.rfind('.');
    std::string shortName(dot == std::string_view::npos ? method : method.substr(dot + 1));
    if (!shortName.empty()) shortName[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(shortName[0])));
    return shortName;
}

rt::Value QXGatewayDescription::descriptionForShortName(std::string_view shortName) {
    const auto it = descriptions().find(shortName);
    return it == descriptions().end() ? rt::Value() : it->second;
}

rt::Value QXGatewayDescription::descriptionForGatewayMethod(std::string_view method) {
    return descriptionForShortName(shortNameForGatewayMethod(method));
}

std::optional<std::string> QXGatewayDescription::payloadKeyForGatewayMethod(std::string_view method) {
    const rt::Value description = descriptionForGatewayMethod(method);
    if (!description.isDictionary()) return std::nullopt;
    const rt::Value key = description.dictionary().get(rt::Value("payloadKey"));
    return key.isString() ? std::optional<std::string>(key.string()) : std::nullopt;
}

std::optional<std::string> QXGatewayDescription::typeKeyForGatewayMethod(std::string_view method) {
    const rt::Value description = descriptionForGatewayMethod(method);
    if (!description.isDictionary()) return std::nullopt;
    const rt::Value key = description.dictionary().get(rt::Value("typeKey"));
    return key.isString() ? std::optional<std::string>(key.string()) : std::nullopt;
}

bool QXGatewayDescription::isCollectionGatewayMethod(std::string_view method) {
    const rt::Value description = descriptionForGatewayMethod(method);
    return description.isDictionary() && description.dictionary().get(rt::Value("isCollection")).boolValue();
}

bool QXGatewayDescription::isCachingEnabledForGatewayMethod(std::string_view method) {
    return cachedMethods().count(method) > 0;
}

std::string QXGatewayDescription::HTTPMethodForGatewayMethod(std::string_view method) {
    return postMethods().count(method) ? "POST" : "GET";
}

std::string QXGatewayDescription::gatewayMethodOfURL(std::string_view url, std::string_view basePath) {
    const auto parts = URLComponents::parse(url);
    if (!parts) return {};
    URLComponents base;
    base.percentEncodedPath = std::string(basePath);
    auto prefix = base.pathComponents();
    if (prefix.empty()) prefix.push_back("/");  // a base URL without a path stands at the root
    const auto components = parts->pathComponents();
    if (components.size() <= prefix.size() || !std::equal(prefix.begin(), prefix.end(), components.begin())) return {};
    return components[prefix.size()];
}

}  // namespace zid
