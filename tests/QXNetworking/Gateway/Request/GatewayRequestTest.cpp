// The gateway's request wire form: method table, key mapping, locale, host choice and
// the exact bytes of URLs and bodies.

#include <gtest/gtest.h>

#include <QXNetworking/Common/Session/URLComponents.h>
#include <QXNetworking/Gateway/QXGatewayDescription.h>
#include "Gateway/Request/QXGatewayRequestMapper.h"
#include "Gateway/Request/QXGatewayRequestSerializer.h"

using namespace zid;

namespace {

rt::Dictionary params(std::initializer_list<std::pair<rt::Value, rt::Value>> entries) { return rt::Dictionary(entries); }

struct Built {
    rt::Ref<fnd::URLRequest> request;
    rt::Ref<rt::Error> error;
    std::string body() const {
        const auto& b = request->httpBody();
        return b ? std::string(b->begin(), b->end()) : std::string();
    }
};

Built build(const std::string& method, const rt::Dictionary& parameters, const rt::Dictionary& defaults = {}) {
    auto serializer = rt::make<QXGatewayRequestSerializer>(std::optional<std::string>("base.test"),
                                                           std::optional<std::string>("cache.test:8443"));
    serializer->setDefaultParameters(defaults);
    Built built;
    // The client's base URL says http; the serializer turns it into https.
    built.request = serializer->requestWithMethod("GET", URLByAppendingPathComponent("http://base.test/json.php", method),
                                                  rt::Value(parameters), &built.error);
    return built;
}

}  // namespace

TEST(GatewayDescription, ShortNamesDescriptionsVerbsAndHosts) {
    EXPECT_EQ(QXGatewayDescription::shortNameForGatewayMethod("Quorvex.getVideoInfo"), "GetVideoInfo");
    EXPECT_EQ(QXGatewayDescription::shortNameForGatewayMethod("a.b.loginMobile"), "LoginMobile");
    EXPECT_EQ(QXGatewayDescription::shortNameForGatewayMethod("getVideoInfo"), "GetVideoInfo");
    EXPECT_EQ(QXGatewayDescription::shortNameForGatewayMethod(""), "");

    // Only the short name counts for the description, only the full name for the host.
    EXPECT_EQ(QXGatewayDescription::payloadKeyForGatewayMethod("Other.searchMedia"), "medias");
    EXPECT_EQ(QXGatewayDescription::typeKeyForGatewayMethod("Other.searchMedia"), "mediaType");
    EXPECT_TRUE(QXGatewayDescription::isCollectionGatewayMethod("Other.searchMedia"));
    EXPECT_TRUE(QXGatewayDescription::isCachingEnabledForGatewayMethod("Quorvex.searchMedia"));
    EXPECT_FALSE(QXGatewayDescription::isCachingEnabledForGatewayMethod("Other.searchMedia"));
    EXPECT_FALSE(QXGatewayDescription::isCachingEnabledForGatewayMethod("quorvex.getshowprofile"));
    EXPECT_FALSE(QXGatewayDescription::descriptionForGatewayMethod("quorvex.getshowprofile"));
    EXPECT_EQ(QXGatewayDescription::payloadKeyForGatewayMethod("getVideoInfo"), "video");
    EXPECT_FALSE(QXGatewayDescription::isCollectionGatewayMethod("getVideoInfo"));
    EXPECT_FALSE(QXGatewayDescription::isCollectionGatewayMethod("Quorvex.loginMobile"));
    EXPECT_FALSE(QXGatewayDescription::typeKeyForGatewayMethod("Quorvex.searchRecorded"));
    EXPECT_FALSE(QXGatewayDescription::payloadKeyForGatewayMethod("Quorvex.listFavoriteVideos"));

    for (const char* post : {"Purchase.startITunesInAppPurchase", "Broadcaster.loginMobile", "Quorvex.forgotPassword",
                             "Quorvex.registerUser", "Quorvex.changePassword", "User.uploadProfilePicture", "User.update"})
        EXPECT_EQ(QXGatewayDescription::HTTPMethodForGatewayMethod(post), "POST") << post;
    EXPECT_EQ(QXGatewayDescription::HTTPMethodForGatewayMethod("Other.loginMobile"), "GET");
    EXPECT_EQ(QXGatewayDescription::HTTPMethodForGatewayMethod("loginMobile"), "GET");
}

TEST(GatewayRequestSerializer, GetCarriesTheMappedParametersAsOneEscapedJSONComponent) {
    const auto built = build("Quorvex.getVideoInfo", params({{"recordID", 42}}));
    ASSERT_TRUE(built.request) << built.error->description();
    EXPECT_EQ(built.request->url(), "https://base.test/json.php/Quorvex.getVideoInfo/%7B%22videoId%22:42%7D");
    EXPECT_EQ(built.request->httpMethod(), "GET");
    EXPECT_FALSE(built.request->httpBody() && !built.request->httpBody()->empty());
}

