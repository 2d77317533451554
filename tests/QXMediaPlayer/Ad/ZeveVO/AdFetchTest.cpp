// Ad requests: the request URL to the byte, and tries, wrappers, cancels and time-outs
// against the loopback ad server.
#include <gtest/gtest.h>

#include <QXMediaPlayer/Ad/ZeveVO/QXAdvertisingIdentifier.h>
#include <QXMediaPlayer/Ad/ZeveVO/ZeveVoAdFetchRequestService.h>
#include <QXMediaPlayer/Ad/ZeveVO/ZeveVoResponse.h>
#include <dev/Device.h>
#include <fnd/RunLoop.h>
#include <peers/AdServerPeer.h>
#include <peers/TestCertificates.h>
#include <net/HttpClient.h>

#include <QXMediaPlayer/Ad/ZeveVO/ADFetchRequest.h>
#include "Ad/ZeveVO/ZeveVoRequestFormat.h"
#include "VirtualTime.h"

#include <regex>
#include <set>

using namespace zid;
using peers::AdServerPeer;

namespace {

TEST(ZeveVoRequestFormat, ParsesPairsAndSubstitutesInOnePass) {
    EXPECT_EQ(ZeveVoRequestFormat::parse(" zid = $ZID ,\ncb=$CB, bare, a=b=c,"),
              (ZeveVoFormatPairs{{"zid", "$ZID"}, {"cb", "$CB"}}));
    ZeveVoPlaceholderValues v;
    v.title = "Best of $KEYWORDS";
    v.keywords = "mobile,iOS";
    v.cb = "42";
    EXPECT_EQ(ZeveVoRequestFormat::substitute("$TITLE|$KEYWORDS|$CB$CB|$X|$", v), "Best of $KEYWORDS|mobile,iOS|4242|$X|$");
    EXPECT_EQ(ZeveVoRequestFormat::appendUrlParameter("http://h/a?", "zid", "a b/c"), "http://h/a?zid=a%20b%2Fc");
    EXPECT_EQ(ZeveVoRequestFormat::appendUrlParameter("http://h/a?zid=1", "e", ""), "http://h/a?zid=1&e=");
    EXPECT_EQ(ZeveVoRequestFormat::defaultPairs("s", "p").size(), 13u);
}

TEST(QXAdvertisingIdentifier, SentOnlyWhenTrackingIsAllowed) {
    QXAdvertisingIdentifier::setAdvertisingIdentifier("6d8f-aa", false);
    EXPECT_EQ(QXAdvertisingIdentifier::identifierForRequests(), "");
    QXAdvertisingIdentifier::setAdvertisingIdentifier("6d8f-aa", true);
    EXPECT_EQ(QXAdvertisingIdentifier::identifierForRequests(), "6D8F-AA");
    QXAdvertisingIdentifier::setAdvertisingIdentifier(std::nullopt, true);
    EXPECT_EQ(QXAdvertisingIdentifier::identifierForRequests(), "");
}

TEST(ZeveVoRequestFormat, CutsTheDescriptionAtCodePoints) {
    std::string ascii140(140, 'a');
    EXPECT_EQ(ZeveVoRequestFormat::cutDescription(ascii140), ascii140);
    EXPECT_EQ(ZeveVoRequestFormat::cutDescription(ascii140 + "b"), ascii140);
    std::string umlauts;
    for (int i = 0; i < 141; ++i) umlauts += "\xC3\xBC";
    EXPECT_EQ(ZeveVoRequestFormat::cutDescription(umlauts), umlauts.substr(0, 280));
}

class AdFetch : public ::testing::Test {
protected:
    void SetUp() override {
        server.start();
        service->setZeveVOBaseURL(server.url("/ad"));
        service->setSiteURL("https://site.example/");
        service->setPageURL("app://page");
        settings->contentId = "c1";
        settings->title = "A title";
        settings->contentDescription = "Desc";
        settings->mainCategoryId = "7";
        settings->tags_ = {"news", "sport"};
        QXAdvertisingIdentifier::setAdvertisingIdentifier(std::nullopt, false);
    }
    void TearDown() override { server.stop(); }

