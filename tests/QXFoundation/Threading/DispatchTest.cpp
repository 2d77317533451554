#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include <QXFoundation/Disposable/AutoDisposable.h>
#include <QXFoundation/Disposable/BlockDisposable.h>
#include "Extensions/EnumerationTemplate.h"
#include <QXFoundation/Extensions/NilHandling.h>
#include "Functions/FCaller.h"
#include <QXFoundation/ObjectAssociation/ObjectAssociation.h>
#include <QXFoundation/Threading/Dispatch.h>
#include <QXFoundation/Threading/Dispatcher.h>
#include <fnd/RunLoop.h>

namespace {

using namespace zid;

TEST(DispatchTest, BackgroundQueueIsOneSerialQueueNamedByTheFirstCall) {
    // Only the process's first call names the queue, and other tests may have made it
    // already: the naming is checked in a fresh process of its own.
    const auto style = GTEST_FLAG_GET(death_test_style);
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            auto named = dispatch_get_bg_queue_with_name("first.bg_queue");
            bool same = named == dispatch_get_bg_queue_with_name("second") && named == dispatch_get_bg_queue();
            std::exit(same && named->label() == "first.bg_queue" ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
    GTEST_FLAG_SET(death_test_style, style);

    auto first = dispatch_get_bg_queue_with_name("another name");
    EXPECT_EQ(first, dispatch_get_bg_queue());
    std::vector<int> order;
    for (int i = 0; i < 50; ++i) performBlockOnBackground([&order, i] { order.push_back(i); });
    first->sync([] {});
    ASSERT_EQ(order.size(), 50u);
    for (int i = 0; i < 50; ++i) EXPECT_EQ(order[i], i);
    EXPECT_FALSE(isTesting());
}

TEST(DispatchTest, PerformBlockOnMainRunsOnTheMainThreadLater) {
    std::atomic<bool> ran{false};
    std::thread t([&] { performBlockOnMain([&] { ran = fnd::RunLoop::isMainThread(); }); });
    t.join();
    EXPECT_FALSE(ran);
    EXPECT_TRUE(fnd::RunLoop::main()->runUntil([&] { return ran.load(); }, 5));
}

TEST(DispatcherTest, SyncOnMainFromMainRunsInlineAsyncRunsAfterTheTurn) {
    std::vector<std::string> order;
    rt::make<Dispatcher>(fnd::Queue::main(), true)->setBlock([&] { order.push_back("sync"); });
    order.push_back("after sync");
    rt::make<Dispatcher>(fnd::Queue::main(), false)->setBlock([&] { order.push_back("async"); });
    order.push_back("after async");
    fnd::RunLoop::main()->drain();
    EXPECT_EQ(order, (std::vector<std::string>{"sync", "after sync", "after async", "async"}));
}

TEST(DispatcherTest, SyncOntoTheSerialQueueItRunsOnDoesNotDeadlock) {
    auto queue = dispatch_get_bg_queue();
    std::vector<std::string> order;
    queue->sync([&] {
        order.push_back("outer");
        rt::make<Dispatcher>(queue, true)->setBlock([&] { order.push_back("inner"); });
        order.push_back("after");
    });
    EXPECT_EQ(order, (std::vector<std::string>{"outer", "inner", "after"}));
}

TEST(DispatcherTest, SyncFromAnotherThreadWaitsForTheMainThread) {
    std::atomic<int> state{0};
    std::thread t([&] {
        rt::make<Dispatcher>(fnd::Queue::main(), true)->setBlock([&] { state = fnd::RunLoop::isMainThread() ? 1 : -1; });
        EXPECT_EQ(state.load(), 1);  // the caller waited
        state = 2;
    });
    EXPECT_TRUE(fnd::RunLoop::main()->runUntil([&] { return state.load() == 2; }, 5));
    t.join();
}

TEST(DisposableTest, BlockDisposableRunsOnEveryDispose) {
    int runs = 0;
    auto disposable = BlockDisposable::disposableWithDisposeBlock([&] { ++runs; });
    disposable->dispose();
    disposable->dispose();
    EXPECT_EQ(runs, 2);
    rt::make<BlockDisposable>()->dispose();  // no block: nothing happens
}

TEST(DisposableTest, AutoDisposableDisposesOnReleaseAndAfterExplicitDispose) {
    int runs = 0;
    auto inner = BlockDisposable::disposableWithDisposeBlock([&] { ++runs; });
    {
        auto wrapper = AutoDisposable::disposableWithDisposable(inner);
    }
    EXPECT_EQ(runs, 1);
    runs = 0;
    {
        auto wrapper = AutoDisposable::disposableWithDisposable(inner);
        wrapper->dispose();
        EXPECT_EQ(runs, 1);
    }
    EXPECT_EQ(runs, 2);
    rt::make<AutoDisposable>()->dispose();  // nothing wrapped
}

TEST(SmallHelpersTest, FCallerNilHandlingAndToArray) {
    auto caller = rt::make<FCaller>(rt::Value(21));
    int seen = 0;
    caller->setFunc(nullptr);
    EXPECT_FALSE(caller->func());
    caller->setFunc([&](const rt::Value& v) { seen = v.intValue() * 2; });
    EXPECT_EQ(seen, 42);
    // A block that clears itself while it runs finishes its work with what it captured.
    std::string label = "kept by the running block";
    std::string reported;
    caller->setFunc([&caller, &reported, label](const rt::Value&) {
        caller->setFunc(nullptr);
        reported = label;
    });
    EXPECT_EQ(reported, "kept by the running block");
    EXPECT_FALSE(caller->func());

    EXPECT_TRUE(nullify(rt::Value()).isNull());
    EXPECT_TRUE(nilify(rt::Value::null()).isNil());
    EXPECT_EQ(nullify(rt::Value(3)).intValue(), 3);
    EXPECT_EQ(nilify(rt::Value("x")).string(), "x");

    EXPECT_TRUE(toArray(std::vector<int>{}).empty());
    auto array = toArray(std::vector<std::string>{"a", "b"});
    ASSERT_EQ(array.size(), 2u);
    EXPECT_EQ(array[1].string(), "b");
}

TEST(AssociationStateTest, ExtensionStateIsMadeOnceAndFoundByItsKeyText) {
    auto owner = rt::make<rt::Object>();
    std::atomic<int> made{0};
    auto make = [&] {
        ++made;
        return rt::make<rt::Object>();
    };
    // Many threads asking for the first time still share one object.
    std::vector<std::thread> threads;
    std::vector<rt::Ref<rt::Object>> seen(8);
    for (std::size_t t = 0; t < seen.size(); ++t)
        threads.emplace_back([&, t] { seen[t] = associatedObjectOrMake<rt::Object>(*owner, "__state", make); });
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(made.load(), 1);
    for (const auto& s : seen) EXPECT_EQ(s, seen[0]);

    std::string rebuilt = std::string("__") + "state";
    EXPECT_EQ(associatedObjectForKey(*owner, rebuilt).as<rt::Object>(), seen[0]);
    EXPECT_EQ(associatedObjectOrMake<rt::Object>(*owner, rebuilt, make), seen[0]);
    EXPECT_EQ(made.load(), 1);
}

}  // namespace