TEST(GatewayRequestSerializer, GetWithNestedUnicodeSlashAndDotParametersToTheByte) {
    const auto built =
        build("Quorvex.searchMedia",
              params({{"query", "a/b é;%"},
                      {"nested", rt::Value(rt::Dictionary{{rt::Value("list"), rt::Value(rt::Value::Array{
                                                                                   rt::Value(1), rt::Value(2.5), rt::Value(true),
                                                                                   rt::Value::null()})}})},
                      {"channelID", 7}}));
    ASSERT_TRUE(built.request);
    // The cached host serves searchMedia; "\/" keeps its slash, every "." is %2E, and the
    // nested dictionary goes out as it was given.
    EXPECT_EQ(built.request->url(),
              "https://cache.test:8443/json.php/Quorvex.searchMedia/"
              "%7B%22query%22:%22a%5C/b%20%C3%A9%3B%25%22,%22nested%22:%7B%22list%22:%5B1,2%2E5,true,null%5D%7D,"
              "%22channelId%22:7%7D");
}

TEST(GatewayRequestSerializer, GetWithoutParametersEndsInASlashAndNoQuery) {
    const auto built = build("Quorvex.getEvents", {});
    ASSERT_TRUE(built.request);
    EXPECT_EQ(built.request->url(), "https://base.test/json.php/Quorvex.getEvents/");
}

TEST(GatewayRequestSerializer, DefaultParametersWinAndLocalesAreNormalised) {
    const auto built = build("Quorvex.getEvents", params({{"locale", "en_GB"}, {"x", "caller"}}),
                             params({{"locale", "ja_JP"}, {"x", "default"}}));
    ASSERT_TRUE(built.request);
    EXPECT_EQ(built.request->url(),
              "https://base.test/json.php/Quorvex.getEvents/%7B%22locale%22:%22ja_JP%22,%22x%22:%22default%22%7D");
    EXPECT_EQ(build("Quorvex.getEvents", params({{"locale", "en_GB"}})).request->url(),
              "https://base.test/json.php/Quorvex.getEvents/%7B%22locale%22:%22en_US%22%7D");
}

TEST(GatewayRequestSerializer, PostSendsTheMappedParametersAsAJSONBody) {
    const auto built = build("Broadcaster.loginMobile",
                             params({{"userName", "ü/x"}, {"password", "p.w"}, {"sessionID", "s"}, {"remember", true}}));
    ASSERT_TRUE(built.request);
    EXPECT_EQ(built.request->httpMethod(), "POST");
    EXPECT_EQ(built.request->url(), "https://base.test/json.php/Broadcaster.loginMobile");
    EXPECT_EQ(built.request->valueForHTTPHeaderField("Content-Type"), "application/json");
    EXPECT_EQ(built.body(), "{\"userName\":\"ü\\/x\",\"password\":\"p.w\",\"sessionId\":\"s\",\"remember\":true}");
}

TEST(GatewayRequestSerializer, EachPostMethodGoesToTheBaseHostWithItsBody) {
    for (const char* method : {"Purchase.startITunesInAppPurchase", "Quorvex.forgotPassword", "Quorvex.registerUser",
                               "Quorvex.changePassword", "User.uploadProfilePicture", "User.update"}) {
        const auto built = build(method, params({{"eventID", 3}}));
        ASSERT_TRUE(built.request) << method;
        EXPECT_EQ(built.request->url(), std::string("https://base.test/json.php/") + method);
        EXPECT_EQ(built.body(), "{\"eventId\":3}") << method;
    }
}

TEST(GatewayRequestSerializer, ValuesJSONCannotHoldFailTheRequestInsteadOfVanishing) {
    const auto post = build("User.update", params({{"when", rt::Value(rt::Date{5})}}));
    EXPECT_FALSE(post.request);
    ASSERT_TRUE(post.error);
    EXPECT_EQ(post.error->localizedDescription(), "The `parameters` argument is not valid JSON.");
    const auto get = build("Quorvex.getEvents", params({{"when", rt::Value(rt::Date{5})}}));
    EXPECT_FALSE(get.request);
    EXPECT_TRUE(get.error);
}

TEST(GatewayRequestSerializer, AMissingHostIsAnErrorNotAHostlessURL) {
    auto serializer = rt::make<QXGatewayRequestSerializer>(std::optional<std::string>("base.test"), std::nullopt);
    rt::Ref<rt::Error> error;
    EXPECT_FALSE(serializer->requestWithMethod("GET", "http://base.test/json.php/Quorvex.searchMedia", rt::Value(), &error));
    ASSERT_TRUE(error);
    EXPECT_NE(error->localizedDescription().find("Quorvex.searchMedia"), std::string::npos);
}

