#pragma once
// The run loop of a thread: posted blocks, one-shot and repeating timers on the loop's
// clock, file-descriptor sources, and nested runs. The host's main thread runs the
// main loop; any thread may have its own (current()).

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

private:
    friend class RunLoop;
    TimeInterval interval_;
    bool repeats_;
    Handler handler_;
    std::atomic<bool> valid_{true};
    std::atomic<TimeInterval> fireTime_{0};
    std::uint64_t sequence_ = 0;
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

    /// Watches a file descriptor (poll events: POLLIN, POLLOUT). The handler gets the
    /// returned events and runs on the loop's thread. Any thread.
    using SourceId = std::uint64_t;
    SourceId addSource(int fd, short events, std::function<void(short revents)> handler);
    /// Changes the events watched for a source.
    void updateSource(SourceId id, short events);
    void removeSource(SourceId id);

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

    Clock& clock() const;
    rt::Ref<Clock> clockRef() const;
    /// Installs a clock (tests install a VirtualClock); pending timers keep their
    /// deadlines, read on the new clock.
    void setClock(rt::Ref<Clock> clock);
    /// The earliest deadline of a valid timer.
    std::optional<TimeInterval> nextTimerDeadline() const;
    /// Whether the calling thread is this loop's thread.
    bool isCurrent() const;
    /// Drops every posted block and timer (test isolation).
    void discardPending();
    /// Wakes the loop from its wait.
    void wakeUp();

private:
    bool fireDueTimers();
    bool runPosted();

    mutable std::mutex mutex_;
    std::deque<std::function<void()>> posted_;
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
};

}  // namespace fnd
