#include <gtest/gtest.h>

#include <QXFoundation/Extensions/ErrorEvent.h>
#include <QXFoundation/Extensions/ErrorExtensions.h>
#include <QXFoundation/Lists/ArrayList.h>
#include <QXFoundation/Log/QXLogger.h>
#include "StateAdditions/ErrorEventSource.h"
#include "StateAdditions/LeakCheck.h"
#include "StateAdditions/StateBindings.h"
#include <rt/Error.h>
#include <rt/KVC.h>
#include <rt/KVO.h>

#include "VirtualTime.h"

namespace {

using namespace zid;

// Has, and accepts writes to, every state the bindings follow.
class Stateful : public rt::Object {
    RT_CLASS(Stateful, rt::Object)
public:
    static void describe(rt::ClassBuilder<Stateful>& c) {
        c.property("isEmpty", &Stateful::isEmpty, &Stateful::setIsEmpty);
        c.property("isLoading", &Stateful::isLoading, &Stateful::setIsLoading);
        c.property("error", &Stateful::error, &Stateful::setError);
    }
    explicit Stateful(bool empty = false, bool loading = false) : empty_(empty), loading_(loading) {}
    bool isEmpty() const { return empty_; }
    void setIsEmpty(bool v) { rt::kvoSet(this, "isEmpty", empty_, v); }
    bool isLoading() const { return loading_; }
    void setIsLoading(bool v) { rt::kvoSet(this, "isLoading", loading_, v); }
    rt::Ref<rt::Error> error() const { return error_; }
    void setError(rt::Ref<rt::Error> v) { rt::kvoSet(this, "error", error_, std::move(v)); }

private:
    bool empty_, loading_;
    rt::Ref<rt::Error> error_;
};

rt::Ref<Stateful> stateful(bool empty = false, bool loading = false) { return rt::make<Stateful>(empty, loading); }
rt::Ref<rt::Error> error(long long code) { return rt::Error::make("Test", code); }

TEST(StateBindingTest, EmptyStatePoliciesOverAList) {
    auto receiver = stateful();
    auto none = MutableArrayList::emptyList();
    setEmptyStatePolicy(*receiver, emptyStatePolicyAny(), none);
    EXPECT_TRUE(receiver->isEmpty());
    setEmptyStatePolicy(*receiver, emptyStatePolicyIgnore(), none);
    EXPECT_FALSE(receiver->isEmpty());

    auto sources = MutableArrayList::listWithArray({stateful(true), stateful(true)});
    setEmptyStatePolicy(*receiver, emptyStatePolicyAll(), sources);
    EXPECT_TRUE(receiver->isEmpty());
    sources->addObject(stateful(false));  // the list signal follows inserts at once
    EXPECT_FALSE(receiver->isEmpty());
    sources->removeObjectAtIndex(2);
    EXPECT_TRUE(receiver->isEmpty());
    sources->objectAtIndex(0).as<Stateful>()->setIsEmpty(false);
    EXPECT_FALSE(receiver->isEmpty());

    setEmptyStatePolicy(*receiver, emptyStatePolicyAll(), nullptr);  // no sources: NO whatever the policy
    EXPECT_FALSE(receiver->isEmpty());
}

TEST(StateBindingTest, LoadingStatePolicies) {
    auto receiver = stateful(false, true);
    setLoadingStatePolicy(*receiver, loadingStatePolicyAll(), MutableArrayList::emptyList());
    EXPECT_FALSE(receiver->isLoading());
    auto sources = MutableArrayList::listWithArray({stateful(false, true), stateful(false, false)});
    setLoadingStatePolicy(*receiver, loadingStatePolicyAny(), sources);
    EXPECT_TRUE(receiver->isLoading());
    setLoadingStatePolicy(*receiver, loadingStatePolicyAll(), sources);
    EXPECT_FALSE(receiver->isLoading());
    sources->objectAtIndex(1).as<Stateful>()->setIsLoading(true);
    EXPECT_TRUE(receiver->isLoading());
}

TEST(StateBindingTest, ErrorStateIsNoneTheOneErrorOrOneMultiError) {
    auto receiver = stateful();
    auto first = stateful(), second = stateful(), third = stateful();
    auto sources = MutableArrayList::listWithArray({first, second, third});
    bindErrorStateToSources(*receiver, sources);
    EXPECT_FALSE(receiver->error());
    auto one = error(1);
    second->setError(one);
    EXPECT_EQ(receiver->error(), one);
    third->setError(error(3));
    auto multi = receiver->error();
    ASSERT_TRUE(multi);
    EXPECT_EQ(multi->domain(), "MultiError");
    EXPECT_EQ(multi->code(), 0);
    auto held = underlyingErrors(*multi);
    ASSERT_TRUE(held.isArray());
    ASSERT_EQ(held.array().size(), 2u);
    EXPECT_EQ(held.array()[0].as<rt::Error>(), one);
    EXPECT_EQ(held.array()[1].as<rt::Error>()->code(), 3);

    bindErrorStateToSources(*receiver, nullptr);  // stops following, keeps the last value
    first->setError(error(9));
    EXPECT_EQ(receiver->error(), multi);
}

TEST(StateBindingTest, RegisteredErrorSourcesReachTheReceiversHandlers) {
    auto receiver = stateful();
    auto source = stateful();
    source->setError(error(1));
    std::vector<long long> handled;
    addErrorHandler(*receiver, [&](const rt::Ref<rt::Error>& e, const rt::Ref<rt::Object>&) {
        handled.push_back(e->code());
        return ErrorHandlerResult::Handled;
    }, source);
    registerErrorSource(*receiver, source);
    registerErrorSource(*receiver, source);  // once
    EXPECT_EQ(handled, (std::vector<long long>{1}));
    source->setError(nullptr);
    source->setError(error(2));
    EXPECT_EQ(handled, (std::vector<long long>{1, 2}));
    unregisterErrorSource(*receiver, source);
    source->setError(error(3));
    EXPECT_EQ(handled, (std::vector<long long>{1, 2}));
    EXPECT_TRUE(errorHandles(*receiver)->triggers().empty());
}

TEST(StateBindingTest, AFreedReceiverGetsNoMoreErrors) {
    auto source = stateful();
    int calls = 0;
    {
        auto receiver = stateful();
        addErrorHandler(*receiver, [&](const rt::Ref<rt::Error>&, const rt::Ref<rt::Object>&) {
            ++calls;
            return ErrorHandlerResult::Handled;
        }, nullptr);
        registerErrorSource(*receiver, source);
    }
    source->setError(error(1));
    EXPECT_EQ(calls, 0);
}

class LeakLines : public QXLogHandler {
public:
    LeakLines() : QXLogHandler(nullptr, 6) {}
    void handleLogRecord(const rt::Ref<QXLogRecord>& record) override {
        if (record->message().rfind("OBJECT LEAKED", 0) == 0) lines.push_back(record->message());
    }
    std::vector<std::string> lines;
};

struct LeakCheckTest : zidtest::VirtualTimeTest {
    rt::Ref<LeakLines> handler = rt::make<LeakLines>();
    void SetUp() override {
        VirtualTimeTest::SetUp();
        QXLogger::defaultLogger()->registerHandler(handler);
    }
    void TearDown() override {
        QXLogger::defaultLogger()->deregistreHandler(handler);
        VirtualTimeTest::TearDown();
    }
};

TEST_F(LeakCheckTest, AnObjectOutlivingItsOwnerIsReportedOneSecondLater) {
    auto kept = stateful();
    auto freed = stateful();
    auto owner = stateful();
    auto ownerText = owner->description();
    EXPECT_EQ(trackOwnedObject(*owner, kept, "kept"), kept);
    trackOwnedObject(*owner, freed, "freed");
    owner.reset();
    freed.reset();
    advance(0.9);
    EXPECT_TRUE(handler->lines.empty());
    advance(0.2);
    ASSERT_EQ(handler->lines.size(), 1u);
    EXPECT_EQ(handler->lines[0], "OBJECT LEAKED: " + kept->description() + ", originaly owned by: " + ownerText + " (kept)");
}

TEST_F(LeakCheckTest, AssertDeallocatesChecksAfterTheTimeout) {
    auto owner = stateful();
    auto object = stateful();
    assertDealocatesWithOwner(object, *owner, 5.0, "here");
    auto gone = stateful();
    assertDealocatesWithOwner(gone, *owner, 5.0, "gone");
    gone.reset();
    advance(4.0);
    EXPECT_TRUE(handler->lines.empty());
    advance(1.5);
    ASSERT_EQ(handler->lines.size(), 1u);
    EXPECT_EQ(handler->lines[0], "OBJECT LEAKED: " + object->description() + ", originaly owned by: " + owner->description() + " (here)");
    auto tracker = rt::make<ObjectTracker>(nullptr, "owner", "nothing");
    EXPECT_FALSE(tracker->check("OBJECT LEAKED: nothing"));
}

}  // namespace
