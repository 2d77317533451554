// Every response mapping table against recorded gateway payloads, and the converters'
// edge values.

#include <gtest/gtest.h>

#include <mutex>
#include <vector>

#include <QXFoundation/Log/QXLogger.h>
#include "Common/JSON/QXJSONSerialization.h"
#include "Common/PropertyMapper/KZPropertyMapper.h"
#include "Gateway/QXGatewayHosts.h"
#include <QXNetworking/Gateway/Response/QXGatewayErrors.h>
#include "Gateway/Response/QXGatewayResponseConverters.h"
#include <QXNetworking/Gateway/Response/QXGatewayResponseMapper.h>

using namespace zid;

namespace {

rt::Value gatewayJSON(const std::string& text) {
    auto value = JSONObjectWithData(text, true);
    EXPECT_TRUE(value) << text;
    return value.value_or(rt::Value());
}

std::string shown(const rt::Value& value) { return JSONDataWithObject(value).value_or(value.description()); }

rt::Value mapped(const std::string& method, const std::string& payload, rt::Ref<rt::Error>* error = nullptr) {
    return QXGatewayResponseMapper::mappedResponse(gatewayJSON(payload), method, error);
}

#define EXPECT_MAPS_TO(method, payload, expected)                                        \
    do {                                                                                 \
        const rt::Value result = mapped(method, payload);                                \
        EXPECT_TRUE(result.isEqual(gatewayJSON(expected))) << method << ": " << shown(result); \
    } while (0)

rt::Date utc(int y, int mo, int d, int h, int mi, int s) {
    // Days from the civil calendar (proleptic Gregorian), so the test needs no time zone.
    y -= mo <= 2;
    const int era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (mo + (mo > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    const long long days = static_cast<long long>(era) * 146097 + static_cast<long long>(doe) - 719468;
    return rt::Date{static_cast<double>(days * 86400 + h * 3600 + mi * 60 + s)};
}

}  // namespace

TEST(GatewayResponseMapping, SearchUpcomingWithItsConvertersAndAnItemMissingItsId) {
    const rt::Value result = mapped("Quorvex.searchUpcoming", R"([
      {"eventId": 11, "channelId": 5, "channelIsLive": true, "channelTitle": "News", "channelPicture": "p.jpg",
       "channelThumbnails": [{"url": "t.jpg", "width": 64, "height": 48, "kind": "small"}, {"width": 1}],
       "eventDescription": "d", "eventFollower": 9, "eventStartPst": "2024-07-04 10:30:00", "eventTitle": "T",
       "followed": false, "tinyUrl": "u", "scheduleType": "WEEKLY", "scheduleDetails": ["Monday", "Friday", "Funday"],
       "socialStreamEnabled": true, "chatEnabled": true, "extra": {"kept": [1]}},
      {"channelId": 6, "eventTitle": "no id"},
      {"eventId": 12, "eventStartPst": "not a date", "scheduleType": 3, "scheduleDetails": null, "eventTitle": null}
    ])");
    ASSERT_TRUE(result.isArray());
    ASSERT_EQ(result.array().size(), 2u);  // the item without "eventId" is left out
    const auto& first = result.array()[0].dictionary();
    EXPECT_EQ(first.get(rt::Value("date")).date(), utc(2024, 7, 4, 17, 30, 0));  // Pacific daylight time
    rt::Dictionary rest = first;
    rest.remove(rt::Value("date"));
    EXPECT_TRUE(rt::Value(rest).isEqual(gatewayJSON(R"({
      "eventID": 11, "parentChannel": {"channelID": 5, "isLive": true, "title": "News",
        "channelThumbnails": [{"URL": "t.jpg", "width": 64, "height": 48, "kind": "small"}]},
      "thumbnailURL": "p.jpg", "summary": "d", "attenderNumber": 9, "title": "T", "eventAttending": false,
      "tinyURL": "u", "repeatType": 2, "repeatData": 34, "extra": {"kept": [1]}})")))
        << shown(rt::Value(rest));
    // Text that does not parse leaves "date" out; a number where the schedule text belongs
    // is no schedule; a null list of days is no days; a null title is not written.
    EXPECT_TRUE(result.array()[1].isEqual(gatewayJSON(R"({"eventID": 12, "parentChannel": {}, "repeatType": 0, "repeatData": 0})")))
        << shown(result.array()[1]);
}

namespace {

class GatewayLines : public QXLogHandler {
public:
    GatewayLines() : QXLogHandler(nullptr, 6) {}
    void handleLogRecord(const rt::Ref<QXLogRecord>& record) override {
        std::lock_guard lock(mutex);
        if (record->module() == std::string(kQXGatewayLogModule)) lines.push_back(record->message());
    }
    std::mutex mutex;
    std::vector<std::string> lines;
};

}  // namespace

TEST(GatewayResponseMapping, DroppedListItemsAreLoggedOnceWithACountAndNotOneLineEach) {
    auto logs = rt::make<GatewayLines>();
    QXLogger::defaultLogger()->registerHandler(logs);
    std::vector<std::string> console;
    KZPropertyMapper::setConsoleSink([&](const std::string& line) { console.push_back(line); });
    std::string payload = R"([{"eventId": 1, "eventTitle": "kept"}, 7)";
    for (int i = 0; i < 5000; ++i) payload += ",{}";
    payload += "]";
    const rt::Value result = mapped("Quorvex.searchUpcoming", payload);
    KZPropertyMapper::setConsoleSink(nullptr);
    QXLogger::defaultLogger()->deregistreHandler(logs);
    ASSERT_TRUE(result.isArray());
    EXPECT_EQ(result.array().size(), 1u);
    EXPECT_TRUE(console.empty()) << console.size() << " console lines, the first: " << console.front();
    ASSERT_EQ(logs->lines.size(), 1u);
    EXPECT_EQ(logs->lines[0].rfind("Dropped 5001 of 5002 list items that could not be mapped (first: ", 0), 0u)
        << logs->lines[0];
    // A list with nothing to drop logs nothing; a single object still reports its own failure.
    logs->lines.clear();
    QXLogger::defaultLogger()->registerHandler(logs);
    mapped("Quorvex.searchUpcoming", R"([{"eventId": 1}])");
    QXLogger::defaultLogger()->deregistreHandler(logs);
    EXPECT_TRUE(logs->lines.empty());
}

TEST(GatewayResponseMapping, AddressesInOtherSchemesThanHttpAreDroppedWithOneLogLine) {
    auto logs = rt::make<GatewayLines>();
    QXLogger::defaultLogger()->registerHandler(logs);
    const rt::Value result = mapped("Quorvex.searchUpcoming", R"([
      {"eventId": 1, "channelPicture": "file:///etc/passwd", "tinyUrl": "file:///shown/only",
       "channelThumbnails": [{"url": "FILE:///home/user/.ssh/id_rsa", "width": 1}, {"url": "HTTPS://cdn.example/t.jpg"}]},
      {"eventId": 2, "channelPicture": "https://cdn.example/p.jpg"},
      {"eventId": 3, "channelPicture": "ftp://cdn.example/p.jpg"},
      {"eventId": 4, "channelPicture": "p.jpg"}
    ])");
    QXLogger::defaultLogger()->deregistreHandler(logs);
    ASSERT_TRUE(result.isArray());
    ASSERT_EQ(result.array().size(), 4u);
    EXPECT_TRUE(result.array()[0].isEqual(gatewayJSON(R"({"eventID": 1, "tinyURL": "file:///shown/only",
      "parentChannel": {"channelThumbnails": [{"width": 1}, {"URL": "HTTPS://cdn.example/t.jpg"}]}})")))
        << shown(result.array()[0]);
    EXPECT_EQ(result.array()[1].dictionary().get(rt::Value("thumbnailURL")).string(), "https://cdn.example/p.jpg");
    EXPECT_FALSE(result.array()[2].dictionary().contains(rt::Value("thumbnailURL")));
    EXPECT_EQ(result.array()[3].dictionary().get(rt::Value("thumbnailURL")).string(), "p.jpg") << "no scheme, no fetch";
    ASSERT_EQ(logs->lines.size(), 1u);
    EXPECT_EQ(logs->lines[0], "Dropped 3 URLs of the Quorvex.searchUpcoming response whose scheme is not http or https "
                              "(first: URL \"FILE:///home/user/.ssh/id_rsa\")");

    // A single object is checked the same way.
    const rt::Value video = mapped("Quorvex.getVideoInfo", R"({"videoId": 9, "thumbnailUrl": "file:///x"})");
    EXPECT_TRUE(video.isEqual(gatewayJSON(R"({"recordID": 9, "parentChannel": {}})"))) << shown(video);
}

TEST(GatewayResponseMapping, SearchBroadcastSearchRecordedAndGetUserVideos) {
    EXPECT_MAPS_TO("Quorvex.searchBroadcast",
                   R"([{"channelId": 1, "channelTitle": "A", "thumbnailUrl": "t", "status": "LIVE", "liveHttpUrl": "h",
                        "tinyUrl": "u", "channelThumbnails": [{"url": "x"}]},
                       {"channelId": 2, "status": "archived"}])",
                   R"([{"channelID": 1, "title": "A", "thumbnailURL": "t", "isLive": 1, "contentURL": "h", "tinyURL": "u",
                        "channelThumbnails": [{"URL": "x"}]},
                       {"channelID": 2, "isLive": 0, "channelThumbnails": []}])");
    const char* video = R"([{"videoId": 3, "videoDate": "2020", "videoTitle": "V", "description": "D", "liveHttpUrl": "h",
                             "thumbnailUrl": "t", "channelId": 4, "channelTitle": "C", "tinyUrl": "u",
                             "highlightAccess": "owner", "protect": "Friends"}])";
    EXPECT_MAPS_TO("Quorvex.searchRecorded", video,
                   R"([{"recordID": 3, "creationDate": "2020", "title": "V", "summary": "D", "contentURL": "h",
                        "thumbnailURL": "t", "parentChannel": {"channelID": 4}, "channelTitle": "C", "tinyURL": "u",
                        "highlightPrivacy": 2, "watchPrivacy": 1}])");
    EXPECT_MAPS_TO("User.getUserVideos", video,
                   R"([{"recordID": 3, "creationDate": "2020", "title": "V", "summary": "D", "liveHttpUrl": "h",
                        "thumbnailURL": "t", "parentChannel": {"channelID": 4, "title": "C"}, "tinyURL": "u",
                        "highlightPrivacy": 2, "watchPrivacy": 1}])");
}

