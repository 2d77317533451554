#include <fnd/RunLoop.h>

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <memory>
#include <string>

#include <rt/Exception.h>
#include <rt/MainThread.h>

namespace fnd {

namespace {
std::atomic<std::thread::id> mainThreadId{};
std::atomic<const RunLoop*> mainLoop{nullptr};
thread_local rt::Ref<RunLoop> threadLoop;
}  // namespace

Timer::Timer(TimeInterval interval, bool repeats, Handler handler)
    : interval_(repeats ? std::max(interval, MinimumRepeatInterval) : std::max(interval, 0.0)),
      repeats_(repeats),
      handler_(std::move(handler)) {
    if (std::isnan(interval)) interval_ = repeats ? MinimumRepeatInterval : 0;
}

void Timer::invalidate() { valid_.store(false); }

TurnObserver::TurnObserver(int order, std::function<void()> block) : order_(order), block_(std::move(block)) {}

void TurnObserver::setNeedsRun() {
    if (needed_.exchange(true, std::memory_order_acq_rel)) return;  // asked already this turn
    if (auto loop = loop_.lock()) {
        loop->observersNeeded_.store(true, std::memory_order_release);
        if (!loop->isCurrent()) loop->wakeUp();
    }
}

RunLoop::RunLoop() : clock_(RealClock::shared()) {
    listenedBase_ = listenedMark_ = clock_->now();
    wakeFd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    thread_.store(std::this_thread::get_id());
}

RunLoop::~RunLoop() {
    // A post whose block was run (and released the loop) may still be between pushing
    // its node and its look at sleeping_; it is done within a few instructions.
    while (postsInFlight_.load(std::memory_order_acquire) != 0) std::this_thread::yield();
    clock_->detach(*this);
    if (wakeFd_ >= 0) ::close(wakeFd_);
    for (PostNode* list : {incoming_.exchange(nullptr), postedHead_}) {
        for (PostNode* node = list; node;) {
            PostNode* next = node->next;
            delete node;
            node = next;
        }
    }
}

rt::Ref<RunLoop> RunLoop::main() {
    // Never released: other threads may still post to it while the process ends.
    static rt::Ref<RunLoop>* loop = [] {
        auto* made = new rt::Ref<RunLoop>(rt::make<RunLoop>());
        mainThreadId.store(std::this_thread::get_id());
        mainLoop.store(made->get(), std::memory_order_release);
        // The objects a host reaches keep to the same thread (rt/MainThread.h).
        rt::MainThread::bindToCurrentThread();
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
    // The main loop is made (and the main thread bound) by the first call of main();
    // after that the answer needs no reference to the loop.
    std::thread::id id = mainThreadId.load(std::memory_order_acquire);
    if (id == std::thread::id()) {
        (void)main();
        id = mainThreadId.load(std::memory_order_acquire);
    }
    return id == std::this_thread::get_id();
}

bool RunLoop::isCurrent() const { return thread_.load() == std::this_thread::get_id(); }

void RunLoop::requireOwnThread(const char* call) const {
    // The main loop runs what the main thread's objects expect to run on it: entered from
    // another thread it would run them there. Another loop may be handed to the thread
    // that runs it.
    if (this == mainLoop.load(std::memory_order_acquire) && !rt::MainThread::isCurrent()) [[unlikely]]
        rt::MainThread::refuse(std::string("RunLoop::") + call);
}

void RunLoop::wakeUp() {
    std::uint64_t one = 1;
    [[maybe_unused]] auto written = ::write(wakeFd_, &one, sizeof one);
}

void RunLoop::post(std::function<void()> block) {
    auto* node = new PostNode{std::move(block), nullptr};
    // Counted before the push, so whoever frees the loop after running the node's block
    // sees this post and waits for its end.
    postsInFlight_.fetch_add(1, std::memory_order_relaxed);
    PostNode* head = incoming_.load(std::memory_order_relaxed);
    do {
        node->next = head;
    } while (!incoming_.compare_exchange_weak(head, node, std::memory_order_seq_cst, std::memory_order_relaxed));
    // The node belongs to the loop from here on (it may already be run and freed): only
    // the head seen by the successful exchange is read. Only the post that finds the
    // list empty wakes the loop (the loop takes the whole list at once, so every later
    // post of this batch is taken with it), and only when the loop is asleep or about
    // to be: a loop that is awake looks at the list before it sleeps. The exchange above
    // and this load pair with the loop's store of sleeping_ and its look at the list
    // (all sequentially consistent): either the loop sees the node or this post sees
    // the loop asleep.
    if (!head && sleeping_.load(std::memory_order_seq_cst)) wakeUp();
    postsInFlight_.fetch_sub(1, std::memory_order_release);  // the last touch of the loop
}

void RunLoop::takeIncoming() {
    PostNode* node = incoming_.exchange(nullptr, std::memory_order_acq_rel);
    if (!node) return;
    // The list is newest first: reverse it (the newest becomes the tail).
    PostNode* tail = node;
    PostNode* ordered = nullptr;
    std::size_t count = 0;
    while (node) {
        PostNode* next = node->next;
        node->next = ordered;
        ordered = node;
        node = next;
        ++count;
    }
    std::lock_guard lock(postedMutex_);
    if (postedTail_) postedTail_->next = ordered;
    else postedHead_ = ordered;
    postedTail_ = tail;
    postedCount_ += count;
}

void RunLoop::insertTimer(const rt::Ref<Timer>& timer, TimeInterval deadline) {
    timer->sequence_ = nextSequence_++;
    timer->fireTime_.store(deadline);
    timers_.emplace(std::make_pair(deadline, timer->sequence_), timer);
}

rt::Ref<Timer> RunLoop::schedule(TimeInterval interval, bool repeats, Timer::Handler handler) {
    auto timer = rt::make<Timer>(interval, repeats, std::move(handler));
    {
        std::lock_guard lock(mutex_);
        // A repeating timer asked for 0 or less fires at once, then every pass.
        TimeInterval first = repeats && !(interval > 0) ? 0 : timer->interval_;
        insertTimer(timer, clock_->now() + first);
    }
    wakeUp();
    return timer;
}

namespace {
// A frame is taken as due this much before its exact time, so that a virtual clock
// advanced by 1 / rate per step (summing rounding errors) reaches every frame.
constexpr TimeInterval FrameTolerance = 1e-9;
}  // namespace

rt::Ref<Timer> RunLoop::scheduleFrames(double rate, Timer::Handler handler) {
    if (!(rate > 0) || !std::isfinite(rate)) {
        throw rt::Exception(rt::Exception::InvalidArgument, "scheduleFrames: the frame rate must be above 0, not " + std::to_string(rate));
    }
    auto timer = rt::make<Timer>(1.0 / rate, true, std::move(handler));
    timer->frameRate_ = rate;
    {
        std::lock_guard lock(mutex_);
        timer->frameOrigin_ = clock_->now();
        timer->nextFrame_ = 1;
        insertTimer(timer, timer->frameOrigin_ + 1.0 / rate - FrameTolerance);
    }
    wakeUp();
    return timer;
}

rt::Ref<TurnObserver> RunLoop::addTurnObserver(int order, std::function<void()> block) {
    auto observer = rt::make<TurnObserver>(order, std::move(block));
    observer->loop_ = selfAs<RunLoop>();
    std::lock_guard lock(mutex_);
    observer->sequence_ = nextObserver_++;
    auto place = std::upper_bound(observers_.begin(), observers_.end(), observer, [](const auto& a, const auto& b) {
        return std::pair(a->order_, a->sequence_) < std::pair(b->order_, b->sequence_);
    });
    observers_.insert(place, observer);
    return observer;
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

HeldClock RunLoop::clock() const {
    std::lock_guard lock(mutex_);
    return HeldClock(clock_);
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
    if (isCurrent()) listenedBase_ = listenedMark_ = clock->now();
    old->detach(*this);
    clock->attach(*this);
    wakeUp();
}

TimeInterval RunLoop::listenedTime() const {
    HeldClock now = clock();
    if (now.isVirtual()) return now.now();
    return listenedBase_ + std::clamp(now.now() - listenedMark_, 0.0, DeafAllowance);
}

void RunLoop::markListened(TimeInterval now, bool waited) {
    // A wait counts whole; the stretch of work before it up to the allowance.
    TimeInterval since = std::max(0.0, now - listenedMark_);
    listenedBase_ += waited ? since : std::min(since, DeafAllowance);
    listenedMark_ = now;
}

std::optional<TimeInterval> RunLoop::nextTimerDeadline() const {
    std::lock_guard lock(mutex_);
    for (auto& [key, timer] : timers_)
        if (timer->isValid()) return key.first;
    return std::nullopt;
}

void RunLoop::discardPending() {
    PostNode* posted;
    std::multimap<std::pair<TimeInterval, std::uint64_t>, rt::Ref<Timer>> timers;
    takeIncoming();
    {
        std::lock_guard lock(postedMutex_);
        posted = std::exchange(postedHead_, nullptr);
        postedTail_ = nullptr;
        postedCount_ = 0;
    }
    {
        std::lock_guard lock(mutex_);
        timers.swap(timers_);
    }
    for (auto& [key, timer] : timers) timer->invalidate();
    // The blocks go last, outside the locks: what they hold may call out as it is freed.
    while (posted) delete std::exchange(posted, posted->next);
}

bool RunLoop::runPosted() {
    // One block at a time, so that a nested run inside a block continues with the
    // blocks posted before it (FIFO across nesting). Blocks posted meanwhile wait for
    // the next turn.
    takeIncoming();
    std::size_t budget;
    {
        std::lock_guard lock(postedMutex_);
        budget = postedCount_;
    }
    bool ran = false;
    while (budget-- > 0) {
        std::unique_ptr<PostNode> node;
        {
            std::lock_guard lock(postedMutex_);
            if (!postedHead_) break;
            node.reset(std::exchange(postedHead_, postedHead_->next));
            if (!postedHead_) postedTail_ = nullptr;
            --postedCount_;
        }
        ++activity_;
        node->block();
        ran = true;
    }
    if (ran) ranPostsLastTurn_ = true;
    return ran;
}

bool RunLoop::fireDueTimers() {
    bool fired = false;
    // Only what is due when the pass starts fires in it: a repeating timer whose handler
    // takes longer than its interval fires once a turn, and posted blocks, sources and
    // the caller's own checks still get their turn.
    TimeInterval now;
    {
        std::lock_guard lock(mutex_);
        now = clock_->now();
    }
    for (;;) {
        rt::Ref<Timer> timer;
        {
            std::lock_guard lock(mutex_);
            auto it = timers_.begin();
            while (it != timers_.end() && !it->second->isValid()) it = timers_.erase(it);
            if (it == timers_.end() || it->first.first > now) break;
            timer = it->second;
            TimeInterval deadline = it->first.first;
            timers_.erase(it);
            if (timer->frameRate_ > 0) {
                // Frames keep exact times; frames missed by a late loop are skipped.
                // The frame firing is the latest one due.
                auto due = [&](std::uint64_t n) { return timer->frameOrigin_ + static_cast<double>(n) / timer->frameRate_; };
                std::uint64_t frame = timer->nextFrame_;
                double latest = std::floor((now + FrameTolerance - timer->frameOrigin_) * timer->frameRate_);
                if (latest > static_cast<double>(frame)) frame = static_cast<std::uint64_t>(latest);
                while (due(frame + 1) - FrameTolerance <= now) ++frame;
                timer->frame_ = frame;
                timer->nextFrame_ = frame + 1;
                insertTimer(timer, due(frame + 1) - FrameTolerance);
            } else if (timer->repeats_) {
                // A repeating timer keeps its cadence; missed beats collapse into one.
                TimeInterval next = deadline + timer->interval_;
                if (next <= now) next = now + timer->interval_ - std::fmod(now - deadline, timer->interval_);
                insertTimer(timer, next);
            } else {
                timer->valid_.store(false);
            }
        }
        ++activity_;
        if (timer->handler_) timer->handler_(*timer);
        fired = true;
    }
    return fired;
}

bool RunLoop::runTurnObservers() {
    if (!observersNeeded_.exchange(false, std::memory_order_acq_rel)) return false;
    std::vector<rt::Ref<TurnObserver>> observers;
    {
        std::lock_guard lock(mutex_);
        observers_.erase(std::remove_if(observers_.begin(), observers_.end(), [](const auto& o) { return !o->isValid(); }),
                         observers_.end());
        observers = observers_;
    }
    bool ran = false;
    for (auto& observer : observers) {
        // Cleared before the run: a request made while it runs (or later in this
        // phase, by an observer after it) is for the next turn.
        if (!observer->isValid() || !observer->needed_.exchange(false, std::memory_order_acq_rel)) continue;
        ++activity_;
        if (observer->block_) observer->block_();
        ran = true;
    }
    return ran;
}

void RunLoop::drain() {
    requireOwnThread("drain");
    ++activity_;
    bool any = true;
    while (any) {
        any = runPosted();
        any = fireDueTimers() || any;
        if (!any) any = runTurnObservers();
    }
}

bool RunLoop::runOnce(TimeInterval maxWait) {
    requireOwnThread("runOnce");
    ++activity_;
    return runTurn(maxWait);
}

bool RunLoop::runTurn(TimeInterval maxWait) {
    bool ran = runPosted();
    ran = fireDueTimers() || ran;

    std::vector<pollfd> fds;
    std::vector<SourceId> ids;
    TimeInterval wait = ran ? 0 : std::max(0.0, maxWait);
    if (wait > 0 && ranPostsLastTurn_) {
        // Posts from other threads often follow within microseconds of the ones just
        // run (work handed out by them reports back): look for them a little while
        // before sleeping, since waking a sleeping thread costs more.
        auto until = std::chrono::steady_clock::now() + std::chrono::microseconds(PostSpinMicroseconds);
        while (!hasIncoming() && std::chrono::steady_clock::now() < until) std::this_thread::yield();
    }
    ranPostsLastTurn_ = false;
    if (hasIncoming() || observersNeeded_.load(std::memory_order_acquire)) wait = 0;
    {
        std::lock_guard lock(postedMutex_);
        if (postedHead_) wait = 0;
    }
    {
        std::lock_guard lock(mutex_);
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
    if (timeoutMs > 0) {
        // From here on a post wakes the loop (see post()); a post that came before is
        // seen here and the loop does not sleep.
        sleeping_.store(true, std::memory_order_seq_cst);
        if (incoming_.load(std::memory_order_seq_cst) != nullptr) timeoutMs = 0;
    }
    HeldClock held = clock();
    if (!held.isVirtual()) markListened(held.now(), false);
    int n = ::poll(fds.data(), fds.size(), timeoutMs);
    sleeping_.store(false, std::memory_order_relaxed);
    if (!held.isVirtual()) markListened(held.now(), true);
    if (n > 0) {
        if (fds[0].revents & POLLIN) {
            // One read takes the whole count and resets it.
            std::uint64_t count;
            [[maybe_unused]] auto taken = ::read(wakeFd_, &count, sizeof count);
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
                ++activity_;
                (*handler)(fds[i].revents);
                ran = true;
            }
        }
    }
    ran = runPosted() || ran;
    ran = fireDueTimers() || ran;
    ran = runTurnObservers() || ran;
    return ran;
}

void RunLoop::run() {
    requireOwnThread("run");
    ++activity_;
    int stopAt = stopRequests_.load();
    while (stopRequests_.load() == stopAt) runTurn(3600);
}

void RunLoop::stop() {
    stopRequests_.fetch_add(1);
    wakeUp();
}

bool RunLoop::runUntil(const std::function<bool()>& done, TimeInterval timeout) {
    requireOwnThread("runUntil");
    ++activity_;
    auto realStart = std::chrono::steady_clock::now();
    TimeInterval start = clock().now();
    for (;;) {
        if (done && done()) return true;
        HeldClock now = clock();
        TimeInterval elapsed = now.now() - start;
        double realElapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - realStart).count();
        bool isVirtual = now.isVirtual();
        if (elapsed >= timeout || (isVirtual && realElapsed >= timeout)) return done ? done() : false;
        TimeInterval slice = isVirtual ? std::min(0.01, timeout - realElapsed) : timeout - elapsed;
        runTurn(std::max(0.0, std::min(slice, 0.05)));
    }
}

void RunLoop::runFor(TimeInterval duration) { runUntil(nullptr, duration); }

}  // namespace fnd
