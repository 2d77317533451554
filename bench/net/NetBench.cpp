// Decoding and dispatching a "subscribeMessage" frame with a 2-KB "moduleInfo" object,
// against nlohmann-json parsing the same text alone; and the round trip of a frame
// through the client and the loopback media server. The decode and the parse also run
// as alternating pairs after the loopback server is up (the figures quoted).

#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>
#include <string>

#include "VexaWebSocketClient/QXVexaClusterConnection.h"
#include "VexaWebSocketClient/QXVexaService.h"
#include <fnd/RunLoop.h>

#include "peers/MediaServerPeer.h"
#include "peers/TestCertificates.h"
#include "AlternatingPairs.h"

namespace {

/// The loopback names and every host of the test service domain.
peers::TestCertificateAuthority::ServerCertificateOptions mediaTestCertificateOptions() {
    peers::TestCertificateAuthority::ServerCertificateOptions options;
    options.subjectAltNames += ",DNS:*.media.test";
    return options;
}


using namespace zid;

std::string moduleInfo() {
    QXVexaMessage modules = QXVexaMessage::object();
    modules["stream"] = {{"url", "https://cdn.media.test/live/123456/playlist.m3u8?token=abcdef0123456789"},
                         {"online", true}};
    modules["viewers"] = {{"count", 1234}, {"enabled", true}};
    modules["meta"] = {{"title", "An evening broadcast with a longer title than most"},
                       {"adFree", false},
                       {"mainCategoryId", 12},
                       {"mainCategoryName", "Science & Technology"},
                       {"keywords", {"space", "rockets", "live", "launch", "countdown"}}};
    modules["clientRateLimit"] = {{"deferred", 30}, {"immediate", 5}};
    QXVexaMessage sites = QXVexaMessage::array();
    for (int i = 0; modules.dump().size() < 2048; ++i) {
        sites.push_back({{"host", "edge" + std::to_string(i) + ".cdn.media.test"}, {"path", "/hls/"}, {"weight", i % 7},
                         {"ecdn", i % 3 == 0}});
        modules["cdnConfig"] = {{"services", {{{"name", "ECDN"}, {"sites", sites}}}}};
    }
    QXVexaMessage frame = {{"cmd", "subscribeMessage"},
                           {"args", {{{"subchannelId", 1}, {"messageData", {{"cmd", "moduleInfo"}, {"args", {modules}}}}}}}};
    return frame.dump();
}

const std::string& frameText() {
    static const std::string text = moduleInfo();
    return text;
}

/// A cluster connection with one live subscription on the loopback media server.
struct Fixture {
    Fixture() : peer(authority.issueServerCertificate(mediaTestCertificateOptions())) {
        (void)fnd::RunLoop::main();
        peer.start();
        QXVexaSocketSettings settings;
        settings.origin = "https://www.media.test";
        settings.socket.resolveHostTo = "127.0.0.1";
        settings.socket.portOverride = peer.port();
        settings.socket.extraTrustAnchorsPem = authority.certificatePem();
        settings.socket.pingInterval = 0;
        service = rt::make<QXVexaService>("eu1", "media.test", settings);
        subscription = rt::make<QXVexaSubscription>();
        subscription->setMediaID("123");
        subscription->setMediaType("channel");
        subscription->setBlock([this](QXVexaSubscriptionEvent event, const QXVexaMessage* message,
                                      const rt::Ref<rt::Error>&) {
            if (event == QXVexaSubscriptionEvent::Message && message) {
                ++messages;
                lastSize = message->size();
            }
        });
        service->subscribe(subscription);
        fnd::RunLoop::main()->runUntil([this] { return subscription->subscriptionID().has_value(); }, 10);
        connection = service->clusterConnections().at("eu1");
        peer.addRule(peers::MediaServerRule{
            "subscribeMessage", "echo",
            {{0, R"({"cmd":"subscribeMessage","args":[{"subchannelId":"$subchannelId","messageData":{"cmd":"echo","args":[]}}]})"}},
            false, false});
    }
    peers::TestCertificateAuthority authority;
    peers::MediaServerPeer peer;
    rt::Ref<QXVexaService> service;
    rt::Ref<QXVexaSubscription> subscription;
    rt::Ref<QXVexaClusterConnection> connection;
    long long messages = 0;
    std::size_t lastSize = 0;
};

Fixture& fixture() {
    static auto* f = new Fixture;
    return *f;
}

void BM_ParseOrderedJson(benchmark::State& state) {
    const std::string& text = frameText();
    for (auto _ : state) {
        auto parsed = nlohmann::ordered_json::parse(text, nullptr, false);
        benchmark::DoNotOptimize(parsed);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
    state.counters["frame_bytes"] = static_cast<double>(text.size());
}
BENCHMARK(BM_ParseOrderedJson);

void BM_ParseJson(benchmark::State& state) {
    const std::string& text = frameText();
    for (auto _ : state) {
        auto parsed = nlohmann::json::parse(text, nullptr, false);
        benchmark::DoNotOptimize(parsed);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_ParseJson);

void BM_DecodeAndDispatchSubscribeMessage(benchmark::State& state) {
    Fixture& f = fixture();
    if (!f.subscription->subscriptionID()) {
        state.SkipWithError("no live subscription on the loopback media server");
        return;
    }
    const std::string& text = frameText();
    long long before = f.messages;
    for (auto _ : state) f.connection->handleText(text);
    if (f.messages - before != state.iterations()) state.SkipWithError("a frame was not dispatched");
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_DecodeAndDispatchSubscribeMessage);

/// The two above as alternating pairs, both after the fixture exists: a side handles
/// 2,000 frames and answers the seconds per frame.
void BM_DecodeAndDispatchVsParse(benchmark::State& state) {
    Fixture& f = fixture();
    if (!f.subscription->subscriptionID()) {
        state.SkipWithError("no live subscription on the loopback media server");
        return;
    }
    const std::string& text = frameText();
    constexpr int kFrames = 2000;
    auto timed = [&](auto&& one) {
        auto started = std::chrono::steady_clock::now();
        for (int i = 0; i < kFrames; ++i) one();
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count() / kFrames;
    };
    zidbench::runAlternatingPairs(
        state, 31, "us", 1e6, [&] { return timed([&] { f.connection->handleText(text); }); },
        [&] {
            return timed([&] {
                auto parsed = nlohmann::ordered_json::parse(text, nullptr, false);
                benchmark::DoNotOptimize(parsed);
            });
        });
}
BENCHMARK(BM_DecodeAndDispatchVsParse)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_LoopbackRoundTrip(benchmark::State& state) {
    Fixture& f = fixture();
    if (!f.subscription->subscriptionID()) {
        state.SkipWithError("no live subscription on the loopback media server");
        return;
    }
    QXVexaMessage echo = {{"cmd", "echo"}, {"args", QXVexaMessage::array()}};
    auto loop = fnd::RunLoop::main();
    for (auto _ : state) {
        long long before = f.messages;
        f.service->sendMessage(&echo, f.subscription);
        while (f.messages == before) loop->runOnce(0.01);
    }
}
BENCHMARK(BM_LoopbackRoundTrip)->UseRealTime()->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    (void)fnd::RunLoop::main();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