TEST(GatewayResponseMapping, SearchMediaWritesOnlyTheIdOfTheItemsType) {
    EXPECT_MAPS_TO("Quorvex.searchMedia",
                   R"([{"mediaId": 5, "mediaType": "video", "status": "live", "createdAt": "c", "liveViews": 1,
                        "totalViews": 2, "thumbnailUrl": "t", "tinyUrl": "u"},
                       {"mediaType": "channel", "mediaId": 6},
                       {"mediaId": 7, "mediaType": "highlight"},
                       {"mediaId": 8, "mediaType": "audio"},
                       {"mediaType": "video"}])",
                   R"([{"recordID": 5, "mediaType": "video", "isLive": 1, "creationDate": "c", "viewerNumber": 1,
                        "totalViewerNumber": 2, "thumbnailURL": "t", "tinyURL": "u"},
                       {"channelID": 6, "mediaType": "channel"},
                       {"highlightID": 7, "mediaType": "highlight"},
                       {"mediaType": "audio"}])");
}

TEST(GatewayResponseMapping, SingleObjects) {
    EXPECT_MAPS_TO("Quorvex.getShowProfile",
                   R"({"channelId": 1, "channelTitle": "S", "userId": 2, "broadcasterName": "B", "thumbnailUrl": "t",
                       "shortenedUrl": "s", "channelThumbnails": [{"url": "x", "height": 3}]})",
                   R"({"channelID": 1, "title": "S", "owner": {"userID": 2, "userName": "B"}, "thumbnailURL": "t",
                       "tinyURL": "s", "channelThumbnails": [{"URL": "x", "height": 3}]})");
    EXPECT_MAPS_TO("Quorvex.getVideoInfo", R"({"videoDate": "d", "videoTitle": "V", "channelId": 4, "chatEnabled": false})",
                   R"({"creationDate": "d", "title": "V", "parentChannel": {"channelID": 4}})");
    EXPECT_MAPS_TO("Quorvex.getEventProfile",
                   R"({"eventId": 1, "eventAttender": 2, "rawEventTitle": "R", "channelId": 3, "channelTitle": "C",
                       "tinyUrl": "u", "eventDescription": "D"})",
                   R"({"eventID": 1, "attenderNumber": 2, "eventTitle": "R", "summary": "D",
                       "parentChannel": {"channelID": 3, "title": "C", "tinyURL": "u"}})");
    EXPECT_MAPS_TO("User.sendStatusUpdate", R"({"success": true, "messageId": 1, "username": "a", "picture": "p"})",
                   R"({"success": true, "messageID": 1, "author": "a", "avatarURL": "p"})");
    EXPECT_MAPS_TO("User.getUserBenefits", R"({"success": true, "premiumMembershipExpiresAt": "e"})",
                   R"({"success": true, "premiumExpireDate": "e"})");
    EXPECT_MAPS_TO("Broadcaster.getServer", R"({"serverUrl": "rtmp://x"})", R"({"rtmpUrl": "rtmp://x"})");
    EXPECT_MAPS_TO("Quorvex.createChannel", R"({"channelId": 1, "defaultPicture": "p", "tinyUrl": "u"})",
                   R"({"channelID": 1, "thumbnailURL": "p", "tinyURL": "u"})");
}

