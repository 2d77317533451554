#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <regex>
#include <thread>
#include <type_traits>

#include <nlohmann/json.hpp>

#include <QXFoundation/CentralLog/QXCentralLoggerHandler.h>

#include "CentralLog/CentralLoggerTesting.h"

// A deployment setting read once at start-up: nobody changes it under a handler.
static_assert(std::is_const_v<decltype(zid::kCentralLoggerServerURL)>);
#include <dev/Application.h>
#include <fnd/NotificationCenter.h>
#include <fnd/Queue.h>
#include <net/HttpClient.h>

#include "peers/LoopbackHttpsServer.h"
#include "peers/TestCertificates.h"
#include "VirtualTime.h"

namespace {

using zid::QXCentralLoggerHandler;
using zid::QXLogRecord;
using Json = nlohmann::json;

rt::Ref<QXLogRecord> record(const std::string& message, std::int64_t level = 5) {
    return rt::make<QXLogRecord>("ZIDoredider/QXFoundation", rt::Value(&QXCentralLoggerHandler::staticClass()), 0x2a,
                                 message, level);
}

/// Waits in real time (the handler sends from its own thread) for a condition.
bool eventually(const std::function<bool()>& condition, double seconds = 5) {
    auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < end) {
        if (condition()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return condition();
}

TEST(CentralLogRecords, BecomeEightMemberObjects) {
    auto handler = rt::make<QXCentralLoggerHandler>("tag");
    auto full = record("hello");
    full->setDate(rt::Date{12.9});
    full->setAddress(255);
    Json object = Json::parse(handler->dictionaryFromLogRecord(*full));
    EXPECT_EQ(object.size(), 8u);
    EXPECT_EQ(object["u_msg"], "hello");
    EXPECT_EQ(object["u_ts"], 12);
    EXPECT_EQ(object["ts_msec"], 12900u);  // real milliseconds
    EXPECT_EQ(object["u_corr_id"], handler->uuid());
    EXPECT_EQ(object["level"], 5);
    EXPECT_EQ(object["module"], "ZIDoredider/QXFoundation");
    EXPECT_EQ(object["source"], "QXCentralLoggerHandler");
    EXPECT_EQ(object["addr"], "0xff");

    auto bare = rt::make<QXLogRecord>("", rt::Value(), 0, "", 3);
    bare->setDate(rt::Date{1'700'000'000.123});
    Json empty = Json::parse(handler->dictionaryFromLogRecord(*bare));
    EXPECT_EQ(empty["u_msg"], "-");
    EXPECT_EQ(empty["module"], "-");
    EXPECT_EQ(empty["source"], "-");
    EXPECT_EQ(empty["addr"], "0x0");
    EXPECT_EQ(empty["u_ts"], 1'700'000'000);
    EXPECT_EQ(empty["ts_msec"], 1'700'000'000'123u);
}

TEST(CentralLogRecords, HandlersMadeTogetherHaveTheirOwnCorrelationIds) {
    auto first = rt::make<QXCentralLoggerHandler>("tag");
    auto second = rt::make<QXCentralLoggerHandler>("tag");
    EXPECT_NE(first->uuid(), second->uuid());
    EXPECT_TRUE(std::regex_match(first->uuid(), std::regex("[0-9A-F]{32}"))) << first->uuid();
    EXPECT_EQ(first->tag(), "tag");
    EXPECT_EQ(first->level(), 0);
    EXPECT_DOUBLE_EQ(first->batchPeriod(), 120.0);
}

class CentralLogTest : public zidtest::VirtualTimeTest {
protected:
    struct Post {
        std::string path, contentType, accept, body;
    };

    void SetUp() override {
        VirtualTimeTest::SetUp();
        server = std::make_unique<peers::LoopbackHttpsServer>(peers::sharedServerCertificate());
        server->http().Post(R"(/.*)", [this](const httplib::Request& req, httplib::Response& res) {
            {
                std::lock_guard lock(mutex);
                posts.push_back(Post{req.path, req.get_header_value("Content-Type"), req.get_header_value("Accept"),
                                     req.body});
            }
            // A test may keep a batch on its way for a while.
            for (int waited = 0; hold.load() && waited < 1000; ++waited)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            res.status = status.load();
        });
        server->start();
        zid::setCentralLoggerServerURLForTesting(server->hostAndPort());
        net::HttpClient::shared()->setExtraTrustAnchors(peers::sharedTestAuthority().certificatePem());
    }

    void TearDown() override {
        net::HttpClient::shared()->setExtraTrustAnchors("");
        zid::setCentralLoggerServerURLForTesting(std::nullopt);
        server.reset();
        VirtualTimeTest::TearDown();
    }

    std::size_t postCount() {
        std::lock_guard lock(mutex);
        return posts.size();
    }
    Post post(std::size_t index) {
        std::lock_guard lock(mutex);
        return posts.at(index);
    }
    Json postedArray(std::size_t index) { return Json::parse(post(index).body); }
    /// Lets a batch that should not exist have time to show up.
    void settle() { std::this_thread::sleep_for(std::chrono::milliseconds(200)); }
    static bool idle(const rt::Ref<QXCentralLoggerHandler>& handler) { return !handler->isSending(); }

    std::unique_ptr<peers::LoopbackHttpsServer> server;
    std::mutex mutex;
    std::vector<Post> posts;
    std::atomic<int> status{200};
    std::atomic<bool> hold{false};
};

TEST_F(CentralLogTest, SendsAcceptedRecordsEveryBatchPeriod) {
    auto handler = rt::make<QXCentralLoggerHandler>("ztest");
    EXPECT_EQ(handler->url(), "https://" + server->hostAndPort() + "/ztest/");
    handler->setLevel(5);
    handler->handleLogRecord(record("first"));
    handler->handleLogRecord(record("too chatty", 6));
    handler->handleLogRecord(record("second", 2));
    EXPECT_EQ(handler->logRecords().size(), 2u);

    advance(119.9);
    settle();
    EXPECT_EQ(postCount(), 0u);
    advance(0.1);
    ASSERT_TRUE(eventually([&] { return postCount() == 1; }));
    Post sent = post(0);
    EXPECT_EQ(sent.path, "/ztest/");
    EXPECT_EQ(sent.contentType, "application/json");
    EXPECT_EQ(sent.accept, "application/json");
    EXPECT_EQ(sent.body.find(' '), std::string::npos);  // compact
    Json batch = Json::parse(sent.body);
    ASSERT_EQ(batch.size(), 2u);
    EXPECT_EQ(batch[0]["u_msg"], "first");
    EXPECT_EQ(batch[1]["u_msg"], "second");
    EXPECT_EQ(batch[1]["level"], 2);
    EXPECT_EQ(batch[0]["u_corr_id"], handler->uuid());
    EXPECT_TRUE(handler->logRecords().empty());

    // Nothing new: nothing sent.
    ASSERT_TRUE(eventually([&] { return idle(handler); }));
    advance(120);
    handler->flush();
    settle();
    EXPECT_EQ(postCount(), 1u);
}

TEST_F(CentralLogTest, AFlushAskedForWhileABatchIsOnItsWayStillHappens) {
    auto handler = rt::make<QXCentralLoggerHandler>("ztest");
    handler->setLevel(5);
    hold = true;
    handler->handleLogRecord(record("A"));
    handler->flush();
    ASSERT_TRUE(eventually([&] { return postCount() == 1; }));

    // The application resigns active while A is still being sent.
    handler->handleLogRecord(record("B"));
    handler->appDeactivates();
    settle();
    EXPECT_EQ(postCount(), 1u) << "one batch at a time";
    hold = false;

    // No timer has fired: only the remembered flush can send B.
    ASSERT_TRUE(eventually([&] { return postCount() == 2 && idle(handler); }))
        << postCount() << " posts, sending " << handler->isSending();
    Json batch = postedArray(1);
    ASSERT_EQ(batch.size(), 1u);
    EXPECT_EQ(batch[0]["u_msg"], "B");
    settle();
    EXPECT_EQ(postCount(), 2u);
}

TEST_F(CentralLogTest, AHandlerReleasedWhileItsQueueWorksEndsCleanly) {
    // The queue's blocks may hold the handler's state last; releasing the handler at
    // that moment must neither destroy the queue from its own thread nor wait for ever.
    for (int i = 0; i < 50; ++i) {
        auto handler = rt::make<QXCentralLoggerHandler>("ztest");
        handler->setLevel(5);
        for (int k = 0; k < 3; ++k) handler->handleLogRecord(record("going"));
        handler.reset();
    }
    settle();
}

TEST_F(CentralLogTest, AtLevelZeroNothingIsEverSent) {
    auto handler = rt::make<QXCentralLoggerHandler>("ztest");
    handler->handleLogRecord(record("ignored", 1));
    handler->flush();
    advance(240);
    settle();
    EXPECT_EQ(postCount(), 0u);
}

TEST_F(CentralLogTest, KeepsFailedBatchesUntilTheServiceRecovers) {
    status = 500;
    auto handler = rt::make<QXCentralLoggerHandler>("ztest");
    handler->setLevel(5);
    handler->handleLogRecord(record("A"));
    handler->flush();
    ASSERT_TRUE(eventually([&] { return postCount() == 1 && idle(handler); }));
    EXPECT_EQ(handler->unsentRecordCount(), 1u);

    handler->handleLogRecord(record("B"));
    status = 200;
    advance(120);
    ASSERT_TRUE(eventually([&] { return postCount() == 2 && idle(handler); }));
    Json batch = postedArray(1);
    ASSERT_EQ(batch.size(), 2u);
    EXPECT_EQ(batch[0]["u_msg"], "A");
    EXPECT_EQ(batch[1]["u_msg"], "B");
    EXPECT_EQ(handler->unsentRecordCount(), 0u);
    EXPECT_EQ(handler->droppedRecordCount(), 0u);

    // A service that cannot be reached at all counts as a failure too.
    server->stop();
    handler->handleLogRecord(record("C"));
    handler->flush();
    ASSERT_TRUE(eventually([&] { return idle(handler) && handler->unsentRecordCount() == 1; }, 10));
}

TEST_F(CentralLogTest, BoundsTheBacklogAndCountsWhatItDrops) {
    status = 503;
    auto handler = rt::make<QXCentralLoggerHandler>("ztest");
    handler->setLevel(5);
    std::size_t total = QXCentralLoggerHandler::kMaxUnsentRecords + 5;
    for (std::size_t i = 0; i < total; ++i) handler->handleLogRecord(record("record " + std::to_string(i)));
    handler->flush();
    ASSERT_TRUE(eventually([&] { return postCount() == 1 && idle(handler); }));
    EXPECT_EQ(handler->unsentRecordCount(), QXCentralLoggerHandler::kMaxUnsentRecords);
    EXPECT_EQ(handler->droppedRecordCount(), 5u);

    status = 200;
    handler->flush();
    ASSERT_TRUE(eventually([&] { return postCount() == 2 && idle(handler); }));
    Json batch = postedArray(1);
    ASSERT_EQ(batch.size(), QXCentralLoggerHandler::kMaxUnsentRecords);
    EXPECT_EQ(batch.front()["u_msg"], "record 5");  // the oldest went first
    EXPECT_EQ(batch.back()["u_msg"], "record " + std::to_string(total - 1));
}

TEST_F(CentralLogTest, TextThatIsNotUtf8DoesNotCostTheBatch) {
    auto handler = rt::make<QXCentralLoggerHandler>("ztest");
    handler->setLevel(5);
    handler->handleLogRecord(record("valid"));
    handler->handleLogRecord(record("broken \xff\xfe text"));
    handler->flush();
    ASSERT_TRUE(eventually([&] { return postCount() == 1; }));
    Json batch = postedArray(0);
    ASSERT_EQ(batch.size(), 2u);
    EXPECT_EQ(batch[0]["u_msg"], "valid");
    EXPECT_EQ(batch[1]["u_msg"], "broken \xEF\xBF\xBD\xEF\xBF\xBD text");  // replacement characters
}

TEST_F(CentralLogTest, FlushesWhenTheApplicationResignsActive) {
    auto handler = rt::make<QXCentralLoggerHandler>("ztest");
    handler->setLevel(5);
    handler->handleLogRecord(record("before the call"));
    fnd::NotificationCenter::defaultCenter()->post(dev::ApplicationWillResignActiveNotification);
    ASSERT_TRUE(eventually([&] { return postCount() == 1; }));
    EXPECT_EQ(postedArray(0)[0]["u_msg"], "before the call");
}

TEST_F(CentralLogTest, TimerRunsOnTheMainLoopAndEndsWithTheHandler) {
    auto center = fnd::NotificationCenter::defaultCenter();
    std::size_t observersBefore = center->observerCount();
    EXPECT_FALSE(fnd::RunLoop::main()->nextTimerDeadline());

    // Made on another thread, the handler still flushes with the main loop.
    rt::Ref<QXCentralLoggerHandler> handler;
    auto queue = fnd::Queue::serial("maker");
    queue->sync([&] { handler = rt::make<QXCentralLoggerHandler>("ztest"); });
    handler->setLevel(5);
    handler->handleLogRecord(record("made elsewhere"));
    EXPECT_EQ(center->observerCount(), observersBefore + 1);
    ASSERT_TRUE(fnd::RunLoop::main()->nextTimerDeadline());
    advance(120);
    ASSERT_TRUE(eventually([&] { return postCount() == 1; }));

    handler->handleLogRecord(record("left behind"));
    handler.reset();
    EXPECT_EQ(center->observerCount(), observersBefore);
    EXPECT_FALSE(fnd::RunLoop::main()->nextTimerDeadline());
    advance(240);
    center->post(dev::ApplicationWillResignActiveNotification);
    settle();
    EXPECT_EQ(postCount(), 1u);
}

}  // namespace
