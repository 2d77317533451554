// Keypath, dealloc and custom signals: identity while held, replay through the initial
// report, closing with the target, and the order of the destruction step.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <RuzEzo/Extensions/KeypathSignalCategory.h>
#include <RuzEzo/Signal/Dealloc/FKDeallocSignal.h>
#include <RuzEzo/Trigger/OnSignalHelper.h>

#include "../support/SignalTestModel.h"

using namespace zid;
using zidtest::Model;

namespace {

/// Counts the reads of its "count" property that change announcements make: an
/// observation reads the old and the new value on every change, so reads after the
/// last signal is gone mean an observation outlived it (its report would run on a
/// freed signal).
class WatchedModel : public rt::Object {
    RT_CLASS(WatchedModel, rt::Object)
public:
    static void describe(rt::ClassBuilder<WatchedModel>& c) {
        c.property(
            "count",
            [](const WatchedModel& m) {
                if (m.counting) ++m.announcedReads;
                return m.count_;
            },
            &WatchedModel::setCount);
    }
    void setCount(int v) { rt::kvoSet(this, "count", count_, v); }
    /// Counts the reads of the change announcements that follow (not those of set-up).
    void startCounting() {
        counting = true;
        announcedReads = 0;
    }

    bool counting = false;
    mutable int announcedReads = 0;

private:
    int count_ = 0;
};

}  // namespace

TEST(KeypathSignal, SameSignalWhileHeldFreshAfterRelease) {
    auto model = rt::make<Model>();
    auto first = signalForKeypath(model, "count");
    EXPECT_EQ(signalForKeypath(model, "count"), first);
    EXPECT_NE(signalForKeypath(model, "title"), nullptr);
    rt::Weak<FKKeypathSignal> weakFirst = first;
    first.reset();
    EXPECT_TRUE(weakFirst.expired()) << "the holder does not keep the signal";
    model->setCount(4);
    auto second = signalForKeypath(model, "count");
    EXPECT_EQ(second->lastValue(), rt::Value(4));
    EXPECT_TRUE(second->valueSet());
    ASSERT_TRUE(keypathSignals(*model).has_value());
    EXPECT_EQ(keypathSignals(*model)->size(), 1u);
    EXPECT_FALSE(keypathSignals(*rt::make<Model>()).has_value());
}

TEST(KeypathSignal, FreeingTheSignalRemovesItsObservation) {
    auto model = rt::make<Model>();
    int seen = 0;
    {
        auto signal = signalForKeypath(model, "count");
        auto sub = signal->addValueHandler([&](const rt::Value&) { ++seen; });
    }
    model->setCount(1);
    EXPECT_EQ(seen, 1) << "only the replay at subscription";

    // The observation itself is gone: a change is no longer announced to anybody.
    auto watched = rt::make<WatchedModel>();
    {
        auto signal = signalForKeypath(watched, "count");
        watched->startCounting();
        watched->setCount(1);
        ASSERT_GT(watched->announcedReads, 0) << "an observed change reads the property";
        EXPECT_EQ(signal->lastValue(), rt::Value(1));
    }
    watched->startCounting();
    watched->setCount(2);
    EXPECT_EQ(watched->announcedReads, 0) << "an observation outlived its signal";
}

TEST(KeypathSignal, InitialReportGivesAValueEvenNil) {
    auto model = rt::make<Model>();
    auto signal = signalForKeypath(model, "value");
    EXPECT_TRUE(signal->valueSet());
    std::vector<rt::Value> seen;
    auto sub = signal->addValueHandler([&](const rt::Value& v) { seen.push_back(v); });
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_TRUE(seen[0].isNil());
}