TEST(GatewayResponseMapping, LoginMapsChannelsAndDecodesTheEmail) {
    const char* envelope = R"({"success": true, "sessionId": "s", "userId": 9, "profilePicture": "p",
        "premiumMembershipExpiresAt": "e", "email": "a%40b.test",
        "channels": [{"channelCode": "c1", "thumbnail": "t", "tinyUrl": "u", "channelThumbnails": [{"url": "x"}, {"width": 1}]},
                     {"thumbnail": "without a code"}]})";
    const char* expected = R"({"success": true, "sessionID": "s", "userID": 9, "profilePictureURL": "p",
        "premiumExpireDate": "e", "email": "a@b.test",
        "channels": [{"channelID": "c1", "thumbnailURL": "t", "tinyURL": "u", "channelThumbnails": [{"URL": "x"}]}]})";
    EXPECT_MAPS_TO("Broadcaster.loginMobile", envelope, expected);
    EXPECT_MAPS_TO("Broadcaster.loginMobileByEmail", envelope, expected);
    // A "%" that starts no escape is part of the address: it is kept as sent, not lost.
    EXPECT_MAPS_TO("Broadcaster.loginMobile", R"({"sessionId": "s", "userId": 9, "email": "bad%zz", "channels": null})",
                   R"({"sessionID": "s", "userID": 9, "email": "bad%zz", "channels": []})");
    EXPECT_MAPS_TO("Broadcaster.loginMobile", R"({"sessionId": "s", "userId": 9, "email": "100%real@x.test"})",
                   R"({"sessionID": "s", "userID": 9, "email": "100%real@x.test"})");
}

