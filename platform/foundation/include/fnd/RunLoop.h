#pragma once
// The run loop of a thread: posted blocks, one-shot, repeating and frame timers on the
// loop's clock, file-descriptor sources, an end-of-turn phase, and nested runs. The
// host's main thread runs the main loop; any thread may have its own (current()).
//
// A turn runs the blocks posted so far, the due timers, waits for a source or a post,
// runs what came meanwhile, and ends with the turn observers that asked to run
// (layout, then drawing, say): each at most once per turn however often it was asked,
// in the order of their order value, then of registration.
//
// Posting is cheap from any thread: a lock-free list, and the loop is woken once for a
// batch of posts (by the post that finds the list empty), not once per post, and not at
// all while it is awake. A loop that has just run posted blocks looks for new ones for
// a few tens of microseconds before it sleeps.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

#include <fnd/Clock.h>
#include <rt/Object.h>

namespace fnd {

class RunLoop;

class Timer : public rt::Object {
    RT_CLASS(Timer, rt::Object)
public:
    using Handler = std::function<void(Timer&)>;
    Timer(TimeInterval interval, bool repeats, Handler handler);

    /// Stops the timer; it never fires again. Safe from any thread and from its handler.
    void invalidate();
    bool isValid() const { return valid_.load(); }
    TimeInterval interval() const { return interval_; }
    bool repeats() const { return repeats_; }
    /// The next deadline on the loop's clock.
    TimeInterval fireTime() const { return fireTime_.load(); }

    /// A frame timer's frame: the number of the frame firing now (1 for the first,
    /// due one frame after scheduling; a frame missed on a late loop is skipped, its
    /// number too), and the time that frame was due (origin + frame / rate, exactly).
    /// 0 for other timers.
    std::uint64_t frame() const { return frame_; }
    TimeInterval frameTime() const { return frameRate_ > 0 ? frameOrigin_ + static_cast<double>(frame_) / frameRate_ : 0; }
    double frameRate() const { return frameRate_; }

    /// The shortest interval of a repeating timer: one asked to repeat at 0 or less
    /// fires on every pass of its loop, at most once a millisecond.
    static constexpr TimeInterval MinimumRepeatInterval = 0.001;

private:
    friend class RunLoop;
    TimeInterval interval_;
    bool repeats_;
    // Frame timers: frames due at frameOrigin_ + n / frameRate_.
    double frameRate_ = 0;
    TimeInterval frameOrigin_ = 0;
    std::uint64_t frame_ = 0;
    std::uint64_t nextFrame_ = 0;
    Handler handler_;
    std::atomic<bool> valid_{true};
    std::atomic<TimeInterval> fireTime_{0};
    std::uint64_t sequence_ = 0;
};

/// A block run in the end-of-turn phase of its loop, once for every turn in which it
/// was asked to run (setNeedsRun), however many times it was asked.
class TurnObserver : public rt::Object {
    RT_CLASS(TurnObserver, rt::Object)
public:
    TurnObserver(int order, std::function<void()> block);

    /// Asks for a run at the end of the loop's current turn (or of the next turn when
    /// the phase has already passed this observer), and wakes the loop. Any thread.
    void setNeedsRun();
    bool needsRun() const { return needed_.load(std::memory_order_acquire); }
    /// Stops the observer; it never runs again. Any thread, also from its block.
    void invalidate() { valid_.store(false, std::memory_order_release); }
    bool isValid() const { return valid_.load(std::memory_order_acquire); }
    int order() const { return order_; }

private:
    friend class RunLoop;
    int order_;
    std::uint64_t sequence_ = 0;
    std::function<void()> block_;
    std::atomic<bool> needed_{false};
    std::atomic<bool> valid_{true};
    rt::Weak<RunLoop> loop_;
};

/// The clock a loop had when asked, kept alive for as long as this handle lives (a
/// clock installed meanwhile on another thread does not free it under the caller).
class HeldClock {
public:
    explicit HeldClock(rt::Ref<Clock> clock) : clock_(std::move(clock)) {}
    TimeInterval now() const { return clock_->now(); }
    rt::Date date() const { return clock_->date(); }
    bool isVirtual() const { return clock_->isVirtual(); }
    Clock* operator->() const { return clock_.get(); }
    Clock& operator*() const { return *clock_; }
    const rt::Ref<Clock>& ref() const { return clock_; }

private:
    rt::Ref<Clock> clock_;
};

class RunLoop : public rt::Object {
    RT_CLASS(RunLoop, rt::Object)
public:
    RunLoop();
    ~RunLoop() override;

    /// The main loop, bound to the thread that first asks for it (the host's main thread).
    static rt::Ref<RunLoop> main();
    /// The calling thread's loop, made on first use.
    static rt::Ref<RunLoop> current();
    static bool isMainThread();

    /// Queues a block to run on this loop's thread. Any thread.
    void post(std::function<void()> block);
    /// Schedules a timer on this loop's clock. Any thread. The first deadline is now + interval.
    rt::Ref<Timer> schedule(TimeInterval interval, bool repeats, Timer::Handler handler);
    /// One-shot convenience.
    rt::Ref<Timer> after(TimeInterval delay, std::function<void()> block);
    /// A repeating timer for animation frames at `rate` per second on this loop's
    /// clock: frame n is due at exactly now + n / rate (no drift from summing
    /// intervals), so a virtual clock advanced by 1 / rate steps exactly one frame.
    /// A rate of 0 or less is refused (InvalidArgumentException). Any thread.
    rt::Ref<Timer> scheduleFrames(double rate, Timer::Handler handler);

    /// Registers a block for the end-of-turn phase (see the header comment). Lower
    /// order values run first; equal ones in order of registration. Any thread.
    rt::Ref<TurnObserver> addTurnObserver(int order, std::function<void()> block);

