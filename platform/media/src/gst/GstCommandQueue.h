#pragma once
// What a session asks of its pipeline - seeks, stream choices, state changes - run one at
// a time. GStreamer 1.22's playbin3 and adaptive demuxer deadlock when these overlap (a
// stream choice still being applied when a flushing seek or a state change arrives: the
// selection handling and the demuxer's output each hold a lock the other waits for, and
// the pipeline's state lock is taken with them), which leaves a still picture under a
// "playing" state for good. So each command waits for the pipeline to report it done
// (the session says so through completed()) or for a bound on the run loop's clock, and
// only then does the next start.
//
// Commands asked for in one turn of the loop start from the next turn on: a waiting seek
// first, then a state change, then stream choices (the end is the same in any order);
// commands asked for while another ran go before those asked for after it started; a
// command of a kind already waiting absorbs a newer one (the session keeps the newest
// wish - every stream choice so far, the state it wants - and reads it when the command
// starts).
//
// Seeks are the queue's own record, the one place that decides which seek is current,
// when it is done and whether it landed: the newest seek replaces the one still waiting
// and gives up the one the pipeline runs (each answered NO). A seek that replaces a
// running one not yet landed is sent on the next turn, with a bound of its own: a
// flushing seek ends the one before it, and the newest never waits out an older one's
// slow download (a seek that landed settles first). The
// running one is answered YES once the session has seen where it landed, and NO when it
// never does within the bound. So once the pipeline has prerolled a seek is answered
// within 9 s: a stream choice running (2 s), a state change that waited longer (2 s), then
// its own bound (5 s).
//
// Every call into the pipeline is made by the pipeline's own thread (GstPipelineThread),
// never the loop: a command whose bound ran out while that thread is still inside its
// call (a stream choice, a flushing seek GStreamer deadlocks on) holds the next one until
// the thread is back, and so does a newer seek, which would only queue behind it. The
// session says so through busy() and released(). A command still carried out
// kStuckBound seconds past its bound is the pipeline's deadlock: the stuck handler hears
// of it and gives the pipeline up, its item alone failing with that cause.
// Every answer comes on a later turn of the loop, never inside a call that caused it.
// Main thread only.

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>

#include <fnd/RunLoop.h>
#include <media/Time.h>

namespace media::gstimpl {

/// A seek asked of the pipeline.
struct GstSeek {
    /// Where it may land: on the key frame at or before the target, or on the target.
    enum class Tolerance { KeyFrame, Exact };
    Time target;
    Tolerance tolerance = Tolerance::KeyFrame;
    /// Answered once: YES when it landed, NO when it was replaced or given up.
    std::function<void(bool finished)> done;
    /// The pipeline's sequence number of the seek once sent: the segment and the first
    /// picture it produces carry it.
    std::uint32_t seqnum = 0;
};

class GstCommandQueue {
public:
    /// In the order waiting commands start.
    enum class Kind { Seek, State, Select };
    /// Starts a command; answers whether it now waits for the pipeline (false: nothing to
    /// wait for, the next may start).
    using Starter = std::function<bool(Kind)>;

    /// Whether the running command of the kind is still being carried out on another
    /// thread (the pipeline's thread not back from its call).
    using Busy = std::function<bool(Kind)>;
    /// A command still carried out kStuckBound seconds past its bound: the pipeline is
    /// stuck.
    using Stuck = std::function<void(Kind)>;

    explicit GstCommandQueue(Starter start, Busy busy = nullptr, Stuck stuck = nullptr);
    ~GstCommandQueue();
    GstCommandQueue(const GstCommandQueue&) = delete;
    GstCommandQueue& operator=(const GstCommandQueue&) = delete;

    /// Asks for a command of the kind, unless one of that kind is already waiting.
    void request(Kind kind);

    /// Where the newest seek the queue knows of stands.
    enum class SeekPhase {
        None,     // no seek waits or runs
        Waiting,  // asked for, not yet sent
        Sent,     // the pipeline runs it; where it lands is not known yet
        Landed,   // it landed (answered YES); the pipeline settles before the next command
    };
    /// Asks for a seek: the newest replaces the waiting one and gives up the running one.
    void seek(GstSeek seek);
    SeekPhase seekPhase() const;
    /// Where the seek the pipeline runs stands: Sent or Landed (None when none runs).
    SeekPhase runningSeekPhase() const { return running_ == Kind::Seek ? runningSeekPhase_ : SeekPhase::None; }
    /// The seek the pipeline runs (a starter of a seek command takes the waiting one
    /// with startSeek()); nullptr when none runs.
    GstSeek* runningSeek() { return running_ == Kind::Seek && runningSeek_ ? &*runningSeek_ : nullptr; }
    /// For the starter: the waiting seek becomes the running one (nullptr: none waits).
    GstSeek* startSeek();
    /// The running seek landed: answered YES. Its command runs on until completed().
    void seekLanded();
    /// The pipeline reported what the running command of the kind waited for. One still
    /// busy on another thread ends once released() says that thread is done.
    void completed(Kind kind);
    /// The other thread is back from a call it was handed: a command held for it ends,
    /// and a waiting one may start.
    void released();
    bool running(Kind kind) const { return running_ == kind; }
    bool waiting(Kind kind) const;
    /// Commands wait until the queue opens (the pipeline has prerolled).
    void open();
    /// Drops every command, running or waiting, for good (the pipeline is gone).
    void close();

    /// Seconds a command of the kind may wait for the pipeline before the next starts.
    static double bound(Kind kind);
    /// Seconds past its bound a command still carried out on another thread may take
    /// before the pipeline counts as stuck.
    static constexpr double kStuckBound = 6.0;

private:
    void schedule();
    void pump();
    /// Runs a command of the kind, until completed() or its bound.
    void begin(Kind kind);
    /// Ends the running command and lets the next start.
    void finish();
    /// Keeps the running command until released(), within kStuckBound.
    void holdForRelease(Kind kind);
    /// Whether the waiting seek replaces the running one now.
    bool replacesRunningSeek() const;
    /// Answers a seek on a later turn of the loop (nothing when it was answered already).
    static void answer(GstSeek& seek, bool finished);

    Starter start_;
    Busy busy_;
    Stuck stuck_;
    /// The running command is done as far as the pipeline said (or its bound ran out)
    /// and waits only for the other thread still on it.
    bool awaitingRelease_ = false;
    /// Waiting commands, each with the number of the start it waited for first.
    struct Waiting {
        Kind kind;
        std::uint64_t since;
    };
    std::deque<Waiting> waiting_;
    /// Counts the commands started: what waited through a start goes before what came
    /// after it, so a stream of seeks cannot hold a pause back for good.
    std::uint64_t starts_ = 0;
    std::optional<Kind> running_;
    std::optional<GstSeek> waitingSeek_, runningSeek_;
    /// Sent or Landed while a seek runs.
    SeekPhase runningSeekPhase_ = SeekPhase::None;
    bool open_ = false, closed_ = false, scheduled_ = false;
    rt::Ref<fnd::Timer> boundTimer_;
    /// Blocks posted to the loop find the queue through this, and nothing once it is gone.
    std::shared_ptr<GstCommandQueue*> self_ = std::make_shared<GstCommandQueue*>(this);
};

}  // namespace media::gstimpl
