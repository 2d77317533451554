// Typed property keys, typed observations and change scopes.

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <rt/ChangeScope.h>
#include <rt/Key.h>
#include <rt/PropertyTable.h>
#include <rt/ScopedConnection.h>

namespace keytest {

enum class Status { Idle, Loading, Playing };

class Player : public rt::Object {
    RT_CLASS(Player, rt::Object)
private:
    Status status_ = Status::Idle;
    std::atomic<long long> position_{0};
    std::string title_;
    int volume_ = 0;
    int quiet_ = 0;

public:
    static constexpr rt::Key<Player, Status> statusKey{"status", &Player::status_};
    static constexpr rt::AtomicKey<Player, long long> positionKey{"position", &Player::position_};
    static constexpr rt::GuardedKey<Player, std::string> titleKey{"title", &Player::title_};
    static constexpr rt::Key<Player, int> volumeKey{"volume", &Player::volume_};
    static constexpr rt::Key<Player, int> quietKey{"quiet", &Player::quiet_};

    static void describe(rt::ClassBuilder<Player>& c) {
        c.property(statusKey);
        c.property(positionKey);
        c.property(titleKey);
        c.property(volumeKey, &Player::setVolume);
        c.readonly(quietKey);
        c.manualNotification("quiet");
    }

    Status status() const { return statusKey.get(*this); }
    bool setStatus(Status v) { return statusKey.set(*this, v); }
    long long position() const { return positionKey.get(*this); }
    void setPosition(long long v) { positionKey.set(*this, v); }
    std::string title() const { return titleKey.get(*this); }
    void setTitle(std::string v) { titleKey.set(*this, std::move(v)); }
    // A setter whose contract is to act on every call, equal value or not.
    void setVolume(int v) {
        ++volumeCalls;
        volumeKey.setAlways(*this, v);
    }
    void setQuiet(int v) { quietKey.set(*this, v); }
    int volumeCalls = 0;
};

class Owner : public rt::Object {
    RT_CLASS(Owner, rt::Object)
public:
    std::vector<std::pair<Status, Status>> seen;
    std::vector<std::string> log;
};

/// A holder whose readers get read-only keys: one stored (written by the holder through
/// its private key) and one derived from another object's property.
class Screen : public rt::Object {
    RT_CLASS(Screen, rt::Object)
private:
    bool lit_ = false;
    rt::Ref<Player> player_;
    static constexpr rt::Key<Screen, bool> litStore{"lit", &Screen::lit_};
    static constexpr rt::Key<Screen, rt::Ref<Player>> playerStore{"player", &Screen::player_};

public:
    Status shownStatus() const { return player_ ? player_->status() : Status::Idle; }
    static constexpr rt::ReadKey<Screen, bool> litKey{litStore};
    static constexpr rt::ReadKey<Screen, Status> shownStatusKey{"shownStatus", &Screen::shownStatus};
    static void describe(rt::ClassBuilder<Screen>& c) {
        c.readonly(litKey);
        c.property(playerStore);
        c.readonly(shownStatusKey).dependent("shownStatus", {"player.status"});
    }
    void setLit(bool lit) { litStore.set(*this, lit); }
    void setPlayer(rt::Ref<Player> player) { playerStore.set(*this, std::move(player)); }
};

}  // namespace keytest