TEST(GatewayResponseMapping, UnfilledThumbnailsAreAnEmptyListLikeFilledOnes) {
    // A host reads "channelThumbnails" as a list whether the gateway sent any or not.
    const rt::Value profile = mapped("Quorvex.getShowProfile", R"({"channelId": 1})");
    EXPECT_TRUE(profile.isEqual(gatewayJSON(R"({"channelID": 1, "owner": {}, "channelThumbnails": []})"))) << shown(profile);
    const rt::Value broadcasts = mapped("Quorvex.searchBroadcast", R"([{"channelId": 1}, {"channelId": 2, "channelThumbnails": [{"url": "u"}]}])");
    ASSERT_EQ(broadcasts.array().size(), 2u);
    for (const auto& item : broadcasts.array()) EXPECT_TRUE(item.dictionary().get(rt::Value("channelThumbnails")).isArray());
}

TEST(GatewayResponseMapping, AListedMappingWinsOverAnUnlistedMemberOfTheSameNameInEitherOrder) {
    // The listed rename is the value, whether the gateway's own member comes before or after it.
    EXPECT_MAPS_TO("Quorvex.getEventProfile", R"({"eventId": 1, "eventTitle": "plain", "rawEventTitle": "raw"})",
                   R"({"eventID": 1, "eventTitle": "raw", "parentChannel": {}})");
    EXPECT_MAPS_TO("Quorvex.getEventProfile", R"({"rawEventTitle": "raw", "eventTitle": "plain", "eventId": 1})",
                   R"({"eventID": 1, "eventTitle": "raw", "parentChannel": {}})");
    for (const char* items : {R"([{"videoId": 1, "videoDate": "unlisted", "recordedAt": "listed",
                                   "videoDescription": "unlisted", "description": "listed"}])",
                              R"([{"recordedAt": "listed", "videoDate": "unlisted", "description": "listed",
                                   "videoDescription": "unlisted", "videoId": 1}])"}) {
        EXPECT_MAPS_TO("User.getAllByUser", items,
                       R"([{"recordID": 1, "videoDate": "listed", "videoDescription": "listed", "parentChannel": {}}])");
    }
    // An unlisted object never wipes what a listed key path wrote into it.
    for (const char* profile : {R"({"eventId": 1, "channelTitle": "C", "parentChannel": {"other": 1}})",
                                R"({"eventId": 1, "parentChannel": {"other": 1}, "channelTitle": "C"})"}) {
        const rt::Value result = mapped("Quorvex.getEventProfile", profile);
        EXPECT_EQ(result.dictionary().get(rt::Value("parentChannel")).dictionary().get(rt::Value("title")).string(), "C")
            << shown(result);
    }
    // Without the listed member the gateway's own one stays.
    EXPECT_MAPS_TO("Quorvex.getEventProfile", R"({"eventId": 1, "eventTitle": "plain"})",
                   R"({"eventID": 1, "eventTitle": "plain", "parentChannel": {}})");
}

