// Seeks in every order with a stream choice, a pause and a play, asked in one turn of the
// loop or across turns, on the scripted engine on virtual time, with the engine
// answering at once, late, or out of order. Whatever the order, each seek is answered
// once (NO exactly when a newer one came before it landed), the position reads the
// newest target until that seek is answered and where it landed from then on, and a
// target is never reported as a place playback reached.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <optional>
#include <string>
#include <vector>

#include <media/Asset.h>
#include <media/Player.h>
#include <media/ScriptedEngine.h>

#include "VirtualTime.h"

namespace {

using namespace media;

constexpr const char* kOrderURL = "https://origin.test/vod/index.m3u8";
// A default seek to 7.3 lands on the key frame at 6; an exact one to 12.5 on 12.5.
constexpr double kFirstTarget = 7.3, kFirstLanding = 6.0, kSecondTarget = 12.5;

enum class Op { FirstSeek, SecondSeek, Choice, Pause, Play };
const char* const kOpNames[] = {"seek", "seek again", "choice", "pause", "play"};

struct Answers {
    const char* name;
    fnd::TimeInterval seekTime;
    bool replacedLate;
};

rt::Ref<MediaSelectionGroup> twoAudioRenditions() {
    auto en = rt::make<MediaSelectionOption>("audio-en", MediaTypeAudio, "en", "ENG");
    auto fr = rt::make<MediaSelectionOption>("audio-fr", MediaTypeAudio, "fr", "FRA");
    return rt::make<MediaSelectionGroup>(MediaCharacteristicAudible, std::vector<rt::Ref<MediaSelectionOption>>{en, fr}, en, false);
}

class SeekOrderTest : public zidtest::VirtualTimeTest, public ::testing::WithParamInterface<Answers> {
protected:
    /// One run of the five operations in `order`, `step` virtual seconds apart (0: all in
    /// one turn).
    void run(const std::vector<Op>& order, fnd::TimeInterval step) {
        auto engine = rt::make<ScriptedEngine>();
        ScriptedMedia script;
        script.keyFrameInterval = 2;
        script.seekTime = GetParam().seekTime;
        script.answersReplacedLate = GetParam().replacedLate;
        auto group = twoAudioRenditions();
        script.groups = {group};
        engine->setScript(kOrderURL, script);
        auto item = PlayerItem::playerItemWithAsset(rt::make<Asset>(kOrderURL, engine));
        auto player = Player::playerWithPlayerItem(item);
        // Times told while a seek asked by the test was unanswered.
        std::vector<double> toldInFlight;
        int asked = 0, answeredCount = 0;
        auto observer = player->addPeriodicTimeObserverForInterval(Time::seconds(0.05), [&](Time t) {
            if (answeredCount < asked) toldInFlight.push_back(t.toSeconds());
        });
        advance(0.3);
        ASSERT_EQ(item->status(), PlayerItemStatus::ReadyToPlay);
        player->play();
        advance(1);

        struct Seek {
            std::optional<bool> answer;
            int answers = 0;
            double positionWhenAnswered = -1;
            bool newerAskedBeforeAnswer = false;
        };
        std::array<Seek, 2> seeks;
        bool secondAsked = false;
        bool pausedBeforeSecondLanded = false;
        auto answered = [&](int which) {
            ++asked;
            return [&, which](bool finished) {
                ++answeredCount;
                auto& s = seeks[static_cast<std::size_t>(which)];
                ++s.answers;
                s.answer = finished;
                s.positionWhenAnswered = player->currentTime().toSeconds();
                s.newerAskedBeforeAnswer = which == 0 && secondAsked;
            };
        };
        // What the position must read while the newest seek asked so far is unanswered.
        auto checkMask = [&] {
            if (secondAsked && !seeks[1].answer) {
                EXPECT_DOUBLE_EQ(player->currentTime().toSeconds(), kSecondTarget) << "the newest target while it is in flight";
                EXPECT_TRUE(player->isSeeking());
            } else if (!secondAsked && seeks[0].answers == 0 && player->isSeeking()) {
                EXPECT_DOUBLE_EQ(player->currentTime().toSeconds(), kFirstTarget);
            }
        };
        for (Op op : order) {
            switch (op) {
                case Op::FirstSeek: player->seekToTime(Time::seconds(kFirstTarget), answered(0)); break;
                case Op::SecondSeek:
                    secondAsked = true;
                    player->seekToTime(Time::seconds(kSecondTarget), Time::zero(), Time::zero(), answered(1));
                    break;
                case Op::Choice: item->selectMediaOption(group->options()[1], group); break;
                case Op::Pause:
                    player->pause();
                    pausedBeforeSecondLanded = !seeks[1].answer;
                    break;
                case Op::Play: player->play(); break;
            }
            checkMask();
            if (step > 0) advance(step);
            checkMask();
        }
        for (int i = 0; i < 40 && !(seeks[0].answer && seeks[1].answer); ++i) {
            advance(0.05);
            checkMask();
        }
        ASSERT_TRUE(seeks[0].answer && seeks[1].answer) << "every seek is answered";
        advance(1);  // nothing more comes
        EXPECT_EQ(seeks[0].answers, 1);
        EXPECT_EQ(seeks[1].answers, 1);

        // The first seek did not land exactly when the second came before its answer.
        EXPECT_EQ(*seeks[0].answer, !seeks[0].newerAskedBeforeAnswer) << "the first seek's answer";
        if (*seeks[0].answer) {
            EXPECT_DOUBLE_EQ(seeks[0].positionWhenAnswered, kFirstLanding) << "read where it landed";
        }
        EXPECT_TRUE(*seeks[1].answer) << "the newest seek lands";
        EXPECT_DOUBLE_EQ(seeks[1].positionWhenAnswered, kSecondTarget) << "read where it landed";
        EXPECT_FALSE(player->isSeeking());

        // Then playback goes on from there, or stays there when the pause came last.
        bool paused = std::find(order.begin(), order.end(), Op::Pause) > std::find(order.begin(), order.end(), Op::Play);
        EXPECT_EQ(player->rate(), paused ? 0.0f : 1.0f);
        double now = player->currentTime().toSeconds();
        if (paused) {
            EXPECT_GE(now, kSecondTarget);
            if (pausedBeforeSecondLanded) {
                EXPECT_DOUBLE_EQ(now, kSecondTarget) << "paused where it landed";
            }
            advance(0.5);
            EXPECT_DOUBLE_EQ(player->currentTime().toSeconds(), now) << "and it stays there";
        } else {
            EXPECT_GT(now, kSecondTarget + 0.9);
        }
        EXPECT_EQ(item->selectedMediaOptionInMediaSelectionGroup(group), group->options()[1]);
        EXPECT_EQ(engine->selections().back(), std::string(MediaCharacteristicAudible) + "=audio-fr");
        // A target is no place playback reached: time observers hear nothing meanwhile.
        EXPECT_TRUE(toldInFlight.empty()) << toldInFlight.size() << " times told during a seek, the first " << toldInFlight.front();
        observer->invalidate();
        player->removeAllItems();
        drain();
    }
};

TEST_P(SeekOrderTest, EveryOrderAnswersEachSeekOnceAndReadsTheTargetThenWhereItLanded) {
    std::vector<Op> ops{Op::FirstSeek, Op::SecondSeek, Op::Choice, Op::Pause, Op::Play};
    int runs = 0;
    do {
        // The second seek is the newer one by its name.
        if (std::find(ops.begin(), ops.end(), Op::FirstSeek) > std::find(ops.begin(), ops.end(), Op::SecondSeek)) continue;
        // In one turn; a little apart (each seek still in flight when the next thing
        // comes); and far apart (each seek answered before the next thing).
        for (fnd::TimeInterval step : {0.0, 0.03, 0.7}) {
            std::string trace;
            for (Op op : ops) trace += std::string(trace.empty() ? "" : ", ") + kOpNames[static_cast<int>(op)];
            SCOPED_TRACE(trace + (step == 0 ? " in one turn" : " every " + std::to_string(step) + " s"));
            run(ops, step);
            ++runs;
            if (HasFailure()) return;
        }
    } while (std::next_permutation(ops.begin(), ops.end()));
    EXPECT_EQ(runs, 60 * 3);
}

TEST_P(SeekOrderTest, ANewItemDropsTheMaskAndTheOldItemsSeekIsAnsweredNo) {
    auto engine = rt::make<ScriptedEngine>();
    ScriptedMedia script;
    script.keyFrameInterval = 2;
    script.seekTime = GetParam().seekTime;
    script.answersReplacedLate = GetParam().replacedLate;
    engine->setScript(kOrderURL, script);
    auto first = PlayerItem::playerItemWithAsset(rt::make<Asset>(kOrderURL, engine));
    auto player = Player::playerWithPlayerItem(first);
    advance(0.3);
    std::vector<bool> answers;
    player->seekToTime(Time::seconds(kFirstTarget), [&](bool f) { answers.push_back(f); });
    EXPECT_DOUBLE_EQ(player->currentTime().toSeconds(), kFirstTarget);
    auto second = PlayerItem::playerItemWithAsset(rt::make<Asset>(kOrderURL, engine));
    player->replaceCurrentItemWithPlayerItem(second);
    EXPECT_FALSE(player->isSeeking());
    EXPECT_DOUBLE_EQ(player->currentTime().toSeconds(), 0) << "the new item's time, not the old item's target";
    advance(1);
    EXPECT_EQ(answers, std::vector<bool>{false});
    EXPECT_DOUBLE_EQ(player->currentTime().toSeconds(), 0);
}

INSTANTIATE_TEST_SUITE_P(EngineAnswers, SeekOrderTest,
                         ::testing::Values(Answers{"AtOnce", 0, false}, Answers{"Late", 0.5, false},
                                           Answers{"OutOfOrder", 0.1, true}),
                         [](const ::testing::TestParamInfo<Answers>& info) { return std::string(info.param.name); });

}  // namespace