namespace {

using keytest::Owner;
using keytest::Player;
using keytest::Status;

TEST(TypedKey, SetterSkipsEqualValuesAndSetAlwaysAnnouncesThem) {
    auto player = rt::make<Player>();
    int notices = 0;
    auto token = rt::observe(player, "status", rt::KVONew, [&](const rt::KVOChange&) { ++notices; });
    EXPECT_TRUE(player->setStatus(Status::Loading));
    EXPECT_FALSE(player->setStatus(Status::Loading));
    EXPECT_EQ(notices, 1);

    int volumeNotices = 0;
    auto volumeToken = rt::observe(player, "volume", rt::KVONew, [&](const rt::KVOChange&) { ++volumeNotices; });
    player->setVolume(0);
    player->setVolume(0);
    EXPECT_EQ(volumeNotices, 2);
}

TEST(TypedKey, KeyValueCodingReadsAndWritesThroughTheKey) {
    auto player = rt::make<Player>();
    player->setStatus(Status::Playing);
    player->setTitle("News");
    player->setPosition(12);
    EXPECT_EQ(player->valueForKey("status").intValue(), static_cast<int>(Status::Playing));
    EXPECT_EQ(player->valueForKey("title").string(), "News");
    EXPECT_EQ(player->valueForKey("position").longLongValue(), 12);

    std::vector<std::pair<long long, long long>> changes;
    auto token = rt::observe(player, "status", rt::KVONew | rt::KVOOld, [&](const rt::KVOChange& c) {
        changes.emplace_back(c.oldValue.longLongValue(), c.newValue.longLongValue());
    });
    player->setValueForKey(rt::Value(static_cast<int>(Status::Loading)), "status");
    player->setValueForKey(rt::Value(static_cast<int>(Status::Loading)), "status");  // equal: skipped
    EXPECT_EQ(player->status(), Status::Loading);
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_EQ(changes[0], (std::pair<long long, long long>(2, 1)));

    // A key registered with the class's own setter writes through that setter.
    player->setValueForKey(rt::Value(7), "volume");
    EXPECT_EQ(player->volumeCalls, 1);
    EXPECT_EQ(player->valueForKey("volume").intValue(), 7);
    EXPECT_THROW(player->setValueForKey(rt::Value(1), "quiet"), rt::Exception);  // read-only
}

TEST(TypedKey, ManualKeysStayQuietUntilAScopeAnnouncesThem) {
    auto player = rt::make<Player>();
    int notices = 0;
    auto token = rt::observe(player, "quiet", rt::KVONew, [&](const rt::KVOChange& c) {
        ++notices;
        EXPECT_EQ(c.newValue.intValue(), 3);
    });
    player->setQuiet(3);
    EXPECT_EQ(notices, 0);
    { rt::ChangeScope scope(*player, Player::quietKey.name()); }
    EXPECT_EQ(notices, 1);
}

TEST(TypedObservation, ReportsOldAndNewValuesToItsOwnerInRegistrationOrder) {
    auto player = rt::make<Player>();
    auto owner = rt::make<Owner>();
    auto untyped = rt::observe(player, "status", rt::KVONew, [&](const rt::KVOChange&) { owner->log.push_back("string"); });
    auto handle = rt::observe(player, Player::statusKey, owner, [](Owner& self, Status old, Status now) {
        self.seen.emplace_back(old, now);
        self.log.push_back("typed");
    });
    player->setStatus(Status::Loading);
    player->setStatus(Status::Loading);
    player->setStatus(Status::Playing);
    ASSERT_EQ(owner->seen.size(), 2u);
    EXPECT_EQ(owner->seen[0], std::make_pair(Status::Idle, Status::Loading));
    EXPECT_EQ(owner->seen[1], std::make_pair(Status::Loading, Status::Playing));
    EXPECT_EQ(owner->log, (std::vector<std::string>{"string", "typed", "string", "typed"}));

    // Hand-made announcements reach it too, and remove() ends it.
    {
        rt::ChangeScope scope(*player, "status");
    }
    EXPECT_EQ(owner->seen.size(), 3u);
    EXPECT_EQ(owner->seen[2], std::make_pair(Status::Playing, Status::Playing));
    EXPECT_TRUE(handle.isActive());
    handle.remove();
    EXPECT_FALSE(handle.isActive());
    player->setStatus(Status::Idle);
    EXPECT_EQ(owner->seen.size(), 3u);
}

TEST(TypedObservation, EndsQuietlyWhenItsOwnerGoesFirst) {
    auto player = rt::make<Player>();
    int calls = 0;
    rt::ObservationHandle handle;
    {
        auto owner = rt::make<Owner>();
        handle = rt::observe(player, Player::statusKey, *owner, [&](Owner&, Status, Status) { ++calls; });
        player->setStatus(Status::Loading);
        EXPECT_EQ(calls, 1);
    }
    EXPECT_FALSE(handle.isActive());
    player->setStatus(Status::Playing);  // the owner is gone: nothing runs, nothing crashes
    player->setStatus(Status::Idle);
    EXPECT_EQ(calls, 1);
    // The target's table no longer holds it: a string observer alone sees the change.
    int others = 0;
    auto token = rt::observe(player, "status", rt::KVONew, [&](const rt::KVOChange&) { ++others; });
    player->setStatus(Status::Loading);
    EXPECT_EQ(others, 1);
    EXPECT_EQ(calls, 1);
    handle.remove();  // harmless after the end
}

TEST(TypedObservation, EndsQuietlyWhenItsTargetGoesFirst) {
    auto owner = rt::make<Owner>();
    rt::ObservationHandle handle;
    {
        auto player = rt::make<Player>();
        handle = rt::observe(player, Player::statusKey, owner, [](Owner& self, Status old, Status now) {
            self.seen.emplace_back(old, now);
        });
        player->setStatus(Status::Playing);
    }
    EXPECT_FALSE(handle.isActive());
    EXPECT_EQ(owner->seen.size(), 1u);
    // The owner can observe again and goes away cleanly.
    auto next = rt::make<Player>();
    rt::observe(next, Player::statusKey, owner, [](Owner& self, Status old, Status now) { self.seen.emplace_back(old, now); });
    next->setStatus(Status::Loading);
    EXPECT_EQ(owner->seen.size(), 2u);
}

TEST(TypedObservation, AnObjectObservingItselfEndsWithItself) {
    int calls = 0;
    {
        auto player = rt::make<Player>();
        rt::observe(player, Player::positionKey, player, [&](Player&, long long, long long) { ++calls; });
        player->setPosition(5);
    }
    EXPECT_EQ(calls, 1);
}

TEST(TypedKey, AtomicAndGuardedKeysTakeWritesFromManyThreads) {
    auto player = rt::make<Player>();
    auto owner = rt::make<Owner>();
    std::atomic<int> positionNotices{0};
    std::atomic<int> titleNotices{0};
    rt::observe(player, Player::positionKey, owner, [&](Owner&, long long old, long long now) {
        if (old != now) ++positionNotices;
    });
    auto token = rt::observe(player, "title", rt::KVONew, [&](const rt::KVOChange& c) {
        if (!c.newValue.string().empty()) ++titleNotices;
    });
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 1; i <= 200; ++i) {
                player->setPosition(t * 1000 + i);
                player->setTitle("title " + std::to_string(t * 1000 + i));
            }
        });
    }
    for (auto& th : threads) th.join();
    EXPECT_EQ(positionNotices.load(), 800);
    EXPECT_EQ(titleNotices.load(), 800);
    EXPECT_EQ(player->position() % 1000, 200);
    EXPECT_EQ(player->title().substr(player->title().size() - 3), "200");
}

