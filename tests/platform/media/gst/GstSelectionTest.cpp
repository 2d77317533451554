// Stream choices on the GStreamer engine against the loopback origin: what each choice
// downloads, choices made apart, and choices made with a seek and state changes in one
// turn of the loop. Each test uses its own tagged paths on the shared origin.

#include "../GstTestSupport.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>
#include <optional>

namespace {

using namespace media;
using zidtest::GstMediaTest;
using zidtest::startsWith;

TEST_F(GstMediaTest, AudioAndSubtitleSelectionSwitchWhatIsDownloaded) {
    const std::string tag = "/tag/select/vod/";
    MasterPlaylist master;
    ASSERT_NO_FATAL_FAILURE(loadMasterPlaylist(tag, master));
    auto& [item, player, audible, legible] = master;
    ASSERT_EQ(audible->options().size(), 2u);
    EXPECT_EQ(audible->options()[0]->extendedLanguageTag(), "en");
    EXPECT_EQ(audible->options()[1]->extendedLanguageTag(), "fr");
    ASSERT_TRUE(audible->defaultOption());
    EXPECT_EQ(audible->defaultOption()->extendedLanguageTag(), "en");
    ASSERT_EQ(legible->options().size(), 1u);
    EXPECT_EQ(legible->options()[0]->extendedLanguageTag(), "en");
    // The playlist's names of its renditions, for a host's menu.
    EXPECT_EQ(audible->options()[0]->displayName(), "ENG");
    EXPECT_EQ(audible->options()[0]->title(), "ENG");
    EXPECT_EQ(audible->options()[1]->displayName(), "FRA");
    EXPECT_EQ(audible->options()[1]->title(), "FRA");
    EXPECT_EQ(legible->options()[0]->displayName(), "English");
    EXPECT_EQ(legible->options()[0]->title(), "English");
    EXPECT_EQ(origin().requestCount(tag + "audio_fra/seg0.ts") + origin().requestCount(tag + "audio_fra/seg1.ts"), 0);

    auto french = audible->options()[1];
    item->selectMediaOption(french, audible);
    EXPECT_TRUE(item->selectedMediaOptionInMediaSelectionGroup(audible)->isEqual(*french));
    std::vector<std::string> cues;
    item->setLegibleOutputHandler([&](const LegibleCue& cue) { cues.push_back(cue.text); });
    item->selectMediaOption(legible->options()[0], legible);
    player->play();
    ASSERT_TRUE(waitUntil([&] {
        return origin().bytesServed([&](const std::string& p) { return startsWith(p, tag + "audio_fra/seg"); }) > 0;
    })) << "the French rendition is downloaded once chosen";
    ASSERT_TRUE(waitUntil([&] { return !cues.empty(); }, 10)) << "subtitle cues reach the legible output";
    EXPECT_NE(cues[0].find("Cue"), std::string::npos);
    EXPECT_GT(origin().requestCount(tag + "subs_eng/index.m3u8"), 0);
    EXPECT_TRUE(item->selectedMediaOptionInMediaSelectionGroup(audible)->isEqual(*french));
}

TEST_F(GstMediaTest, AChoiceInOneGroupKeepsWhatPlaysInTheOthersAndAChoiceMadeLaterStillApplies) {
    // Choices made apart: the French audio as playback starts, the subtitles seconds later
    // (past the time a choice is given to settle). The audio choice must not drop the
    // subtitles that play, which the pipeline would not bring back when asked later.
    const std::string tag = "/tag/select-apart/vod/";
    MasterPlaylist master;
    ASSERT_NO_FATAL_FAILURE(loadMasterPlaylist(tag, master));
    auto& [item, player, audible, legible] = master;
    std::vector<std::string> cues;
    item->setLegibleOutputHandler([&](const LegibleCue& cue) { cues.push_back(cue.text); });
    player->play();
    item->selectMediaOption(audible->options()[1], audible);
    fnd::RunLoop::main()->runFor(2.5);
    item->selectMediaOption(legible->options()[0], legible);
    ASSERT_TRUE(waitUntil([&] { return !cues.empty(); }, 8)) << "subtitle cues reach the legible output";
    EXPECT_GT(origin().bytesServed([&](const std::string& p) { return startsWith(p, tag + "audio_fra/seg"); }), 0u);
    EXPECT_TRUE(item->selectedMediaOptionInMediaSelectionGroup(audible)->isEqual(*audible->options()[1]));
}

TEST_F(GstMediaTest, ASeekRightAfterChoosingTheSubtitlesThatPlayIsAnsweredAsSoonAsOneWithout) {
    // The master playlist's subtitles play from the start; a host (its menu, say) chooses
    // them again just before each seek. Nothing changes, so nothing may hold the seek.
    auto timeSeeks = [](MasterPlaylist& master, bool chooseSubtitles) {
        // Named references rather than a structured binding: lambdas below capture them.
        auto& item = master.item;
        auto& player = master.player;
        auto& legible = master.legible;
        player->play();
        std::vector<double> took;
        if (!fnd::RunLoop::main()->runUntil([&] { return player->currentTime().toSeconds() > 0.5; }, 10)) return took;
        for (int i = 0; i < 4; ++i) {
            if (chooseSubtitles) item->selectMediaOption(legible->options()[0], legible);
            fnd::RunLoop::main()->runFor(0.1);
            std::optional<bool> done;
            auto started = std::chrono::steady_clock::now();
            player->seekToTime(Time::seconds(1.0 + 2.0 * i), [&](bool finished) { done = finished; });
            if (!fnd::RunLoop::main()->runUntil([&] { return done.has_value(); }, 10) || !*done) return std::vector<double>{};
            took.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count());
            fnd::RunLoop::main()->runFor(0.3);
        }
        std::sort(took.begin(), took.end());
        return took;
    };
    MasterPlaylist without, with;
    ASSERT_NO_FATAL_FAILURE(loadMasterPlaylist("/tag/seek-nosubs/vod/", without));
    auto plain = timeSeeks(without, false);
    without.player->removeAllItems();
    ASSERT_NO_FATAL_FAILURE(loadMasterPlaylist("/tag/seek-subs/vod/", with));
    auto chosen = timeSeeks(with, true);
    ASSERT_EQ(plain.size(), 4u);
    ASSERT_EQ(chosen.size(), 4u);
    std::printf("[ seeks    ] answered in %.3f-%.3f s, %.3f-%.3f s right after choosing the subtitles\n", plain.front(),
                plain.back(), chosen.front(), chosen.back());
    // A choice that held the seek would hold every one of the four for the choice's bound
    // (2 s): then even the quickest of them comes after the slowest seek without. A busy
    // machine slows one seek or another: that raises the slowest seek without the choice,
    // and leaves the quickest with it.
    EXPECT_LT(chosen.front(), plain.back() + 1.0);
}

