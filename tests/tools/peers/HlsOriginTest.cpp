// The loopback HLS origin: fixtures, scripted answers, held-back answers, the live
// window on its own clock, TLS with the test authority, and a refusing port.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>

#include <httplib.h>

#include <peers/HlsFixtures.h>
#include <peers/HlsOrigin.h>
#include <peers/TestCertificates.h>

#include "ScratchDirectory.h"

namespace {

using peers::HlsOrigin;

class HlsOriginTest : public ::testing::Test {
protected:
    void SetUp() override {
        fixtures = peers::HlsFixtures::ensureDefault();
        origin = std::make_unique<HlsOrigin>(fixtures);
        origin->setLiveClock([this] { return liveNow.load(); });
        origin->start();
        client = std::make_unique<httplib::Client>("127.0.0.1", origin->port());
        client->set_connection_timeout(5);
        client->set_read_timeout(15);
    }

    std::string fixtures;
    std::atomic<double> liveNow{100.0};
    std::unique_ptr<HlsOrigin> origin;
    std::unique_ptr<httplib::Client> client;
};

TEST_F(HlsOriginTest, FixturesAreCompleteAndPatchedForTheEngine) {
    namespace fs = std::filesystem;
    for (int i = 0; i < peers::HlsFixtures::segmentCount; ++i) {
        EXPECT_GT(fs::file_size(fs::path(fixtures) / "muxed" / ("seg" + std::to_string(i) + ".ts")), 10'000u);
        std::ifstream vtt(fs::path(fixtures) / "subs_eng" / ("sub" + std::to_string(i) + ".vtt"));
        std::string text((std::istreambuf_iterator<char>(vtt)), {});
        ASSERT_GE(text.size(), 2u);
        EXPECT_EQ(text.substr(text.size() - 2), "\n\n") << "every cue file ends with a blank line";
    }
    std::ifstream master(fs::path(fixtures) / "master.m3u8");
    std::string text((std::istreambuf_iterator<char>(master)), {});
    EXPECT_NE(text.find("TYPE=SUBTITLES,GROUP-ID=\"subs\",LANGUAGE=\"en\""), std::string::npos);
    EXPECT_NE(text.find("NAME=\"ENG\""), std::string::npos);
    EXPECT_NE(text.find("NAME=\"FRA\""), std::string::npos);
    EXPECT_EQ(peers::HlsFixtures::ensure(fixtures), fixtures) << "a complete set is reused";
}

TEST_F(HlsOriginTest, ServesFixturesAndCountsRequestsAndBytes) {
    auto res = client->Get("/vod/muxed/index.m3u8");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 200);
    EXPECT_EQ(res->get_header_value("Content-Type"), "application/vnd.apple.mpegurl");
    EXPECT_NE(res->body.find("#EXT-X-ENDLIST"), std::string::npos);
    auto seg = client->Get("/tag/a/vod/muxed/seg0.ts");
    ASSERT_TRUE(seg);
    EXPECT_EQ(seg->get_header_value("Content-Type"), "video/mp2t");
    EXPECT_EQ(origin->bytesServed("/tag/a/vod/muxed/seg0.ts"), static_cast<long long>(seg->body.size()));
    EXPECT_EQ(origin->requestCount("/tag/a/vod/muxed/seg0.ts"), 1);
    EXPECT_EQ(origin->requestCount("/vod/muxed/seg0.ts"), 0) << "tagged paths count apart";
    EXPECT_EQ(client->Get("/vod/../../etc/passwd")->status, 404);
    EXPECT_EQ(client->Get("/elsewhere")->status, 404);
    EXPECT_EQ(origin->bytesServed("/elsewhere"), 0) << "error bodies are not media bytes";
}

TEST_F(HlsOriginTest, ScriptedAnswersPlayInOrderAndTheLastRepeats) {
    origin->script("/ready/index.m3u8", {HlsOrigin::Answer::progressed(10), HlsOrigin::Answer::progressed(55),
                                         HlsOrigin::Answer::noContent(), HlsOrigin::Answer::forbidden(),
                                         HlsOrigin::Answer::serverError(), HlsOrigin::Answer::status200("#EXTM3U\n")});
    std::vector<int> statuses;
    std::vector<std::string> bodies;
    for (int i = 0; i < 7; ++i) {
        auto res = client->Get("/ready/index.m3u8");
        ASSERT_TRUE(res);
        statuses.push_back(res->status);
        bodies.push_back(res->body);
    }
    EXPECT_EQ(statuses, (std::vector<int>{202, 202, 204, 403, 500, 200, 200}));
    EXPECT_EQ(bodies[0], "#PROGRESSED 10%");
    EXPECT_EQ(bodies[1], "#PROGRESSED 55%");
    EXPECT_EQ(bodies[5], "#EXTM3U\n");
    EXPECT_EQ(origin->requestCount("/ready/index.m3u8"), 7);

    origin->script("/vod/muxed/index.m3u8", {HlsOrigin::Answer::notFound(), HlsOrigin::Answer::status200()});
    EXPECT_EQ(client->Get("/vod/muxed/index.m3u8")->status, 404);
    auto res = client->Get("/vod/muxed/index.m3u8");
    EXPECT_EQ(res->status, 200);
    EXPECT_NE(res->body.find("seg0.ts"), std::string::npos) << "a bare 200 serves the file";

    origin->script("/drop", {HlsOrigin::Answer::dropped()});
    auto dropped = client->Get("/drop");
    EXPECT_TRUE(!dropped || dropped->body.size() < 1024) << "the connection ends before a complete answer";
}

TEST_F(HlsOriginTest, AnEndlessAnswerRepeatsTheFileInChunksUntilTheClientLeaves) {
    std::ifstream file(fixtures + "/muxed/seg0.ts", std::ios::binary);
    std::string segment((std::istreambuf_iterator<char>(file)), {});
    ASSERT_FALSE(segment.empty());
    origin->script("/vod/muxed/seg0.ts", {HlsOrigin::Answer::endlessBody()});
    std::string received;
    auto res = client->Get("/vod/muxed/seg0.ts", [&](const char* data, std::size_t size) {
        received.append(data, size);
        return received.size() < 3 * segment.size();  // then leave
    });
    EXPECT_GE(received.size(), 3 * segment.size());
    EXPECT_EQ(received.substr(0, segment.size()), segment);
    EXPECT_EQ(received.substr(segment.size(), segment.size()), segment) << "the file again";
    // A body given in the script is repeated in its place.
    origin->script("/endless", {HlsOrigin::Answer::endlessBody("0123456789")});
    received.clear();
    client->Get("/endless", [&](const char* data, std::size_t size) {
        received.append(data, size);
        return received.size() < 100'000;
    });
    EXPECT_EQ(received.substr(0, 20), "01234567890123456789");
}

TEST_F(HlsOriginTest, HeldBackAnswersWaitAndStopReleasesThem) {
    // Held a second: a loopback answer on a loaded machine comes well within it.
    origin->holdBack("/vod/muxed/seg1.ts", 1.0, 1);
    auto started = std::chrono::steady_clock::now();
    ASSERT_TRUE(client->Get("/vod/muxed/seg1.ts"));
    double first = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    EXPECT_GE(first, 1.0);
    started = std::chrono::steady_clock::now();
    ASSERT_TRUE(client->Get("/vod/muxed/seg1.ts"));
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count(), 1.0) << "held once only";

