#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include <QXFoundation/Analytics/AnalyticsClient.h>
#include <fnd/NotificationCenter.h>

namespace {

using namespace zid;

// Collects the "AnalyticsEvent" notifications posted while it lives.
class Received {
public:
    Received() {
        token_ = fnd::NotificationCenter::defaultCenter()->addObserver(
            AnalyticsClient::analyticsName(), nullptr, nullptr, [this](const rt::Ref<fnd::Notification>& n) {
                EXPECT_TRUE(n->userInfo().empty());
                events.push_back(rt::cast<AnalyticsEvent>(n->object()));
            });
    }
    ~Received() { fnd::NotificationCenter::defaultCenter()->removeObserver(token_); }
    std::vector<rt::Ref<AnalyticsEvent>> events;

private:
    rt::Ref<fnd::NotificationObserver> token_;
};

TEST(AnalyticsClientTest, NothingIsReportedBeforeSetupAndLockEventsArriveAfter) {
    Received received;
    if (!AnalyticsClient::instance()) {  // the shared client cannot be undone within a run
        EXPECT_EQ(AnalyticsClient::reportEvent(AnalyticsEvent::EventGeoLock()), 0u);
        EXPECT_TRUE(received.events.empty());
    }
    AnalyticsClient::setup();
    auto client = AnalyticsClient::instance();
    ASSERT_TRUE(client);
    AnalyticsClient::setup();
    EXPECT_EQ(AnalyticsClient::instance(), client) << "a second setup keeps the client";

    std::vector<rt::Ref<AnalyticsEvent>> locks{
        AnalyticsEvent::EventPasswordLock(), AnalyticsEvent::EventGeoLock(),       AnalyticsEvent::EventAgeLock(),
        AnalyticsEvent::EventHashLock(),     AnalyticsEvent::EventViewerHourLock(), AnalyticsEvent::EventEmbedLock(),
        AnalyticsEvent::EventOtherLock()};
    for (auto& lock : locks) EXPECT_EQ(AnalyticsClient::reportEvent(lock), 1u);
    ASSERT_EQ(received.events.size(), locks.size());
    for (std::size_t i = 0; i < locks.size(); ++i) {
        EXPECT_EQ(received.events[i], locks[i]);
        EXPECT_EQ(received.events[i]->type(), 31u + i);
    }
}

TEST(AnalyticsClientTest, ReportEventsStopsAtTheFirstNilAndCounts) {
    Received received;
    auto client = rt::make<AnalyticsClient>();
    auto a = AnalyticsEvent::EventView(), b = AnalyticsEvent::EventFollow(), c = AnalyticsEvent::EventPrerollVideoStarted(3);
    EXPECT_EQ(client->reportEvents({a, b, c, nullptr}), 3u);
    EXPECT_EQ(received.events, (std::vector<rt::Ref<AnalyticsEvent>>{a, b, c}));
    EXPECT_EQ(client->reportEvents({nullptr, a}), 0u);
    EXPECT_EQ(client->reportEvents({a, nullptr, b}), 1u);
    EXPECT_EQ(client->reportArrayOfEvents({}), 0u);
    EXPECT_EQ(client->reportArrayOfEvents({b, c}), 2u);
    EXPECT_EQ(client->doReportEvent(c), 1u);
    EXPECT_EQ(received.events.size(), 3u + 1u + 2u + 1u);
}

TEST(AnalyticsClientTest, ObserversRunOnTheReportingThreadBeforeTheNextEvent) {
    std::vector<std::string> order;
    auto token = fnd::NotificationCenter::defaultCenter()->addObserver(
        AnalyticsClient::analyticsName(), nullptr, nullptr,
        [&](auto& n) { order.push_back("seen " + std::to_string(rt::cast<AnalyticsEvent>(n->object())->type())); });
    auto client = rt::make<AnalyticsClient>();
    order.push_back("before");
    client->reportEvents({AnalyticsEvent::EventView(), AnalyticsEvent::EventBroadcast()});
    order.push_back("after");
    fnd::NotificationCenter::defaultCenter()->removeObserver(token);
    EXPECT_EQ(order, (std::vector<std::string>{"before", "seen 0", "seen 1", "after"}));
}

TEST(AnalyticsEventTest, PreallocatedEventsAreSharedAndParameterisedOnesAreNew) {
    const auto& table = AnalyticsEvent::analyticsEventObjects();
    ASSERT_EQ(table.size(), 60u);
    for (std::size_t i = 0; i < table.size(); ++i) EXPECT_EQ(table[i]->type(), i);

    EXPECT_EQ(AnalyticsEvent::EventGeoLock(), AnalyticsEvent::EventGeoLock());
    EXPECT_EQ(AnalyticsEvent::EventGeoLock(), table[32]);
    EXPECT_EQ(AnalyticsEvent::EventPurchaseErrorProductListMissing()->type(), 59u);
    EXPECT_EQ(AnalyticsEvent::EventGridTurnedOff()->type(), 46u);

    auto p1 = AnalyticsEvent::EventPrerollVideoStarted(15), p2 = AnalyticsEvent::EventPrerollVideoStarted(15);
    EXPECT_NE(p1, p2);
    EXPECT_NE(p1, table[4]);
    EXPECT_EQ(p1->type(), 4u);
    ASSERT_TRUE(p1->params());
    EXPECT_EQ(p1->params()->get("duration").intValue(), 15);
    EXPECT_FALSE(table[4]->params()) << "the shared instance of a parameterised type stays untouched";
}

TEST(AnalyticsEventTest, ParameterisedEventsCarryTheirTypesAndParameters) {
    struct Expect {
        rt::Ref<AnalyticsEvent> event;
        std::uint64_t type;
    };
    std::vector<Expect> errors{{AnalyticsEvent::EventGatewayErrorLoginFailed(-1), 41},
                               {AnalyticsEvent::EventGatewayErrorSignupFailed(-1), 42},
                               {AnalyticsEvent::EventGatewayErrorChannelCreationFailed(-1), 43},
                               {AnalyticsEvent::EventGatewayErrorGetVerificationCodeFailed(-1), 44},
                               {AnalyticsEvent::EventGatewayErrorVerificationFailed(-1), 45},
                               {AnalyticsEvent::EventGatewayErrorSendFeedbackFailed(-1), 49},
                               {AnalyticsEvent::EventGatewayErrorDeleteVideoFailed(-1), 50}};
    for (auto& e : errors) {
        EXPECT_EQ(e.event->type(), e.type);
        EXPECT_EQ(e.event->params()->get("errorCode").intValue(), -1);
        EXPECT_EQ(e.event->params()->size(), 1u);
    }
    auto channel = AnalyticsEvent::EventReportChannel("c-1");
    EXPECT_EQ(channel->type(), 22u);
    EXPECT_EQ(channel->params()->get("mediaID").string(), "c-1");
    EXPECT_EQ(AnalyticsEvent::EventReportRecord("r-1")->type(), 23u);
    auto crash = AnalyticsEvent::EventCrash("2.1", "12");
    EXPECT_EQ(crash->type(), 47u);
    EXPECT_EQ(crash->params()->get("appVersion").string(), "2.1");
    EXPECT_EQ(crash->params()->get("osVersion").string(), "12");
}

TEST(AnalyticsEventTest, SetParamMakesTheDictionaryAndNilRemoves) {
    auto event = rt::make<AnalyticsEvent>(7);
    EXPECT_FALSE(event->params());
    event->setParam(rt::Value(), "missing");
    ASSERT_TRUE(event->params());
    EXPECT_TRUE(event->params()->empty());
    event->setParam(5, "count");
    event->setParam("x", "name");
    event->setParam(rt::Value(), "count");
    EXPECT_EQ(event->params()->size(), 1u);
    EXPECT_EQ(event->params()->get("name").string(), "x");
}

TEST(AnalyticsClientTest, ALockReportedWhileTheProcessExitsIsStillPosted) {
    // An exit handler registered before the analytics state is first used runs after
    // the process's static objects are gone; the shared client and the preallocated
    // events must still be there. Checked in a fresh process, where this is the first use.
    const auto style = GTEST_FLAG_GET(death_test_style);
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            (void)fnd::NotificationCenter::defaultCenter();  // the centre itself is not under test
            std::atexit([] { std::_Exit(AnalyticsClient::reportEvent(AnalyticsEvent::EventGeoLock()) == 1 ? 0 : 3); });
            AnalyticsClient::setup();
            (void)AnalyticsEvent::EventGeoLock();
            std::exit(2);
        },
        ::testing::ExitedWithCode(0), "");
    GTEST_FLAG_SET(death_test_style, style);
}

}  // namespace
