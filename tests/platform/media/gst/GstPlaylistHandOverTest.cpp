// One read per playlist answer: the text kept for the read of where a redirect sends the
// demuxer answers that read once, a later read (a refresh) finds nothing, and the texts no
// read took stay within their bound.

#include <gtest/gtest.h>

#include <string>

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

TEST(PlaylistHandOverTest, ATextHandedOverAnswersOneReadAndTextsNoReadTookStayWithinTheirBound) {
    PlaylistHandOver handOver(100);
    handOver.handOver("http://o/a.m3u8", fetchedText(std::string(40, 'a')));
    // Handed over again (a second redirect to the same address): its bytes count once.
    handOver.handOver("http://o/a.m3u8", fetchedText(std::string(40, 'A')));
    handOver.handOver("http://o/b.m3u8", fetchedText(std::string(50, 'b')));
    // Past the bound: not kept, and its read fetches it itself.
    handOver.handOver("http://o/c.m3u8", fetchedText(std::string(20, 'c')));
    EXPECT_FALSE(handOver.take("http://o/c.m3u8"));

    auto a = handOver.take("http://o/a.m3u8");
    ASSERT_TRUE(a);
    EXPECT_EQ(a->text, std::string(40, 'A'));
    // A refresh of it is fetched anew.
    EXPECT_FALSE(handOver.take("http://o/a.m3u8"));
    // Taken, its bytes no longer count: another text of its size is kept.
    handOver.handOver("http://o/d.m3u8", fetchedText(std::string(40, 'd')));
    EXPECT_TRUE(handOver.take("http://o/d.m3u8"));
    // The item failed: what was kept goes, and no read finds it.
    handOver.drop();
    EXPECT_FALSE(handOver.take("http://o/b.m3u8"));
}

}  // namespace handovertest
