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
// first, then a state change, then stream choices (the end is the same in any order); a
// command of a kind already waiting absorbs a newer one (the session keeps the newest
// wish - the newest seek target, every stream choice so far, the state it wants - and
// reads it when the command starts). Main thread only.

#include <deque>
#include <functional>
#include <memory>
#include <optional>

#include <fnd/RunLoop.h>

namespace media::gstimpl {

class GstCommandQueue {
public:
    /// In the order waiting commands start.
    enum class Kind { Seek, State, Select };
    /// Starts a command; answers whether it now waits for the pipeline (false: nothing to
    /// wait for, the next may start).
    using Starter = std::function<bool(Kind)>;

    explicit GstCommandQueue(Starter start);
    ~GstCommandQueue();
    GstCommandQueue(const GstCommandQueue&) = delete;
    GstCommandQueue& operator=(const GstCommandQueue&) = delete;

    /// Asks for a command of the kind, unless one of that kind is already waiting.
    void request(Kind kind);
    /// The pipeline reported what the running command of the kind waited for.
    void completed(Kind kind);
    bool running(Kind kind) const { return running_ == kind; }
    bool waiting(Kind kind) const;
    /// Commands wait until the queue opens (the pipeline has prerolled).
    void open();
    /// Drops every command, running or waiting, for good (the pipeline is gone).
    void close();

    /// Seconds a command of the kind may wait for the pipeline before the next starts.
    static double bound(Kind kind);

private:
    void schedule();
    void pump();

    Starter start_;
    std::deque<Kind> waiting_;
    std::optional<Kind> running_;
    bool open_ = false, closed_ = false, scheduled_ = false;
    rt::Ref<fnd::Timer> boundTimer_;
    /// Blocks posted to the loop find the queue through this, and nothing once it is gone.
    std::shared_ptr<GstCommandQueue*> self_ = std::make_shared<GstCommandQueue*>(this);
};

}  // namespace media::gstimpl
