// The engine's command queue and its seek record, on virtual time: which seek is current,
// when each is answered and what, and what a stream of seeks leaves for the other commands.

#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "VirtualTime.h"
#include "gst/GstCommandQueue.h"

namespace {

using media::Time;
using media::gstimpl::GstCommandQueue;
using media::gstimpl::GstSeek;
using Kind = GstCommandQueue::Kind;
using Phase = GstCommandQueue::SeekPhase;

class GstCommandQueueTest : public zidtest::VirtualTimeTest {
protected:
    void SetUp() override {
        VirtualTimeTest::SetUp();
        queue.emplace([this](Kind kind) {
            started.push_back(kind);
            if (kind == Kind::Seek) {
                GstSeek* seek = queue->startSeek();
                if (!seek) return false;
                targets.push_back(seek->target.toSeconds());
            }
            return true;  // every command waits for the pipeline
        });
        queue->open();
    }
    void TearDown() override {
        queue.reset();
        drain();
        VirtualTimeTest::TearDown();
    }
    /// Asks for a seek whose answer lands in answers[index].
    void seek(double target, std::size_t index) {
        if (answers.size() <= index) answers.resize(index + 1);
        GstSeek s;
        s.target = Time::seconds(target);
        s.done = [this, index](bool finished) { answers[index] = finished; };
        queue->seek(std::move(s));
    }

    std::optional<GstCommandQueue> queue;
    std::vector<Kind> started;
    std::vector<double> targets;
    std::vector<std::optional<bool>> answers;
};

TEST_F(GstCommandQueueTest, TheNewestSeekWinsAndEachIsAnsweredOnceOnALaterTurn) {
    seek(2, 0);
    seek(4, 1);
    EXPECT_EQ(queue->seekPhase(), Phase::Waiting);
    EXPECT_FALSE(answers[0]) << "never inside the call that replaced it";
    drain();
    EXPECT_EQ(answers[0], false) << "replaced while waiting";
    EXPECT_EQ(targets, std::vector<double>{4}) << "only the newest is sent";
    EXPECT_EQ(queue->runningSeekPhase(), Phase::Sent);

    // A seek asked while one runs gives the running one up: NO at once, and is sent on
    // the next turn, without waiting for the pipeline to finish the older one.
    seek(6, 2);
    drain();
    EXPECT_EQ(answers[1], false);
    EXPECT_EQ(targets, (std::vector<double>{4, 6})) << "sent at once";
    EXPECT_EQ(queue->runningSeekPhase(), Phase::Sent);
    queue->seekLanded();
    EXPECT_FALSE(answers[2]);
    drain();
    EXPECT_EQ(answers[2], true) << "landed";
    EXPECT_EQ(queue->runningSeekPhase(), Phase::Landed);
    queue->completed(Kind::Seek);
    EXPECT_EQ(queue->seekPhase(), Phase::None);
    drain();
    EXPECT_EQ(answers[2], true);

    // One that landed settles before the next is sent.
    seek(8, 3);
    drain();
    queue->seekLanded();
    seek(9, 4);
    drain();
    EXPECT_EQ(targets, (std::vector<double>{4, 6, 8}));
    queue->completed(Kind::Seek);
    drain();
    EXPECT_EQ(targets, (std::vector<double>{4, 6, 8, 9}));
    EXPECT_EQ(answers[3], true);
}

TEST_F(GstCommandQueueTest, ASeekThatNeverLandsIsAnsweredNoAtTheBoundAndTheNextCommandGoes) {
    const double bound = GstCommandQueue::bound(Kind::Seek);
    seek(3, 0);
    drain();
    queue->request(Kind::State);
    advance(bound - 0.01);
    EXPECT_FALSE(answers[0]);
    advance(0.02);
    drain();
    EXPECT_EQ(answers[0], false);
    EXPECT_EQ(started, (std::vector<Kind>{Kind::Seek, Kind::State}));

    // A slow seek replaced late in its bound: the newer one is answered within a bound
    // of its own from when it was asked, never after the older one's.
    queue->completed(Kind::State);
    seek(5, 1);
    drain();
    advance(bound - 1);
    seek(7, 2);
    drain();
    EXPECT_EQ(answers[1], false);
    EXPECT_EQ(targets, (std::vector<double>{3, 5, 7}));
    advance(bound - 0.01);
    EXPECT_FALSE(answers[2]) << "the older one's bound does not end the newer one";
    queue->seekLanded();
    drain();
    EXPECT_EQ(answers[2], true);
    EXPECT_EQ(started, (std::vector<Kind>{Kind::Seek, Kind::State, Kind::Seek, Kind::Seek}));
}

TEST_F(GstCommandQueueTest, ClosingAnswersTheWaitingAndTheRunningSeekNo) {
    seek(3, 0);
    drain();
    seek(5, 1);
    drain();
    seek(7, 2);
    queue->close();
    drain();
    EXPECT_EQ(answers, (std::vector<std::optional<bool>>{false, false, false}));
    seek(9, 3);
    drain();
    EXPECT_EQ(answers[3], false) << "a closed queue answers at once";
}

TEST_F(GstCommandQueueTest, InOneTurnASeekGoesFirstButAStreamOfSeeksCannotHoldAPauseBack) {
    queue->request(Kind::Select);
    queue->request(Kind::State);
    seek(1, 0);
    drain();
    EXPECT_EQ(started, std::vector<Kind>{Kind::Seek}) << "a seek first, whatever the order asked";
    // While it runs, a pause is asked; then, once it landed, the next seek.
    queue->request(Kind::State);
    queue->seekLanded();
    seek(2, 1);
    queue->completed(Kind::Seek);
    drain();
    EXPECT_EQ(started, (std::vector<Kind>{Kind::Seek, Kind::State})) << "what waited longer goes first";
    queue->completed(Kind::State);
    drain();
    EXPECT_EQ(started, (std::vector<Kind>{Kind::Seek, Kind::State, Kind::Select}));
    queue->completed(Kind::Select);
    drain();
    EXPECT_EQ(started, (std::vector<Kind>{Kind::Seek, Kind::State, Kind::Select, Kind::Seek}));
    EXPECT_EQ(targets, (std::vector<double>{1, 2}));
}

TEST_F(GstCommandQueueTest, AChoiceStillBeingDeliveredHoldsTheNextCommandPastItsBoundUntilItsThreadIsDone) {
    // The stream choice's sender thread is still in the pipeline: a seek sent then would
    // meet the locks it waits on.
    bool delivering = true;
    std::vector<Kind> stuck;
    queue.emplace(
        [this](Kind kind) {
            started.push_back(kind);
            if (kind == Kind::Seek) queue->startSeek();
            return true;
        },
        [&](Kind kind) { return kind == Kind::Select && delivering; }, [&](Kind kind) { stuck.push_back(kind); });
    queue->open();
    queue->request(Kind::Select);
    drain();
    seek(3, 0);
    advance(GstCommandQueue::bound(Kind::Select) + 1);
    drain();
    EXPECT_EQ(started, std::vector<Kind>{Kind::Select}) << "the seek waits past the choice's bound";
    delivering = false;
    queue->released();
    drain();
    EXPECT_EQ(started, (std::vector<Kind>{Kind::Select, Kind::Seek})) << "and goes once the sender is out";
    EXPECT_TRUE(stuck.empty());
    queue->seekLanded();
    queue->completed(Kind::Seek);
    drain();
    EXPECT_EQ(answers[0], true);

    // Confirmed by the pipeline while the sender is still in it: the same wait.
    delivering = true;
    queue->request(Kind::Select);
    drain();
    queue->request(Kind::State);
    queue->completed(Kind::Select);
    drain();
    EXPECT_EQ(started.back(), Kind::Select);
    queue->released();
    EXPECT_EQ(started.back(), Kind::Select) << "released only counts once the sender is out";
    delivering = false;
    queue->released();
    drain();
    EXPECT_EQ(started.back(), Kind::State);
    queue->completed(Kind::State);

    // A sender that never comes out: the pipeline is stuck, said once the stuck bound
    // has run out, and nothing else is started on it.
    delivering = true;
    queue->request(Kind::Select);
    drain();
    queue->request(Kind::State);
    advance(GstCommandQueue::bound(Kind::Select) + GstCommandQueue::kStuckBound - 0.1);
    drain();
    EXPECT_TRUE(stuck.empty());
    advance(0.2);
    drain();
    EXPECT_EQ(stuck, std::vector<Kind>{Kind::Select});
    EXPECT_EQ(started.back(), Kind::Select);
}

}  // namespace

