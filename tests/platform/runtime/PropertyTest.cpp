// Properties declared once (rt/Property.h) and values under their own lock (rt/Locked.h).

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <rt/Exception.h>
#include <rt/Locked.h>
#include <rt/Property.h>

namespace proptest {

enum class Phase { Idle, Loading, Playing };

/// Declares every property once and has no describe of its own.
class Deck : public rt::Object {
    RT_CLASS(Deck, rt::Object)
    Phase phase_ = Phase::Idle;
    bool muted_ = false;
    int volume_ = 0;
    std::atomic<long long> position_{0};
    std::string title_;

public:
    static constexpr rt::Stored<&Deck::phase_, "phase"> phaseKey{};
    static constexpr rt::Stored<&Deck::muted_, "muted", rt::writable> mutedKey{};
    static constexpr rt::Stored<&Deck::position_, "position"> positionKey{};
    static constexpr rt::Stored<&Deck::title_, "title", rt::readOnly, rt::Storage::Guarded> titleKey{};

    Phase phase() const { return phase_; }
    bool isPlaying() const { return phase_ == Phase::Playing; }
    static constexpr rt::Derived<&Deck::isPlaying, "isPlaying", "phase"> isPlayingKey{};
    int volume() const { return volume_; }
    void setVolume(int v) {
        ++volumeCalls;
        rt::kvoSet(this, "volume", volume_, v);
    }
    static constexpr rt::Accessor<&Deck::volume, &Deck::setVolume, "volume"> volumeKey{};

    void setPhase(Phase p) { phaseKey.set(*this, p); }
    void setPosition(long long p) { positionKey.set(*this, p); }
    void setTitle(std::string t) { titleKey.set(*this, std::move(t)); }
    int volumeCalls = 0;
};

/// Its own describe adds to the declared entries; a derived key follows another object.
class Console : public rt::Object {
    RT_CLASS(Console, rt::Object)
    rt::Ref<Deck> deck_;
    int level_ = 0;

public:
    static constexpr rt::Stored<&Console::deck_, "deck", rt::writable> deckKey{};
    static constexpr rt::Stored<&Console::level_, "level"> levelKey{};
    Phase shownPhase() const { return deck_ ? deck_->phase() : Phase::Idle; }
    static constexpr rt::Derived<&Console::shownPhase, "shownPhase", "deck.phase"> shownPhaseKey{};
    static void describe(rt::ClassBuilder<Console>& c) { c.manualNotification("level"); }
    void setLevel(int level) { levelKey.set(*this, level); }
};

class Studio : public Console {
    RT_CLASS(Studio, Console)
};

class Facade;

/// A private implementation holding the fields of Facade.
class FacadeInside {
public:
    static const FacadeInside& of(const Facade& facade);
    std::string label_;
    bool lit_ = false;
    int twice() const { return 2 * count_; }
    int count_ = 0;
};

class Facade : public rt::Object {
    RT_CLASS(Facade, rt::Object)
public:
    bool lit() const { return inside_.lit_; }
    void setLit(bool lit) {
        ++litCalls;
        Lit::set(*this, inside_, lit);
    }
    void setLabel(std::string label) { Label::set(*this, inside_, std::move(label)); }
    void setCount(int count) { Count::set(*this, inside_, count); }
    int litCalls = 0;

    using Label = rt::Inside<Facade, &FacadeInside::label_, "label">;
    using Lit = rt::Inside<Facade, &FacadeInside::lit_, "lit", &Facade::setLit>;
    using Count = rt::Inside<Facade, &FacadeInside::count_, "count">;
    using Twice = rt::Inside<Facade, &FacadeInside::twice, "twice", rt::readOnly, "count">;
    static constexpr Label labelKey{};
    static constexpr Lit litKey{};
    static constexpr Count countKey{};
    static constexpr Twice twiceKey{};

private:
    friend class FacadeInside;
    FacadeInside inside_;
};

const FacadeInside& FacadeInside::of(const Facade& facade) { return facade.inside_; }

class Listener : public rt::Object {
    RT_CLASS(Listener, rt::Object)
public:
    std::vector<std::pair<Phase, Phase>> seen;
};

// Only the owning class writes through its keys.
template <class K, class Cls, class V>
concept WritableByKey = requires(const K& key, Cls& object, V value) { key.set(object, value); };
static_assert(!WritableByKey<decltype(Deck::phaseKey), Deck, Phase>);
static_assert(!WritableByKey<decltype(Deck::mutedKey), Deck, bool>);
static_assert(WritableByKey<rt::Key<Deck, Phase>, Deck, Phase>);
// An accessor's key writes through the class's setter; a derived key has no writer.
static_assert(WritableByKey<decltype(Deck::volumeKey), Deck, int>);
static_assert(!WritableByKey<decltype(Deck::isPlayingKey), Deck, bool>);

}  // namespace proptest