TEST(GatewayResponseMapping, ASingleObjectMissingARequiredMemberFailsTheCall) {
    rt::Ref<rt::Error> error;
    const rt::Value result = mapped("Broadcaster.loginMobile", R"({"success": true, "userId": 9})", &error);
    EXPECT_TRUE(result.isNil());
    ASSERT_TRUE(error);
    EXPECT_EQ(error->domain(), QXGatewayClientErrorDomain);
    EXPECT_EQ(error->code(), static_cast<long long>(QXGatewayClientError::Mapping));
    EXPECT_TRUE(gatewayResponse(error).isEqual(gatewayJSON(R"({"success": true, "userId": 9})")));
    // A list where an object belongs, and an object where a list belongs, fail too.
    error = nullptr;
    EXPECT_TRUE(mapped("Quorvex.getShowProfile", "[1]", &error).isNil());
    EXPECT_TRUE(error);
    error = nullptr;
    EXPECT_TRUE(mapped("Quorvex.getEvents", R"({"eventId": 1})", &error).isNil());
    EXPECT_TRUE(error);
}

TEST(GatewayResponseMapping, ChannelListsAndFollowedTemplates) {
    EXPECT_MAPS_TO("User.getChannelsBySessionId",
                   R"([{"channelCode": "c", "thumbnail": "t", "tinyUrl": "u", "userId": 2, "channelThumbnails": []}, 5])",
                   R"([{"channelID": "c", "thumbnailURL": "t", "tinyURL": "u", "owner": {"userID": 2}, "channelThumbnails": []}])");
    EXPECT_MAPS_TO("User.listFollowedChannels",
                   R"([{"channelId": 1, "channelTitle": "T", "crowdSize": 3, "thumbnailUrl": "t", "status": 1}])",
                   R"([{"channelID": 1, "title": "T", "followerNumber": 3, "thumbnailURL": "t", "isLive": 0, "followed": true}])");
    EXPECT_MAPS_TO("User.listFollowedUpcoming",
                   R"([{"eventId": 1, "channelId": 2, "channelIsLive": false, "channelPicture": "p", "channelTitle": "C",
                        "eventTitle": "E", "eventDescription": "D", "eventStartPst": "2024-01-01 00:00:00", "rawEventTitle": "R"}])",
                   R"([{"eventID": 1, "parentChannel": {"channelID": 2, "isLive": false, "title": "C"}, "thumbnailURL": "p",
                        "title": "E", "summary": "D", "date": "2024-01-01 00:00:00", "eventTitle": "R", "eventAttending": true}])");
    EXPECT_MAPS_TO("User.getUserChannels",
                   R"([{"id": 1, "name": "N", "picture_url": "http://p"}, {"id": 2, "picture_url": null}, {"id": 3, "picture_url": 7}])",
                   R"([{"channelID": 1, "title": "N", "channelThumbnails": [{"width": 90, "height": 90, "URL": "http://p"}]},
                       {"channelID": 2}, {"channelID": 3}])");
    EXPECT_MAPS_TO("Purchase.getProductList", R"([{"productId": "p", "price": 1}, {"price": 2}])",
                   R"([{"productID": "p", "price": 1}])");
}

