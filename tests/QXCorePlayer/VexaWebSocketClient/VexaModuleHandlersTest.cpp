// The server's modules and rejects, as frames through the client to a recording listener.

#include <gtest/gtest.h>

#include <ctime>

#include "VexaWebSocketClient/ModuleHandlers/QXVexaClientModuleHandlers.h"

#include "VexaClientTestSupport.h"
#include "VirtualTime.h"

namespace {

using namespace zid;
using vexatest::FakeConnection;
using vexatest::RecordingListener;
using Lines = std::vector<std::string>;

/// Drops the client it was given on an age lock, as a source that fails on it would.
class Dropper : public rt::Object, public VexaClientListener {
    RT_CLASS(Dropper, rt::Object)
public:
    explicit Dropper(rt::Ref<QXVexaClient>* owner) : owner_(owner) {}
    bool vexaClientDidReceiveAgeLock(IVexaClient&, std::uint64_t, rt::Date) override {
        owner_->reset();
        return true;
    }
    rt::Ref<QXVexaClient>* owner_;
};

class VexaModuleHandlers : public vexatest::OpenClientTest {
protected:
    void SetUp() override {
        OpenClientTest::SetUp();
        listener->calls.clear();
    }
    Lines info(const std::string& modules) {
        listener->calls.clear();
        connection->receive(R"({"cmd":"moduleInfo","args":[)" + modules + "]}");
        return listener->calls;
    }
    Lines reject(const std::string& reasons) {
        listener->calls.clear();
        connection->receive(R"({"cmd":"reject","args":[)" + reasons + "]}");
        return listener->calls;
    }
    static double localMidnight(int year, int month, int day) {
        std::tm tm{};
        tm.tm_year = year - 1900, tm.tm_mon = month - 1, tm.tm_mday = day, tm.tm_isdst = -1;
        return static_cast<double>(std::mktime(&tm));
    }

};

TEST_F(VexaModuleHandlers, HandlerTreeIsBuiltInItsOrder) {
    const auto& roots = client->moduleHandlers();
    ASSERT_EQ(roots.size(), 2u);
    EXPECT_NE(dynamic_cast<QXVexaClientRejectModuleHandler*>(roots[0].get()), nullptr);
    EXPECT_NE(dynamic_cast<QXVexaClientInfoModuleHandler*>(roots[1].get()), nullptr);
    Lines keys;
    for (const auto& child : roots[1]->childrenHandlers()) keys.push_back(child->moduleKey());
    EXPECT_EQ(keys, (Lines{"stream", "cdnConfig", "hashLock", "ageLock", "highlightRatio", "logo", "viewers",
                           "allTimeTotal", "meta", "thumbnail", "clientRateLimit", "broadcaster", "wentOnlineInUnixTs"}));
    keys.clear();
    for (const auto& child : roots[0]->childrenHandlers()) keys.push_back(child->moduleKey());
    EXPECT_EQ(keys, (Lines{"hashLock", "ageLock", "geoLock", "ipLock", "passwordLock", "referrerLock", "playerSdkLock"}));
}

TEST_F(VexaModuleHandlers, EachRootTakesOnlyItsOwnMessagesAndNeedsAnObjectToOfferKeys) {
    const auto& roots = client->moduleHandlers();
    ASSERT_EQ(roots.size(), 2u);
    EXPECT_FALSE(roots[0]->handleModule("moduleInfo", vexaParse(R"([{"geoLock":true}])")));
    EXPECT_FALSE(roots[1]->handleModule("reject", vexaParse(R"([{"stream":false}])")));
    EXPECT_TRUE(listener->calls.empty()) << "a root declines another root's message without looking at it";
    EXPECT_FALSE(client->connectionRejected());
    EXPECT_EQ(info(R"("text")"), Lines{}) << "module info without an object offers nothing";
    EXPECT_EQ(info(R"([{"stream":false}])"), Lines{}) << "the object must be the first argument";
    EXPECT_EQ(info(R"({"stream":false})"), (Lines{"offline"}));
    EXPECT_EQ(reject(R"(["x",{"ipLock":true}])"), (Lines{"reject 0"})) << "a reject without an object still rejects";
}

TEST_F(VexaModuleHandlers, CdnConfigPassesOverEntriesThatAreNotObjects) {
    info(R"({"cdnConfig":{"protocol":"https","data":[1,"x",)"
         R"({"name":"akam","data":[null,{"location":"ams","sites":[[],{"host":"a.test","path":"/p"}]}]}]}})");
    const auto& services = listener->lastServices;
    ASSERT_EQ(services.size(), 1u);
    ASSERT_EQ(services[0]->locations().size(), 1u);
    ASSERT_EQ(services[0]->locations()[0]->sites().size(), 1u);
    EXPECT_EQ(services[0]->locations()[0]->sites()[0]->host(), "a.test");
    EXPECT_EQ(dynamic_cast<ECDNBox*>(services[0]->locations()[0]->sites()[0].get()), nullptr);
}

TEST_F(VexaModuleHandlers, StreamModuleReportsOnlineBeforeItsUrl) {
    EXPECT_EQ(info(R"({"stream":false})"), (Lines{"offline"}));
    EXPECT_EQ(info(R"({"stream":null})"), (Lines{"offline"}));
    EXPECT_EQ(info(R"({"stream":[]})"), (Lines{"online"}));
    EXPECT_EQ(info(R"({"stream":"offline"})"), (Lines{"offline"}));
    EXPECT_EQ(info(R"({"stream":"live"})"), (Lines{"online"}));
    EXPECT_EQ(info(R"({"stream":{}})"), (Lines{"online"}));
    EXPECT_EQ(info(R"({"stream":[{"name":"uhls"},{"name":"quorvex","streams":[{"mimetype":"video/webm","streamName":"w"},)"
                   R"({"mimetype":"video/mp4","streamName":"rtmp://a/b"}]}]})"),
              (Lines{"online", "url rtmp://a/b"}));
    EXPECT_EQ(client->playlistURL(), "rtmp://a/b");
    EXPECT_EQ(info(R"({"stream":[{"name":"uhls","url":"https://h/p.m3u8"}]})"), (Lines{"online", "url https://h/p.m3u8"}));
    // Providers and streams of the wrong types are skipped, not fatal.
    EXPECT_EQ(info(R"({"stream":[1,"x",{"name":"uhls","url":7},{"name":"quorvex","streams":"no"}]})"), (Lines{"online"}));
}

TEST_F(VexaModuleHandlers, ViewerCountsKeepBooleansApartFromNumbers) {
    EXPECT_EQ(info(R"({"viewers":true})"), (Lines{"viewers 1 1"}));
    EXPECT_EQ(info(R"({"viewers":false})"), (Lines{"viewers 0 0"}));
    EXPECT_EQ(info(R"({"viewers":42})"), (Lines{"viewers 42 1"}));
    EXPECT_EQ(info(R"({"viewers":1})"), (Lines{"viewers 1 1"}));
    EXPECT_EQ(info(R"({"viewers":"42","allTimeTotal":"7"})"), Lines{});
    EXPECT_EQ(info(R"({"allTimeTotal":12345678901})"), (Lines{"total 12345678901"}));
}

TEST_F(VexaModuleHandlers, MetaIsTypedAndCarriesItsStartDate) {
    EXPECT_EQ(info(R"({"meta":{"wentOnlineInUnixTs":1500000000,"title":"Show","adFree":true,"mainCategoryId":3,)"
                   R"("mainCategoryName":"Music","subCategoryId":"7","url":"https://c/x","contentPartner":1,)"
                   R"("keywords":["a",2,"b"]}})"),
              (Lines{"started 1500000000", "title Show",
                     "meta adFree=1 main=3/Music sub=7/(null) url=https://c/x partner=1 featured=0 keywords=a,b,"}));
    // A title and a URL of the wrong type are dropped; the metadata still arrives.
    EXPECT_EQ(info(R"({"meta":{"title":5,"url":["x"],"keywords":"a"}})"),
              (Lines{"meta adFree=0 main=(null)/(null) sub=(null)/(null) url=(nil) partner=0 featured=0 keywords=(nil)"}));
    EXPECT_EQ(info(R"({"meta":"text","wentOnlineInUnixTs":true,"broadcaster":[]})"), Lines{});
}

TEST_F(VexaModuleHandlers, StartDatesOutsideAPlausibleRangeAreIgnored) {
    for (const char* seconds : {"1e300", "-1", "4102444801", "-1e300"}) {
        EXPECT_EQ(info(std::string(R"({"wentOnlineInUnixTs":)") + seconds + "}"), Lines{}) << seconds;
        EXPECT_EQ(info(std::string(R"({"meta":{"wentOnlineInUnixTs":)") + seconds + "}}").size(), 1u)
            << "only the metadata: " << seconds;
    }
    EXPECT_EQ(info(R"({"wentOnlineInUnixTs":0})"), (Lines{"started 0"}));
    EXPECT_EQ(info(R"({"wentOnlineInUnixTs":4102444800})"), (Lines{"started 4102444800"}));
}

TEST_F(VexaModuleHandlers, ThumbnailsLogosAndRatios) {
    info(R"({"thumbnail":false})");
    const auto& list = listener->lastThumbnails.array();
    ASSERT_EQ(list.size(), 3u);
    int sizes[] = {90, 66, 48};
    for (int i = 0; i < 3; ++i) {
        auto url = list[i].dictionary().get("URL").string();
        std::string sized = std::to_string(sizes[i]) + "x" + std::to_string(sizes[i]);
        EXPECT_NE(url.find("/images/defaults/channel_" + sized + ":1.png"), std::string::npos) << url;
        EXPECT_EQ(list[i].dictionary().get("width").longLongValue(), sizes[i]);
        EXPECT_EQ(list[i].dictionary().get("height").longLongValue(), sizes[i]);
    }
    info(R"({"thumbnail":{"channelPictureSecureUrl":"https://p/#SIZE#.png"}})");
    ASSERT_EQ(listener->lastThumbnails.array().size(), 1u);
    EXPECT_EQ(listener->lastThumbnails.array()[0].dictionary().get("URL").string(), "https://p/90x90.png");
    EXPECT_EQ(info(R"({"thumbnail":"x"})"), (Lines{"thumbnails (null)"}));

    EXPECT_EQ(info(R"({"logo":[{"align":8,"margin":10.7,"mobile":true,"secureUrl":"https://l","clickUrl":"https://c"},)"
                   R"({"align":"2"},3]})"),
              (Lines{"logos [8 10 1 https://l https://c] [0 0 0 (nil) (nil)]"}));
    EXPECT_EQ(info(R"({"logo":{"align":1}})"), (Lines{"logos"}));
    EXPECT_EQ(info(R"({"highlightRatio":{"start":0.25,"end":0.5}})"), (Lines{"ratio 0.25 0.5"}));
    EXPECT_EQ(info(R"({"highlightRatio":{"start":true,"end":"0.5"}})"), (Lines{"ratio 0 0"}));
}

TEST_F(VexaModuleHandlers, ModulesAreHandledInTheMessagesKeyOrder) {
    EXPECT_EQ(info(R"({"viewers":3,"stream":false,"allTimeTotal":9})"), (Lines{"viewers 3 1", "offline", "total 9"}));
    EXPECT_EQ(info(R"({"allTimeTotal":9,"viewers":3})"), (Lines{"total 9", "viewers 3 1"}));
}

TEST_F(VexaModuleHandlers, MessagesOfTheWrongShapeAreDroppedWithoutHarm) {
    EXPECT_EQ(info(R"("modules")"), Lines{});
    EXPECT_EQ(info("1"), Lines{});
    EXPECT_EQ(info("null"), Lines{});
    connection->receive(R"({"cmd":"moduleInfo","args":"x"})");
    connection->receive(R"({"cmd":"moduleInfo"})");
    connection->receive(R"({"args":[{"viewers":1}]})");
    connection->receive(R"({"cmd":7})");
    connection->receive(R"([1,2])");
    connection->receive(R"({"cmd":"unknown","args":[{}]})");
    EXPECT_EQ(listener->calls, Lines{});
    EXPECT_EQ(info(R"({"stream":null,"cdnConfig":"x","ageLock":null,"hashLock":"x","clientRateLimit":null})"),
              (Lines{"offline", "cdn 0", "hash (nil)"}));
}

TEST_F(VexaModuleHandlers, AgeLockGivesTheLatestBirthDate) {
    std::time_t now = static_cast<std::time_t>(fnd::RunLoop::main()->clock().date().secondsSince1970);
    std::tm today{};
    localtime_r(&now, &today);
    int year = today.tm_year + 1900 - 18, month = today.tm_mon + 1, day = today.tm_mday;
    if (month == 2 && day == 29 && !((year % 4 == 0 && year % 100 != 0) || year % 400 == 0)) day = 28;
    auto expected = rt::format("age 0 %.0f", localMidnight(year, month, day));
    EXPECT_EQ(info(R"({"ageLock":"18"})"), (Lines{expected}));
    EXPECT_EQ(info(R"({"ageLock":{"minimumAge":18}})"), (Lines{expected}));
    EXPECT_EQ(info(R"({"ageLock":{"maximumBirthDate":"2000-02-29"}})"),
              (Lines{rt::format("age 0 %.0f", localMidnight(2000, 2, 29))}));
    EXPECT_EQ(info(R"({"ageLock":18})"), Lines{});
    EXPECT_EQ(info(R"({"ageLock":{"maximumBirthDate":"2001-02-29"}})"), Lines{});
    EXPECT_EQ(info(R"({"ageLock":{"maximumBirthDate":"yesterday"}})"), Lines{});
    EXPECT_FALSE(vexaMaximumBirthDate(vexaParse(R"({"minimumAge":true})"), rt::Date{0}));
}

TEST_F(VexaModuleHandlers, RateLimitSetsReportIntervalsClampedToASecond) {
    info(R"({"clientRateLimit":{"deferred":"30","immediate":2.5}})");
    EXPECT_EQ(client->bandwidthReportTimeInterval(), 30);
    EXPECT_EQ(client->bufferingReportTimeInterval(), 2.5);
    info(R"({"clientRateLimit":{"deferred":"2.5","immediate":true}})");
    EXPECT_EQ(client->bandwidthReportTimeInterval(), 2);
    EXPECT_EQ(client->bufferingReportTimeInterval(), 2.5);  // a boolean leaves it as it was
    info(R"({"clientRateLimit":{"deferred":0.001,"immediate":"0"}})");
    EXPECT_EQ(client->bandwidthReportTimeInterval(), 1);
    EXPECT_EQ(client->bufferingReportTimeInterval(), 0);
    EXPECT_TRUE(client->hasBandwidthReportTimer());
    EXPECT_FALSE(client->hasBufferingReportTimer());
}

TEST_F(VexaModuleHandlers, CdnConfigBuildsTheModelInMessageOrder) {
    info(R"({"cdnConfig":{"protocol":"https","data":[)"
         R"({"name":"Ecdn","useBestSite":true,"data":[{"location":"fra","cdnFallbackEnabled":true,"sites":[)"
         R"({"host":"e1.test","path":"/live/"},{"host":"e2.test","path":"/x"}]}]},)"
         R"({"name":"akam","useBestSite":false,"data":[{"location":"ams"}]},)"
         R"({"name":"bare"}]}})");
    const auto& services = listener->lastServices;
    ASSERT_EQ(services.size(), 3u);
    EXPECT_EQ(services[0]->name(), "Ecdn");
    EXPECT_TRUE(services[0]->useBestSite());
    ASSERT_EQ(services[0]->locations().size(), 1u);
    const auto& location = services[0]->locations()[0];
    EXPECT_EQ(location->name(), "fra");
    EXPECT_TRUE(location->fallbackEnabled());
    ASSERT_EQ(location->sites().size(), 2u);
    for (const auto& site : location->sites()) {
        ASSERT_NE(dynamic_cast<ECDNBox*>(site.get()), nullptr);
        EXPECT_EQ(site->protocol(), "https");
    }
    EXPECT_EQ(location->sites()[0]->host(), "e1.test");
    EXPECT_EQ(location->sites()[1]->path(), "/x");
    ASSERT_EQ(services[1]->locations().size(), 1u);
    EXPECT_TRUE(services[1]->locations()[0]->sites().empty());
    EXPECT_EQ(services[2]->locations().size(), 0u);
}

TEST_F(VexaModuleHandlers, StreamFormatsBecomeAccessInfos) {
    auto v2 = rt::make<QXVexaClientStreamModuleHandlerV2>(client);
    EXPECT_FALSE(v2->handleModule("stream", vexaParse("[1]")));
    ASSERT_TRUE(v2->handleModule("stream", vexaParse(R"({"contentAvailable":true,"streamFormats":{)"
                                                     R"("hls/rfc":{"contentAccess":{"accessMode":"append","accessList":[)"
                                                     R"({"data":{"parameter":"cdn","url":"https://o/a.m3u8"}}]}},)"
                                                     R"("mp4":{"contentAccess":{"accessMode":"DIRECT","accessList":[)"
                                                     R"({"data":{"provider":"p","url":"https://o/v.mp4"}},7]}}}})")));
    EXPECT_EQ(listener->calls, (Lines{"online", "access 2"}));
    const auto& infos = listener->lastAccessInfos;
    EXPECT_EQ(infos[0]->streamFormat(), "hls/rfc");
    ASSERT_EQ(infos[0]->accessPoints().size(), 1u);
    EXPECT_TRUE(infos[0]->accessPoints()[0]->needsCDN());
    EXPECT_EQ(infos[1]->streamFormat(), "mp4");
    ASSERT_EQ(infos[1]->accessPoints().size(), 1u);
    EXPECT_FALSE(infos[1]->accessPoints()[0]->needsCDN());
}

// ---- rejects ------------------------------------------------------------------------

TEST_F(VexaModuleHandlers, AStreamWithFormatsFromTheServerReachesOnlyTheFirstStreamHandler) {
    // The access-list form goes to the first stream handler like any other object: it
    // reads as online with no URL, and no access infos (and so no CDN selection) follow.
    EXPECT_EQ(info(R"({"stream":{"contentAvailable":false,"streamFormats":{"hls/rfc":{"contentAccess":)"
                   R"({"accessMode":"DIRECT","accessList":[{"data":{"provider":"p","url":"https://o/a.m3u8"}}]}}}}})"),
              (Lines{"online"}));
    EXPECT_TRUE(listener->lastAccessInfos.empty());
}

TEST_F(VexaModuleHandlers, RejectReportsTheFirstKnownReasonWhateverTheKeyOrder) {
    EXPECT_EQ(reject(R"({"somethingNew":1,"passwordLock":true,"ipLock":true})"), (Lines{"reject 10"}));
    EXPECT_TRUE(client->connectionRejected());
    connection->open();
    EXPECT_FALSE(client->connectionRejected());
    EXPECT_EQ(reject(R"({"referrerLock":1})"), (Lines{"reject 11"}));
    EXPECT_EQ(reject(R"({"playerSdkLock":{}})"), (Lines{"reject 13"}));
    EXPECT_EQ(reject(R"({"geoLock":true})"), (Lines{"reject 7"}));
    EXPECT_EQ(reject(R"({"hashLock":{"url":"https://h"}})"), (Lines{"hash https://h"}));
}

TEST_F(VexaModuleHandlers, RejectWithNoKnownKeyReportsReasonZeroOnce) {
    EXPECT_EQ(reject(R"({"a":1,"b":2})"), (Lines{"reject 0"}));
    EXPECT_EQ(reject(R"({})"), (Lines{"reject 0"}));
    EXPECT_EQ(reject(R"("text")"), (Lines{"reject 0"}));
    EXPECT_TRUE(client->connectionRejected());
    listener->calls.clear();
    connection->lose();
    EXPECT_EQ(listener->calls, Lines{});  // the reject stands for the disconnect
}

TEST_F(VexaModuleHandlers, ClusterRejectOnlyMovesTheClient) {
    EXPECT_EQ(reject(R"({"passwordLock":true,"cluster":{"host":"h.test","name":"eu2"}})"), Lines{});
    EXPECT_EQ(connection->calls.back(), "reconnect h.test eu2");
    EXPECT_TRUE(client->connectionRejected());
    auto before = connection->calls.size();
    reject(R"({"cluster":{"host":5,"name":"eu2"}})");
    EXPECT_EQ(connection->calls.size(), before);
}

TEST_F(VexaModuleHandlers, AClusterNameThatIsNotOneLabelMovesNothing) {
    // The name becomes part of the socket's host name: these would leave the service's domain.
    for (const char* name : {"x.evil.example:443/", "eu2.evil.example", "", "eu 2", "eu2/../x", "eu2@x", "eu2?",
                             "\u00e9u2", "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa"}) {
        auto before = connection->calls.size();
        EXPECT_EQ(reject(std::string(R"({"cluster":{"host":"eu2.media.test","name":")") + name + "\"}}"), Lines{});
        EXPECT_EQ(connection->calls.size(), before) << name;
    }
    reject(R"({"cluster":{"host":"h.test","name":"eu-2B"}})");
    EXPECT_EQ(connection->calls.back(), "reconnect h.test eu-2B");
}

TEST_F(VexaModuleHandlers, LockThatReportsNothingLeavesTheDisconnectToTheListeners) {
    EXPECT_EQ(reject(R"({"geoLock":false})"), Lines{});
    EXPECT_FALSE(client->connectionRejected());
    EXPECT_EQ(reject(R"({"ageLock":{"maximumBirthDate":"never"}})"), Lines{});
    EXPECT_FALSE(client->connectionRejected());
    connection->lose();
    EXPECT_EQ(listener->calls, (Lines{"disconnected"}));
}

TEST_F(VexaModuleHandlers, AgeLockTheListenerIgnoresMarksNothing) {
    listener->takeAgeLocks = false;  // the age was already confirmed
    EXPECT_EQ(info(R"({"ageLock":"18"})").size(), 1u);
    EXPECT_FALSE(client->connectionRejected());
    listener->calls.clear();
    connection->lose();
    EXPECT_EQ(listener->calls, (Lines{"disconnected"}));

    listener->takeAgeLocks = true;
    connection->open();
    info(R"({"ageLock":"18"})");
    EXPECT_TRUE(client->connectionRejected());
    listener->calls.clear();
    connection->lose();
    EXPECT_EQ(listener->calls, Lines{});
}

TEST_F(VexaModuleHandlers, ClientReleasedByAListenerMidMessageHandlesNothingFurther) {
    std::weak_ptr<QXVexaClient> weak = client;
    listener->onReject = [this] { client.reset(); };  // the owner lets go on a lock
    connection->receive(R"({"cmd":"reject","args":[{"passwordLock":true}]})");
    EXPECT_TRUE(weak.expired());
    EXPECT_EQ(listener->calls, (Lines{"reject 10"}));
    EXPECT_EQ(connection->calls.back(), "disconnect");  // the release stopped it

    // The same in the middle of a module info: the keys after the lock are not handled.
    listener->calls.clear();
    auto other = std::make_shared<FakeConnection>();
    client = QXVexaClient::clientWithChannelID("7", rt::make<QXVexaConfig>(QXVexaConfig::Environment{}), other);
    client->addListener(listener);
    other->open();
    listener->calls.clear();
    std::weak_ptr<QXVexaClient> second = client;
    listener->onReject = nullptr;
    auto dropper = rt::make<Dropper>(&client);
    client->addListener(dropper);
    other->receive(R"({"cmd":"moduleInfo","args":[{"viewers":1,"ageLock":"18","stream":false,"allTimeTotal":3}]})");
    EXPECT_TRUE(second.expired());
    ASSERT_EQ(listener->calls.size(), 2u);
    EXPECT_EQ(listener->calls[0], "viewers 1 1");
    EXPECT_EQ(listener->calls[1].rfind("age 0 ", 0), 0u);
}

}  // namespace

namespace {

TEST_F(VexaModuleHandlers, ListenersOfAnotherKindAreSkipped) {
    auto bystander = rt::make<rt::Object>();
    client->addListener(bystander);
    EXPECT_EQ(info(R"({"viewers":5})"), (Lines{"viewers 5 1"}));
    client->removeListener(*listener);
    EXPECT_EQ(info(R"({"viewers":6})"), Lines{});
}

}  // namespace