TEST_F(GstMediaTest, ASeekAfterAnAudioChoiceWhoseRenditionIsSlowLandsAndPlaysOn) {
    // The chosen rendition's segments come 2 s late: the demuxer switches to it about
    // when the seek goes, at the end of the time a choice is given to settle, where the
    // command queue no longer keeps the two apart.
    const std::string tag = "/tag/slow-rendition/vod/";
    for (int i = 0; i < 5; ++i) origin().holdBack(tag + "audio_fra/seg" + std::to_string(i) + ".ts", 2.0, -1);
    MasterPlaylist master;
    ASSERT_NO_FATAL_FAILURE(loadMasterPlaylist(tag, master));
    // Named references rather than a structured binding: lambdas below capture them.
    auto& item = master.item;
    auto& player = master.player;
    auto& audible = master.audible;
    player->play();
    ASSERT_TRUE(waitUntil([&] { return player->currentTime().toSeconds() > 0.3; }));
    item->selectMediaOption(audible->options()[1], audible);
    fnd::RunLoop::main()->runFor(2.2);
    std::optional<bool> seeked;
    player->seekToTime(Time::seconds(6.5), Time::zero(), Time::zero(), [&](bool f) { seeked = f; });
    ASSERT_TRUE(waitUntil([&] { return seeked.has_value(); }, 12));
    EXPECT_TRUE(*seeked);
    auto pictureTime = [&] {
        auto frame = item->currentVideoFrame();
        return frame ? frame->presentationTime().toSeconds() : -1.0;
    };
    EXPECT_TRUE(waitUntil([&] { return pictureTime() > 7.0; }, 8))
        << "the picture stands at " << pictureTime() << ", the position at " << player->currentTime().toSeconds();
}

