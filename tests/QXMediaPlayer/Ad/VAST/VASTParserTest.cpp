// The VAST reader: both dialects, the XML policy and the model's URL rules.
#include <gtest/gtest.h>

#include <QXMediaPlayer/Ad/VAST/CPFetchRequestMediaFile.h>
#include <QXMediaPlayer/Ad/VAST/VASTParser.h>
#include <QXMediaPlayer/Resources/QXMediaPlayerResources.h>
#include <QXFoundation/Log/QXLogHandler.h>
#include <QXFoundation/Log/QXLogger.h>

#include "Ad/VAST/VASTUrlText.h"
#include "Ad/VAST/VASTXmlDocument.h"

#include <algorithm>
#include <chrono>
#include <iterator>

#include <type_traits>

using namespace zid;

namespace {

// The click tags are the parser's own names: nobody may change them under it.
static_assert(std::is_const_v<decltype(kVastClient_ClickThroughTag)>);
static_assert(std::is_const_v<decltype(kVastClient_ClickTrackingTag)>);
static_assert(std::is_const_v<decltype(kVastClient_CustomClicksTag)>);

VASTAdList parse(const std::string& text) {
    auto ads = rt::make<VASTParser>()->parse(text);
    EXPECT_TRUE(ads) << text;
    return ads ? *ads : VASTAdList{};
}

std::vector<std::string> urls(const VASTUrlMap& map, const std::string& key) {
    auto it = map.find(key);
    return it == map.end() ? std::vector<std::string>{} : it->second.urls();
}

const char* kVast1 = R"(<?xml version="1.0"?>
<VideoAdServingTemplate>
  <Ad id="a">
    <InLine>
      <Impression><URL> http://i/1 </URL><URL>http://i/2</URL></Impression>
      <TrackingEvents>
        <Tracking event=" start "><URL>http://t/s1</URL><URL>http://t/s2</URL><URL>http://t/s1</URL></Tracking>
        <Tracking><URL>http://t/none</URL></Tracking>
      </TrackingEvents>
      <Video>
        <Duration> 00:00:30</Duration>
        <VideoClicks>
          <ClickThrough><URL>http://c/through</URL></ClickThrough>
          <ClickTracking><URL>http://c/track</URL></ClickTracking>
        </VideoClicks>
        <MediaFiles>
          <MediaFile id="m1" delivery="progressive" bitrate="300kbps" width="640" height="x" type="video/mp4" scalable="true" maintainAspectRatio="TRUE">
            <URL><![CDATA[http://m/1.mp4]]></URL>
          </MediaFile>
          <MediaFile delivery="Streaming" type="video/x-flv"/>
        </MediaFiles>
      </Video>
    </InLine>
  </Ad>
  <Ad><Wrapper><VASTAdTagURL><URL> http://w/next </URL></VASTAdTagURL><Impression><URL>http://w/i</URL></Impression></Wrapper></Ad>
</VideoAdServingTemplate>)";

TEST(VASTParser, ReadsEveryRuleOfTheFirstDialect) {
    auto ads = parse(kVast1);
    ASSERT_EQ(ads.size(), 2u);
    const auto& ad = *ads[0];
    EXPECT_EQ(ad.impressions, (std::vector<std::string>{"http://i/1", "http://i/2"}));
    EXPECT_EQ(urls(ad.trackingEvents, "start"), (std::vector<std::string>{"http://t/s1", "http://t/s2"}));
    EXPECT_EQ(ad.trackingEvents.size(), 1u);  // a Tracking without an event adds nothing
    EXPECT_EQ(ad.duration, " 00:00:30");      // duration is kept as written
    EXPECT_EQ(urls(ad.videoClicks, kVastClient_ClickThroughTag), (std::vector<std::string>{"http://c/through"}));
    EXPECT_TRUE(ad.videoClicks.count(kVastClient_CustomClicksTag));
    ASSERT_EQ(ad.mediaFiles.size(), 2u);
    const auto& m = *ad.mediaFiles[0];
    EXPECT_EQ(m.identification, "m1");
    EXPECT_EQ(m.delivery, VASTDelivery::Progressive);
    EXPECT_EQ(m.bitrate, 300);
    EXPECT_EQ(m.width, 640);
    EXPECT_EQ(m.height, 0);
    EXPECT_TRUE(m.scalable);
    EXPECT_FALSE(m.maintainAspectRatio);  // only "true" exactly
    EXPECT_EQ(m.url, "http://m/1.mp4");
    EXPECT_EQ(ad.mediaFiles[1]->delivery, VASTDelivery::Unknown);  // "Streaming" is not "streaming"
    EXPECT_FALSE(ad.mediaFiles[1]->url);
    EXPECT_EQ(ads[1]->wrapperUrl, "http://w/next");
    EXPECT_EQ(ads[1]->impressions, (std::vector<std::string>{"http://w/i"}));
    EXPECT_FALSE(ad.wrapperUrl);
}

std::string vast2(const std::string& version, const std::string& body) {
    return "<VAST version=\"" + version + "\">" + body + "</VAST>";
}

TEST(VASTParser, ReadsTwoLinearCreativesEachWithAllImpressions) {
    auto ads = parse(vast2("2.0", R"(<Ad><InLine>
      <Impression>http://i/1</Impression>
      <Creatives>
        <Creative><Linear><Duration>00:00:10</Duration>
          <TrackingEvents><Tracking event="start"> http://t/a </Tracking><Tracking event="start"></Tracking></TrackingEvents>
          <VideoClicks><ClickThrough> http://c/1 </ClickThrough><ClickThrough>http://c/2</ClickThrough><CustomClicks> http://x/c </CustomClicks></VideoClicks>
          <MediaFiles><MediaFile type="video/mp4"> http://m/a.mp4 </MediaFile><MediaFile type="video/mp4"></MediaFile></MediaFiles>
          <Duration>00:00:20</Duration>
        </Linear></Creative>
        <Creative><CompanionAds/></Creative>
        <Creative><Linear><MediaFiles><MediaFile type="video/mp4">http://m/b.mp4</MediaFile></MediaFiles></Linear></Creative>
      </Creatives>
      <Impression>http://i/2</Impression>
    </InLine></Ad>)"));
    ASSERT_EQ(ads.size(), 2u);
    for (const auto& ad : ads) EXPECT_EQ(ad->impressions, (std::vector<std::string>{"http://i/1", "http://i/2"}));
    EXPECT_EQ(ads[0]->duration, "00:00:20");  // the later duplicate wins
    EXPECT_EQ(urls(ads[0]->trackingEvents, "start"), (std::vector<std::string>{"http://t/a", ""}));
    EXPECT_EQ(urls(ads[0]->videoClicks, "ClickThrough"), (std::vector<std::string>{"http://c/1", "http://c/2"}));
    EXPECT_EQ(urls(ads[0]->videoClicks, "CustomClicks"), (std::vector<std::string>{" http://x/c "}));
    ASSERT_EQ(ads[0]->mediaFiles.size(), 2u);
    EXPECT_EQ(ads[0]->mediaFiles[0]->url, "http://m/a.mp4");
    EXPECT_EQ(ads[0]->mediaFiles[1]->url, "");  // an empty URL text stays an empty text
    EXPECT_EQ(ads[1]->mediaFiles[0]->url, "http://m/b.mp4");
}

TEST(VASTParser, VersionMustBeAboveTwoLess) {
    EXPECT_FALSE(rt::make<VASTParser>()->parse(vast2("1.9999", "<Ad/>")));
    EXPECT_FALSE(rt::make<VASTParser>()->parse("<VAST><Ad/></VAST>"));
    EXPECT_FALSE(rt::make<VASTParser>()->parse("<Other version=\"2.0\"/>"));
    EXPECT_TRUE(rt::make<VASTParser>()->parse(vast2("3.0", "")));
    EXPECT_TRUE(rt::make<VASTParser>()->parse(vast2("2", ""))->empty());
}

TEST(VASTParser, LooksAtTheAdsFirstElementChild) {
    const std::string inlineAd = "<InLine><Creatives><Creative><Linear/></Creative></Creatives></InLine>";
    EXPECT_EQ(parse(vast2("2.0", "<Ad><!-- note --><?pi x?>" + inlineAd + "</Ad>")).size(), 1u);
    EXPECT_TRUE(parse(vast2("2.0", "<Ad><AdSystem/>" + inlineAd + "</Ad>")).empty());
}

TEST(VASTParser, WrapperTagIsTrimmedAndItsTrackingMerged) {
    auto ads = parse(vast2("2.0", R"(<Ad><Wrapper>
      <VASTAdTagURI>first</VASTAdTagURI>
      <VASTAdTagURI><![CDATA[
          http://ads/next?a=b c
      ]]></VASTAdTagURI>
      <Impression> http://w/i </Impression>
      <Creatives><Creative><Linear>
        <TrackingEvents><Tracking event="start">http://w/start</Tracking></TrackingEvents>
        <VideoClicks><ClickTracking>http://w/click</ClickTracking></VideoClicks>
        <MediaFiles><MediaFile type="video/mp4">http://m/ignored.mp4</MediaFile></MediaFiles>
      </Linear></Creative></Creatives>
    </Wrapper></Ad>)"));
    ASSERT_EQ(ads.size(), 1u);
    const auto& wrapper = *ads[0];
    EXPECT_EQ(wrapper.wrapperUrl, "http://ads/next?a=b%20c");
    EXPECT_EQ(wrapper.impressions, (std::vector<std::string>{"http://w/i"}));
    EXPECT_EQ(urls(wrapper.trackingEvents, "start"), (std::vector<std::string>{"http://w/start"}));
    EXPECT_EQ(urls(wrapper.videoClicks, "ClickTracking"), (std::vector<std::string>{"http://w/click"}));
    EXPECT_TRUE(wrapper.mediaFiles.empty());

    auto inner = rt::make<VASTParser>()->parse(vast2("2.0", R"(<Ad><InLine><Impression>http://a/i</Impression><Creatives><Creative><Linear>
        <TrackingEvents><Tracking event="start">http://w/start</Tracking><Tracking event="start">http://a/start</Tracking></TrackingEvents>
      </Linear></Creative></Creatives></InLine></Ad>)"), wrapper);
    ASSERT_TRUE(inner);
    ASSERT_EQ(inner->size(), 1u);
    EXPECT_EQ((*inner)[0]->impressions, (std::vector<std::string>{"http://a/i", "http://w/i"}));
    EXPECT_EQ(urls((*inner)[0]->trackingEvents, "start"), (std::vector<std::string>{"http://w/start", "http://a/start"}));
    EXPECT_EQ(urls((*inner)[0]->videoClicks, "ClickTracking"), (std::vector<std::string>{"http://w/click"}));
}

TEST(VASTXmlPolicy, RefusesWhatIsNotWellFormed) {
    const char* refused[] = {
        "<VAST version=\"2.0\"/><VAST version=\"2.0\"/>",             // two roots
        "<VAST version=\"2.0\"/>trailing",                            // text after the root
        "<VAST version=\"2.0\"><Ad>a & b</Ad></VAST>",                // a bare "&"
        "<VAST version=\"2.0\" version=\"3.0\"/>",                    // a repeated attribute
        "<VAST version=\"2.0\"><Ad>&nbsp;</Ad></VAST>",               // an undeclared entity
        "<VAST version=\"2.0\"><Ad>\x01</Ad></VAST>",                 // a control character
        "<VAST version=\"2.0\"><Ad>\xC3\x28</Ad></VAST>",             // malformed UTF-8
        "<VAST version=\"2.0\"><Ad>\xC0\xAF</Ad></VAST>",             // an overlong form
        "<!DOCTYPE VAST [<!ENTITY x SYSTEM \"file:///etc/passwd\">]><VAST version=\"2.0\">&x;</VAST>",
        "<VAST version=\"2.0\"><Ad></VAST>",                          // mismatched
        "<VAST version=\"2.0\"><Ad a=\"<\"/></VAST>",                 // "<" in a value
        "<VAST version=\"2.0\"><Ad>&#0;</Ad></VAST>",                 // a reference to NUL
        // What markup passes over whole is checked like text, and long runs like short ones.
        "<VAST version=\"2.0\"><Ad><![CDATA[\x01]]></Ad></VAST>",
        "<VAST version=\"2.0\"><Ad a=\"\x7F\x1B\"/></VAST>",
        "<VAST version=\"2.0\"><!-- \xC3\x28 --></VAST>",
        "<VAST version=\"2.0\"><Ad a=\"http://a.example/long/path?b=1<\"/></VAST>",
        "<VAST version=\"2.0\"><Ad>http://a.example/long/path?b=1&c=2</Ad></VAST>",
        "<VAST version=\"2.0\"><Ad>http://a.example/long/path?b=\xED\xA0\x80</Ad></VAST>",  // a surrogate
        "",
    };
    for (const char* text : refused) {
        VASTXmlDocument document;
        EXPECT_FALSE(document.load(text)) << text;
        EXPECT_FALSE(document.error().empty());
        EXPECT_FALSE(rt::make<VASTParser>()->parse(text));
    }
    VASTXmlDocument fine;
    EXPECT_TRUE(fine.load("<?xml version=\"1.0\"?><!-- c --><r a='&amp;&#x41;&#65;'>&lt;x&gt;<![CDATA[&]]></r><!-- after -->"))
        << fine.error();
    EXPECT_EQ(std::string(fine.root().attribute("a").value()), "&AA");
    EXPECT_EQ(VASTXmlDocument::textOf(fine.root()), "<x>&");
    EXPECT_TRUE(fine.load("<r a=\"http://a.example/long/\xC3\xA9?b=1&amp;c='2'\"><![CDATA[\xE2\x82\xAC & <]]>"
                          "\t\xF0\x9F\x98\x80 http://a.example/long/path?b=1&amp;c=2</r>"))
        << fine.error();
    EXPECT_EQ(std::string(fine.root().attribute("a").value()), "http://a.example/long/\xC3\xA9?b=1&c='2'");
}

TEST(VASTXmlPolicy, JoinsTextAroundCDATAAndComments) {
    VASTXmlDocument document;
    ASSERT_TRUE(document.load("<r> http://a/<![CDATA[b]]>?c=<!-- x -->d </r>"));
    EXPECT_EQ(VASTXmlDocument::textOf(document.root()), " http://a/b?c=d ");
}

TEST(VASTXmlPolicy, BoundsDepthAndSize) {
    std::string deep;
    for (int i = 0; i < 10000; ++i) deep += "<a>";
    for (int i = 0; i < 10000; ++i) deep += "</a>";
    EXPECT_FALSE(rt::make<VASTParser>()->parse(deep));
    std::string at64, over;
    for (int i = 0; i < 64; ++i) at64 += "<a>";
    for (int i = 0; i < 64; ++i) at64 += "</a>";
    VASTXmlDocument document;
    EXPECT_TRUE(document.load(at64));
    EXPECT_FALSE(document.load("<b>" + at64 + "</b>"));

    std::string big = "<VAST version=\"2.0\">" + std::string(2u << 20, ' ') + "</VAST>";
    EXPECT_FALSE(rt::make<VASTParser>()->parse(big));
}

TEST(VASTXmlPolicy, ReadsALargeDocumentWhole) {
    std::string body = "<Ad><InLine>";
    for (int i = 0; i < 3000; ++i)
        body += "<Impression><![CDATA[http://impressions.example/track?id=" + std::to_string(i) +
                "&pad=" + std::string(240, 'x') + "]]></Impression>";
    body += "<Creatives><Creative><Linear/></Creative></Creatives></InLine></Ad>";
    std::string text = vast2("2.0", body);
    ASSERT_GT(text.size(), 850000u);
    ASSERT_LT(text.size(), VASTXmlDocument::kMaxBytes);
    VASTXmlDocument document;
    ASSERT_TRUE(document.load(text)) << document.error();
    auto ads = parse(text);
    ASSERT_EQ(ads.size(), 1u);  // the creative after the impressions is read
    // The impressions beyond the bound per event are dropped, the first ones kept.
    ASSERT_EQ(ads[0]->impressions.size(), 64u);
    EXPECT_NE(ads[0]->impressions[63].find("id=63&"), std::string::npos);
}

// Collects the ad stack's log lines while it lives.
class LogLines : public QXLogHandler {
    RT_CLASS(LogLines, QXLogHandler)
public:
    LogLines() : QXLogHandler(nullptr, 6) {}
    void handleLogRecord(const rt::Ref<QXLogRecord>& record) override { lines.push_back(record->message()); }
    std::vector<std::string> lines;
};

struct CapturedLog {
    CapturedLog() { QXLogger::defaultLogger()->registerHandler(handler); }
    ~CapturedLog() { QXLogger::defaultLogger()->deregistreHandler(handler); }
    std::vector<std::string> lines(const std::string& containing) const {
        std::vector<std::string> found;
        for (const auto& line : handler->lines)
            if (line.find(containing) != std::string::npos) found.push_back(line);
        return found;
    }
    rt::Ref<LogLines> handler = rt::make<LogLines>();
};

TEST(VASTParser, ALeadingByteOrderMarkIsSkipped) {
    std::string document = "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\"?>" +
                           vast2("2.0", "<Ad><InLine><Creatives><Creative><Linear/></Creative></Creatives></InLine></Ad>");
    EXPECT_EQ(parse(document).size(), 1u);
    EXPECT_FALSE(rt::make<VASTParser>()->parse("\xEF\xBB\xBF\xEF\xBB\xBF" + vast2("2.0", ""))) << "one mark only";
}

TEST(VASTParser, KeepsOnlyHttpUrlsAndLogsOnceWhatWent) {
    CapturedLog log;
    auto ads = parse(vast2("2.0", R"(<Ad><InLine>
      <Impression>file:///etc/passwd</Impression><Impression>HTTPS://i/ok</Impression><Impression>javascript:alert(1)</Impression>
      <Creatives><Creative><Linear>
        <TrackingEvents><Tracking event="start">data:text/plain,x</Tracking><Tracking event="start">http://t/s</Tracking></TrackingEvents>
        <VideoClicks><ClickThrough>javascript:open()</ClickThrough><ClickTracking>http://c/t</ClickTracking></VideoClicks>
        <MediaFiles><MediaFile type="video/mp4">file:///dev/zero</MediaFile></MediaFiles>
      </Linear></Creative></Creatives></InLine></Ad>)"));
    ASSERT_EQ(ads.size(), 1u);
    const auto& ad = *ads[0];
    EXPECT_EQ(ad.impressions, (std::vector<std::string>{"HTTPS://i/ok"}));
    EXPECT_EQ(urls(ad.trackingEvents, "start"), (std::vector<std::string>{"http://t/s"}));
    EXPECT_TRUE(urls(ad.videoClicks, "ClickThrough").empty());
    EXPECT_EQ(urls(ad.videoClicks, "ClickTracking"), (std::vector<std::string>{"http://c/t"}));
    EXPECT_TRUE(ad.mediaFiles.empty());
    EXPECT_FALSE(ad.testIfPlayableMediaFileIsAvailable()) << "its only media file was file:";
    auto lines = log.lines("VAST document");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("dropped 5 URL(s) in schemes other than http and https (data:, file:, javascript:)"),
              std::string::npos)
        << lines[0];
}

TEST(VASTParser, BoundsTheUrlsOfEachEventOfADocument) {
    CapturedLog log;
    std::string impressions, starts;
    for (int i = 0; i < 70; ++i) {
        impressions += "<Impression>http://i/" + std::to_string(i) + "</Impression>";
        starts += "<Tracking event=\"start\">http://t/" + std::to_string(i) + "</Tracking>";
    }
    auto parser = rt::make<VASTParser>();
    auto ads = parser->parse(vast2("2.0", "<Ad><InLine>" + impressions +
                                              "<Creatives><Creative><Linear><TrackingEvents>" + starts +
                                              "<Tracking event=\"complete\">http://t/c</Tracking>"
                                              "</TrackingEvents></Linear></Creative></Creatives></InLine></Ad>"));
    ASSERT_TRUE(ads);
    ASSERT_EQ(ads->size(), 1u);
    const auto& ad = *(*ads)[0];
    ASSERT_EQ(ad.impressions.size(), 64u);
    EXPECT_EQ(ad.impressions.back(), "http://i/63");
    EXPECT_EQ(urls(ad.trackingEvents, "start").size(), 64u);
    EXPECT_EQ(urls(ad.trackingEvents, "complete").size(), 1u);
    auto lines = log.lines("VAST document");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("12 URL(s) over 64 per event (impressions, start)"), std::string::npos) << lines[0];

}

// A document of that many impressions and "start" URLs, each URL naming its document.
std::string manyUrls(const std::string& name, int count, bool wrapper) {
    std::string impressions, starts;
    for (int i = 0; i < count; ++i) {
        impressions += "<Impression>http://" + name + "/i" + std::to_string(i) + "</Impression>";
        starts += "<Tracking event=\"start\">http://" + name + "/s" + std::to_string(i) + "</Tracking>";
    }
    std::string linear = "<Creatives><Creative><Linear><TrackingEvents>" + starts +
                         "</TrackingEvents></Linear></Creative></Creatives>";
    if (wrapper)
        return vast2("2.0", "<Ad><Wrapper><VASTAdTagURI>http://next/</VASTAdTagURI>" + impressions + linear +
                                "</Wrapper></Ad>");
    return vast2("2.0", "<Ad><InLine>" + impressions + linear + "</InLine></Ad>");
}

std::size_t countFrom(const std::vector<std::string>& urls, const std::string& name) {
    return static_cast<std::size_t>(std::count_if(urls.begin(), urls.end(), [&](const std::string& url) {
        return url.rfind("http://" + name + "/", 0) == 0;
    }));
}

TEST(VASTParser, EachDocumentOfAChainKeepsItsOwnBound) {
    CapturedLog log;
    auto parser = rt::make<VASTParser>();
    auto outer = parser->parse(manyUrls("outer", 100, true));
    ASSERT_TRUE(outer);
    ASSERT_EQ(outer->size(), 1u);
    auto middle = parser->parse(manyUrls("middle", 20, true), *(*outer)[0]);
    ASSERT_TRUE(middle);
    auto ads = parser->parse(manyUrls("inline", 3000, false), *(*middle)[0]);
    ASSERT_TRUE(ads);
    ASSERT_EQ(ads->size(), 1u);
    const auto& ad = *(*ads)[0];
    // The ad's own first, then each wrapper's, nearest first; none crowded out.
    EXPECT_EQ(countFrom(ad.impressions, "inline"), 64u);
    EXPECT_EQ(countFrom(ad.impressions, "middle"), 20u);
    EXPECT_EQ(countFrom(ad.impressions, "outer"), 64u);
    ASSERT_EQ(ad.impressions.size(), 148u);
    EXPECT_EQ(ad.impressions[63], "http://inline/i63");
    EXPECT_EQ(ad.impressions[64], "http://middle/i0");
    EXPECT_EQ(ad.impressions.back(), "http://outer/i63");
    auto starts = urls(ad.trackingEvents, "start");
    EXPECT_EQ(countFrom(starts, "inline"), 64u);
    EXPECT_EQ(countFrom(starts, "middle"), 20u);
    EXPECT_EQ(countFrom(starts, "outer"), 64u);
    // Each document that lost URLs said so once, with its own count.
    auto lines = log.lines("over 64 per event");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_NE(lines[0].find("72 URL(s) over 64 per event (impressions, start)"), std::string::npos) << lines[0];
    EXPECT_NE(lines[1].find("5872 URL(s) over 64 per event (impressions, start)"), std::string::npos) << lines[1];

    // A smaller bound holds per document the same way.
    parser->maxUrlsPerEvent = 2;
    auto wrapper = rt::make<VASTAdElement>();
    wrapper->impressions = {"http://w/1", "http://w/2"};
    auto merged = parser->parse(
        vast2("2.0", "<Ad><InLine><Impression>http://a/1</Impression><Impression>http://a/2</Impression>"
                     "<Impression>http://a/3</Impression><Creatives><Creative><Linear/></Creative>"
                     "</Creatives></InLine></Ad>"),
        *wrapper);
    ASSERT_TRUE(merged);
    EXPECT_EQ((*merged)[0]->impressions, (std::vector<std::string>{"http://a/1", "http://a/2", "http://w/1", "http://w/2"}));
}

TEST(VASTParser, ResolvesRelativeUrlsAgainstTheDocumentsAddress) {
    const std::string document = vast2("2.0", R"(<Ad><InLine>
      <Impression>/imp?a=1</Impression><Impression>  ../up/imp  </Impression><Impression>http://abs/i</Impression>
      <Creatives><Creative><Linear>
        <TrackingEvents><Tracking event="start">t/start?e=1</Tracking><Tracking event="start">./t/start?e=1</Tracking></TrackingEvents>
        <VideoClicks><ClickThrough>//landing.example/x</ClickThrough><CustomClicks> javascript:open() </CustomClicks>
          <CustomClicks> http://c/custom </CustomClicks></VideoClicks>
        <MediaFiles><MediaFile type="video/mp4">//cdn.example/m.mp4</MediaFile><MediaFile type="video/webm">m.webm</MediaFile></MediaFiles>
      </Linear></Creative></Creatives></InLine></Ad>)");
    {
        CapturedLog log;
        auto ads = rt::make<VASTParser>()->parse(document, "https://ads.example/vast/doc.xml?zid=1");
        ASSERT_TRUE(ads);
        ASSERT_EQ(ads->size(), 1u);
        const auto& ad = *(*ads)[0];
        EXPECT_EQ(ad.impressions, (std::vector<std::string>{"https://ads.example/imp?a=1", "https://ads.example/up/imp",
                                                            "http://abs/i"}));
        // Two references to one address are one URL of the set.
        EXPECT_EQ(urls(ad.trackingEvents, "start"), (std::vector<std::string>{"https://ads.example/vast/t/start?e=1"}));
        EXPECT_EQ(urls(ad.videoClicks, "ClickThrough"), (std::vector<std::string>{"https://landing.example/x"}));
        // Blanks around an absolute URL do not hide its scheme; a kept one stays as written.
        EXPECT_EQ(urls(ad.videoClicks, "CustomClicks"), (std::vector<std::string>{" http://c/custom "}));
        ASSERT_EQ(ad.mediaFiles.size(), 2u);
        EXPECT_EQ(ad.mediaFiles[0]->url, "https://cdn.example/m.mp4");
        EXPECT_EQ(ad.mediaFiles[1]->url, "https://ads.example/vast/m.webm");
        EXPECT_NE(log.lines("VAST document").at(0).find("dropped 1 URL(s) in schemes other than http and https (javascript:)"),
                  std::string::npos);
    }
    {
        // Without the document's address a relative URL names nothing that may be requested.
        CapturedLog log;
        auto ads = rt::make<VASTParser>()->parse(document);
        ASSERT_TRUE(ads);
        const auto& ad = *(*ads)[0];
        EXPECT_EQ(ad.impressions, (std::vector<std::string>{"http://abs/i"}));
        EXPECT_TRUE(urls(ad.trackingEvents, "start").empty());
        EXPECT_TRUE(urls(ad.videoClicks, "ClickThrough").empty());
        EXPECT_TRUE(ad.mediaFiles.empty());
        EXPECT_FALSE(ad.testIfPlayableMediaFileIsAvailable()) << "its only MP4 was scheme-relative";
        auto lines = log.lines("VAST document");
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_NE(lines[0].find("dropped 1 URL(s) in schemes other than http and https (javascript:); and 7 relative "
                                "URL(s), the document's address being unknown"),
                  std::string::npos)
            << lines[0];
    }
    {
        // Resolved against a local file's address they are local files, and go.
        auto ads = rt::make<VASTParser>()->parse(document, "file:///tmp/doc.xml");
        ASSERT_TRUE(ads);
        EXPECT_EQ((*ads)[0]->impressions, (std::vector<std::string>{"http://abs/i"}));
        EXPECT_TRUE((*ads)[0]->mediaFiles.empty());
    }
    // A wrapper's tag is resolved too; the merge keeps each document's own resolution.
    auto wrapper = rt::make<VASTParser>()->parse(
        vast2("2.0", "<Ad><Wrapper><VASTAdTagURI>next doc.xml</VASTAdTagURI><Impression>w/imp</Impression></Wrapper></Ad>"),
        "http://wrapper.example/a/b");
    ASSERT_TRUE(wrapper);
    EXPECT_EQ((*wrapper)[0]->wrapperUrl, "http://wrapper.example/a/next%20doc.xml");
    auto inner = rt::make<VASTParser>()->parse(
        vast2("2.0", "<Ad><InLine><Impression>imp</Impression><Creatives><Creative><Linear/></Creative></Creatives>"
                     "</InLine></Ad>"),
        *(*wrapper)[0], "https://inline.example/c/d");
    ASSERT_TRUE(inner);
    EXPECT_EQ((*inner)[0]->impressions,
              (std::vector<std::string>{"https://inline.example/c/imp", "http://wrapper.example/a/w/imp"}));
}

TEST(UrlResolution, FollowsTheGenericSyntax) {
    // The normal examples of the URI standard against its base.
    const std::string base = "http://a/b/c/d;p?q";
    const std::pair<const char*, const char*> cases[] = {
        {"g", "http://a/b/c/g"},        {"./g", "http://a/b/c/g"},      {"g/", "http://a/b/c/g/"},
        {"/g", "http://a/g"},           {"//g", "http://g"},            {"?y", "http://a/b/c/d;p?y"},
        {"g?y", "http://a/b/c/g?y"},    {"#s", "http://a/b/c/d;p?q#s"}, {"g#s", "http://a/b/c/g#s"},
        {";x", "http://a/b/c/;x"},      {"", "http://a/b/c/d;p?q"},     {".", "http://a/b/c/"},
        {"./", "http://a/b/c/"},        {"..", "http://a/b/"},          {"../", "http://a/b/"},
        {"../g", "http://a/b/g"},       {"../..", "http://a/"},         {"../../g", "http://a/g"},
        {"../../../g", "http://a/g"},   {"/./g", "http://a/g"},         {"/../g", "http://a/g"},
        {"g.", "http://a/b/c/g."},      {"..g", "http://a/b/c/..g"},    {"./../g", "http://a/b/g"},
        {"g/./h", "http://a/b/c/g/h"},  {"g/../h", "http://a/b/c/h"},   {"//h:81/x/../y?z", "http://h:81/y?z"},
    };
    for (const auto& [reference, expected] : cases) EXPECT_EQ(resolvedUrl(reference, base), expected) << reference;
    EXPECT_EQ(resolvedUrl("x", "https://host"), "https://host/x");
    EXPECT_EQ(resolvedUrl("x", "https://host?q"), "https://host/x");
}

// A host's dialect: ads carried in an extension element that the built-in readers pass
// over (the "Ad"'s first child is not "InLine" or "Wrapper").
class HostExtensionParser : public VASTVersionParser {
    RT_CLASS(HostExtensionParser, VASTVersionParser)
public:
    bool isParsable(const VASTElement& root) const override {
        if (!root.hasName("VAST")) return false;
        for (const VASTElement& ad : root.children())
            if (ad.firstChild().hasName("Extension") && ad.firstChild().attribute("type") == "host-linear") return true;
        return false;
    }
    VASTAdList parse(const VASTElement& root) const override {
        VASTAdList ads;
        for (VASTElement ad = root.firstChild(); ad; ad = ad.nextSibling()) {
            VASTElement extension = ad.child("Extension");
            if (!extension) continue;
            auto element = rt::make<VASTAdElement>();
            for (const VASTElement& part : extension.children()) {
                if (part.name() == "Beacon") {
                    element->trackingEvents[std::string(part.attribute("event").value_or(""))].insert(part.trimmedText());
                } else if (part.hasName("Pixel")) {
                    element->impressions.push_back(part.trimmedText());
                } else if (part.hasName("Media")) {
                    auto file = rt::make<VASTMediaFile>();
                    for (VASTAttribute a : part.attributes()) {
                        if (a.name == "type") file->type = std::string(a.value);
                        else if (a.name == "width") file->width = std::stoi(std::string(a.value));
                    }
                    file->url = part.trimmedText();
                    element->mediaFiles.push_back(file);
                } else if (part.hasName("Length")) {
                    element->duration = part.text();
                }
            }
            ads.push_back(element);
        }
        ads.push_back(nullptr);  // a hole in a host's list is passed over
        return ads;
    }
};

TEST(VASTParser, AHostAddsADialectOfItsOwn) {
    std::string pixels;
    for (int i = 0; i < 70; ++i) pixels += "<Pixel>p" + std::to_string(i) + "</Pixel>";
    const std::string document = vast2("2.0", R"(<Ad><Extension type="host-linear">
        <Media width="640" type="video/mp4"><![CDATA[ //cdn.example/]]>ad.mp4</Media>
        <Beacon event="start"> /b?e=start&amp;x=1 </Beacon><Beacon event="start">data:,x</Beacon>
        <Length>00:00:15</Length>)" + pixels + R"(
      </Extension></Ad>)");
    auto parser = rt::make<VASTParser>();
    EXPECT_TRUE(parser->parse(document)->empty()) << "the built-in dialects see no ad here";

    parser->versionParsers.insert(parser->versionParsers.begin(), &HostExtensionParser::staticClass());
    auto ads = parser->parse(document, "https://ads.example/tag");
    ASSERT_TRUE(ads);
    ASSERT_EQ(ads->size(), 1u);
    const auto& ad = *(*ads)[0];
    ASSERT_EQ(ad.mediaFiles.size(), 1u);
    EXPECT_EQ(ad.mediaFiles[0]->url, "https://cdn.example/ad.mp4");
    EXPECT_EQ(ad.mediaFiles[0]->width, 640);
    EXPECT_TRUE(ad.testIfPlayableMediaFileIsAvailable());
    EXPECT_EQ(ad.duration, "00:00:15");
    // The same URL rules as the built-in dialects: resolved, http(s) only, bounded.
    EXPECT_EQ(urls(ad.trackingEvents, "start"), (std::vector<std::string>{"https://ads.example/b?e=start&x=1"}));
    ASSERT_EQ(ad.impressions.size(), 64u);
    EXPECT_EQ(ad.impressions[0], "https://ads.example/p0");

    // A document without the extension goes on to the built-in dialect.
    auto plain = parser->parse(vast2("2.0", "<Ad><InLine><Creatives><Creative><Linear/></Creative></Creatives></InLine></Ad>"));
    ASSERT_TRUE(plain);
    EXPECT_EQ(plain->size(), 1u);
}

static_assert(std::forward_iterator<VASTChildIterator>);
static_assert(std::forward_iterator<VASTElement::AttributeIterator>);

TEST(VASTElement, IteratorsStepOnAfterHandingOutWhereTheyStood) {
    VASTXmlDocument document;
    ASSERT_TRUE(document.load(R"(<r a="1" b="2"><c1/><c2/></r>)"));
    VASTElement root = document.rootElement();
    auto children = root.children();
    VASTChildIterator child = children.begin();
    VASTChildIterator before = child++;
    EXPECT_EQ(before->name(), "c1");
    EXPECT_EQ(child->name(), "c2");
    EXPECT_EQ((child++)->name(), "c2");
    EXPECT_TRUE(child == children.end());
    auto attribute = root.attributes().begin();
    EXPECT_EQ((*attribute++).name, "a");
    EXPECT_EQ((*attribute).value, "2");
    EXPECT_TRUE(++attribute == root.attributes().end());
    EXPECT_EQ(std::distance(root.children().begin(), root.children().end()), 2);
}

TEST(VASTElement, SeesTheDocumentAsTheReadersDo) {
    VASTXmlDocument document;
    ASSERT_TRUE(document.load(R"(<r a="1" b="x &amp; y">lead<!-- c --><c1 k="v"> t<![CDATA[ & ]]>u </c1>mid<?p i?><c2/>tail</r>)"));
    VASTElement root = document.rootElement();
    ASSERT_TRUE(root);
    EXPECT_EQ(root.name(), "r");
    EXPECT_TRUE(root.hasName("r"));
    EXPECT_FALSE(root.hasName("R"));
    EXPECT_FALSE(root.hasName("r2"));
    EXPECT_FALSE(root.hasName(""));
    EXPECT_EQ(root.attribute("b"), "x & y");
    EXPECT_FALSE(root.attribute("B"));
    std::vector<std::string> attributes;
    for (VASTAttribute a : root.attributes()) attributes.push_back(std::string(a.name) + "=" + std::string(a.value));
    EXPECT_EQ(attributes, (std::vector<std::string>{"a=1", "b=x & y"}));
    std::vector<std::string> children;
    for (const VASTElement& child : root.children()) children.emplace_back(child.name());
    EXPECT_EQ(children, (std::vector<std::string>{"c1", "c2"}));  // text between them is no child
    VASTElement c1 = root.firstChild();
    EXPECT_EQ(c1.text(), " t & u ");
    EXPECT_EQ(c1.trimmedText(), "t & u");
    EXPECT_EQ(root.text(), "lead t & u midtail");
    EXPECT_EQ(c1.nextSibling(), root.child("c2"));
    EXPECT_FALSE(root.child("c2").nextSibling());
    EXPECT_FALSE(root.child("c3"));
    EXPECT_FALSE(c1.firstChild());
    // No element: every question has an empty answer.
    VASTElement none;
    EXPECT_EQ(none.name(), "");
    EXPECT_FALSE(none.hasName(""));
    EXPECT_FALSE(none.attribute("a"));
    EXPECT_EQ(none.text(), "");
    EXPECT_FALSE(none.firstChild());
    EXPECT_FALSE(none.nextSibling());
    EXPECT_TRUE(none.children().begin() == none.children().end());
    EXPECT_TRUE(none.attributes().begin() == none.attributes().end());
}

TEST(VASTParser, VersionParsersAreTriedInTheirOrderEachMadeAfresh) {
    auto parser = rt::make<VASTParser>();
    ASSERT_EQ(parser->versionParsers.size(), 2u);
    EXPECT_EQ(parser->versionParsers[0]->name(), "VASTVersion1Parser");
    EXPECT_EQ(parser->versionParsers[1]->name(), "VASTVersion2Parser");
    const std::string inlineAd = "<Ad><InLine><Creatives><Creative><Linear/></Creative></Creatives></InLine></Ad>";
    // Without the second dialect a VAST 2 document is read by no one.
    parser->versionParsers.pop_back();
    EXPECT_FALSE(parser->parse(vast2("2.0", inlineAd)));
    EXPECT_TRUE(parser->parse("<VideoAdServingTemplate/>"));
    // A class that is not a version parser is passed over.
    parser->versionParsers = {&VASTAdElement::staticClass(), rt::Class::named("VASTVersion2Parser")};
    ASSERT_TRUE(parser->parse(vast2("2.0", inlineAd)));
    EXPECT_EQ(parser->parse(vast2("2.0", inlineAd))->size(), 1u);
    EXPECT_FALSE(parser->parse("<VideoAdServingTemplate/>"));
}

TEST(VASTAdElement, FillsParameters) {
    EXPECT_EQ(VASTAdElement::getString("a/b", nullptr), "a/b");
    EXPECT_EQ(VASTAdElement::getString("a/b?", nullptr), "a/b?");
    EXPECT_EQ(VASTAdElement::getString("a/b?x=1?y=2", nullptr), "a/b?x=1?y=2");
    EXPECT_EQ(VASTAdElement::getString("a/b?k&v=&w=1&z=a=b", nullptr), "a/b?k&v=&w=1&z=a=b");
    VASTParameterValues values{{"{cb}", "7"}};
    EXPECT_EQ(VASTAdElement::getString("a/b?cb={cb}&t={a}{b}", &values), "a/b?cb=7&t=");
    EXPECT_EQ(VASTAdElement::getString("a/b?x={cb}{cb}&p=q={cb}", &values), "a/b?x=77&p=q=7");
    EXPECT_TRUE(VASTAdElement::getParametersFromString("x}{y}").empty());
    EXPECT_EQ(VASTAdElement::getParametersFromString("{a}{b}"), (std::vector<std::string>{"{a}", "{b}"}));
    EXPECT_EQ(VASTAdElement::getParametersFromString("{a{b}"), (std::vector<std::string>{"{a{b}"}));

    auto ad = rt::make<VASTAdElement>();
    ad->impressions = {"http://i?cb={cb}"};
    ad->trackingEvents["start"].insert("http://t?cb={cb}&x=1");
    ad->videoClicks["ClickTracking"].insert("http://c?r={r}");
    ad->wrapperUrl = "http://w?cb={cb}";
    ad->setParametersWithValues(nullptr);
    EXPECT_EQ(ad->impressions[0], "http://i?cb=");
    EXPECT_EQ(urls(ad->trackingEvents, "start"), (std::vector<std::string>{"http://t?cb=&x=1"}));
    EXPECT_EQ(urls(ad->videoClicks, "ClickTracking"), (std::vector<std::string>{"http://c?r="}));
    EXPECT_EQ(ad->wrapperUrl, "http://w?cb=");
}

TEST(VASTAdElement, RepairsMediaUrlsAndChecksPlayability) {
    auto file = [](std::optional<std::string> url, std::string type) {
        auto f = rt::make<VASTMediaFile>();
        f->url = std::move(url);
        f->type = std::move(type);
        return f;
    };
    auto ad = rt::make<VASTAdElement>();
    EXPECT_FALSE(ad->testIfPlayableMediaFileIsAvailable());
    ad->mediaFiles = {file(std::nullopt, "video/mp4"), file("http://m/a b.mp4", "video/mp4"), file("", "video/mp4"),
                      file("http://m/ok.mp4?x=%41", "VIDEO/MP4")};
    ad->urlEncodeIfNeeded();
    ASSERT_EQ(ad->mediaFiles.size(), 2u);
    EXPECT_EQ(ad->mediaFiles[0]->url, "http://m/a%20b.mp4");
    EXPECT_EQ(ad->mediaFiles[1]->url, "http://m/ok.mp4?x=%41");
    EXPECT_TRUE(ad->testIfPlayableMediaFileIsAvailable());
    ad->mediaFiles = {file("http://m/x.mp4", "Video/MP4")};
    EXPECT_TRUE(ad->testIfPlayableMediaFileIsAvailable());  // one rule for the MIME type: case-insensitive
    ad->mediaFiles = {file("http://m/x.flv", "video/x-flv")};
    EXPECT_FALSE(ad->testIfPlayableMediaFileIsAvailable());
}

TEST(UrlEscaping, MediaUrlRepairByteByByte) {
    for (int b = 0; b < 256; ++b) {
        std::string in(1, static_cast<char>(b));
        bool kept = (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') || (b >= '0' && b <= '9') ||
                    std::string("-._~:/?#[]@!$&'()*+,;=").find(static_cast<char>(b)) != std::string::npos;
        char hex[4];
        std::snprintf(hex, sizeof hex, "%%%02X", b);
        EXPECT_EQ(mediaUrlEscaped(in), kept && b != 0 ? in : std::string(hex)) << b;
    }
    EXPECT_EQ(mediaUrlEscaped("a b"), "a%20b");
    EXPECT_EQ(mediaUrlEscaped("\xC3\xBC"), "%C3%BC");
    EXPECT_EQ(mediaUrlEscaped("{t}"), "%7Bt%7D");
    EXPECT_EQ(mediaUrlEscaped("%41%zz%4"), "%41%25zz%254");
    EXPECT_FALSE(isValidUrlText("http://a/%4"));
    EXPECT_TRUE(isValidUrlText("http://a/%4a"));
}

TEST(UrlEscaping, QueryValueByteByByte) {
    for (int b = 0; b < 256; ++b) {
        std::string in(1, static_cast<char>(b));
        bool kept = (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') || (b >= '0' && b <= '9') || b == '-' ||
                    b == '.' || b == '_' || b == '~';
        char hex[4];
        std::snprintf(hex, sizeof hex, "%%%02X", b);
        EXPECT_EQ(queryValueEscaped(in), kept ? in : std::string(hex)) << b;
    }
    EXPECT_EQ(queryValueEscaped("a b/c,d"), "a%20b%2Fc%2Cd");
}

TEST(CPFetchRequestMediaFile, EqualityIsReflexiveAndHashConsistent) {
    auto make = [](std::optional<std::string> api) {
        return CPFetchRequestMediaFile::fetchRequestMediaFileWithIdentification("id", 2, "video/mp4", 300, 640, 360,
                                                                                false, true, api, "http://m/1.mp4");
    };
    auto a = make(std::nullopt), b = make(std::nullopt), c = make("VPAID");
    EXPECT_TRUE(a->isEqual(*a));
    EXPECT_TRUE(a->isEqual(*b));
    EXPECT_EQ(a->hash(), b->hash());
    EXPECT_FALSE(a->isEqual(*c));
    EXPECT_FALSE(a->isEqual(*rt::make<VASTMediaFile>()));
}

TEST(QXMediaPlayerResources, ImageLookupSplitsAtTheLastDot) {
    EXPECT_TRUE(QXMediaPlayerBundle());
    EXPECT_FALSE(imageNamedInLib("no.such.image.png"));
}

}  // namespace
