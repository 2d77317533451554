#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <QXFoundation/Extensions/ErrorEvent.h>
#include <QXFoundation/Listening/IListenable.h>

namespace {

using Result = long long;

class ErrorEventTest : public ::testing::Test {
protected:
    rt::Ref<rt::Object> receiver = rt::make<rt::Object>();
    rt::Ref<rt::Object> source = rt::make<rt::Object>();
    rt::Ref<rt::Error> error = rt::Error::withDescription("Test", 1, "failed");
    std::vector<std::string> log;

    auto answering(std::string name, Result result) {
        return [this, name, result](const rt::Ref<rt::Error>& e, const rt::Ref<rt::Object>&) {
            EXPECT_EQ(e, error);
            log.push_back(name);
            return result;
        };
    }
};

}  // namespace

TEST_F(ErrorEventTest, NewestHandlerFirstAndHandledStopsTheChain) {
    auto d1 = zid::addErrorHandler(*receiver, answering("old", 1), source);
    auto d2 = zid::addErrorHandler(*receiver, answering("new", 1), source);
    EXPECT_TRUE(zid::handleError(*receiver, error, source));
    EXPECT_EQ(log, (std::vector<std::string>{"new"}));
}

TEST_F(ErrorEventTest, ZeroAndUnknownResultsLetTheNextHandlerRun) {
    auto d1 = zid::addErrorHandler(*receiver, answering("a", 3), source);
    auto d2 = zid::addErrorHandler(*receiver, answering("b", 7), source);
    auto d3 = zid::addErrorHandler(*receiver, answering("c", 0), source);
    EXPECT_TRUE(zid::handleError(*receiver, error, source));
    EXPECT_EQ(log, (std::vector<std::string>{"c", "b", "a"}));

    log.clear();
    d1->dispose();
    EXPECT_FALSE(zid::handleError(*receiver, error, source));
    EXPECT_EQ(log, (std::vector<std::string>{"c", "b"}));

    // The same walk over a given chain; an empty one handles nothing.
    log.clear();
    const auto* chain = zid::errorHandlers(*receiver)->chainForKey(zid::errorSourceKey(source.get()));
    ASSERT_NE(chain, nullptr);
    EXPECT_FALSE(zid::handleError(*receiver, error, source, *chain));
    EXPECT_EQ(log, (std::vector<std::string>{"c", "b"}));
    EXPECT_FALSE(zid::handleError(*receiver, error, source, zid::ErrorHandlerChain{}));
}

TEST_F(ErrorEventTest, TheAnyChainRunsWhenTheSourceChainDoesNotHandle) {
    auto any = zid::addErrorHandler(*receiver, answering("any", 3), nullptr);
    EXPECT_TRUE(zid::handleError(*receiver, error, source));  // no chain for the source
    auto mine = zid::addErrorHandler(*receiver, answering("mine", 0), source);
    log.clear();
    EXPECT_TRUE(zid::handleError(*receiver, error, source));
    EXPECT_EQ(log, (std::vector<std::string>{"mine", "any"}));
    EXPECT_TRUE(zid::handleError(*receiver, error, nullptr));  // no source: the "<ANY>" chain

    auto table = zid::errorHandlers(*receiver);
    EXPECT_NE(table->chainForKey("<ANY>"), nullptr);
    EXPECT_NE(table->chainForKey(zid::errorSourceKey(source.get())), nullptr);
}

TEST_F(ErrorEventTest, DelegatingWithoutListenersCountsAsNotHandled) {
    auto older = zid::addErrorHandler(*receiver, answering("older", 1), source);
    auto delegating = zid::addErrorHandler(*receiver, answering("delegate", 2), source);
    auto any = zid::addErrorHandler(*receiver, answering("any", 0), nullptr);
    EXPECT_FALSE(zid::handleError(*receiver, error, source));
    // The delegating handler stopped its chain: the older one never ran.
    EXPECT_EQ(log, (std::vector<std::string>{"delegate", "any"}));
}

TEST_F(ErrorEventTest, DelegationAsksListenersChains) {
    auto first = rt::make<rt::Object>();
    auto second = rt::make<rt::Object>();
    zid::addListener(*receiver, first);
    zid::addListener(*receiver, second);
    auto d0 = zid::addErrorHandler(*receiver, answering("receiver", 2), source);
    auto d1 = zid::addErrorHandler(*first, answering("first", 0), source);
    auto d2 = zid::addErrorHandler(*second, answering("second-any", 1), nullptr);
    EXPECT_TRUE(zid::handleError(*receiver, error, source));
    EXPECT_EQ(log, (std::vector<std::string>{"receiver", "first", "second-any"}));

    // Listeners that delegate back to each other end the round with "not handled"
    // instead of going round for ever.
    log.clear();
    d2->dispose();
    zid::addListener(*first, receiver);
    auto d3 = zid::addErrorHandler(*first, answering("first-delegates", 2), nullptr);
    EXPECT_FALSE(zid::handleError(*receiver, error, source));
    EXPECT_EQ(log, (std::vector<std::string>{"receiver", "first", "first-delegates"}));
}

TEST_F(ErrorEventTest, DisposingRemovesExactlyItsHandler) {
    auto a = zid::addErrorHandler(*receiver, answering("a", 0), source);
    auto b = zid::addErrorHandler(*receiver, answering("b", 0), source);
    auto c = zid::addErrorHandler(*receiver, answering("c", 0), source);
    b->dispose();
    b->dispose();
    zid::handleError(*receiver, error, source);
    EXPECT_EQ(log, (std::vector<std::string>{"c", "a"}));

    a->dispose();
    c->dispose();
    const auto* chain = zid::errorHandlers(*receiver)->chainForKey(zid::errorSourceKey(source.get()));
    ASSERT_NE(chain, nullptr);  // an emptied chain stays
    EXPECT_TRUE(chain->empty());

    // A handler may dispose itself while the chain runs.
    rt::Ref<zid::BlockDisposable> self;
    log.clear();
    self = zid::addErrorHandler(*receiver, [&](const rt::Ref<rt::Error>&, const rt::Ref<rt::Object>&) -> Result {
        log.push_back("once");
        self->dispose();
        return 0;
    }, source);
    zid::handleError(*receiver, error, source);
    zid::handleError(*receiver, error, source);
    EXPECT_EQ(log, (std::vector<std::string>{"once"}));
}

TEST_F(ErrorEventTest, RemovingASourceDropsItsChain) {
    auto a = zid::addErrorHandler(*receiver, answering("a", 1), source);
    auto any = zid::addErrorHandler(*receiver, answering("any", 0), nullptr);
    zid::removeErrorHandlersForSource(*receiver, source);
    EXPECT_FALSE(zid::handleError(*receiver, error, source));
    EXPECT_EQ(log, (std::vector<std::string>{"any"}));
    zid::removeErrorHandlersForSource(*receiver, nullptr);
    EXPECT_EQ(zid::errorHandlers(*receiver)->chainForKey("<ANY>"), nullptr);
}

TEST_F(ErrorEventTest, AFreedSourceTakesItsChainAlong) {
    // Chains are keyed by the source's address; a later object at the same address
    // must not meet the handlers of the one that is gone.
    std::string key = zid::errorSourceKey(source.get());
    auto a = zid::addErrorHandler(*receiver, answering("a", 1), source);
    source = nullptr;
    EXPECT_EQ(zid::errorHandlers(*receiver)->chainForKey(key), nullptr);
    a->dispose();  // nothing left to remove
}
