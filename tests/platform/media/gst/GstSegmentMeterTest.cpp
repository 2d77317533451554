// The segment meter: the bound the playlists give, the segment a refusal names, and how
// the bytes entering a parse bin are split into segments.

#include <gst/gst.h>
#include <gtest/gtest.h>

#include <string>

#include "gst/GstSegmentMeter.h"

namespace segmentmetertest {

using media::gstimpl::kLargestSegment;
using media::gstimpl::SegmentMeter;

TEST(SegmentMeterTest, TheBoundFollowsTheLargestBandwidthAndTargetDurationLearnt) {
    SegmentMeter meter;
    EXPECT_EQ(meter.bound(), kLargestSegment) << "nothing learnt";
    meter.learn(10'000'000, 4);
    EXPECT_EQ(meter.bound(), 20'000'000u);
    // A media playlist says its target duration and no bandwidth; an audio rendition's
    // smaller bandwidth lowers nothing.
    meter.learn(0, 2);
    meter.learn(128'000, 0);
    EXPECT_EQ(meter.bound(), 20'000'000u);
    meter.learn(12'000'000, 4);
    EXPECT_EQ(meter.bound(), 24'000'000u);
}

TEST(SegmentMeterTest, TheSegmentNamedIsTheOldestRunningElseTheLastToFinish) {
    SegmentMeter meter;
    EXPECT_EQ(meter.segmentToName(), "");
    // Requests are told apart by their messages' addresses, which say nothing of their
    // order: the first queued has the higher address here.
    int messages[3];
    meter.started(&messages[2], "http://o/1.ts");
    meter.started(&messages[0], "http://o/2.ts");
    meter.started(&messages[1], "http://o/3.ts");
    EXPECT_EQ(meter.requestsQueued(), 3u);
    EXPECT_EQ(meter.oldestRequest(), "http://o/1.ts");
    EXPECT_EQ(meter.finished(&messages[2]), "http://o/1.ts");
    EXPECT_EQ(meter.oldestRequest(), "http://o/2.ts");
    EXPECT_EQ(meter.segmentToName(), "http://o/2.ts");
    EXPECT_EQ(meter.finished(&messages[1]), "http://o/3.ts");
    EXPECT_EQ(meter.finished(&messages[0]), "http://o/2.ts");
    // None runs: a segment's bytes may pass the bound after its download ended.
    EXPECT_EQ(meter.oldestRequest(), "");
    EXPECT_EQ(meter.segmentToName(), "http://o/2.ts");
    // A request it never saw start ends without changing which that is.
    int other = 0;
    EXPECT_EQ(meter.finished(&other), "");
    EXPECT_EQ(meter.segmentToName(), "http://o/2.ts");
}

TEST(SegmentMeterTest, BytesThatContinueTheLastAddUpAndANewRequestOrAGapBeginsASegment) {
    SegmentMeter meter;
    SegmentMeter::Count count;
    int first = 0, second = 0;
    meter.started(&first, "http://o/1.ts");
    EXPECT_EQ(meter.add(count, 0, 1000), 1000u);
    EXPECT_EQ(meter.add(count, 1000, 500), 1500u);
    // Bytes from elsewhere in the stream (a seek within the segment's resource).
    EXPECT_EQ(meter.add(count, 9000, 100), 100u);
    EXPECT_EQ(meter.add(count, 9100, 100), 200u);
    // A new request, even one whose bytes begin where the last ended.
    meter.started(&second, "http://o/2.ts");
    EXPECT_EQ(meter.add(count, 9200, 300), 300u);
    // Bytes without an offset are never taken to continue anything.
    EXPECT_EQ(meter.add(count, GST_BUFFER_OFFSET_NONE, 40), 40u);
    EXPECT_EQ(meter.add(count, GST_BUFFER_OFFSET_NONE, 40), 40u);
}

}  // namespace segmentmetertest
