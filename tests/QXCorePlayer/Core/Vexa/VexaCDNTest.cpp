// The CDN model, content access points, and selection by measured latency over loopback:
// ICMP echo to 127.0.0.1, an unroutable test-net address, and ECDN sites on a loopback
// HTTP origin answering 200, 404 or too late.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <set>
#include <thread>

#include <httplib.h>

#include "Core/Vexa/QXCDNAvailability.h"
#include "Core/Vexa/QXCDNLocationTester.h"
#include <QXCorePlayer/Core/Vexa/QXCDNServiceSelector.h>
#include "Core/Vexa/QXCDNServiceTester.h"
#include "Core/Vexa/QXLatencyMeasurer.h"
#include "Core/Vexa/QXPingMeasurer.h"
#include <QXCorePlayer/VexaWebSocketClient/Model/QXVexaClientAccessInfo.h>
#include <QXCorePlayer/VexaWebSocketClient/Model/VexaLogoInfo.h>
#include <QXFoundation/Log/QXLogger.h>
#include <RudoreVaz/Task/OperationTasks/AKOperationTaskManager.h>
#include <fnd/RunLoop.h>
#include <net/Errors.h>
#include <net/IcmpSocket.h>
#include <rt/Exception.h>

#include "VirtualTime.h"

namespace {

using namespace zid;
using Sites = std::vector<rt::Ref<QXCDNSite>>;

double seconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

/// Runs the main loop until the task ended.
bool waitForEnd(const rt::Ref<AKOperationTask>& task, double timeout = 10) {
    return fnd::RunLoop::main()->runUntil([&] { return task->isFinished(); }, timeout);
}

/// Adds the task to the queue the connected source uses.
void enqueue(const rt::Ref<AKOperationTask>& task) { cdnTaskQueue("CDNSelectionTests")->addTask(task); }

/// An HTTP origin on 127.0.0.1: "/ok<ms>/ping" answers 200 after that many
/// milliseconds, "/missing/ping" 404.
class LoopbackOrigin {
public:
    LoopbackOrigin() {
        server_.Get(R"(/ok(\d+)/ping)", [this](const httplib::Request& request, httplib::Response& response) {
            int now = ++inFlight_;
            for (int seen = maxInFlight_.load(); now > seen && !maxInFlight_.compare_exchange_weak(seen, now);) {
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(std::stoi(request.matches[1])));
            --inFlight_;
            response.set_content("pong", "text/plain");
        });
        server_.Get("/missing/ping", [](const httplib::Request&, httplib::Response& response) { response.status = 404; });
        port_ = server_.bind_to_any_port("127.0.0.1");
        thread_ = std::thread([this] { server_.listen_after_bind(); });
    }
    ~LoopbackOrigin() {
        server_.stop();
        thread_.join();
    }
    std::string host() const { return "127.0.0.1:" + std::to_string(port_); }
    rt::Ref<QXCDNSite> site(const std::string& path) const { return ECDNBox::siteWithProtocol("http", host(), path); }
    /// The most requests the origin was answering at once.
    int maxInFlight() const { return maxInFlight_.load(); }

private:
    std::atomic<int> inFlight_{0}, maxInFlight_{0};
    httplib::Server server_;
    std::thread thread_;
    int port_ = 0;
};

bool icmpAvailable() {
    rt::Ref<rt::Error> error;
    auto socket = net::IcmpSocket::open(AF_INET, &error);
    return socket != nullptr;
}

// ---- model and access points --------------------------------------------------------

TEST(VexaCDNModel, EcdnProbePathJoinsWithOneSlash) {
    EXPECT_EQ(ECDNBox::siteWithProtocol("https", "e.test", "/x/")->probeURL(), "https://e.test/x/ping");
    EXPECT_EQ(ECDNBox::siteWithProtocol("https", "e.test", "/x")->probeURL(), "https://e.test/x/ping");
    EXPECT_EQ(ECDNBox::siteWithProtocol("http", "e.test:8080", "")->probeURL(), "http://e.test:8080/ping");
    EXPECT_TRUE(QXCDNService::serviceWithName("eCdN", true, {})->isECDN());
    EXPECT_FALSE(QXCDNService::serviceWithName("ECDN2", true, {})->isECDN());
}

TEST(VexaCDNModel, DescriptionsNameTheirFields) {
    auto site = QXCDNSite::siteWithProtocol("https", "h.test", "/p/");
    auto location = QXCDNLocation::locationWithName("fra", true, {site});
    auto service = QXCDNService::serviceWithName("akam", false, {location});
    EXPECT_NE(site->description().find(" host='h.test' path='/p/'"), std::string::npos);
    EXPECT_NE(location->description().find(" name='fra' fallback='1' sites='"), std::string::npos);
    EXPECT_NE(service->description().find(" name='akam' useBestSite='0' locations='"), std::string::npos);
    EXPECT_FALSE(service->isEqual(*QXCDNService::serviceWithName("akam", false, {location})));
}

TEST(VexaAccessPoints, AppendPointAddsTheSiteAsAQueryItem) {
    auto site = QXCDNSite::siteWithProtocol("https", "edge.test", "/live/");
    auto append = QXVexaClientAppendContentAccessPoint::accessPointWithParameterName("cdn", "https://o.test/a.m3u8?t=1");
    EXPECT_TRUE(append->needsCDN());
    EXPECT_EQ(append->URLWithCDNSite(site), "https://o.test/a.m3u8?t=1&cdn=edge.test/live/");
    EXPECT_EQ(append->URLWithCDNSite(nullptr), std::nullopt);
    auto plain = QXVexaClientAppendContentAccessPoint::accessPointWithParameterName("cdn", "https://o.test/a.m3u8");
    EXPECT_EQ(plain->URLWithCDNSite(site), "https://o.test/a.m3u8?cdn=edge.test/live/");

    auto direct = QXVexaClientDirectContentAccessPoint::accessPointWithProvider("p", "https://o.test/v.mp4");
    EXPECT_FALSE(direct->needsCDN());
    EXPECT_EQ(direct->URLWithCDNSite(site), "https://o.test/v.mp4");
    EXPECT_EQ(direct->URLWithCDNSite(nullptr), "https://o.test/v.mp4");
    EXPECT_NE(direct->description().find(" provider:p url:https://o.test/v.mp4"), std::string::npos);

    auto base = rt::make<QXVexaClientContentAccessPoint>();
    try {
        base->URLWithCDNSite(site);
        FAIL() << "the base answered";
    } catch (const rt::Exception& e) {
        EXPECT_EQ(e.name(), rt::Exception::InternalInconsistency);
    }
}

TEST(VexaLogoInfo, EqualOnlyWithBothUrls) {
    auto make = [](std::optional<std::string> url, std::optional<std::string> click) {
        auto logo = rt::make<VexaLogoInfo>();
        logo->align = 2, logo->margin = 5, logo->mobile = true, logo->url = url, logo->clickUrl = click;
        return logo;
    };
    EXPECT_TRUE(make("u", "c")->isEqual(*make("u", "c")));
    EXPECT_FALSE(make("u", std::nullopt)->isEqual(*make("u", std::nullopt)));
    EXPECT_FALSE(make(std::nullopt, "c")->isEqual(*make(std::nullopt, "c")));
    auto other = make("u", "c");
    other->margin = 6;
    EXPECT_FALSE(make("u", "c")->isEqual(*other));
    auto same = make(std::nullopt, std::nullopt);
    EXPECT_TRUE(same->isEqual(*same));
}

// ---- probes -------------------------------------------------------------------------

TEST(VexaCDNProbes, IcmpEchoToLoopbackMeasuresARoundTrip) {
    if (!icmpAvailable()) GTEST_SKIP() << "ICMP sockets cannot be opened here (no ping group, no raw socket)";
    auto site = QXCDNSite::siteWithProtocol("https", "127.0.0.1", "/");
    auto probe = site->testAvailability();
    ASSERT_TRUE(waitForEnd(probe));
    ASSERT_FALSE(probe->isFailed());
    double latency = probe->result().doubleValue();
    EXPECT_GT(latency, 0);
    EXPECT_LT(latency, QXPingMeasurer::kAnswerWindow);
}

TEST(VexaCDNProbes, UnroutableAddressFailsWithinTheAnswerWindow) {
    if (!icmpAvailable()) GTEST_SKIP() << "ICMP sockets cannot be opened here (no ping group, no raw socket)";
    auto probe = QXPingMeasurer::pingMeasurerWithHost("203.0.113.1");  // TEST-NET-3: routed nowhere, never answers
    double start = seconds();
    enqueue(probe);
    ASSERT_TRUE(waitForEnd(probe));
    EXPECT_TRUE(probe->isFailed());
    // The window (0.2 s), not a resolution or socket time-out, with room for a loaded machine.
    EXPECT_LT(seconds() - start, QXPingMeasurer::kAnswerWindow + 1.5);
}

TEST(VexaCDNProbes, HttpProbeCountsOnlyATimelySuccess) {
    LoopbackOrigin origin;
    auto ok = origin.site("/ok0/"), missing = origin.site("/missing/"), slow = origin.site("/ok500/");
    auto location = QXCDNLocation::locationWithName("loopback", false, {slow, missing, ok});
    auto tester = location->testAvailability();
    ASSERT_TRUE(waitForEnd(tester));
    ASSERT_FALSE(tester->isFailed());
    auto tested = tester->result().as<QXCDNLocation>();
    ASSERT_TRUE(tested);
    EXPECT_EQ(tested->sites(), (Sites{ok}));
    EXPECT_EQ(location->sites().size(), 3u);  // the given location is left as it was
    EXPECT_TRUE(ok->isAccessible());
    EXPECT_FALSE(missing->isAccessible());
    EXPECT_FALSE(slow->isAccessible());
    EXPECT_GT(ok->latency(), 0);
    EXPECT_EQ(tested->avgLatency(), ok->latency());
}

TEST(VexaCDNProbes, AtMostFourProbesOfAKindRunAtOnce) {
    LoopbackOrigin origin;
    Sites sites;
    for (int i = 0; i < 6; ++i) sites.push_back(origin.site("/ok100/"));
    auto tester = QXCDNLocation::locationWithName("six", false, sites)->testAvailability();
    ASSERT_TRUE(waitForEnd(tester));
    // How many of the six answer within the probe's window (0.3 s) depends on the
    // machine's load; how many the origin answers at once may not pass four.
    EXPECT_LE(origin.maxInFlight(), 4);
    EXPECT_GE(origin.maxInFlight(), 2) << "the probes run side by side";
}

// ---- ordering and selection ---------------------------------------------------------

TEST(VexaCDNSelection, SitesAndLocationsAreOrderedByLatency) {
    LoopbackOrigin origin;
    auto slow = origin.site("/ok100/"), fast = origin.site("/ok0/"), middle = origin.site("/ok50/");
    auto near = QXCDNLocation::locationWithName("near", true, {slow, fast, middle});
    auto far = QXCDNLocation::locationWithName("far", false, {origin.site("/ok150/")});
    auto empty = QXCDNLocation::locationWithName("empty", false, {});
    auto service = QXCDNService::serviceWithName("ECDN", true, {far, empty, near});
    auto tester = service->testAvailability();
    ASSERT_TRUE(waitForEnd(tester));
    ASSERT_FALSE(tester->isFailed());
    auto tested = tester->result().as<QXCDNService>();
    ASSERT_TRUE(tested);
    EXPECT_NE(tested, service);
    EXPECT_EQ(tested->name(), "ECDN");
    ASSERT_EQ(tested->locations().size(), 2u);
    // The order follows the latencies measured, not the delays asked of the origin: on a
    // loaded machine a probe can take longer than its delay by more than the delays differ.
    auto nearTested = tested->locations()[0]->name() == "near" ? tested->locations()[0] : tested->locations()[1];
    EXPECT_LE(tested->locations()[0]->avgLatency(), tested->locations()[1]->avgLatency());
    const auto& sites = nearTested->sites();
    ASSERT_EQ(sites.size(), 3u);
    EXPECT_EQ(std::set(sites.begin(), sites.end()), std::set({fast, middle, slow}));
    EXPECT_TRUE(std::is_sorted(sites.begin(), sites.end(), [](const auto& a, const auto& b) { return a->latency() < b->latency(); }));
    // What was measured is the probe's whole way: never less than the origin's delay.
    // (Which site comes first is left to the latencies: on a loaded machine the site
    // without a delay can be measured after the one with 50 ms.)
    EXPECT_GE(middle->latency(), 0.05);
    EXPECT_GE(slow->latency(), 0.1);
    EXPECT_NEAR(nearTested->avgLatency(), (fast->latency() + middle->latency() + slow->latency()) / 3, 1e-9);
    EXPECT_EQ(service->locations().size(), 3u);
}

TEST(VexaCDNSelection, GroupTestsMarkEachMemberAndKeepOnlyThoseThatPassed) {
    LoopbackOrigin origin;
    auto missing = origin.site("/missing/"), ok = origin.site("/ok0/");
    missing->setIsAccessible(true);  // a stale mark the test must overwrite
    auto location = QXCDNLocation::locationWithName("x", true, {missing, ok});
    auto locationTest = rt::cast<QXCDNLocationTester>(location->testAvailability());
    ASSERT_TRUE(locationTest);
    ASSERT_TRUE(waitForEnd(locationTest));
    ASSERT_FALSE(locationTest->isFailed());
    EXPECT_FALSE(missing->isAccessible());
    EXPECT_TRUE(ok->isAccessible());
    EXPECT_EQ(locationTest->accessibleSites(), Sites{ok});
    auto tested = locationTest->result().as<QXCDNLocation>();
    ASSERT_TRUE(tested);
    EXPECT_EQ(tested->sites(), Sites{ok});
    EXPECT_TRUE(tested->fallbackEnabled());
    EXPECT_DOUBLE_EQ(tested->avgLatency(), ok->latency());

    // A service keeps the tested form of each location that passed, never one that failed.
    auto dead = QXCDNLocation::locationWithName("dead", false, {origin.site("/missing/")});
    auto live = QXCDNLocation::locationWithName("live", false, {origin.site("/ok0/")});
    auto service = QXCDNService::serviceWithName("s", true, {dead, live});
    auto serviceTest = rt::cast<QXCDNServiceTester>(service->testAvailability());
    ASSERT_TRUE(serviceTest);
    ASSERT_TRUE(waitForEnd(serviceTest));
    ASSERT_FALSE(serviceTest->isFailed());
    ASSERT_EQ(serviceTest->accessibleLocations().size(), 1u);
    EXPECT_EQ(serviceTest->accessibleLocations()[0]->name(), "live");
    EXPECT_NE(serviceTest->accessibleLocations()[0], live);
}

TEST(VexaCDNSelection, ServiceWithoutBestSiteIsTakenUnprobedWithItsFallbacks) {
    auto a = QXCDNService::serviceWithName("A", false, {});
    auto b = QXCDNService::serviceWithName("B", true, {});
    auto c = QXCDNService::serviceWithName("C", true, {});
    auto selector = QXCDNServiceSelector::selectorWitCDNServices({a, b, c});
    enqueue(selector);
    ASSERT_TRUE(waitForEnd(selector));
    EXPECT_FALSE(selector->isFailed());
    EXPECT_EQ(selector->selectedServices(), (std::vector<rt::Ref<QXCDNService>>{a, b, c}));
}

TEST(VexaCDNSelection, ServicesThatFailAreFilteredOutInOrder) {
    LoopbackOrigin origin;
    std::vector<std::string> lines;
    struct Capture : QXLogHandler {
        explicit Capture(std::vector<std::string>* out) : QXLogHandler(nullptr, 6), out(out) {}
        void handleLogRecord(const rt::Ref<QXLogRecord>& record) override {
            if (acceptsLogRecord(*record)) out->push_back(record->message());
        }
        std::vector<std::string>* out;
    };
    auto capture = rt::make<Capture>(&lines);
    QXLogger::defaultLogger()->registerHandler(capture);
    auto broken = QXCDNService::serviceWithName(
        "ecdn", true, {QXCDNLocation::locationWithName("x", false, {origin.site("/missing/")})});
    auto good = QXCDNService::serviceWithName(
        "ecdn", true, {QXCDNLocation::locationWithName("y", false, {origin.site("/ok0/")})});
    auto spare = QXCDNService::serviceWithName("spare", false, {});
    auto selector = QXCDNServiceSelector::selectorWitCDNServices({broken, good, spare});
    enqueue(selector);
    ASSERT_TRUE(waitForEnd(selector));
    QXLogger::defaultLogger()->deregistreHandler(capture);
    ASSERT_FALSE(selector->isFailed());
    auto selected = selector->selectedServices();
    ASSERT_EQ(selected.size(), 2u);
    EXPECT_NE(selected[0], good);  // the tested form
    EXPECT_EQ(selected[0]->locations()[0]->name(), "y");
    EXPECT_EQ(selected[1], spare);
    bool filtered = false;
    for (const auto& line : lines) filtered |= line == "Service filtered out: " + broken->description();
    EXPECT_TRUE(filtered);
}

TEST(VexaCDNSelection, SelectionFailsWhenNoServicePasses) {
    LoopbackOrigin origin;
    auto broken = QXCDNService::serviceWithName(
        "ecdn", true, {QXCDNLocation::locationWithName("x", false, {origin.site("/missing/")})});
    auto selector = QXCDNServiceSelector::selectorWitCDNServices({broken, QXCDNService::serviceWithName("B", true, {})});
    enqueue(selector);
    ASSERT_TRUE(waitForEnd(selector));
    EXPECT_TRUE(selector->isFailed());
    EXPECT_FALSE(selector->error());

    auto none = QXCDNServiceSelector::selectorWitCDNServices({});
    enqueue(none);
    ASSERT_TRUE(waitForEnd(none));
    EXPECT_TRUE(none->isFailed());
}

/// A task that never ends by itself, as a probe whose host name never resolves.
class StuckTask : public AKAsyncOperationTask {
    RT_CLASS(StuckTask, AKAsyncOperationTask)
};

class StuckService : public QXCDNService {
    RT_CLASS(StuckService, QXCDNService)
public:
    StuckService() : QXCDNService("stuck", true, {}) {}
    rt::Ref<AKOperationTask> testAvailability() override {
        task = rt::make<StuckTask>();
        taskQueue()->addTask(task);
        return task;
    }
    rt::Ref<AKOperationTask> task;
};

class VexaCDNDeadline : public zidtest::VirtualTimeTest {};

TEST_F(VexaCDNDeadline, SelectionPastItsDeadlineTakesTheServicesInTheirGivenOrder) {
    auto stuck = rt::make<StuckService>();
    auto other = QXCDNService::serviceWithName("other", false, {});
    auto selector = QXCDNServiceSelector::selectorWitCDNServices({stuck, other});
    EXPECT_EQ(selector->deadline(), 5.0);
    enqueue(selector);
    ASSERT_TRUE(fnd::RunLoop::main()->runUntil([&] { return stuck->task && stuck->task->isExecuting(); }, 5));
    advance(4.9);
    drain();
    EXPECT_FALSE(selector->isFinished());
    advance(0.1);
    ASSERT_TRUE(waitForEnd(selector, 5));
    EXPECT_FALSE(selector->isFailed());
    EXPECT_EQ(selector->selectedServices(), (std::vector<rt::Ref<QXCDNService>>{stuck, other}));
    stuck->task->cancel();
}

}  // namespace