TEST(GatewayRequestMapper, CommonAndOwnTablesKeyedByTheCallersNames) {
    const auto tagline = QXGatewayRequestMapper::mappedRequest(params({{"channelID", 7}, {"sessionID", "s"}}), "X.setTagline");
    EXPECT_TRUE(tagline.isEqual(params({{"channelCode", 7}, {"sessionId", "s"}})));
    const auto other = QXGatewayRequestMapper::mappedRequest(params({{"channelID", 7}, {"sessionID", "s"}}), "X.getEvents");
    EXPECT_TRUE(other.isEqual(params({{"channelId", 7}, {"sessionId", "s"}})));

    EXPECT_TRUE(QXGatewayRequestMapper::mappedRequest(params({{"videoDescription", "d"}, {"eventID", 1}}), "addVideo")
                    .isEqual(params({{"description", "d"}, {"eventId", 1}})));
    EXPECT_TRUE(QXGatewayRequestMapper::mappedRequest(params({{"accessToken", "a"}, {"accessTokenSecret", "b"}}),
                                                      "Quorvex.connectTwitter")
                    .isEqual(params({{"oauth_token", "a"}, {"oauth_token_secret", "b"}})));
    EXPECT_TRUE(QXGatewayRequestMapper::mappedRequest(params({{"itemPerPage", 5}}), "Q.getAllByUser").isEqual(params({{"limit", 5}})));
    EXPECT_TRUE(QXGatewayRequestMapper::mappedRequest(params({{"repeatType", 1}, {"repeatData", 3}}), "Q.updateEvent")
                    .isEqual(params({{"period", 1}, {"weekdays", 3}})));
    EXPECT_TRUE(QXGatewayRequestMapper::mappedSetTaglineRequest(params({{"channelID", 7}})).isEqual(params({{"channelCode", 7}})));
    EXPECT_TRUE(QXGatewayRequestMapper::mappedCommonRequest(params({{"videoID", 9}})).isEqual(params({{"videoId", 9}})));
}

TEST(GatewayRequestMapper, RecordIDWinsOverVideoIDWhateverTheOrder) {
    EXPECT_TRUE(QXGatewayRequestMapper::mappedRequest(params({{"recordID", 1}, {"videoID", 2}}), "Q.getVideoInfo")
                    .isEqual(params({{"videoId", 1}})));
    EXPECT_TRUE(QXGatewayRequestMapper::mappedRequest(params({{"videoID", 2}, {"recordID", 1}}), "Q.getVideoInfo")
                    .isEqual(params({{"videoId", 1}})));
    // A null recordID still shadows videoID: the caller named the record and it is empty.
    EXPECT_TRUE(QXGatewayRequestMapper::mappedRequest(params({{"videoID", 2}, {"recordID", rt::Value::null()}}), "Q.x").empty());
}

TEST(GatewayRequestMapper, NullsDotsAndUnmappedValues) {
    const auto mapped = QXGatewayRequestMapper::mappedRequest(
        params({{"title", rt::Value::null()},
                {"locale", rt::Value::null()},
                {"a.b", 1},
                {"filter", rt::Value(rt::Dictionary{{rt::Value("channelID"), rt::Value(3)}})}}),
        "Q.getEvents");
    EXPECT_FALSE(mapped.contains(rt::Value("title")));
    EXPECT_EQ(mapped.get(rt::Value("locale")).string(), "en_US");
    EXPECT_EQ(mapped.get(rt::Value("a.b")).longLongValue(), 1);  // a literal key, not a path
    // Sub-dictionaries go out as given: their keys are not mapped.
    EXPECT_EQ(mapped.get(rt::Value("filter")).dictionary().get(rt::Value("channelID")).longLongValue(), 3);
}

TEST(GatewayRequestMapper, SupportedLocales) {
    EXPECT_EQ(supportedGatewayLocales().size(), 15u);
    EXPECT_EQ(supportedLocale(rt::Value("hu_BU")), "hu_BU");
    EXPECT_EQ(supportedLocale(rt::Value("zh_CN")), "zh_CN");
    EXPECT_EQ(supportedLocale(rt::Value("en_GB")), "en_US");
    EXPECT_EQ(supportedLocale(rt::Value("ja-JP")), "en_US");
    EXPECT_EQ(supportedLocale(rt::Value(5)), "en_US");
    EXPECT_EQ(supportedLocale(rt::Value()), "en_US");
}

TEST(GatewayRequestSerializer, TheMethodIsTheComponentAfterTheBasePath) {
    auto serializer = rt::make<QXGatewayRequestSerializer>(std::optional<std::string>("base.test"),
                                                           std::optional<std::string>("cache.test"));
    serializer->setBasePath("/api/v2/json.php");
    rt::Ref<rt::Error> error;
    const auto request = serializer->requestWithMethod(
        "GET", URLByAppendingPathComponent("http://base.test/api/v2/json.php", "Quorvex.searchMedia"),
        rt::Value(params({{rt::Value("channelID"), rt::Value(1)}})), &error);
    ASSERT_TRUE(request) << error->description();
    EXPECT_EQ(request->url(), "https://cache.test/api/v2/json.php/Quorvex.searchMedia/%7B%22channelId%22:1%7D");
}
