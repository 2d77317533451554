// One read per playlist URL: a read of a playlist the check is fetching waits for that
// fetch and is answered with it, or with nothing once the check ends; a text handed over
// answers one read; texts no read took are kept within their bound.

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "gst/GstPlaylistHandOver.h"

namespace handovertest {

using media::gstimpl::FetchedText;
using media::gstimpl::PlaylistHandOver;

FetchedText fetchedText(std::string text) {
    FetchedText fetched;
    fetched.outcome = FetchedText::Outcome::Fetched;
    fetched.text = std::move(text);
    return fetched;
}

/// What the reads that waited were answered with, in order ("" for nothing).
struct Answers {
    std::vector<std::optional<std::string>> got;
    PlaylistHandOver::Answer answer() {
        return [this](std::optional<FetchedText> fetched) {
            got.push_back(fetched ? std::optional<std::string>(fetched->text) : std::nullopt);
        };
    }
};

TEST(PlaylistHandOverTest, AReadOfAnExpectedPlaylistWaitsAndIsAnsweredOnceWithItsFetch) {
    PlaylistHandOver handOver(1 << 20);
    Answers answers;
    handOver.expect({"http://o/a.m3u8", "http://o/b.m3u8"});
    // Two reads of one playlist and one of another, all while the check fetches them.
    auto first = handOver.read("http://o/a.m3u8", answers.answer());
    EXPECT_TRUE(first.waits);
    EXPECT_FALSE(first.handedOver);
    EXPECT_TRUE(handOver.read("http://o/a.m3u8", answers.answer()).waits);
    EXPECT_TRUE(handOver.read("http://o/b.m3u8", answers.answer()).waits);
    EXPECT_TRUE(handOver.waiting("http://o/a.m3u8"));
    EXPECT_TRUE(answers.got.empty());

    handOver.handOver("http://o/a.m3u8", fetchedText("#EXTM3U\na"));
    ASSERT_EQ(answers.got.size(), 2u);
    EXPECT_EQ(answers.got[0], "#EXTM3U\na");
    EXPECT_EQ(answers.got[1], "#EXTM3U\na");
    EXPECT_FALSE(handOver.waiting("http://o/a.m3u8"));
    EXPECT_TRUE(handOver.waiting("http://o/b.m3u8"));
    // The text answered the reads that waited: it is not kept for another, which fetches
    // the playlist anew (a refresh), nor does it wait.
    auto later = handOver.read("http://o/a.m3u8", answers.answer());
    EXPECT_FALSE(later.waits);
    EXPECT_FALSE(later.handedOver);

    // The check ends without the other: its read is answered with nothing, once.
    handOver.expectNoMore();
    ASSERT_EQ(answers.got.size(), 3u);
    EXPECT_EQ(answers.got[2], std::nullopt);
    handOver.expectNoMore();
    EXPECT_EQ(answers.got.size(), 3u);
    EXPECT_FALSE(handOver.read("http://o/b.m3u8", answers.answer()).waits);
}

TEST(PlaylistHandOverTest, ATextHandedOverAnswersOneReadAndTextsNoReadTookStayWithinTheirBound) {
    PlaylistHandOver handOver(100);
    Answers answers;
    handOver.expect({"http://o/a.m3u8", "http://o/b.m3u8", "http://o/c.m3u8", "http://o/d.m3u8"});
    handOver.handOver("http://o/a.m3u8", fetchedText(std::string(40, 'a')));
    // Handed over again (the same playlist spelt twice in a master): its bytes count once.
    handOver.handOver("http://o/a.m3u8", fetchedText(std::string(40, 'A')));
    handOver.handOver("http://o/b.m3u8", fetchedText(std::string(50, 'b')));
    // Past the bound: not kept, and its read fetches it itself.
    handOver.handOver("http://o/c.m3u8", fetchedText(std::string(20, 'c')));
    auto c = handOver.read("http://o/c.m3u8", answers.answer());
    EXPECT_FALSE(c.handedOver);
    EXPECT_FALSE(c.waits);

    auto a = handOver.read("http://o/a.m3u8", answers.answer());
    ASSERT_TRUE(a.handedOver);
    EXPECT_EQ(a.handedOver->text, std::string(40, 'A'));
    EXPECT_FALSE(handOver.read("http://o/a.m3u8", answers.answer()).handedOver);
    // Taken, its bytes no longer count: another text of its size is kept.
    handOver.handOver("http://o/d.m3u8", fetchedText(std::string(40, 'd')));
    EXPECT_TRUE(handOver.read("http://o/d.m3u8", answers.answer()).handedOver);
    // The item failed: what was kept goes, and no read finds it.
    handOver.drop();
    EXPECT_FALSE(handOver.read("http://o/b.m3u8", answers.answer()).handedOver);
    EXPECT_TRUE(answers.got.empty());
}

TEST(PlaylistHandOverTest, AWaitingReadIsAnsweredOutsideTheLockSoItsAnswerMayReadAgain) {
    PlaylistHandOver handOver(1 << 20);
    std::vector<bool> again;
    handOver.expect({"http://o/a.m3u8"});
    // The guard's answer to a read the check ended without is to read the playlist again
    // (it fetches it then): from within the answer, on the thread ending the check.
    auto readAgain = [&](std::optional<FetchedText>) {
        again.push_back(handOver.read("http://o/a.m3u8", [](std::optional<FetchedText>) {}).waits);
    };
    ASSERT_TRUE(handOver.read("http://o/a.m3u8", readAgain).waits);
    handOver.expectNoMore();
    ASSERT_EQ(again.size(), 1u);
    EXPECT_FALSE(again[0]);

    handOver.expect({"http://o/a.m3u8"});
    ASSERT_TRUE(handOver.read("http://o/a.m3u8", readAgain).waits);
    handOver.handOver("http://o/a.m3u8", fetchedText("#EXTM3U\n"));
    ASSERT_EQ(again.size(), 2u);
    EXPECT_FALSE(again[1]);
}

}  // namespace handovertest