// ---- change scopes ---------------------------------------------------------------------

struct KeyRecorder {
    std::vector<std::string> events;
    std::vector<rt::Ref<rt::Observation>> tokens;
    void watch(const rt::Ref<rt::Object>& target, const std::string& key) {
        tokens.push_back(rt::observe(target, key, rt::KVONew | rt::KVOPrior, [this, key](const rt::KVOChange& c) {
            events.push_back((c.isPrior ? "will " : "did ") + key);
        }));
    }
};

TEST(ChangeScope, AnnouncesWillsInOrderAndDidsInReverse) {
    auto player = rt::make<Player>();
    KeyRecorder r;
    r.watch(player, "status");
    r.watch(player, "title");
    r.watch(player, "position");
    {
        rt::ChangeScope outer(*player, {"status", "title"});
        r.events.push_back("body");
        {
            rt::ChangeScope inner(*player, "position");
        }
    }
    EXPECT_EQ(r.events, (std::vector<std::string>{"will status", "will title", "body", "will position", "did position",
                                                   "did title", "did status"}));
}

TEST(ChangeScope, AThrowingChangeStillAnnouncesDid) {
    auto player = rt::make<Player>();
    KeyRecorder r;
    r.watch(player, "status");
    r.watch(player, "title");
    EXPECT_THROW(
        {
            rt::ChangeScope scope(*player, {"status", "title"});
            throw std::runtime_error("change failed");
        },
        std::runtime_error);
    EXPECT_EQ(r.events, (std::vector<std::string>{"will status", "will title", "did title", "did status"}));
}

TEST(ChangeScope, AnObserverThrowingInAWillStillBalancesTheKeysAnnounced) {
    auto player = rt::make<Player>();
    KeyRecorder r;
    r.watch(player, "status");
    auto thrower = rt::observe(player, "title", rt::KVOPrior, [](const rt::KVOChange& c) {
        if (c.isPrior) throw std::runtime_error("observer failed");
    });
    EXPECT_THROW(rt::ChangeScope(*player, {"status", "title", "position"}), std::runtime_error);
    EXPECT_EQ(r.events, (std::vector<std::string>{"will status", "did status"}));
}

TEST(ChangeScope, AnObserverThrowingInADidLetsTheOtherDidsOutFirst) {
    auto player = rt::make<Player>();
    KeyRecorder r;
    r.watch(player, "status");
    auto thrower = rt::observe(player, "title", rt::KVONew, [](const rt::KVOChange&) { throw std::runtime_error("did failed"); });
    EXPECT_THROW({ rt::ChangeScope scope(*player, {"status", "title"}); }, std::runtime_error);
    EXPECT_EQ(r.events, (std::vector<std::string>{"will status", "did status"}));
}