    std::string mediaUrl() const { return server.url("/media/ad.mp4"); }
    std::string inlineAd(const std::string& tag) const {
        AdServerPeer::InlineAd ad;
        ad.impressions = {server.url("/imp/" + tag)};
        ad.tracking = {{"start", server.url("/start/" + tag)}};
        ad.clickTracking = {server.url("/click/" + tag)};
        ad.mediaFiles = {{"video/mp4", mediaUrl()}};
        return AdServerPeer::inlineVast(ad);
    }

    rt::Ref<IRequest> makeRequest() {
        return service->adRequestWithSetting(
            settings, "zone 1",
            [this](const rt::Ref<ZeveVoResponse>& r) {
                ++successes;
                response = r;
            },
            [this](const rt::Ref<rt::Error>& e) {
                ++failures;
                error = e;
            });
    }
    bool runUntilDone(double seconds = 10) {
        return fnd::RunLoop::main()->runUntil([&] { return successes + failures > 0; }, seconds);
    }

    AdServerPeer server;
    rt::Ref<ZeveVoAdFetchRequestService> service = rt::make<ZeveVoAdFetchRequestService>();
    rt::Ref<CPAdSettings> settings = rt::make<CPAdSettings>();
    int successes = 0, failures = 0;
    rt::Ref<ZeveVoResponse> response;
    rt::Ref<rt::Error> error;
};

TEST_F(AdFetch, SendsTheDefaultThirteenPairsAndLeavesTheSettingsAlone) {
    QXAdvertisingIdentifier::setAdvertisingIdentifier("abcd-ef", true);
    server.script("/ad", {AdServerPeer::Answer::vast(inlineAd("x"))});
    auto request = makeRequest();
    request->start();
    ASSERT_TRUE(runUntilDone());
    auto sent = server.requests("/ad");
    ASSERT_EQ(sent.size(), 1u);
    std::string cb = sent[0].value("cb");
    EXPECT_TRUE(std::regex_match(cb, std::regex("[0-9]{1,10}")));
    std::string ua = "iPhone%20iOS%20" + ZeveVoRequestFormat::userAgent(dev::Device::current()->systemVersion()).substr(11);
    EXPECT_EQ(sent[0].target,
              "/ad?zid=zone%201&url=https%3A%2F%2Fsite.example%2F&pageUrl=app%3A%2F%2Fpage&pageUrlOv=app%3A%2F%2Fpage"
              "&duration=555000&categories=7&id=c1&a.ua=" +
                  sent[0].target.substr(sent[0].target.find("a.ua=") + 5,
                                        sent[0].target.find("&a.idfa") - sent[0].target.find("a.ua=") - 5) +
                  "&a.idfa=ABCD-EF&cb=" + cb + "&title=A%20title&keywords=mobile%2CiOS%2Cnews%2Csport&description=Desc");
    EXPECT_EQ(sent[0].value("a.ua"), "iPhone iOS " + dev::Device::current()->systemVersion());
    // The caller's settings are untouched, so a second request sends the prefix once.
    EXPECT_EQ(settings->tags_, (std::vector<std::string>{"news", "sport"}));
    EXPECT_EQ(settings->duration, 0);
    successes = 0;
    auto second = makeRequest();
    second->start();
    ASSERT_TRUE(runUntilDone());
    EXPECT_EQ(server.requests("/ad").back().value("keywords"), "mobile,iOS,news,sport");
    EXPECT_EQ(successes, 1);
    ASSERT_TRUE(response);
    ASSERT_EQ(response->videoFiles.size(), 1u);
    EXPECT_EQ(response->videoFiles[0]->url(), mediaUrl());
    EXPECT_EQ(response->videoFiles[0]->delivery(), 2);
}

TEST_F(AdFetch, RequestFormatValuesAreEscapedAndAbsentValuesEmpty) {
    service->setZeveVORequestFormat("zid=$ZID, cb=$CB ,t=$TITLE,cat=$CATEGORIES,i=$IDFA,d=$DESCRIPTION, x");
    settings->title = "$KEYWORDS!";
    settings->contentDescription = std::string(141, 'd');
    server.script("/ad", {AdServerPeer::Answer::vast(inlineAd("x"))});
    auto request = makeRequest();
    request->start();
    ASSERT_TRUE(runUntilDone());
    auto sent = server.requests("/ad").at(0);
    EXPECT_EQ(sent.target, "/ad?zid=zone%201&cb=" + sent.value("cb") + "&t=%24KEYWORDS%21&cat=7&i=&d=" + std::string(140, 'd'));
}

TEST_F(AdFetch, ThreeTriesEachWithItsOwnCacheBusterThenFailure) {
    server.script("/ad", {AdServerPeer::Answer::withStatus(500), AdServerPeer::Answer::vast("<VAST version=\"2.0\"/>"),
                          AdServerPeer::Answer::vast("not xml")});
    auto request = makeRequest();
    request->start();
    ASSERT_TRUE(runUntilDone());
    EXPECT_EQ(successes, 0);
    ASSERT_EQ(failures, 1);
    EXPECT_EQ(error->domain(), ADFetchRequestErrorDomain);
    EXPECT_EQ(error->code(), kADFetchNoAdAfterTries);
    ASSERT_TRUE(error->underlyingError());
    EXPECT_EQ(error->underlyingError()->code(), kADFetchNotVAST);
    auto sent = server.requests("/ad");
    ASSERT_EQ(sent.size(), 3u);
    std::set<std::string> cbs{sent[0].value("cb"), sent[1].value("cb"), sent[2].value("cb")};
    EXPECT_EQ(cbs.size(), 3u);
    fnd::RunLoop::main()->runFor(0.2);
    EXPECT_EQ(failures, 1);
}

TEST_F(AdFetch, A404ThenAnInlineAdSucceedsOnTheSecondTry) {
    server.script("/ad", {AdServerPeer::Answer::withStatus(404), AdServerPeer::Answer::vast(inlineAd("x"))});
    auto request = makeRequest();
    request->start();
    ASSERT_TRUE(runUntilDone());
    EXPECT_EQ(successes, 1);
    EXPECT_EQ(server.requestCount("/ad"), 2);
}

TEST_F(AdFetch, FollowsAChainOfThreeWrappersCarryingEveryImpression) {
    server.script("/ad", {AdServerPeer::Answer::vast(AdServerPeer::wrapperVast(server.url("/w1"), {server.url("/imp/w0")}, {},
                                                                               {server.url("/click/w0")}))});
    server.script("/w1", {AdServerPeer::Answer::vast(AdServerPeer::wrapperVast(server.url("/w2?cb={cb}"), {server.url("/imp/w1")}))});
    server.script("/w2", {AdServerPeer::Answer::vast(AdServerPeer::wrapperVast(server.url("/inline"), {server.url("/imp/w2")}))});
    server.script("/inline", {AdServerPeer::Answer::vast(inlineAd("in"))});
    auto request = makeRequest();
    request->start();
    ASSERT_TRUE(runUntilDone());
    ASSERT_EQ(successes, 1);
    EXPECT_EQ(response->impressions, (std::vector<std::string>{server.url("/imp/in"), server.url("/imp/w2"),
                                                               server.url("/imp/w1"), server.url("/imp/w0")}));
    EXPECT_EQ(response->videoClicks.at("ClickTracking").urls(),
              (std::vector<std::string>{server.url("/click/in"), server.url("/click/w0")}));
    EXPECT_EQ(server.requests("/w2").at(0).target, "/w2?cb=");
}

TEST_F(AdFetch, AWrapperLoopAndAChainOfSixEndTheirTries) {
    server.script("/ad", {AdServerPeer::Answer::vast(AdServerPeer::wrapperVast(server.url("/loop"), {}))});
    server.script("/loop", {AdServerPeer::Answer::vast(AdServerPeer::wrapperVast(server.url("/ad2"), {}))});
    server.script("/ad2", {AdServerPeer::Answer::vast(AdServerPeer::wrapperVast(server.url("/loop"), {}))});
    auto request = makeRequest();
    request->start();
    ASSERT_TRUE(runUntilDone());
    ASSERT_EQ(failures, 1);
    EXPECT_EQ(error->underlyingError()->code(), kADFetchWrapperLoop);
    EXPECT_EQ(server.requestCount("/loop"), 3);

    failures = 0;
    for (int i = 0; i < 6; ++i)
        server.script("/c" + std::to_string(i),
                      {AdServerPeer::Answer::vast(AdServerPeer::wrapperVast(server.url("/c" + std::to_string(i + 1)), {}))});
    server.script("/c6", {AdServerPeer::Answer::vast(inlineAd("deep"))});
    service->setZeveVOBaseURL(server.url("/c0"));
    auto deep = makeRequest();
    deep->start();
    ASSERT_TRUE(runUntilDone());
    ASSERT_EQ(failures, 1);
    EXPECT_EQ(error->underlyingError()->code(), kADFetchWrapperChainTooLong);
    EXPECT_EQ(server.requestCount("/c6"), 0);
    EXPECT_EQ(server.requestCount("/c5"), 3);

    // Five wrappers deep is still followed.
    failures = 0;
    service->setZeveVOBaseURL(server.url("/c1"));
    auto five = makeRequest();
    five->start();
    ASSERT_TRUE(runUntilDone());
    EXPECT_EQ(successes, 1);
}

TEST_F(AdFetch, SchemesOtherThanHttpFailTheTry) {
    server.script("/ad", {AdServerPeer::Answer::vast(AdServerPeer::wrapperVast("file:///etc/passwd", {}))});
    auto request = makeRequest();
    request->start();
    ASSERT_TRUE(runUntilDone());
    ASSERT_EQ(failures, 1);
    EXPECT_EQ(error->underlyingError()->code(), kADFetchUnsupportedScheme);
    EXPECT_EQ(server.requestCount("/ad"), 3);

    failures = 0;
    service->setZeveVOBaseURL("ftp://127.0.0.1/ad");
    auto ftp = makeRequest();
    ftp->start();
    ASSERT_TRUE(runUntilDone());
    EXPECT_EQ(error->underlyingError()->code(), kADFetchUnsupportedScheme);

    // An ad whose only MP4 is a local file has nothing to play.
    failures = 0;
    AdServerPeer::InlineAd local;
    local.impressions = {server.url("/imp/local"), "file:///var/log/x"};
    local.mediaFiles = {{"video/mp4", "file:///dev/zero"}};
    server.script("/local", {AdServerPeer::Answer::vast(AdServerPeer::inlineVast(local))});
    service->setZeveVOBaseURL(server.url("/local"));
    auto localFile = makeRequest();
    localFile->start();
    ASSERT_TRUE(runUntilDone());
    ASSERT_EQ(failures, 1);
    EXPECT_EQ(error->underlyingError()->code(), kADFetchNoPlayableFile);
}

TEST_F(AdFetch, RelativeUrlsResolveAgainstTheAddressOfTheirDocument) {
    // The wrapper names the next document and its own impression relative to itself; the
    // inline ad names its media scheme-relative and its tracking relative to itself.
    std::string hostAndPort = server.url("").substr(server.url("").find("//"));
    server.script("/ads/wrapper", {AdServerPeer::Answer::vast(AdServerPeer::wrapperVast("../inline/doc", {"imp/w"}))});
    AdServerPeer::InlineAd ad;
    ad.impressions = {"/imp/in"};
    ad.tracking = {{"start", "start?e=1"}};
    ad.mediaFiles = {{"video/mp4", hostAndPort + "/media/ad.mp4"}};
    server.script("/inline/doc", {AdServerPeer::Answer::vast(AdServerPeer::inlineVast(ad))});
    service->setZeveVOBaseURL(server.url("/ads/wrapper"));
    auto request = makeRequest();
    request->start();
    ASSERT_TRUE(runUntilDone());
    ASSERT_EQ(successes, 1) << (error ? error->localizedDescription() : "");
    EXPECT_EQ(server.requestCount("/inline/doc"), 1);
    EXPECT_EQ(response->impressions, (std::vector<std::string>{server.url("/imp/in"), server.url("/ads/imp/w")}));
    EXPECT_EQ(response->trackingEvents.at("start").urls(), (std::vector<std::string>{server.url("/inline/start?e=1")}));
    ASSERT_EQ(response->videoFiles.size(), 1u);
    EXPECT_EQ(response->videoFiles[0]->url(), mediaUrl());
}

TEST_F(AdFetch, AMissingAccountIdFailsAtOnceWithoutARequest) {
    service->setZeveVOBaseURL(server.url("/acct/$ACCOUNTID/ad"));
    auto request = makeRequest();
    request->start();
    ASSERT_TRUE(runUntilDone());
    ASSERT_EQ(failures, 1);
    EXPECT_EQ(error->code(), kADFetchMissingAccountId);
    EXPECT_TRUE(server.requests().empty());

    failures = 0;
    settings->accountID = "acc9";
    server.script("/acct/acc9/ad", {AdServerPeer::Answer::vast(inlineAd("x"))});
    auto withAccount = makeRequest();
    withAccount->start();
    ASSERT_TRUE(runUntilDone());
    EXPECT_EQ(successes, 1);
}

TEST_F(AdFetch, CancelAndRestartSilenceTheHeldAnswer) {
    server.script("/ad", {AdServerPeer::Answer::heldVast(inlineAd("x"))});
    auto request = makeRequest();
    request->start();
    ASSERT_TRUE(fnd::RunLoop::main()->runUntil([&] { return server.requestCount("/ad") == 1; }, 5));
    request->cancel();
    server.release("/ad");
    fnd::RunLoop::main()->runFor(0.3);
    EXPECT_EQ(successes + failures, 0);

    // A new start drops the run before it: only the second run reports.
    server.script("/ad", {AdServerPeer::Answer::heldVast(inlineAd("x")), AdServerPeer::Answer::vast(inlineAd("y"))});
    request->start();
    ASSERT_TRUE(fnd::RunLoop::main()->runUntil([&] { return server.requestCount("/ad") == 2; }, 5));
    request->start();
    ASSERT_TRUE(runUntilDone());
    server.release("/ad");
    fnd::RunLoop::main()->runFor(0.3);
    EXPECT_EQ(successes, 1);
    EXPECT_EQ(failures, 0);
}

// Records the outcome of a fetch driven directly.
class FetchOutcome : public ADFetchRequestDelegate {
public:
    void adFetchRequestDidFinishWithAdElement(ADFetchRequest&, const rt::Ref<VASTAdElement>& a) override { ad = a; }
    void adFetchRequestDidFailWithError(ADFetchRequest&, const rt::Ref<rt::Error>& e) override { error = e; }
    rt::Ref<VASTAdElement> ad;
    rt::Ref<rt::Error> error;
};

TEST_F(AdFetch, ParametersGivenByTheHostReplaceTheRequestFormat) {
    server.script("/acct/a1/ad", {AdServerPeer::Answer::vast(inlineAd("p"))});
    auto fetch = rt::make<ADFetchRequest>(service->httpClient());
    FetchOutcome outcome;
    fetch->delegate = &outcome;
    fetch->accountId = "a1";
    fetch->requestFormat = "zid=$ZID";
    fetch->setBaseURL(server.url("/acct/$ACCOUNTID/ad"));
    fetch->startRequestWithParameters({{"zid", "zone 1"}, {"b", "x/y"}, {"empty", ""}});
    EXPECT_EQ(fetch->state(), ADFetchRequest::FirstTry);
    ASSERT_TRUE(fnd::RunLoop::main()->runUntil([&] { return outcome.ad || outcome.error; }, 10));
    ASSERT_TRUE(outcome.ad) << outcome.error->description();
    EXPECT_EQ(outcome.ad->impressions, (std::vector<std::string>{server.url("/imp/p")}));
    auto sent = server.requests("/acct/a1/ad");
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].target, "/acct/a1/ad?b=x%2Fy&empty=&zid=zone%201");

    // Without the account id the base URL needs, nothing is requested and the fetch fails.
    auto without = rt::make<ADFetchRequest>(service->httpClient());
    FetchOutcome failed;
    without->delegate = &failed;
    without->setBaseURL(server.url("/acct/$ACCOUNTID/ad"));
    without->startRequestWithParameters({{"zid", "z"}});
    ASSERT_TRUE(fnd::RunLoop::main()->runUntil([&] { return failed.error != nullptr; }, 5));
    EXPECT_EQ(failed.error->code(), kADFetchMissingAccountId);
    EXPECT_EQ(server.requests("/acct/a1/ad").size(), 1u);
}

