// Typed observation from plain C++ code: the connection the caller keeps is the
// observation's lifetime.

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include <rt/Key.h>
#include <rt/ScopedConnection.h>

namespace scopedtest {

class Clip : public rt::Object {
    RT_CLASS(Clip, rt::Object)
private:
    int volume_ = 0;

public:
    static constexpr rt::Key<Clip, int> volumeKey{"volume", &Clip::volume_};
    static void describe(rt::ClassBuilder<Clip>& c) { c.property(volumeKey); }
    void setVolume(int v) { volumeKey.set(*this, v); }
};

// Not a runtime object: a plain class keeping its connection as a member.
struct Meter {
    explicit Meter(const rt::Ref<Clip>& clip)
        : connection(rt::observe(clip, Clip::volumeKey, [this](int old, int now) { seen.emplace_back(old, now); })) {}
    std::vector<std::pair<int, int>> seen;
    rt::ScopedConnection connection;
};

TEST(ScopedConnection, DeliversOldAndNewUntilItsHandleGoes) {
    auto clip = rt::make<Clip>();
    std::vector<std::pair<int, int>> seen;
    {
        auto connection = rt::observe(clip, Clip::volumeKey, [&](int old, int now) { seen.emplace_back(old, now); });
        EXPECT_TRUE(connection.connected());
        clip->setVolume(3);
        clip->setVolume(3);  // equal: nothing announced
        clip->setVolume(7);
    }
    clip->setVolume(9);
    EXPECT_EQ(seen, (std::vector<std::pair<int, int>>{{0, 3}, {3, 7}}));

    auto meter = std::make_unique<Meter>(clip);
    clip->setVolume(1);
    meter.reset();  // the plain object goes with its connection; no call reaches it after
    clip->setVolume(2);
}

TEST(ScopedConnection, NeverFiresAfterDisconnectAlsoFromInsideACallback) {
    auto clip = rt::make<Clip>();
    int calls = 0;
    rt::ScopedConnection connection;
    connection = rt::observe(clip, Clip::volumeKey, [&](int, int now) {
        ++calls;
        if (now == 2) connection.disconnect();
    });
    clip->setVolume(1);
    clip->setVolume(2);
    EXPECT_FALSE(connection.connected());
    clip->setVolume(3);
    EXPECT_EQ(calls, 2);
    connection.disconnect();  // again: nothing happens

    // A moved-from connection is empty; the moved-to one carries the observation.
    auto first = rt::observe(clip, Clip::volumeKey, [&](int, int) { ++calls; });
    rt::ScopedConnection second = std::move(first);
    EXPECT_FALSE(first.connected());
    EXPECT_TRUE(second.connected());
    clip->setVolume(4);
    EXPECT_EQ(calls, 3);
}

TEST(ScopedConnection, SurvivesItsTargetQuietly) {
    auto clip = rt::make<Clip>();
    int calls = 0;
    auto connection = rt::observe(clip, Clip::volumeKey, [&](int, int) { ++calls; });
    clip->setVolume(1);
    clip = nullptr;
    EXPECT_FALSE(connection.connected());
    connection.disconnect();
    EXPECT_EQ(calls, 1);
    EXPECT_THROW((void)rt::observe(rt::Ref<Clip>(), Clip::volumeKey, [](int, int) {}), rt::Exception);
}

}  // namespace scopedtest