TEST(KeypathSignal, EqualValuesAreDroppedAndNullReadsAsNil) {
    auto model = rt::make<Model>();
    auto signal = signalForKeypath(model, "value");
    std::vector<rt::Value> seen;
    auto sub = signal->addValueHandler([&](const rt::Value& v) { seen.push_back(v); });
    model->setValue(1);
    model->setValue(1.0);  // reported by the observation, dropped by the signal
    model->setValue(rt::Value::null());
    EXPECT_EQ(model->valueWrites, 3);
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[1], rt::Value(1));
    EXPECT_TRUE(seen[2].isNil());
}

TEST(KeypathSignal, DottedPathFollowsAReplacedLink) {
    auto model = rt::make<Model>();
    auto child = rt::make<Model>();
    child->setTitle("a");
    model->setChild(child);
    auto signal = signalForKeypath(model, "child.title");
    EXPECT_EQ(signal->lastValue(), rt::Value("a"));
    auto other = rt::make<Model>();
    other->setTitle("b");
    model->setChild(other);
    EXPECT_EQ(signal->lastValue(), rt::Value("b"));
    child->setTitle("stale");
    EXPECT_EQ(signal->lastValue(), rt::Value("b"));
}

TEST(KeypathSignal, UnknownKeyIsACallerError) {
    auto model = rt::make<Model>();
    EXPECT_THROW(signalForKeypath(model, "noSuchKey"), rt::Exception);
}

TEST(KeypathSignal, DirectSignalClosesWhenItsTargetIsDestroyed) {
    auto model = rt::make<Model>();
    auto direct = FKKeypathSignal::signalWithTarget(model, "count");
    EXPECT_EQ(direct->target(), model.get());
    int closes = 0;
    auto sub = direct->addValueHandler(nullptr, [&] { ++closes; });
    model.reset();
    EXPECT_EQ(closes, 1);
    EXPECT_TRUE(direct->isClosed());
    EXPECT_EQ(direct->target(), nullptr) << "no reference to the freed target is left";
    EXPECT_NE(direct->description().find("kp='count'"), std::string::npos);
}

TEST(KeypathSignal, DirectSignalClosedFirstLeavesTheTargetAlone) {
    auto model = rt::make<Model>();
    auto direct = FKKeypathSignal::signalWithTarget(model, "count");
    std::vector<rt::Value> seen;
    auto sub = direct->addValueHandler([&](const rt::Value& v) { seen.push_back(v); });
    direct->close();
    model->setCount(9);
    direct.reset();
    model.reset();
    EXPECT_EQ(seen, (std::vector<rt::Value>{0}));
}

TEST(KeypathSignal, FreeingEndsTheObservationEvenWhenMarkedClosed) {
    auto model = rt::make<Model>();
    auto direct = FKKeypathSignal::signalWithTarget(model, "count");
    direct->setClosed(true);  // the flag alone: close() will not run again
    direct.reset();
    model->setCount(1);  // must reach no freed signal
    EXPECT_EQ(model->count(), 1);

    auto watched = rt::make<WatchedModel>();
    auto marked = FKKeypathSignal::signalWithTarget(watched, "count");
    marked->setClosed(true);
    marked.reset();
    watched->startCounting();
    watched->setCount(1);
    EXPECT_EQ(watched->announcedReads, 0) << "an observation outlived its signal";
}

TEST(DeallocSignal, OneSignalPerObjectSendingNilThenClosing) {
    auto model = rt::make<Model>();
    auto signal = deallocSignal(model);
    EXPECT_EQ(deallocSignal(model), signal);
    EXPECT_EQ(signal->target(), model.get());
    EXPECT_TRUE(deallocSignalSwizzledClasses().count(&Model::staticClass()));
    std::vector<std::string> events;
    auto sub = signal->addValueHandler([&](const rt::Value& v) { events.push_back(v.isNil() ? "nil" : "value"); },
                                       [&] { events.push_back("close"); });
    EXPECT_TRUE(events.empty()) << "no value before the destruction";
    model.reset();
    EXPECT_EQ(events, (std::vector<std::string>{"nil", "close"}));
}

