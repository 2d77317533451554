#include "Gateway/Request/QXGatewayRequestMapper.h"

#include <algorithm>
#include <map>
#include <mutex>

#include "Common/PropertyMapper/KZPropertyMapper.h"
#include <QXNetworking/Gateway/QXGatewayDescription.h>

namespace zid {

namespace {

void registerLocaleConverter() {
    static std::once_flag once;
    std::call_once(once, [] {
        KZPropertyMapper::registerConverter("supportedLocale:",
                                            [](const KZConversion& c) { return rt::Value(supportedLocale(c.value)); });
    });
}

rt::Dictionary table(std::initializer_list<std::pair<const char*, const char*>> entries) {
    rt::Dictionary d;
    for (const auto& [from, to] : entries) d.set(rt::Value(from), rt::Value(to));
    return d;
}

const rt::Dictionary& commonTable() {
    static const rt::Dictionary* t = [] {
        auto* d = new rt::Dictionary(table({{"eventID", "eventId"},
                                            {"channelID", "channelId"},
                                            {"recordID", "videoId"},
                                            {"videoID", "videoId"},
                                            {"sessionID", "sessionId"}}));
        d->set(rt::Value("locale"),
               rt::Value(KZPropertyDescriptor::descriptorWithPropertyNameSelector("locale", "supportedLocale:")));
        return d;
    }();
    return *t;
}

const std::map<std::string, rt::Dictionary, std::less<>>& ownTables() {
    static const auto* t = new std::map<std::string, rt::Dictionary, std::less<>>{
        {"AddVideo", table({{"videoDescription", "description"}})},
        {"ConnectTwitter", table({{"accessToken", "oauth_token"}, {"accessTokenSecret", "oauth_token_secret"}})},
        {"GetAllByUser", table({{"itemPerPage", "limit"}})},
        {"SetTagline", table({{"channelID", "channelCode"}, {"sessionID", "sessionId"}})},
        {"UpdateEvent", table({{"repeatType", "period"}, {"repeatData", "weekdays"}})},
    };
    return *t;
}

rt::Dictionary withoutShadowedVideoID(const rt::Dictionary& parameters) {
    if (!parameters.contains(rt::Value("recordID")) || !parameters.contains(rt::Value("videoID"))) return parameters;
    rt::Dictionary copy = parameters;
    copy.remove(rt::Value("videoID"));
    return copy;
}

rt::Dictionary apply(const rt::Dictionary& parameters, const rt::Dictionary& mapping) {
    registerLocaleConverter();
    rt::Dictionary result;
    KZPropertyMapper::mapValuesFrom(rt::Value(withoutShadowedVideoID(parameters)), result, rt::Value(mapping));
    return result;
}

rt::Dictionary own(std::string_view shortName, const rt::Dictionary& parameters) {
    return apply(parameters, ownTables().at(std::string(shortName)));
}

}  // namespace

const std::vector<std::string>& supportedGatewayLocales() {
    static const std::vector<std::string> locales{"en_US", "ja_JP", "pt_BR", "hu_BU", "hu_HU", "en_SG", "ko_KR", "fr_FR",
                                                  "de_DE", "es_ES", "ru_RU", "nl_NL", "it_IT", "zh_TW", "zh_CN"};
    return locales;
}

std::string supportedLocale(const rt::Value& locale) {
    const auto& list = supportedGatewayLocales();
    if (locale.isString() && std::find(list.begin(), list.end(), locale.string()) != list.end()) return locale.string();
    return list.front();
}

bool QXGatewayRequestMapper::hasOwnMapping(std::string_view method) {
    return ownTables().count(QXGatewayDescription::shortNameForGatewayMethod(method)) > 0;
}

rt::Dictionary QXGatewayRequestMapper::mappedRequest(const rt::Dictionary& parameters, std::string_view method) {
    rt::Dictionary mapping = commonTable();
    const auto it = ownTables().find(QXGatewayDescription::shortNameForGatewayMethod(method));
    if (it != ownTables().end())
        for (const auto& [key, entry] : it->second.entries()) mapping.set(key, entry);
    return apply(parameters, mapping);
}

rt::Dictionary QXGatewayRequestMapper::mappedCommonRequest(const rt::Dictionary& parameters) {
    return apply(parameters, commonTable());
}

rt::Dictionary QXGatewayRequestMapper::mappedAddVideoRequest(const rt::Dictionary& p) { return own("AddVideo", p); }
rt::Dictionary QXGatewayRequestMapper::mappedConnectTwitterRequest(const rt::Dictionary& p) { return own("ConnectTwitter", p); }
rt::Dictionary QXGatewayRequestMapper::mappedGetAllByUserRequest(const rt::Dictionary& p) { return own("GetAllByUser", p); }
rt::Dictionary QXGatewayRequestMapper::mappedSetTaglineRequest(const rt::Dictionary& p) { return own("SetTagline", p); }
rt::Dictionary QXGatewayRequestMapper::mappedUpdateEventRequest(const rt::Dictionary& p) { return own("UpdateEvent", p); }

}  // namespace zid
