// Ticker and one-shot timer signals on the virtual clock.

#include <gtest/gtest.h>

#include <vector>

#include <RuzEzo/Signal/Timer/FKTimerSignal.h>
#include <RuzEzo/Trigger/OnSignalHelper.h>
#include <VirtualTime.h>

using namespace zid;

namespace {

class TimerSignalTest : public zidtest::VirtualTimeTest {
protected:
    std::vector<rt::Value> seen;
    int closes = 0;
    std::shared_ptr<IDisposable> watch(const FKSignalRef& signal) {
        return signal->addValueHandler([this](const rt::Value& v) { seen.push_back(v); }, [this] { ++closes; });
    }
};

}  // namespace

TEST_F(TimerSignalTest, OneShotSendsZeroAfterItsIntervalThenCloses) {
    auto trigger = triggerWithTimeInterval(0.5);
    auto sub = watch(trigger);
    advance(0.49);
    EXPECT_TRUE(seen.empty());
    advance(0.01);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].number()->kind(), rt::Number::Kind::ULongLong);
    EXPECT_EQ(seen[0], rt::Value(0));
    EXPECT_EQ(closes, 1);
    EXPECT_FALSE(trigger->timer()->isValid());
    advance(5);
    EXPECT_EQ(seen.size(), 1u);
    std::vector<rt::Value> late;
    auto replay = trigger->addValueHandler([&](const rt::Value& v) { late.push_back(v); });
    EXPECT_EQ(late, (std::vector<rt::Value>{0}));
}

TEST_F(TimerSignalTest, TickerCountsUntilClosed) {
    auto ticker = tickerWithTimeInterval(1.0);
    auto sub = watch(ticker);
    advance(3.5);
    EXPECT_EQ(seen, (std::vector<rt::Value>{0, 1, 2}));
    ticker->close();
    EXPECT_FALSE(ticker->timer()->isValid());
    advance(3);
    EXPECT_EQ(seen.size(), 3u);
    EXPECT_EQ(ticker->ticks(), 3u);
}

TEST_F(TimerSignalTest, ATickerAtZeroOrLessTicksOnEveryPassOfTheLoop) {
    auto ticker = tickerWithTimeInterval(0);
    auto sub = watch(ticker);
    drain();
    EXPECT_EQ(seen, (std::vector<rt::Value>{0}));
    advance(0.0025);  // then at most once a millisecond, never silent while open
    EXPECT_EQ(seen, (std::vector<rt::Value>{0, 1, 2}));
    EXPECT_EQ(closes, 0);
    ticker->close();
    advance(1);
    EXPECT_EQ(ticker->ticks(), 3u);
}

TEST_F(TimerSignalTest, LettingGoOfTheLastHolderStopsTheTimer) {
    auto ticker = tickerWithTimeInterval(1.0);
    auto sub = watch(ticker);
    rt::Ref<fnd::Timer> timer = ticker->timer();
    advance(1);
    ticker.reset();
    EXPECT_EQ(closes, 1);
    EXPECT_FALSE(timer->isValid());
    advance(3);
    EXPECT_EQ(seen.size(), 1u);
}

TEST_F(TimerSignalTest, TriggerOnTickerStopsWithItsDisposeSignal) {
    auto stop = triggerWithTimeInterval(2.5);
    int ticks = 0;
    onSignal(tickerWithTimeInterval(1.0), stop, [&](const rt::Value&) { ++ticks; });
    advance(10);
    EXPECT_EQ(ticks, 2) << "a trigger keeps its ticker alive until the dispose signal fires";
}

TEST_F(TimerSignalTest, DateInThePastFiresAtTheNextPass) {
    auto past = triggerWithDate(clock->date().addingTimeInterval(-10));
    auto sub = watch(past);
    advance(0);
    EXPECT_EQ(seen, (std::vector<rt::Value>{0}));
    auto future = triggerWithDate(clock->date().addingTimeInterval(2));
    auto sub2 = watch(future);
    advance(1.9);
    EXPECT_EQ(seen.size(), 1u);
    advance(0.1);
    EXPECT_EQ(seen.size(), 2u);
}