    origin->holdBack("/vod/muxed/seg2.ts", 60, -1);
    std::thread waiting([&] { client->Get("/vod/muxed/seg2.ts"); });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    started = std::chrono::steady_clock::now();
    origin->stop();
    waiting.join();
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count(), 10.0);
}

TEST_F(HlsOriginTest, AnAnswerNeverGivenKeepsTheRequestOpenUntilTheOriginStops) {
    origin->script("/tag/never/vod/muxed/seg1.ts", {HlsOrigin::Answer::neverAnswered()});
    httplib::Client impatient("127.0.0.1", origin->port());
    impatient.set_read_timeout(0, 300'000);
    EXPECT_FALSE(impatient.Get("/tag/never/vod/muxed/seg1.ts")) << "taken, and nothing answered";
    EXPECT_EQ(origin->requestCount("/tag/never/vod/muxed/seg1.ts"), 1);
    ASSERT_TRUE(client->Get("/tag/never/vod/muxed/seg2.ts")) << "the other paths answer meanwhile";
    std::thread waiting([&] { client->Get("/tag/never/vod/muxed/seg1.ts"); });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    auto started = std::chrono::steady_clock::now();
    origin->stop();
    waiting.join();
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count(), 10.0);
}

TEST_F(HlsOriginTest, TheLiveWindowSlidesOnTheOriginsClock) {
    auto first = client->Get("/live/index.m3u8")->body;
    EXPECT_NE(first.find("#EXT-X-MEDIA-SEQUENCE:0\n"), std::string::npos);
    EXPECT_EQ(first.find("#EXT-X-ENDLIST"), std::string::npos) << "a live playlist has no end";
    EXPECT_NE(first.find("seg0.ts\n#EXTINF:2.000000,\nseg1.ts\n#EXTINF:2.000000,\nseg2.ts"), std::string::npos);
    liveNow = 101.9;
    EXPECT_EQ(client->Get("/live/index.m3u8")->body, first) << "moves only by whole segments";
    liveNow = 110.0;  // five segments later the loop starts again
    auto later = client->Get("/live/index.m3u8")->body;
    EXPECT_NE(later.find("#EXT-X-MEDIA-SEQUENCE:5\n"), std::string::npos);
    EXPECT_NE(later.find("#EXT-X-DISCONTINUITY-SEQUENCE:0\n#EXT-X-DISCONTINUITY\n#EXTINF:2.000000,\nseg5.ts"), std::string::npos);
    liveNow = 112.0;
    EXPECT_NE(client->Get("/live/index.m3u8")->body.find("#EXT-X-DISCONTINUITY-SEQUENCE:1\n"), std::string::npos);
    auto seg7 = client->Get("/live/seg7.ts");
    auto seg2 = client->Get("/vod/muxed/seg2.ts");
    EXPECT_EQ(seg7->body, seg2->body) << "live segment 7 is fixture segment 2";
}