    /// Watches a file descriptor (poll events: POLLIN, POLLOUT). The handler gets the
    /// returned events and runs on the loop's thread. Any thread.
    using SourceId = std::uint64_t;
    SourceId addSource(int fd, short events, std::function<void(short revents)> handler);
    /// Changes the events watched for a source.
    void updateSource(SourceId id, short events);
    void removeSource(SourceId id);

    // The entries below (run, runUntil, runFor, runOnce, drain) of the main loop are
    // the main thread's: another thread is refused with the thread error (rt/MainThread.h).

    /// Runs until stop() is called.
    void run();
    void stop();
    /// Runs (possibly nested) until done() answers true or the timeout passes on the
    /// loop's clock. On a virtual clock, real time is bounded by the timeout too, so a
    /// test waiting on another thread cannot hang. Answers done().
    bool runUntil(const std::function<bool()>& done, TimeInterval timeout);
    /// Runs for the given time on the loop's clock.
    void runFor(TimeInterval duration);
    /// One turn: posted blocks, due timers, then waits at most maxWait (real seconds) for
    /// a source or a post. Answers whether anything ran.
    bool runOnce(TimeInterval maxWait);
    /// Runs everything already posted and due, without waiting.
    void drain();

    /// The loop's clock, held by the answer (see HeldClock).
    HeldClock clock() const;
    rt::Ref<Clock> clockRef() const;
    /// Installs a clock (tests install a VirtualClock); pending timers keep their
    /// deadlines, read on the new clock.
    void setClock(rt::Ref<Clock> clock);
    /// The earliest deadline of a valid timer.
    std::optional<TimeInterval> nextTimerDeadline() const;
    /// Whether the calling thread is this loop's thread.
    bool isCurrent() const;
    /// The loop's listening time, on its clock: it runs with the clock while the loop
    /// waits for its sources and through the short work of a turn, but a stretch
    /// between two waits longer than DeafAllowance (a handler that blocked the thread,
    /// a host busy between turns) counts as DeafAllowance only. What a peer is given to
    /// answer is measured on it, so that nobody is blamed for time in which nobody read
    /// the answer. On a virtual clock it is the clock's time. The loop's thread only.
    TimeInterval listenedTime() const;
    static constexpr TimeInterval DeafAllowance = 0.25;
    /// A count that grows whenever the loop runs something (a posted block, a timer, a
    /// source's handler, a turn observer) and whenever the loop's owner enters it anew
    /// (runOnce, runUntil, run, drain), since the owner may have changed things between
    /// two runs. Equal counts mean nothing ran. The loop's thread only.
    std::uint64_t activity() const { return activity_; }
    /// Drops every posted block and timer (test isolation).
    void discardPending();
    /// Wakes the loop from its wait.
    void wakeUp();

private:
    friend class TurnObserver;
    struct PostNode {
        std::function<void()> block;
        PostNode* next;
    };
    bool fireDueTimers();
    bool runPosted();
    bool runTurnObservers();
    /// Refuses a thread other than the main one entering the main loop.
    void requireOwnThread(const char* call) const;
    /// One turn of runOnce, without counting an entry.
    bool runTurn(TimeInterval maxWait);
    /// Moves the lock-free list of new posts, in posting order, behind the posted list.
    void takeIncoming();
    void insertTimer(const rt::Ref<Timer>& timer, TimeInterval deadline);
    bool hasIncoming() const { return incoming_.load(std::memory_order_acquire) != nullptr; }

    // New posts, newest first (pushed by any thread without a lock; taken by the loop).
    std::atomic<PostNode*> incoming_{nullptr};
    // Posts still reading the loop after pushing their node. The node's block may
    // release the loop's last reference (a queue released from its own block) before
    // its poster has looked at sleeping_: the destructor waits for them.
    std::atomic<int> postsInFlight_{0};
    // Whether the loop is in (or about to enter) a sleeping poll: only then does a post
    // write the wake-up descriptor.
    std::atomic<bool> sleeping_{false};
    // Whether the last turn ran posted blocks (the loop's thread only): the next wait
    // then begins with a short look for new posts.
    bool ranPostsLastTurn_ = false;
    static constexpr int PostSpinMicroseconds = 50;
    // Posts taken from incoming_ and not yet run, oldest first: the nodes themselves,
    // chained, so that taking a batch moves no block.
    mutable std::mutex postedMutex_;
    PostNode* postedHead_ = nullptr;
    PostNode* postedTail_ = nullptr;
    std::size_t postedCount_ = 0;

    mutable std::mutex mutex_;
    std::vector<rt::Ref<TurnObserver>> observers_;  // by (order, sequence)
    std::uint64_t nextObserver_ = 1;
    std::atomic<bool> observersNeeded_{false};
    std::multimap<std::pair<TimeInterval, std::uint64_t>, rt::Ref<Timer>> timers_;
    std::uint64_t nextSequence_ = 1;
    struct Source {
        int fd;
        short events;
        std::shared_ptr<std::function<void(short)>> handler;
    };
    std::map<SourceId, Source> sources_;
    SourceId nextSource_ = 1;
    rt::Ref<Clock> clock_;
    int wakeFd_ = -1;
    std::atomic<std::thread::id> thread_{};
    std::atomic<int> stopRequests_{0};
    std::uint64_t activity_ = 0;
    // The listening time as of listenedMark_ (the clock's time of the last wait's start or
    // end), and whether the loop is waiting now (the loop's thread only).
    TimeInterval listenedBase_ = 0;
    TimeInterval listenedMark_ = 0;
    void markListened(TimeInterval now, bool waited);
};

}  // namespace fnd
