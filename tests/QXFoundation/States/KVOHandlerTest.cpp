#include <gtest/gtest.h>

#include <vector>

#include "Extensions/BlockObserver.h"
#include <QXFoundation/States/ErrorState.h>
#include <rt/Exception.h>
#include <rt/KVC.h>

namespace kvohandlertest {

class Item : public rt::Object, public zid::ErrorState {
    RT_CLASS(Item, rt::Object)
public:
    static void describe(rt::ClassBuilder<Item>& c) {
        c.property("title", &Item::title, &Item::setTitle);
        c.property("extra", &Item::extra, &Item::setExtra);
        c.property("error", &Item::error, &Item::setError);
    }
    std::string title() const { return title_; }
    void setTitle(std::string v) { rt::kvoSet(this, "title", title_, std::move(v)); }
    rt::Value extra() const { return extra_; }
    void setExtra(rt::Value v) { rt::kvoSet(this, "extra", extra_, std::move(v)); }
    rt::Ref<rt::Error> error() const override { return error_; }
    void setError(rt::Ref<rt::Error> e) override { rt::kvoSet(this, "error", error_, std::move(e)); }

private:
    std::string title_ = "first";
    rt::Value extra_ = rt::Value::null();
    rt::Ref<rt::Error> error_;
};

struct Seen {
    std::vector<rt::Value> values;
    zid::QXKVOHandler::Handler fn() {
        return [this](const rt::Value& v) { values.push_back(v); };
    }
};

}  // namespace kvohandlertest

using namespace kvohandlertest;

TEST(KVOHandlerTest, CallsAtOnceThenOncePerChange) {
    auto item = rt::make<Item>();
    Seen seen;
    auto handler = zid::addKVOHandler(item, seen.fn(), "title");
    ASSERT_EQ(seen.values.size(), 1u);  // during the registration
    EXPECT_EQ(seen.values[0].string(), "first");
    item->setTitle("second");
    item->setTitle("second");
    ASSERT_EQ(seen.values.size(), 2u);
    EXPECT_EQ(seen.values[1].string(), "second");
    EXPECT_EQ(handler->keypath(), "title");
    EXPECT_EQ(handler->target(), item);
}

TEST(KVOHandlerTest, TheNullPlaceholderArrivesAsNil) {
    auto item = rt::make<Item>();
    Seen seen;
    auto handler = zid::addKVOHandler(item, seen.fn(), "extra");
    item->setExtra(rt::Value(1));
    item->setExtra(rt::Value::null());
    ASSERT_EQ(seen.values.size(), 3u);
    EXPECT_TRUE(seen.values[0].isNil());
    EXPECT_EQ(seen.values[1].intValue(), 1);
    EXPECT_TRUE(seen.values[2].isNil());
}

TEST(KVOHandlerTest, DisposeEndsTheObservationOnce) {
    auto item = rt::make<Item>();
    Seen seen;
    auto handler = zid::addKVOHandler(item, seen.fn(), "title");
    handler->dispose();
    EXPECT_EQ(handler->target(), nullptr);
    item->setTitle("unseen");
    handler->dispose();
    handler = nullptr;  // destruction after dispose: nothing more
    EXPECT_EQ(seen.values.size(), 1u);

    // Dropping the handler without disposing ends the observation too.
    zid::addKVOHandler(item, seen.fn(), "title");
    item->setTitle("again");
    EXPECT_EQ(seen.values.size(), 2u);  // only the initial call of the dropped handler
}

TEST(KVOHandlerTest, ATargetDestroyedFirstEndsTheObservation) {
    Seen seen;
    rt::Ref<zid::QXKVOHandler> handler;
    {
        auto item = rt::make<Item>();
        handler = zid::addKVOHandler(item, seen.fn(), "title");
        item->setTitle("last");
    }
    // The target's own destruction ended the observation: disposing and destroying
    // the handler later touch nothing that is gone.
    EXPECT_EQ(handler->target(), nullptr);
    handler->dispose();
    handler = nullptr;
    EXPECT_EQ(seen.values.size(), 2u);
}

TEST(KVOHandlerTest, OnlyReportsOfItsOwnKeyPathReachTheBlock) {
    auto item = rt::make<Item>();
    Seen seen;
    auto handler = zid::addKVOHandler(item, seen.fn(), "title");
    handler->setKeypath("other");
    item->setTitle("filtered");
    EXPECT_EQ(seen.values.size(), 1u);

    // A key the target does not answer fails when the handler is made.
    bool threw = false;
    try {
        zid::addKVOHandler(item, seen.fn(), "missing");
    } catch (const rt::Exception& e) {
        threw = e.name() == rt::Exception::UndefinedKey;
    }
    EXPECT_TRUE(threw);
}

TEST(KVOHandlerTest, ErrorStateIsFollowedUnderTheErrorKey) {
    auto item = rt::make<Item>();
    Seen seen;
    auto handler = zid::addKVOHandler(item, seen.fn(), "error");
    auto failure = rt::Error::withDescription("Test", 4, "broken");
    zid::ErrorState& state = *item;
    state.setError(failure);
    ASSERT_EQ(seen.values.size(), 2u);
    EXPECT_TRUE(seen.values[0].isNil());
    EXPECT_EQ(seen.values[1].object(), failure);
}