// Stream choices, a seek and state changes made together: in any order the pipeline
// takes them one at a time, so none is lost and nothing freezes (a seek that went in
// while a choice was being applied used to leave a still picture for good). One test per
// first step, each running six orders of the other four on one item: every order of any
// three of them appears among the six, so together the five tests cover every order of
// any four of the five steps. Each order costs seconds of real playback (an audio
// choice holds the next command for its whole bound), which all 120 would multiply.
enum class Step { Audio, Subtitles, Seek, Pause, Play };

class OneTurnTest : public GstMediaTest, public ::testing::WithParamInterface<Step> {};

TEST_P(OneTurnTest, ChoicesASeekAPauseAndAPlayEndAtTheTargetWithTheChosenStreams) {
    const char* names[] = {"audio", "subtitles", "seek", "pause", "play"};
    const std::string tag = std::string("/tag/oneturn-") + names[static_cast<int>(GetParam())] + "/vod/";
    MasterPlaylist master;
    ASSERT_NO_FATAL_FAILURE(loadMasterPlaylist(tag, master));
    // Named references rather than a structured binding: lambdas below capture them.
    auto& item = master.item;
    auto& player = master.player;
    auto& audible = master.audible;
    auto& legible = master.legible;
    ASSERT_EQ(audible->options().size(), 2u);
    std::vector<LegibleCue> cues;
    item->setLegibleOutputHandler([&](const LegibleCue& cue) { cues.push_back(cue); });
    player->play();
    ASSERT_TRUE(waitUntil([&] { return player->currentTime().toSeconds() > 0.3; }));

    std::vector<Step> rest;
    for (Step step : {Step::Audio, Step::Subtitles, Step::Seek, Step::Pause, Step::Play})
        if (step != GetParam()) rest.push_back(step);
    // The fewest orders of four in which every order of any three of them appears.
    const int orders[][4] = {{0, 1, 2, 3}, {0, 3, 2, 1}, {1, 3, 0, 2}, {2, 1, 0, 3}, {2, 3, 0, 1}, {3, 1, 2, 0}};
    int run = 0;
    for (const auto& next : orders) {
        std::vector<Step> order{GetParam()};
        for (int i : next) order.push_back(rest[static_cast<std::size_t>(i)]);
        std::string steps;
        for (Step step : order) steps += std::string(steps.empty() ? "" : ", ") + names[static_cast<int>(step)];
        SCOPED_TRACE(steps);
        // The other rendition each time, and a target in another segment.
        bool french = run % 2 == 0;
        auto audio = audible->options()[french ? 1 : 0];
        double target = 2.5 + 2.0 * (run % 3);
        // The demuxer starts a chosen rendition where its own output stands, which on a
        // loaded machine may be past the target's segment by the time the choice goes
        // (after the seek): the chosen rendition plays from that segment or the next.
        const std::string rendition = tag + (french ? "audio_fra/seg" : "audio_eng/seg");
        std::string segment = rendition + std::to_string(static_cast<int>(target / 2)) + ".ts";
        std::string following = rendition + std::to_string(static_cast<int>(target / 2) + 1) + ".ts";
        int requestedBefore = origin().requestCount(segment), followingBefore = origin().requestCount(following);
        // Every audio segment's count before the steps: a failure says which were fetched.
        auto audioRequests = [&] {
            std::string counts;
            for (const char* rendition : {"audio_eng", "audio_fra"})
                for (int i = 0; i < 5; ++i)
                    counts += std::string(counts.empty() ? "" : " ") + rendition + "/seg" + std::to_string(i) + "=" +
                              std::to_string(origin().requestCount(tag + rendition + "/seg" + std::to_string(i) + ".ts"));
            return counts;
        };
        const std::string audioBefore = audioRequests();
        std::size_t cuesBefore = cues.size();
        std::optional<bool> seeked;
        // When the seek was answered and what the item showed then: a picture standing
        // past its window says whether the answer came late or the pictures ran ahead.
        auto askedAt = std::chrono::steady_clock::now();
        double answeredAfter = -1, pictureAtAnswer = -1, positionAtAnswer = -1;
        for (Step step : order) {
            switch (step) {
                case Step::Audio: item->selectMediaOption(audio, audible); break;
                case Step::Subtitles: item->selectMediaOption(legible->options()[0], legible); break;
                case Step::Seek:
                    player->seekToTime(Time::seconds(target), Time::zero(), Time::zero(), [&](bool f) {
                        seeked = f;
                        answeredAfter = std::chrono::duration<double>(std::chrono::steady_clock::now() - askedAt).count();
                        auto frame = item->currentVideoFrame();
                        pictureAtAnswer = frame ? frame->presentationTime().toSeconds() : -1.0;
                        positionAtAnswer = player->currentTime().toSeconds();
                    });
                    break;
                case Step::Pause: player->pause(); break;
                case Step::Play: player->play(); break;
            }
        }
        ASSERT_TRUE(waitUntil([&] { return seeked.has_value(); }, 10)) << "the seek never completes";
        EXPECT_TRUE(*seeked);
        if (std::find(order.begin(), order.end(), Step::Pause) > std::find(order.begin(), order.end(), Step::Play)) {
            fnd::RunLoop::main()->runFor(0.3);
            EXPECT_NEAR(player->currentTime().toSeconds(), target, 0.045) << "paused at the target";
            player->play();
        }
        auto pictureTime = [&] {
            auto frame = item->currentVideoFrame();
            return frame ? frame->presentationTime().toSeconds() : -1.0;
        };
        // A picture from before the seek may still be the item's when the seek reports
        // done (its preroll picture may come a turn later): only one past the target, by
        // less than a second, is from after it.
        // Each picture the item showed while waiting, with when: a failure says whether
        // the pictures stood, jumped or ran ahead.
        std::string shown;
        double lastShown = -2;
        auto waitStarted = std::chrono::steady_clock::now();
        ASSERT_TRUE(waitUntil(
            [&] {
                double t = pictureTime();
                if (t != lastShown && shown.size() < 1500) {
                    char entry[48];
                    std::snprintf(entry, sizeof entry, " %.2f@%.2f",
                                  t, std::chrono::duration<double>(std::chrono::steady_clock::now() - waitStarted).count());
                    shown += entry;
                    lastShown = t;
                }
                return t > target + 0.4 && t < target + 1.0;
            },
            6))
            << "the picture stands at " << pictureTime() << ", the position at " << player->currentTime().toSeconds()
            << "; the seek was answered " << answeredAfter << " s after the steps, the picture then at " << pictureAtAnswer
            << ", the position at " << positionAtAnswer << "; pictures shown (time@seconds into the wait):" << shown;
        EXPECT_LT(pictureTime(), target + 1.0) << "played on from the target";
        EXPECT_NEAR(player->currentTime().toSeconds(), pictureTime(), 0.1) << "the position is the picture's";
        EXPECT_TRUE(waitUntil(
            [&] { return origin().requestCount(segment) > requestedBefore || origin().requestCount(following) > followingBefore; }, 4))
            << "the chosen rendition is fetched from the target on: " << segment << " or " << following
            << "; audio segments asked before the steps: "
            << audioBefore << "; now: " << audioRequests() << "; the item's audio: "
            << [&] {
                   auto chosen = item->selectedMediaOptionInMediaSelectionGroup(audible);
                   return chosen ? chosen->displayName() : std::string("none");
               }();
        EXPECT_TRUE(waitUntil(
            [&] {
                return std::any_of(cues.begin() + static_cast<long>(cuesBefore), cues.end(),
                                   [&](const LegibleCue& c) { return c.start.toSeconds() >= target - 2.01; });
            },
            4))
            << "subtitle cues from the target on";
        EXPECT_EQ(item->status(), PlayerItemStatus::ReadyToPlay);
        ++run;
        if (HasFatalFailure()) break;
    }
    EXPECT_EQ(run, 6);
}

std::string firstStepName(const ::testing::TestParamInfo<Step>& info) {
    static const char* const names[] = {"Audio", "Subtitles", "Seek", "Pause", "Play"};
    return std::string(names[static_cast<int>(info.param)]) + "First";
}

INSTANTIATE_TEST_SUITE_P(EveryOrder, OneTurnTest,
                         ::testing::Values(Step::Audio, Step::Subtitles, Step::Seek, Step::Pause, Step::Play),
                         firstStepName);

}  // namespace