class AdFetchTimeout : public zidtest::VirtualTimeTest {};

TEST_F(AdFetchTimeout, TheWholeRequestHasOneTimeLimit) {
    AdServerPeer server;
    server.start();
    server.script("/ad", {AdServerPeer::Answer::heldVast("<VAST version=\"2.0\"/>")});
    auto service = rt::make<ZeveVoAdFetchRequestService>();
    EXPECT_EQ(service->adRequestTimeLimit(), 30.0);
    service->setZeveVOBaseURL(server.url("/ad"));
    service->setAdRequestTimeLimit(15);
    rt::Ref<rt::Error> error;
    auto request = service->adRequestWithSetting(
        rt::make<CPAdSettings>(), "z", [](const rt::Ref<ZeveVoResponse>&) { FAIL(); },
        [&](const rt::Ref<rt::Error>& e) { error = e; });
    request->start();
    ASSERT_TRUE(fnd::RunLoop::main()->runUntil([&] { return server.requestCount("/ad") == 1; }, 5));
    advance(10.0);  // the first try times out, the second starts
    drain();
    ASSERT_TRUE(fnd::RunLoop::main()->runUntil([&] { return server.requestCount("/ad") == 2; }, 5));
    advance(4.9);
    drain();
    EXPECT_FALSE(error);
    advance(0.1);
    drain();
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code(), kADFetchNoAdAfterTries);
    EXPECT_EQ(error->localizedDescription(), "The ad server gave no playable ad within 15 seconds");
    ASSERT_TRUE(error->underlyingError());
    EXPECT_EQ(error->underlyingError()->code(), kADFetchTimedOut);
    ASSERT_TRUE(error->underlyingError()->underlyingError()) << "the last try's cause beneath";
    advance(30.0);
    drain();
    fnd::RunLoop::main()->runFor(0.2);
    EXPECT_EQ(server.requestCount("/ad"), 2) << "no try after the limit";
    server.stop();
}