TEST(DeallocSignal, RunsWhileTheObjectIsWholeBeforeItsOwnDestruction) {
    std::vector<std::string> events;
    auto model = rt::make<Model>();
    model->setTitle("whole");
    Model* raw = model.get();
    model->onWillDestroy = [&] { events.push_back("own destruction"); };
    auto sub = deallocSignal(model)->addValueHandler(
        [&](const rt::Value&) { events.push_back("dealloc:" + raw->title()); });
    model.reset();
    EXPECT_EQ(events, (std::vector<std::string>{"dealloc:whole", "own destruction"}));
}

TEST(DestructionOrder, DeallocHandlersHolderCloseThenCloseHandlersThenOwnDestruction) {
    std::vector<std::string> events;
    auto model = rt::make<Model>();
    model->onWillDestroy = [&] { events.push_back("own destruction"); };
    auto dealloc = deallocSignal(model);
    auto before = dealloc->addValueHandler([&](const rt::Value&) { events.push_back("dealloc value 1"); },
                                           [&] { events.push_back("dealloc close 1"); });
    auto count = signalForKeypath(model, "count");
    auto title = signalForKeypath(model, "title");
    auto c1 = count->addValueHandler(nullptr, [&] { events.push_back("count closed"); });
    auto c2 = title->addValueHandler(nullptr, [&] { events.push_back("title closed"); });
    auto after = dealloc->addValueHandler([&](const rt::Value&) { events.push_back("dealloc value 2"); },
                                          [&] { events.push_back("dealloc close 2"); });
    model.reset();
    EXPECT_EQ(events, (std::vector<std::string>{"dealloc value 1", "count closed", "title closed", "dealloc value 2",
                                                "dealloc close 1", "dealloc close 2", "own destruction"}));
    EXPECT_TRUE(count->isClosed());
    EXPECT_TRUE(title->isClosed());
}

TEST(CustomSignal, StoredWeaklyAndClosedWithTheOwner) {
    auto model = rt::make<Model>();
    EXPECT_EQ(customSignalForKey(*model, "focus"), nullptr);
    EXPECT_TRUE(model->associatedObject(nullptr).isNil()) << "looking up makes no holder";
    auto focus = rt::make<FKSignal>();
    setCustomSignal(*model, focus, "focus");
    EXPECT_EQ(customSignalForKey(*model, std::string("focus")), focus);
    int closes = 0;
    auto sub = focus->addValueHandler(nullptr, [&] { ++closes; });
    model.reset();
    EXPECT_EQ(closes, 1);

    auto other = rt::make<Model>();
    auto temporary = rt::make<FKSignal>();
    setCustomSignal(*other, temporary, "temp");
    temporary.reset();
    EXPECT_EQ(customSignalForKey(*other, "temp"), nullptr);
    EXPECT_THROW(setCustomSignal(*other, rt::make<FKSignal>(), rt::Value()), rt::Exception);
}

TEST(CustomSignal, MadeOnceWhileLiveAndAgainAfterRelease) {
    auto model = rt::make<Model>();
    int made = 0;
    auto make = [&] {
        ++made;
        return rt::make<FKSignal>();
    };
    auto first = customSignal(*model, "focus", make);
    EXPECT_EQ(customSignal(*model, "focus", make), first);
    EXPECT_EQ(customSignalForKey(*model, "focus"), first);
    EXPECT_EQ(made, 1);
    first.reset();
    auto second = customSignal(*model, "focus", make);
    EXPECT_EQ(made, 2) << "the stored signal is held weakly";
    EXPECT_EQ(customSignalForKey(*model, "focus"), second);
}

TEST(KeypathSignal, SkipFirstPassesOnlyLaterChanges) {
    auto model = rt::make<Model>();
    model->setCount(1);
    auto changes = signalForKeypath(model, "count")->skipFirst();
    EXPECT_FALSE(changes->valueSet());
    model->setCount(2);
    EXPECT_EQ(changes->lastValue(), rt::Value(2));
}