TEST(GatewayResponseMapping, VideosEventsAndFeaturedUpcoming) {
    EXPECT_MAPS_TO("User.getAllByUser",
                   R"([{"videoId": 1, "channelId": 2, "numberOfViews": 3, "recordedAt": "r", "description": "d",
                        "liveHttpUrl": "h", "thumbnailUrl": "t", "tags": ["a"]}])",
                   R"([{"recordID": 1, "parentChannel": {"channelID": 2}, "totalViewerNumber": 3, "videoDate": "r",
                        "videoDescription": "d", "contentURL": "h", "thumbnailURL": "t", "videoTags": ["a"]}])");
    EXPECT_MAPS_TO("Quorvex.getEvents",
                   R"([{"eventId": 1, "channelId": 2, "channelPicture": "p", "description": "d", "length": 60,
                        "startDate": "2024-01-01 00:00:00", "eventTitle": "E", "tinyUrl": "u", "scheduleType": "Daily",
                        "scheduleDetails": ["Sunday", "Saturday"], "channelThumbnails": null}])",
                   R"([{"eventID": 1, "parentChannel": {"channelID": 2, "channelThumbnails": []}, "thumbnailURL": "p",
                        "summary": "d", "eventLength": 60, "date": "2024-01-01 00:00:00", "title": "E", "tinyURL": "u",
                        "repeatType": 1, "repeatData": 65}])");
    const rt::Value featured = mapped("Quorvex.getUpcomingFeatured", R"([{"eventId": 1, "channelPictureFeatured": "https://img.example/r:1/r:2/ar:",
        "rawEventTitle": "R", "eventStartPst": "2024-01-15 08:00:00", "followed": true, "eventFollower": 4}])");
    ASSERT_TRUE(featured.isArray() && featured.array().size() == 1);
    const auto& item = featured.array()[0].dictionary();
    EXPECT_EQ(item.get(rt::Value("bannerImageURL")).string(), "https://img.example/c:1/c:2/ac:");
    EXPECT_EQ(item.get(rt::Value("date")).date(), utc(2024, 1, 15, 16, 0, 0));  // Pacific standard time
    EXPECT_EQ(item.get(rt::Value("title")).string(), "R");
    EXPECT_EQ(item.get(rt::Value("attenderNumber")).longLongValue(), 4);
}

TEST(GatewayResponseMapping, FavouriteVideosAreTheEnvelopesListNotTheEnvelope) {
    const char* expected = R"([{"recordID": 1, "title": "V", "parentChannel": {"channelID": 2, "title": "C"},
                                "thumbnailURL": "t", "creationDate": "d"}])";
    EXPECT_MAPS_TO("User.listFavoriteVideos",
                   R"({"success": true, "videos": [{"videoId": 1, "videoTitle": "V", "channelId": 2, "channelTitle": "C",
                        "thumbnailUrl": "t", "videoDate": "d"}, {"videoTitle": "no id"}]})",
                   expected);
    EXPECT_MAPS_TO("User.listFavoriteVideos",
                   R"({"success": true, "favorites": [{"videoId": 1, "videoTitle": "V", "channelId": 2, "channelTitle": "C",
                        "thumbnailUrl": "t", "videoDate": "d"}]})",
                   expected);
    rt::Ref<rt::Error> error;
    EXPECT_TRUE(mapped("User.listFavoriteVideos", R"({"success": true})", &error).isNil());
    EXPECT_TRUE(error);
}

TEST(GatewayResponseMapping, MethodsWithoutAMappingReturnTheirPayload) {
    EXPECT_MAPS_TO("User.update", R"({"success": true, "chatEnabled": true})", R"({"success": true, "chatEnabled": true})");
    EXPECT_MAPS_TO("Quorvex.userVideos", R"([{"videoId": 1}])", R"([{"videoId": 1}])");
}