TEST_F(AdFetchTimeout, EachTryTimesOutOnTheLoopsClock) {
    AdServerPeer server;
    server.start();
    server.script("/ad", {AdServerPeer::Answer::heldVast("<VAST version=\"2.0\"/>")});
    auto service = rt::make<ZeveVoAdFetchRequestService>();
    service->setZeveVOBaseURL(server.url("/ad"));
    rt::Ref<rt::Error> error;
    auto request = service->adRequestWithSetting(
        rt::make<CPAdSettings>(), "z", [](const rt::Ref<ZeveVoResponse>&) { FAIL(); },
        [&](const rt::Ref<rt::Error>& e) { error = e; });
    request->start();
    for (int attempt = 1; attempt <= 3; ++attempt) {
        ASSERT_TRUE(fnd::RunLoop::main()->runUntil([&] { return server.requestCount("/ad") == attempt; }, 5));
        advance(9.0);
        drain();
        EXPECT_FALSE(error) << attempt << " " << (error ? error->underlyingError()->description() : "");
        advance(1.0);  // the next try starts at this try's deadline
        drain();
    }
    ASSERT_TRUE(error);
    EXPECT_EQ(error->underlyingError()->code(), kADFetchTimedOut);
    server.stop();
}

}  // namespace

namespace {

TEST(AdServerPeer, ServesTheFixtureMP4WithItsIndexFirstOverHttps) {
    std::string mp4 = peers::AdFixtures::ensureDefault();
    AdServerPeer server(peers::sharedServerCertificate());
    server.setMediaFile(mp4);
    server.start();
    server.script("/ad", {AdServerPeer::Answer::vast([&] {
                      AdServerPeer::InlineAd ad;
                      ad.mediaFiles = {{"video/mp4", server.url(AdServerPeer::kMediaPath)}};
                      return AdServerPeer::inlineVast(ad);
                  }())});
    auto service = rt::make<ZeveVoAdFetchRequestService>();
    service->httpClient()->setExtraTrustAnchors(peers::sharedTestAuthority().certificatePem());
    service->setZeveVOBaseURL(server.url("/ad"));
    rt::Ref<ZeveVoResponse> response;
    auto request = service->adRequestWithSetting(
        rt::make<CPAdSettings>(), "z", [&](const rt::Ref<ZeveVoResponse>& r) { response = r; },
        [](const rt::Ref<rt::Error>& e) { FAIL() << e->description(); });
    request->start();
    ASSERT_TRUE(fnd::RunLoop::main()->runUntil([&] { return bool(response); }, 10));
    ASSERT_EQ(response->videoFiles.size(), 1u);

    auto media = service->httpClient()->get(*response->videoFiles[0]->url());
    ASSERT_TRUE(media.ok());
    EXPECT_EQ(media.response->status, 200);
    EXPECT_EQ(media.response->header("Content-Type"), "video/mp4");
    const std::string& bytes = media.response->body;
    auto moov = bytes.find("moov"), mdat = bytes.find("mdat");
    ASSERT_NE(moov, std::string::npos);
    ASSERT_NE(mdat, std::string::npos);
    EXPECT_LT(moov, mdat);
    server.stop();
}

}  // namespace
