// Reading VAST documents (the whole road to the ads: the XML policy, the DOM and the
// dialect's readers) against pugixml building the DOM of the same text with the same
// options; and a fetch through one wrapper on the loopback ad server against two bare
// libcurl GETs of the same two documents and their bare parses.

#include <benchmark/benchmark.h>

#include <curl/curl.h>
#include <pugixml.hpp>

#include <chrono>
#include <ctime>
#include <string>

#include <QXMediaPlayer/Ad/VAST/VASTParser.h>
#include <QXMediaPlayer/Ad/ZeveVO/ZeveVoAdFetchRequestService.h>
#include <QXMediaPlayer/Ad/ZeveVO/ZeveVoResponse.h>
#include <fnd/RunLoop.h>

#include "Ad/VAST/VASTXmlDocument.h"
#include "AlternatingPairs.h"
#include "peers/AdServerPeer.h"

namespace {

using peers::AdServerPeer;
constexpr unsigned kPugiOptions = pugi::parse_cdata | pugi::parse_escapes | pugi::parse_eol | pugi::parse_wconv_attribute;

AdServerPeer::InlineAd sampleAd(int i) {
    std::string n = std::to_string(i);
    AdServerPeer::InlineAd ad;
    ad.impressions = {"https://impressions.ads.example/imp?ad=" + n + "&cb={cb}",
                      "https://third.party.example/pixel?id=" + n};
    for (const char* event : {"start", "firstQuartile", "midpoint", "thirdQuartile", "complete", "pause", "mute"})
        ad.tracking.emplace_back(event, std::string("https://track.ads.example/ev?e=") + event + "&ad=" + n + "&cb={cb}");
    ad.clickThrough = {"https://advertiser.example/landing?campaign=" + n};
    ad.clickTracking = {"https://track.ads.example/click?ad=" + n};
    ad.mediaFiles = {{"video/mp4", "https://cdn.ads.example/ads/" + n + "/720.mp4"},
                     {"video/webm", "https://cdn.ads.example/ads/" + n + "/720.webm"}};
    return ad;
}

const std::string& inline2K() {
    static const std::string text = AdServerPeer::inlineVast(sampleAd(1));
    return text;
}

// Many linear creatives in one inline ad.
const std::string& multi40K() {
    static const std::string text = [] {
        std::string one = AdServerPeer::inlineVast(sampleAd(1));
        auto begin = one.find("    <Creative>"), end = one.find("   </Creatives>");
        std::string creatives;
        for (int i = 0; creatives.size() < 38000; ++i) {
            std::string creative = AdServerPeer::inlineVast(sampleAd(i));
            auto from = creative.find("    <Creative>"), to = creative.find("   </Creatives>");
            creatives += creative.substr(from, to - from);
        }
        return one.substr(0, begin) + creatives + one.substr(end);
    }();
    return text;
}

void BM_PugiDom(benchmark::State& state, const std::string& text) {
    for (auto _ : state) {
        pugi::xml_document document;
        auto result = document.load_buffer(text.data(), text.size(), kPugiOptions, pugi::encoding_utf8);
        benchmark::DoNotOptimize(result.status);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

void BM_VastParse(benchmark::State& state, const std::string& text) {
    auto parser = rt::make<zid::VASTParser>();
    for (auto _ : state) {
        auto ads = parser->parse(text);
        if (!ads || ads->empty()) state.SkipWithError("no ad read");
        benchmark::DoNotOptimize(ads);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

// The XML policy's pass and the DOM, without reading any ad.
void BM_PolicyAndDom(benchmark::State& state, const std::string& text) {
    for (auto _ : state) {
        zid::VASTXmlDocument document;
        if (!document.load(text)) state.SkipWithError("refused");
        benchmark::DoNotOptimize(document.root());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

// The thread's CPU time: a parse does not wait, so preemption by the machine's other
// work does not count against either side.
double threadCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// One side of a pair: a batch of the work, its mean CPU time per document.
double batchCpu(int count, const std::function<bool()>& once) {
    double started = threadCpuSeconds();
    for (int i = 0; i < count; ++i)
        if (!once()) return -1;
    return (threadCpuSeconds() - started) / count;
}

// The parse to ads against the bare DOM, and the policy's pass plus the DOM against the
// bare DOM, as alternating pairs of batches.
void BM_VastParseVsDom(benchmark::State& state, const std::string& text, bool policyOnly) {
    auto parser = rt::make<zid::VASTParser>();
    int batch = text.size() > 10000 ? 20 : 400;
    auto framework = [&] {
        return batchCpu(batch, [&] {
            if (policyOnly) {
                zid::VASTXmlDocument document;
                return document.load(text);
            }
            auto ads = parser->parse(text);
            return ads && !ads->empty();
        });
    };
    auto bare = [&] {
        return batchCpu(batch, [&] {
            pugi::xml_document document;
            return static_cast<bool>(document.load_buffer(text.data(), text.size(), kPugiOptions, pugi::encoding_utf8));
        });
    };
    zidbench::runAlternatingPairs(state, 41, "us", 1e6, framework, bare);
}
BENCHMARK_CAPTURE(BM_VastParseVsDom, inline2K, inline2K(), false)->UseManualTime()->Iterations(1);
BENCHMARK_CAPTURE(BM_VastParseVsDom, multi40K, multi40K(), false)->UseManualTime()->Iterations(1);
BENCHMARK_CAPTURE(BM_VastParseVsDom, policy_inline2K, inline2K(), true)->UseManualTime()->Iterations(1);
BENCHMARK_CAPTURE(BM_VastParseVsDom, policy_multi40K, multi40K(), true)->UseManualTime()->Iterations(1);

BENCHMARK_CAPTURE(BM_PugiDom, inline2K, inline2K());
BENCHMARK_CAPTURE(BM_PolicyAndDom, inline2K, inline2K());
BENCHMARK_CAPTURE(BM_VastParse, inline2K, inline2K());
BENCHMARK_CAPTURE(BM_PugiDom, multi40K, multi40K());
BENCHMARK_CAPTURE(BM_PolicyAndDom, multi40K, multi40K());
BENCHMARK_CAPTURE(BM_VastParse, multi40K, multi40K());

struct Server {
    Server() {
        peer.start();
        AdServerPeer::InlineAd ad = sampleAd(1);
        ad.mediaFiles = {{"video/mp4", peer.url("/media/ad.mp4")}};
        inlineDocument = AdServerPeer::inlineVast(ad);
        wrapperDocument = AdServerPeer::wrapperVast(peer.url("/inline"), {peer.url("/imp/w")}, {{"start", peer.url("/ev/w")}});
        peer.script("/ad", {AdServerPeer::Answer::vast(wrapperDocument)});
        peer.script("/inline", {AdServerPeer::Answer::vast(inlineDocument)});
    }
    AdServerPeer peer;
    std::string inlineDocument, wrapperDocument;
};

Server& server() {
    static Server s;
    return s;
}

std::size_t collect(char* data, std::size_t size, std::size_t count, void* into) {
    static_cast<std::string*>(into)->append(data, size * count);
    return size * count;
}

std::string bareGet(const std::string& url) {
    std::string body;
    CURL* curl = curl_easy_init();
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, collect);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, 10L);
    curl_easy_perform(curl);
    curl_easy_cleanup(curl);
    return body;
}

void BM_BareTwoGetsAndParses(benchmark::State& state) {
    auto& s = server();
    for (auto _ : state) {
        for (const char* path : {"/ad", "/inline"}) {
            std::string body = bareGet(s.peer.url(path));
            pugi::xml_document document;
            auto result = document.load_buffer(body.data(), body.size(), kPugiOptions, pugi::encoding_utf8);
            if (!result) state.SkipWithError("bare parse failed");
        }
    }
}
BENCHMARK(BM_BareTwoGetsAndParses)->UseRealTime()->Unit(benchmark::kMicrosecond);

// One fetch through the service on the main loop: the wrapper, then the inline ad.
class Fetcher {
public:
    Fetcher() {
        service_->setZeveVOBaseURL(server().peer.url("/ad"));
    }
    bool fetch() {
        bool done = false, failed = false;
        auto request = service_->adRequestWithSetting(
            settings_, "zone", [&](const rt::Ref<zid::ZeveVoResponse>&) { done = true; },
            [&](const rt::Ref<rt::Error>&) { done = failed = true; });
        request->start();
        return fnd::RunLoop::main()->runUntil([&] { return done; }, 10) && !failed;
    }

private:
    rt::Ref<zid::ZeveVoAdFetchRequestService> service_ = rt::make<zid::ZeveVoAdFetchRequestService>();
    rt::Ref<zid::CPAdSettings> settings_ = rt::make<zid::CPAdSettings>();
};

void BM_FetchThroughOneWrapper(benchmark::State& state) {
    Fetcher fetcher;
    for (auto _ : state)
        if (!fetcher.fetch()) state.SkipWithError("the fetch failed");
}
BENCHMARK(BM_FetchThroughOneWrapper)->UseRealTime()->Unit(benchmark::kMicrosecond);

double wallSeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// The two as alternating pairs of batches of ten, in wall time.
void BM_FetchVsBareGets(benchmark::State& state) {
    auto& s = server();
    Fetcher fetcher;
    constexpr int kBatch = 10;
    auto framework = [&] {
        double started = wallSeconds();
        for (int i = 0; i < kBatch; ++i)
            if (!fetcher.fetch()) return -1.0;
        return (wallSeconds() - started) / kBatch;
    };
    auto bare = [&] {
        double started = wallSeconds();
        for (int i = 0; i < kBatch; ++i)
            for (const char* path : {"/ad", "/inline"}) {
                std::string body = bareGet(s.peer.url(path));
                pugi::xml_document document;
                if (!document.load_buffer(body.data(), body.size(), kPugiOptions, pugi::encoding_utf8)) return -1.0;
            }
        return (wallSeconds() - started) / kBatch;
    };
    framework();  // the first connection and the client's thread are paid by neither side
    bare();
    zidbench::runAlternatingPairs(state, 41, "us", 1e6, framework, bare);
}
BENCHMARK(BM_FetchVsBareGets)->Name("FetchThroughOneWrapperVsBare")->UseManualTime()->Iterations(1);

}  // namespace

int main(int argc, char** argv) {
    (void)fnd::RunLoop::main();
    curl_global_init(CURL_GLOBAL_DEFAULT);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
