#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include <fnd/NotificationCenter.h>
#include <fnd/Queue.h>
#include <fnd/RunLoop.h>
#include <rt/Exception.h>

namespace {

using fnd::Notification;
using fnd::NotificationCenter;

class Sender : public rt::Object {
    RT_CLASS(Sender, rt::Object)
};

class Listener : public rt::Object {
    RT_CLASS(Listener, rt::Object)
public:
    void received(const rt::Ref<Notification>& n) { names.push_back(n->name()); }
    std::vector<std::string> names;
};

TEST(NotificationCenterMatching, NameAndSenderFiltersCombine) {
    auto center = rt::make<NotificationCenter>();
    auto a = rt::make<Sender>(), b = rt::make<Sender>();
    std::vector<std::string> got;
    auto any = center->addObserver(std::nullopt, nullptr, nullptr, [&](auto& n) { got.push_back("any:" + n->name()); });
    auto byName = center->addObserver("ping", nullptr, nullptr, [&](auto& n) { got.push_back("name:" + n->name()); });
    auto bySender = center->addObserver(std::nullopt, a, nullptr, [&](auto& n) { got.push_back("a:" + n->name()); });
    auto both = center->addObserver("ping", a, nullptr, [&](auto& n) { got.push_back("ping+a:" + n->name()); });

    center->post("ping", a);
    center->post("ping", b);
    center->post("pong");
    EXPECT_EQ(got, (std::vector<std::string>{"any:ping", "name:ping", "a:ping", "ping+a:ping",  //
                                              "any:ping", "name:ping",                          //
                                              "any:pong"}));
}

TEST(NotificationCenterMatching, CarriesSenderAndUserInfo) {
    auto center = rt::make<NotificationCenter>();
    auto sender = rt::make<Sender>();
    rt::Ref<Notification> seen;
    auto token = center->addObserver("x", nullptr, nullptr, [&](auto& n) { seen = n; });
    center->post("x", sender, rt::Dictionary{{"k", 7}});
    ASSERT_TRUE(seen);
    EXPECT_EQ(seen->object(), sender);
    EXPECT_EQ(seen->userInfo().get("k").intValue(), 7);
}

TEST(NotificationCenterMatching, SenderRegistrationDoesNotMatchANewObjectOrOutliveTheSender) {
    auto center = rt::make<NotificationCenter>();
    int calls = 0;
    auto sender = rt::make<Sender>();
    auto token = center->addObserver("x", sender, nullptr, [&](auto&) { ++calls; });
    sender.reset();
    // Even when the allocator hands back the same address, the dead sender's
    // registration must not match the newcomer.
    for (int i = 0; i < 8; ++i) center->post("x", rt::make<Sender>());
    EXPECT_EQ(calls, 0);
    EXPECT_EQ(center->observerCount(), 0u);
}

TEST(NotificationCenterTargets, MemberFunctionTargetIsHeldWeakly) {
    auto center = rt::make<NotificationCenter>();
    auto listener = rt::make<Listener>();
    center->addObserver(listener, &Listener::received, "a", nullptr);
    center->post("a");
    EXPECT_EQ(listener->names, (std::vector<std::string>{"a"}));
    rt::Weak<Listener> weak = listener;
    listener.reset();
    EXPECT_TRUE(weak.expired()) << "the centre must not keep its targets alive";
    center->post("a");  // must not reach a destroyed target
    EXPECT_EQ(center->observerCount(), 0u);
}

TEST(NotificationCenterRemoval, ByTokenTargetNameAndSender) {
    auto center = rt::make<NotificationCenter>();
    auto listener = rt::make<Listener>();
    auto s1 = rt::make<Sender>(), s2 = rt::make<Sender>();
    center->addObserver(listener, &Listener::received, "a", s1);
    center->addObserver(listener, &Listener::received, "a", s2);
    center->addObserver(listener, &Listener::received, "b", nullptr);
    int blockCalls = 0;
    auto token = center->addObserver("a", nullptr, nullptr, [&](auto&) { ++blockCalls; });

    center->removeObserver(listener, "a", s1);
    center->post("a", s1);
    center->post("a", s2);
    EXPECT_EQ(listener->names, (std::vector<std::string>{"a"}));
    EXPECT_EQ(blockCalls, 2);

    center->removeObserver(listener, "a", nullptr);  // any sender
    center->post("a", s2);
    center->post("b");
    EXPECT_EQ(listener->names, (std::vector<std::string>{"a", "b"}));

    center->removeObserver(token);
    center->removeObserver(listener);
    center->post("a", s2);
    center->post("b");
    EXPECT_EQ(blockCalls, 3);
    EXPECT_EQ(listener->names.size(), 2u);
    EXPECT_EQ(center->observerCount(), 0u);
}

TEST(NotificationCenterRemoval, ObserverRemovedByAnEarlierOneOfTheSamePostIsNotCalled) {
    auto center = rt::make<NotificationCenter>();
    std::vector<int> calls;
    rt::Ref<fnd::NotificationObserver> second;
    auto first = center->addObserver("x", nullptr, nullptr, [&](auto&) {
        calls.push_back(1);
        center->removeObserver(second);
    });
    second = center->addObserver("x", nullptr, nullptr, [&](auto&) { calls.push_back(2); });
    center->post("x");
    EXPECT_EQ(calls, (std::vector<int>{1}));
}

TEST(NotificationCenterRemoval, ObserverMayRegisterAnotherDuringDeliveryWithoutReachingIt) {
    auto center = rt::make<NotificationCenter>();
    int late = 0;
    std::vector<rt::Ref<fnd::NotificationObserver>> tokens;
    tokens.push_back(center->addObserver("x", nullptr, nullptr, [&](auto&) {
        tokens.push_back(center->addObserver("x", nullptr, nullptr, [&](auto&) { ++late; }));
    }));
    center->post("x");
    EXPECT_EQ(late, 0);
    center->post("x");
    EXPECT_EQ(late, 1);
}

TEST(NotificationCenterRemoval, MissingBlockOrTargetIsACallerMistake) {
    auto center = rt::make<NotificationCenter>();
    EXPECT_THROW(center->addObserver("x", nullptr, nullptr, NotificationCenter::Block{}), rt::Exception);
    EXPECT_THROW(center->addObserver(nullptr, [](rt::Object&, auto&) {}, "x", nullptr), rt::Exception);
}

TEST(NotificationCenterQueues, QueuedBlockRunsOnItsQueueAndPostDoesNotWait) {
    auto center = rt::make<NotificationCenter>();
    auto queue = fnd::Queue::serial("notification test");
    std::atomic<bool> onQueue{false};
    std::atomic<int> runs{0};
    auto token = center->addObserver("x", nullptr, queue, [&](auto&) {
        onQueue = queue->isCurrent();
        ++runs;
    });
    center->post("x");
    queue->sync([] {});  // everything queued before has run
    EXPECT_EQ(runs.load(), 1);
    EXPECT_TRUE(onQueue.load());
}

TEST(NotificationCenterQueues, MainQueueBlockRunsInlineWhenPostedOnMainAndLaterFromOtherThreads) {
    auto center = rt::make<NotificationCenter>();
    std::vector<std::string> order;
    auto token = center->addObserver("x", nullptr, fnd::Queue::main(), [&](auto& n) {
        EXPECT_TRUE(fnd::RunLoop::isMainThread());
        order.push_back(n->userInfo().get("from").string());
    });
    center->post("x", nullptr, rt::Dictionary{{"from", "main"}});
    EXPECT_EQ(order, (std::vector<std::string>{"main"}));
    std::thread([&] { center->post("x", nullptr, rt::Dictionary{{"from", "thread"}}); }).join();
    EXPECT_EQ(order.size(), 1u);
    fnd::RunLoop::main()->drain();
    EXPECT_EQ(order, (std::vector<std::string>{"main", "thread"}));
}

TEST(NotificationCenterQueues, RemovalCancelsADeliveryStillWaitingOnTheQueue) {
    auto center = rt::make<NotificationCenter>();
    int runs = 0;
    auto token = center->addObserver("x", nullptr, fnd::Queue::main(), [&](auto&) { ++runs; });
    std::thread([&] { center->post("x"); }).join();
    center->removeObserver(token);
    fnd::RunLoop::main()->drain();
    EXPECT_EQ(runs, 0);
}

TEST(NotificationCenterThreads, ConcurrentPostsAndRegistrationsStayConsistent) {
    auto center = rt::make<NotificationCenter>();
    std::atomic<int> delivered{0};
    auto token = center->addObserver("x", nullptr, nullptr, [&](auto&) { ++delivered; });
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 500; ++i) {
                auto extra = center->addObserver("y", nullptr, nullptr, [](auto&) {});
                center->post("x");
                center->removeObserver(extra);
            }
        });
    }
    for (auto& t : threads) t.join();
    EXPECT_EQ(delivered.load(), 2000);
    EXPECT_EQ(center->observerCount(), 1u);
}

}  // namespace
