#include <fnd/RunLoop.h>

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cmath>

namespace fnd {

namespace {
std::atomic<std::thread::id> mainThreadId{};
thread_local rt::Ref<RunLoop> threadLoop;
}  // namespace

Timer::Timer(TimeInterval interval, bool repeats, Handler handler)
    : interval_(interval < 0 ? 0 : interval), repeats_(repeats), handler_(std::move(handler)) {}

void Timer::invalidate() { valid_.store(false); }

RunLoop::RunLoop() : clock_(RealClock::shared()) {
    wakeFd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    thread_.store(std::this_thread::get_id());
}

RunLoop::~RunLoop() {
    clock_->detach(*this);
    if (wakeFd_ >= 0) ::close(wakeFd_);
}

rt::Ref<RunLoop> RunLoop::main() {
    // Never released: other threads may still post to it while the process ends.
    static rt::Ref<RunLoop>* loop = [] {
        auto* made = new rt::Ref<RunLoop>(rt::make<RunLoop>());
        mainThreadId.store(std::this_thread::get_id());
        return made;
    }();
    return *loop;
}

rt::Ref<RunLoop> RunLoop::current() {
    if (isMainThread()) return main();
    if (!threadLoop) threadLoop = rt::make<RunLoop>();
    return threadLoop;
}

bool RunLoop::isMainThread() {
    (void)main();
    return mainThreadId.load() == std::this_thread::get_id();
}

bool RunLoop::isCurrent() const { return thread_.load() == std::this_thread::get_id(); }

void RunLoop::wakeUp() {
    std::uint64_t one = 1;
    [[maybe_unused]] auto written = ::write(wakeFd_, &one, sizeof one);
}

void RunLoop::post(std::function<void()> block) {
    {
        std::lock_guard lock(mutex_);
        posted_.push_back(std::move(block));
    }
    wakeUp();
}

rt::Ref<Timer> RunLoop::schedule(TimeInterval interval, bool repeats, Timer::Handler handler) {
    auto timer = rt::make<Timer>(interval, repeats, std::move(handler));
    {
        std::lock_guard lock(mutex_);
        timer->sequence_ = nextSequence_++;
        TimeInterval deadline = clock_->now() + timer->interval_;
        timer->fireTime_.store(deadline);
        timers_.emplace(std::make_pair(deadline, timer->sequence_), timer);
    }
    wakeUp();
    return timer;
}

rt::Ref<Timer> RunLoop::after(TimeInterval delay, std::function<void()> block) {
    return schedule(delay, false, [block = std::move(block)](Timer&) { block(); });
}

RunLoop::SourceId RunLoop::addSource(int fd, short events, std::function<void(short)> handler) {
    SourceId id;
    {
        std::lock_guard lock(mutex_);
        id = nextSource_++;
        sources_.emplace(id, Source{fd, events, std::make_shared<std::function<void(short)>>(std::move(handler))});
    }
    wakeUp();
    return id;
}

void RunLoop::updateSource(SourceId id, short events) {
    {
        std::lock_guard lock(mutex_);
        auto it = sources_.find(id);
        if (it != sources_.end()) it->second.events = events;
    }
    wakeUp();
}

void RunLoop::removeSource(SourceId id) {
    std::shared_ptr<std::function<void(short)>> handler;  // released outside the lock
    {
        std::lock_guard lock(mutex_);
        auto it = sources_.find(id);
        if (it == sources_.end()) return;
        handler = it->second.handler;
        sources_.erase(it);
    }
    wakeUp();
}

Clock& RunLoop::clock() const {
    std::lock_guard lock(mutex_);
    return *clock_;
}

rt::Ref<Clock> RunLoop::clockRef() const {
    std::lock_guard lock(mutex_);
    return clock_;
}

void RunLoop::setClock(rt::Ref<Clock> clock) {
    if (!clock) clock = RealClock::shared();
    rt::Ref<Clock> old;
    {
        std::lock_guard lock(mutex_);
        old = clock_;
        clock_ = clock;
        // Keep each pending timer's remaining time, measured on the new clock.
        TimeInterval oldNow = old->now(), newNow = clock->now();
        std::multimap<std::pair<TimeInterval, std::uint64_t>, rt::Ref<Timer>> moved;
        for (auto& [key, timer] : timers_) {
            TimeInterval deadline = newNow + (key.first - oldNow);
            timer->fireTime_.store(deadline);
            moved.emplace(std::make_pair(deadline, key.second), timer);
        }
        timers_.swap(moved);
    }
    old->detach(*this);
    clock->attach(*this);
    wakeUp();
}

std::optional<TimeInterval> RunLoop::nextTimerDeadline() const {
    std::lock_guard lock(mutex_);
    for (auto& [key, timer] : timers_)
        if (timer->isValid()) return key.first;
    return std::nullopt;
}

void RunLoop::discardPending() {
    std::deque<std::function<void()>> posted;
    std::multimap<std::pair<TimeInterval, std::uint64_t>, rt::Ref<Timer>> timers;
    {
        std::lock_guard lock(mutex_);
        posted.swap(posted_);
        timers.swap(timers_);
    }
    for (auto& [key, timer] : timers) timer->invalidate();
}

bool RunLoop::runPosted() {
    // One block at a time, so that a nested run inside a block continues with the
    // blocks posted before it (FIFO across nesting). Blocks posted meanwhile wait for
    // the next turn.
    std::size_t budget;
    {
        std::lock_guard lock(mutex_);
        budget = posted_.size();
    }
    bool ran = false;
    while (budget-- > 0) {
        std::function<void()> block;
        {
            std::lock_guard lock(mutex_);
            if (posted_.empty()) break;
            block = std::move(posted_.front());
            posted_.pop_front();
        }
        block();
        ran = true;
    }
    return ran;
}

bool RunLoop::fireDueTimers() {
    bool fired = false;
    for (;;) {
        rt::Ref<Timer> timer;
        {
            std::lock_guard lock(mutex_);
            TimeInterval now = clock_->now();
            auto it = timers_.begin();
            while (it != timers_.end() && !it->second->isValid()) it = timers_.erase(it);
            if (it == timers_.end() || it->first.first > now) break;
            timer = it->second;
            TimeInterval deadline = it->first.first;
            timers_.erase(it);
            if (timer->repeats_ && timer->interval_ > 0) {
                // A repeating timer keeps its cadence; missed beats collapse into one.
                TimeInterval next = deadline + timer->interval_;
                if (next <= now) next = now + timer->interval_ - std::fmod(now - deadline, timer->interval_);
                timer->fireTime_.store(next);
                timer->sequence_ = nextSequence_++;
                timers_.emplace(std::make_pair(next, timer->sequence_), timer);
            } else {
                timer->valid_.store(false);
            }
        }
        if (timer->handler_) timer->handler_(*timer);
        fired = true;
    }
    return fired;
}

void RunLoop::drain() {
    bool any = true;
    while (any) {
        any = runPosted();
        any = fireDueTimers() || any;
    }
}

bool RunLoop::runOnce(TimeInterval maxWait) {
    bool ran = runPosted();
    ran = fireDueTimers() || ran;

    std::vector<pollfd> fds;
    std::vector<SourceId> ids;
    TimeInterval wait = ran ? 0 : std::max(0.0, maxWait);
    {
        std::lock_guard lock(mutex_);
        if (!posted_.empty()) wait = 0;
        if (!clock_->isVirtual()) {
            for (auto& [key, timer] : timers_) {
                if (!timer->isValid()) continue;
                wait = std::min(wait, std::max(0.0, key.first - clock_->now()));
                break;
            }
        }
        fds.push_back(pollfd{wakeFd_, POLLIN, 0});
        for (auto& [id, source] : sources_) {
            fds.push_back(pollfd{source.fd, source.events, 0});
            ids.push_back(id);
        }
    }
    int timeoutMs = static_cast<int>(std::ceil(std::min(wait, 3600.0) * 1000.0));
    int n = ::poll(fds.data(), fds.size(), timeoutMs);
    if (n > 0) {
        if (fds[0].revents & POLLIN) {
            std::uint64_t count;
            while (::read(wakeFd_, &count, sizeof count) > 0) {
            }
        }
        for (std::size_t i = 1; i < fds.size(); ++i) {
            if (!fds[i].revents) continue;
            std::shared_ptr<std::function<void(short)>> handler;
            {
                std::lock_guard lock(mutex_);
                auto it = sources_.find(ids[i - 1]);
                if (it != sources_.end()) handler = it->second.handler;
            }
            if (handler) {
                (*handler)(fds[i].revents);
                ran = true;
            }
        }
    }
    ran = runPosted() || ran;
    ran = fireDueTimers() || ran;
    return ran;
}

void RunLoop::run() {
    int stopAt = stopRequests_.load();
    while (stopRequests_.load() == stopAt) runOnce(3600);
}

void RunLoop::stop() {
    stopRequests_.fetch_add(1);
    wakeUp();
}

bool RunLoop::runUntil(const std::function<bool()>& done, TimeInterval timeout) {
    auto realStart = std::chrono::steady_clock::now();
    TimeInterval start = clock().now();
    for (;;) {
        if (done && done()) return true;
        TimeInterval elapsed = clock().now() - start;
        double realElapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - realStart).count();
        bool isVirtual = clock().isVirtual();
        if (elapsed >= timeout || (isVirtual && realElapsed >= timeout)) return done ? done() : false;
        TimeInterval slice = isVirtual ? std::min(0.01, timeout - realElapsed) : timeout - elapsed;
        runOnce(std::max(0.0, std::min(slice, 0.05)));
    }
}

void RunLoop::runFor(TimeInterval duration) { runUntil(nullptr, duration); }

}  // namespace fnd