TEST_F(GstCommandQueueTest, ASeekWhoseCallHasNotComeBackIsReplacedOnlyAfterItAndIsStuckWhateverSeeksFollow) {
    // The pipeline's thread is still inside the call that sends a seek: a newer seek
    // would only queue behind it, so it waits, and the call's bounds run on.
    bool inCall = true;
    std::vector<Kind> stuck;
    queue.emplace(
        [this](Kind kind) {
            started.push_back(kind);
            if (kind == Kind::Seek) queue->startSeek();
            return true;
        },
        [&](Kind) { return inCall; }, [&](Kind kind) { stuck.push_back(kind); });
    queue->open();
    seek(3, 0);
    drain();
    seek(5, 1);
    drain();
    EXPECT_EQ(started, std::vector<Kind>{Kind::Seek}) << "not replaced while the call is out";
    EXPECT_EQ(answers[0], false) << "the older one is given up at once all the same";
    queue->released();  // back from another call, this one still out
    drain();
    EXPECT_EQ(started.size(), 1u);
    inCall = false;
    queue->released();
    drain();
    EXPECT_EQ(started, (std::vector<Kind>{Kind::Seek, Kind::Seek})) << "replaced once the call is back";

    // The second seek's call never comes back: seeks keep coming every half second, none
    // is sent, and the pipeline counts as stuck once the seek's bound and the stuck bound
    // have run out from the one that was sent.
    inCall = true;
    double passed = 0;
    for (std::size_t i = 2; passed < GstCommandQueue::bound(Kind::Seek) + GstCommandQueue::kStuckBound - 0.5; ++i) {
        seek(1, i);
        advance(0.5);
        passed += 0.5;
        drain();
    }
    EXPECT_TRUE(stuck.empty());
    EXPECT_EQ(started.size(), 2u) << "none of them was sent";
    advance(1);
    drain();
    EXPECT_EQ(stuck, std::vector<Kind>{Kind::Seek});
}