TEST_F(HlsOriginTest, ServesOverTlsWithTheTestAuthority) {
    peers::TestCertificateAuthority authority;
    HlsOrigin secure(fixtures, authority.issueServerCertificate());
    secure.start();
    EXPECT_EQ(secure.baseURL().rfind("https://127.0.0.1:", 0), 0u);
    zidtest::ScratchDirectory scratch;
    auto caFile = scratch.path() / "ca.pem";
    std::ofstream(caFile) << authority.certificatePem();
    httplib::SSLClient tls("127.0.0.1", secure.port());
    tls.set_ca_cert_path(caFile.string());
    tls.enable_server_certificate_verification(true);
    auto res = tls.Get("/vod/master.m3u8");
    ASSERT_TRUE(res) << httplib::to_string(res.error());
    EXPECT_EQ(res->status, 200);
    EXPECT_NE(res->body.find("#EXT-X-STREAM-INF"), std::string::npos);
    httplib::SSLClient untrusting("127.0.0.1", secure.port());
    untrusting.enable_server_certificate_verification(true);
    EXPECT_FALSE(untrusting.Get("/vod/master.m3u8")) << "an unknown authority is refused";
}

TEST_F(HlsOriginTest, AClosedPortRefusesConnections) {
    auto url = HlsOrigin::closedPortURL("/index.m3u8");
    auto colon = url.rfind(':');
    int port = std::stoi(url.substr(colon + 1));
    EXPECT_GT(port, 0);
    httplib::Client refused("127.0.0.1", port);
    refused.set_connection_timeout(2);
    auto res = refused.Get("/index.m3u8");
    EXPECT_FALSE(res);
    EXPECT_EQ(res.error(), httplib::Error::Connection);
}

}  // namespace