namespace {

using proptest::Console;
using proptest::Deck;
using proptest::Facade;
using proptest::Listener;
using proptest::Phase;
using proptest::Studio;

TEST(Property, TheDeclarationIsTheEntryAndRefusesWhatItDoesNotAllow) {
    auto deck = rt::make<Deck>();
    deck->setPhase(Phase::Loading);
    deck->setPosition(42);
    deck->setTitle("News");
    EXPECT_EQ(deck->valueForKey("phase").intValue(), static_cast<int>(Phase::Loading));
    EXPECT_EQ(deck->valueForKey("position").longLongValue(), 42);
    EXPECT_EQ(deck->valueForKey("title").string(), "News");
    EXPECT_FALSE(deck->valueForKey("isPlaying").boolValue());

    // Read-only keys, stored or derived, refuse writes by name and keep their value.
    EXPECT_THROW(deck->setValueForKey(rt::Value(2), "phase"), rt::Exception);
    EXPECT_THROW(deck->setValueForKey(rt::Value(7), "position"), rt::Exception);
    EXPECT_THROW(deck->setValueForKey(rt::Value("x"), "title"), rt::Exception);
    EXPECT_THROW(deck->setValueForKey(rt::Value(true), "isPlaying"), rt::Exception);
    EXPECT_EQ(deck->phase(), Phase::Loading);
    EXPECT_EQ(Deck::titleKey.get(*deck), "News");

    // A writable key writes by name through the key: an equal value is not announced.
    int mutedNotices = 0;
    auto token = rt::observe(deck, "muted", rt::KVONew, [&](const rt::KVOChange&) { ++mutedNotices; });
    deck->setValueForKey(rt::Value(true), "muted");
    deck->setValueForKey(rt::Value(true), "muted");
    EXPECT_TRUE(Deck::mutedKey.get(*deck));
    EXPECT_EQ(mutedNotices, 1);

    // An accessor writes by name through the class's setter, every call.
    deck->setValueForKey(rt::Value(5), "volume");
    deck->setValueForKey(rt::Value(5), "volume");
    EXPECT_EQ(deck->volumeCalls, 2);
    EXPECT_EQ(deck->valueForKey("volume").intValue(), 5);
}

TEST(Property, DependentKeysAreAnnouncedWithWhatTheyDependOnAndDescribeStillAdds) {
    auto console = rt::make<Studio>();  // a subclass sees the declarations of its ancestors
    auto deck = rt::make<Deck>();
    std::vector<long long> shown;
    auto token = rt::observe(console, "shownPhase", rt::KVONew,
                             [&](const rt::KVOChange& c) { shown.push_back(c.newValue.longLongValue()); });
    deck->setPhase(Phase::Loading);
    console->setValueForKey(rt::Value(rt::Ref<rt::Object>(deck)), "deck");
    deck->setPhase(Phase::Playing);
    console->setValueForKey(rt::Value(), "deck");
    EXPECT_EQ(shown, (std::vector<long long>{1, 2, 0}));

    std::vector<bool> playing;
    auto playingToken = rt::observe(deck, "isPlaying", rt::KVONew,
                                    [&](const rt::KVOChange& c) { playing.push_back(c.newValue.boolValue()); });
    deck->setPhase(Phase::Idle);
    EXPECT_EQ(playing, std::vector<bool>{false});

    // The class's own describe ran as well: the level is announced by hand only.
    int levelNotices = 0;
    auto levelToken = rt::observe(console, "level", rt::KVONew, [&](const rt::KVOChange&) { ++levelNotices; });
    console->setLevel(3);
    EXPECT_EQ(levelNotices, 0);
    EXPECT_EQ(console->valueForKey("level").intValue(), 3);
}

TEST(Property, TypedObservationFollowsStoredAndDerivedDeclarations) {
    auto console = rt::make<Console>();
    auto deck = rt::make<Deck>();
    auto listener = rt::make<Listener>();
    std::vector<std::pair<Phase, Phase>> stored;
    rt::observe(deck, Deck::phaseKey, *listener, [&](Listener&, Phase old, Phase now) { stored.emplace_back(old, now); });
    rt::observe(console, Console::shownPhaseKey, *listener,
                [](Listener& l, Phase old, Phase now) { l.seen.emplace_back(old, now); });
    deck->setPhase(Phase::Loading);
    console->setValueForKey(rt::Value(rt::Ref<rt::Object>(deck)), "deck");
    deck->setPhase(Phase::Loading);  // equal: no call
    deck->setPhase(Phase::Playing);
    EXPECT_EQ(stored, (std::vector<std::pair<Phase, Phase>>{{Phase::Idle, Phase::Loading}, {Phase::Loading, Phase::Playing}}));
    EXPECT_EQ(listener->seen,
              (std::vector<std::pair<Phase, Phase>>{{Phase::Idle, Phase::Loading}, {Phase::Loading, Phase::Playing}}));
    EXPECT_EQ(Console::shownPhaseKey.get(*console), Phase::Playing);
}

TEST(Property, InsideDeclarationsAreTheOwnersEntries) {
    auto facade = rt::make<Facade>();
    std::vector<std::string> notices;
    std::vector<rt::Ref<rt::Observation>> tokens;
    for (const char* key : {"label", "lit", "count", "twice"}) {
        tokens.push_back(rt::observe(facade, key, rt::KVONew,
                                     [&notices, key](const rt::KVOChange& c) { notices.push_back(key + (":" + c.newValue.description())); }));
    }
    facade->setLabel("On air");
    facade->setLabel("On air");  // equal: not announced
    facade->setCount(4);
    EXPECT_EQ(notices, (std::vector<std::string>{"label:On air", "count:4", "twice:8"}));
    EXPECT_EQ(facade->valueForKey("label").string(), "On air");
    EXPECT_EQ(facade->valueForKey("twice").intValue(), 8);

    EXPECT_THROW(facade->setValueForKey(rt::Value("x"), "label"), rt::Exception);
    EXPECT_THROW(facade->setValueForKey(rt::Value(1), "twice"), rt::Exception);
    facade->setValueForKey(rt::Value(true), "lit");  // through the owner's setter
    EXPECT_EQ(facade->litCalls, 1);
    EXPECT_TRUE(facade->lit());
    EXPECT_EQ(Facade::Twice::get(proptest::FacadeInside::of(*facade)), 8);
}

TEST(Property, GuardedDeclarationsTakeWritesAndReadsFromTwoThreads) {
    auto deck = rt::make<Deck>();
    std::atomic<int> positionNotices{0};
    std::atomic<int> titleNotices{0};
    auto positionToken = rt::observe(deck, "position", rt::KVONew, [&](const rt::KVOChange&) { ++positionNotices; });
    auto titleToken = rt::observe(deck, "title", rt::KVONew, [&](const rt::KVOChange&) { ++titleNotices; });
    std::atomic<bool> torn{false};
    auto work = [&](int base) {
        for (int i = 1; i <= 300; ++i) {
            deck->setPosition(base + i);
            deck->setTitle(std::string(40, static_cast<char>('a' + base / 1000)) + std::to_string(i));
            auto title = Deck::titleKey.get(*deck);
            if (title.size() < 41 || title.find_first_not_of(title[0]) != 40) torn = true;
        }
    };
    std::thread first(work, 0);
    std::thread second(work, 1000);
    first.join();
    second.join();
    EXPECT_FALSE(torn.load());
    EXPECT_EQ(positionNotices.load(), 600);
    EXPECT_EQ(titleNotices.load(), 600);
    EXPECT_EQ(deck->valueForKey("position").longLongValue() % 1000, 300);
}

// ---- values under their own lock --------------------------------------------------------

/// Reads the locked value it sat in when it is released: it would wait for ever if the
/// write that replaced it released it under the lock.
struct Reentrant {
    rt::Locked<std::shared_ptr<Reentrant>>* home = nullptr;
    std::atomic<int>* released = nullptr;
    ~Reentrant() {
        if (home) (void)home->get();
        if (released) ++*released;
    }
};

TEST(Locked, ReadsAndWritesFromTwoThreadsAndReleasesTheOldValueOutsideTheLock) {
    rt::Locked<std::string> text{"start"};
    std::atomic<bool> torn{false};
    auto work = [&](char c) {
        for (int i = 0; i < 2000; ++i) {
            text.set(std::string(64, c));
            auto now = text.get();
            if (now.size() != 64 || now.find_first_not_of(now[0]) != std::string::npos) torn = true;
        }
    };
    std::thread first(work, 'x');
    std::thread second(work, 'y');
    first.join();
    second.join();
    EXPECT_FALSE(torn.load());
    EXPECT_EQ(text.exchange("end").size(), 64u);
    EXPECT_EQ(text.get(), "end");

    rt::Locked<std::shared_ptr<Reentrant>> slot;
    std::atomic<int> released{0};
    auto first_value = std::make_shared<Reentrant>();
    first_value->home = &slot;
    first_value->released = &released;
    slot.set(std::move(first_value));
    slot.set(nullptr);  // the last reference goes: its destructor reads the slot
    EXPECT_EQ(released.load(), 1);
}

}  // namespace
