// Notification signals on the default centre.

#include <gtest/gtest.h>

#include <vector>

#include <RuzEzo/Signal/Notification/FKNotificationObserverSignal.h>

using namespace zid;

namespace {

class Sender : public rt::Object {
    RT_CLASS(Sender, rt::Object)
};

}  // namespace

TEST(NotificationSignal, OnlyTheChosenSenderAndEveryPost) {
    auto center = fnd::NotificationCenter::defaultCenter();
    auto sender = rt::make<Sender>(), other = rt::make<Sender>();
    auto signal = signalWithNotificationName(std::string("SignalTest.Changed"), sender);
    EXPECT_TRUE(signal->repetitive());
    EXPECT_FALSE(signal->valueSet());
    std::vector<rt::Ref<fnd::Notification>> seen;
    auto sub = signal->addValueHandler([&](const rt::Value& v) { seen.push_back(v.as<fnd::Notification>()); });
    auto note = rt::make<fnd::Notification>("SignalTest.Changed", sender);
    center->post(note);
    center->post(note);
    center->post("SignalTest.Changed", other);
    center->post("SignalTest.Other", sender);
    ASSERT_EQ(seen.size(), 2u) << "two identical posts give two values; other senders and names none";
    EXPECT_EQ(seen[0], note);
    EXPECT_EQ(signal->lastValue().as<fnd::Notification>(), note);
}

TEST(NotificationSignal, AnySenderWhenNoneIsGiven) {
    auto center = fnd::NotificationCenter::defaultCenter();
    auto signal = signalWithNotificationName(std::string("SignalTest.Any"));
    int count = 0;
    auto sub = signal->addValueHandler([&](const rt::Value&) { ++count; });
    center->post("SignalTest.Any", rt::make<Sender>());
    center->post("SignalTest.Any");
    EXPECT_EQ(count, 2);
}

TEST(NotificationSignal, CloseAndFreeingEndTheRegistration) {
    auto center = fnd::NotificationCenter::defaultCenter();
    const std::size_t before = center->observerCount();
    auto signal = signalWithNotificationName(std::string("SignalTest.Gone"));
    int count = 0;
    auto sub = signal->addValueHandler([&](const rt::Value&) { ++count; }, [&] { count += 100; });
    EXPECT_EQ(center->observerCount(), before + 1);
    signal->close();
    EXPECT_EQ(count, 100);
    EXPECT_EQ(center->observerCount(), before);
    center->post("SignalTest.Gone");
    EXPECT_EQ(count, 100);

    auto freed = signalWithNotificationName(std::string("SignalTest.Gone"));
    freed.reset();
    EXPECT_EQ(center->observerCount(), before);
    center->post("SignalTest.Gone");  // reaches nobody, fails nothing
}