TEST(ChangeScope, ManyKeysKeepTheirOrder) {
    auto player = rt::make<Player>();
    std::vector<std::string> order;
    std::vector<rt::Ref<rt::Observation>> tokens;
    for (auto k : {"status", "title", "position", "volume", "quiet"})
        tokens.push_back(rt::observe(player, k, rt::KVOPrior, [&order, k](const rt::KVOChange& c) {
            order.push_back(std::string(c.isPrior ? "+" : "-") + k);
        }));
    { rt::ChangeScope scope(*player, {"status", "title", "position", "volume", "quiet"}); }
    EXPECT_EQ(order, (std::vector<std::string>{"+status", "+title", "+position", "+volume", "+quiet", "-quiet", "-volume",
                                               "-position", "-title", "-status"}));
}

}  // namespace

namespace {

// Observations of a direct key read through the property they found last; a switch of
// the object's class or a property added later must be seen.
TEST(DirectKeyObservation, FollowsAClassSwitchAndPropertiesAddedLater) {
    auto player = rt::make<Player>();
    std::vector<long long> seen;
    auto token = rt::observe(player, "position", rt::KVONew, [&](const rt::KVOChange& c) { seen.push_back(c.newValue.longLongValue()); });
    player->setPosition(1);

    rt::Class* doubling = rt::Class::allocateClassPair(&Player::staticClass(), "keytest.DoublingPlayer");
    ASSERT_NE(doubling, nullptr);
    player->setObjectClass(*doubling);
    player->setPosition(2);  // no property of its own yet: the inherited one answers
    rt::Property twice;
    twice.key = "position";
    twice.getter = [](const rt::Object& o) { return rt::Value(static_cast<const Player&>(o).position() * 2); };
    doubling->properties().add(twice);
    player->setPosition(3);
    player->setObjectClass(Player::staticClass());
    player->setPosition(4);
    EXPECT_EQ(seen, (std::vector<long long>{1, 2, 6, 4}));
}

using keytest::Screen;

template <class K> concept WritableKey = requires(const K& key, Screen& s) { key.set(s, key.get(s)); };
static_assert(!WritableKey<decltype(Screen::litKey)>, "a read-only key has no setter");
static_assert(!WritableKey<decltype(Screen::shownStatusKey)>);

TEST(ReadKey, StoredAndDerivedKeysAreObservedTypedAndRefuseWritesByName) {
    auto screen = rt::make<Screen>();
    auto owner = rt::make<Owner>();
    std::vector<bool> lit;
    rt::observe(screen, Screen::litKey, *owner, [&](Owner&, bool, bool now) { lit.push_back(now); });
    rt::observe(screen, Screen::shownStatusKey, *owner,
                [](Owner& o, Status old, Status now) { o.seen.emplace_back(old, now); });
    screen->setLit(true);
    EXPECT_EQ(lit, std::vector<bool>{true});

    // A derived key follows what it depends on: a new player, then that player's status.
    auto player = rt::make<Player>();
    player->setStatus(Status::Loading);
    screen->setPlayer(player);
    player->setStatus(Status::Playing);
    player->setStatus(Status::Playing);  // no change, no call
    screen->setPlayer(nullptr);
    EXPECT_EQ(owner->seen, (std::vector<std::pair<Status, Status>>{
                               {Status::Idle, Status::Loading}, {Status::Loading, Status::Playing},
                               {Status::Playing, Status::Idle}}));
    EXPECT_EQ(Screen::shownStatusKey.get(*screen), Status::Idle);

    EXPECT_THROW(screen->setValueForKey(rt::Value(false), "lit"), rt::Exception);
    EXPECT_THROW(screen->setValueForKey(rt::Value(0), "shownStatus"), rt::Exception);
    EXPECT_TRUE(Screen::litKey.get(*screen));
}

TEST(ReadKey, AScopedConnectionFollowsADerivedKeyUntilItEnds) {
    auto screen = rt::make<Screen>();
    auto player = rt::make<Player>();
    screen->setPlayer(player);
    std::vector<Status> seen;
    {
        rt::ScopedConnection connection =
            rt::observe(screen, Screen::shownStatusKey, [&](Status, Status now) { seen.push_back(now); });
        player->setStatus(Status::Loading);
    }
    player->setStatus(Status::Playing);
    EXPECT_EQ(seen, std::vector<Status>{Status::Loading});
}

TEST(ReadKey, ADerivedObservationEndsWithItsOwner) {
    auto screen = rt::make<Screen>();
    auto player = rt::make<Player>();
    screen->setPlayer(player);
    int calls = 0;
    {
        auto owner = rt::make<Owner>();
        rt::observe(screen, Screen::shownStatusKey, *owner, [&](Owner&, Status, Status) { ++calls; });
        player->setStatus(Status::Loading);
    }
    player->setStatus(Status::Playing);
    EXPECT_EQ(calls, 1);
}

}  // namespace