TEST(GatewayConverters, PacificDatesAcrossDaylightSavingBoundaries) {
    // 2024: daylight time from 10 March 02:00 PST to 3 November 02:00 PDT.
    EXPECT_EQ(dateFromString(rt::Value("2024-03-10 01:59:59")).date(), utc(2024, 3, 10, 9, 59, 59));
    EXPECT_EQ(dateFromString(rt::Value("2024-03-10 03:00:00")).date(), utc(2024, 3, 10, 10, 0, 0));
    EXPECT_EQ(dateFromString(rt::Value("2024-11-03 00:30:00")).date(), utc(2024, 11, 3, 7, 30, 0));
    EXPECT_EQ(dateFromString(rt::Value("2024-11-03 03:00:00")).date(), utc(2024, 11, 3, 11, 0, 0));
    EXPECT_EQ(dateFromString(rt::Value("2024-07-04 10:30:00")).date(), utc(2024, 7, 4, 17, 30, 0));
    EXPECT_TRUE(dateFromString(rt::Value("2024-07-04T10:30:00")).isNil());
    EXPECT_TRUE(dateFromString(rt::Value("2024-07-04")).isNil());
    EXPECT_TRUE(dateFromString(rt::Value(1720114200)).isNil());
    EXPECT_TRUE(dateFromString(rt::Value()).isNil());
}

TEST(GatewayConverters, EnumerationsAreCaseBlindAndZeroForAnythingElse) {
    EXPECT_EQ(liveStateFromString(rt::Value("LIVE")).longLongValue(), 1);
    EXPECT_EQ(liveStateFromString(rt::Value("Offline")).longLongValue(), 0);
    EXPECT_EQ(liveStateFromString(rt::Value("maybe")).longLongValue(), 0);
    EXPECT_EQ(liveStateFromString(rt::Value(1)).longLongValue(), 0);
    EXPECT_EQ(watchPrivacyFromString(rt::Value("Friends")).longLongValue(), 1);
    EXPECT_EQ(watchPrivacyFromString(rt::Value("PRIVATE")).longLongValue(), 2);
    EXPECT_EQ(watchPrivacyFromString(rt::Value("secret")).longLongValue(), 0);
    EXPECT_EQ(highlightPrivacyFromString(rt::Value("owner")).longLongValue(), 2);
    EXPECT_EQ(highlightPrivacyFromString(rt::Value("Followers")).longLongValue(), 1);
    EXPECT_EQ(repeatTypeFromString(rt::Value("Weekly")).longLongValue(), 2);
    EXPECT_EQ(repeatTypeFromString(rt::Value::null()).longLongValue(), 0);
    EXPECT_EQ(enabledStateFromString(rt::Value("ENABLED")).longLongValue(), 1);
    EXPECT_EQ(enabledStateFromString(rt::Value(true)).longLongValue(), 0);
    EXPECT_EQ(repeatDataFromDayNames(gatewayJSON(R"(["Sunday", "monday", 3, "Saturday"])")).longLongValue(), 65);
    EXPECT_EQ(repeatDataFromDayNames(rt::Value("Sunday")).longLongValue(), 0);
}

TEST(GatewayConverters, TextConvertersIgnoreValuesThatAreNoText) {
    EXPECT_TRUE(emailFromString(rt::Value(5)).isNil());
    EXPECT_EQ(emailFromString(rt::Value("a%2Bb%40c")).string(), "a+b@c");
    EXPECT_TRUE(bannerImegeURLFromString(rt::Value(5)).isNil());
    EXPECT_TRUE(channelThumbnailsFromString(rt::Value()).isNil());
    EXPECT_TRUE(channelThumbnailsFromArray(rt::Value("x")).array().empty());
    EXPECT_TRUE(channelThumbnailsFromArray(rt::Value()).array().empty());
    EXPECT_TRUE(channelsFromArray(rt::Value()).array().empty());
    EXPECT_TRUE(channelThumbnailsFromArray(gatewayJSON(R"([{"url": null}, "x", {"url": "u"}])"))
                    .isEqual(gatewayJSON(R"([{"URL": "u"}])")));
    EXPECT_TRUE(mediaIDForType(rt::Value(1), gatewayJSON(R"({"mediaType": 5})"), "video").isNil());
}
