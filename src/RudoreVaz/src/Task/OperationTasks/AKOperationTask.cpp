#include <RudoreVaz/Task/OperationTasks/AKOperationTask.h>

#include <algorithm>
#include <chrono>
#include <cmath>

#include <QXFoundation/Listening/IListenable.h>
#include <QXFoundation/Log/QXLogger.h>
#include <QXFoundation/Threading/Dispatch.h>
#include <RudoreVaz/Task/OperationTasks/AKOperationTaskQueue.h>
#include <fnd/KeyedArchiver.h>
#include <fnd/KeyedUnarchiver.h>
#include <fnd/Queue.h>
#include <fnd/RunLoop.h>
#include <rt/Exception.h>
#include <rt/Format.h>

namespace zid {

AKOperationTask::AKOperationTask() = default;

AKOperationTask::AKOperationTask(rt::Value identifier, std::string title)
    : identifier_(std::move(identifier)), title_(std::move(title)) {
    indeterminate_.store(true);
}

rt::Ref<AKOperationTask> AKOperationTask::taskWithIdentifier(rt::Value identifier, std::string title) {
    return rt::make<AKOperationTask>(std::move(identifier), std::move(title));
}

AKOperationTask::~AKOperationTask() = default;

void AKOperationTask::describe(rt::ClassBuilder<AKOperationTask>& c) {
    c.readonly("isExecuting", &AKOperationTask::isExecuting)
        .readonly("isFinished", &AKOperationTask::isFinished)
        .readonly("isCancelled", &AKOperationTask::isCancelled)
        .readonly("isFailed", &AKOperationTask::isFailed)
        .readonly("isEnqueued", [](const AKOperationTask& task) { return task.enqueued_.announced(); })
        .readonly("isReady", &AKOperationTask::isReady)
        .readonly("paused", &AKOperationTask::paused)
        .readonly("isIndeterminate", &AKOperationTask::isIndeterminate)
        .readonly("progress", &AKOperationTask::progress)
        .readonly("identifier", &AKOperationTask::identifier)
        .readonly("title", &AKOperationTask::title)
        .readonly("result", [](const AKOperationTask& task) { return task.result_.announced(); })
        .readonly("error", [](const AKOperationTask& task) { return task.error_.announced(); })
        .readonly("failedAttemptsCount", &AKOperationTask::failedAttemptsCount)
        .dependent("isReady", {"paused"});
    fnd::registerCodingClass(c.cls());
}

// ---- properties -----------------------------------------------------------------

void AKOperationTask::setProgress(double progress) {
    announce("progress", [&] { progress_.store(progress); });
}

void AKOperationTask::setEnqueued(bool enqueued) {
    enqueued_.set(*this, "isEnqueued", enqueued, [this](std::function<void()> block) { postToMain(std::move(block)); });
}

void AKOperationTask::setResult(rt::Value result) {
    result_.set(*this, "result", std::move(result), [this](std::function<void()> block) { postToMain(std::move(block)); });
}

void AKOperationTask::setError(rt::Ref<rt::Error> error) {
    error_.set(*this, "error", std::move(error), [this](std::function<void()> block) { postToMain(std::move(block)); });
}

// ---- the work -------------------------------------------------------------------

void AKOperationTask::task() { rt::raiseMustOverride("task", *this); }

void AKOperationTask::start() {
    // The end is announced on the main thread, often long after the work: the slot is
    // given back as soon as the end is posted, so that the next task starts on this
    // thread at once. Its announcements are posted after this one's end, so observers
    // on the main thread never see more tasks executing than the queue allows.
    if (cancellationMarked()) {
        // Cancelled before it began: it ends without ever executing.
        setFinished();
        workEnded();
        return;
    }
    {
        std::lock_guard lock(announceMutex_);
        if (!endPosted_.load()) postToMain([this] { announceFlag("isExecuting", executingFlag_, true); });
    }
    try {
        main();
    } catch (...) {
        setFinished();  // the exception goes on to the caller
        workEnded();
        throw;
    }
    if (error() && !cancellationMarked()) fail();
    setFinished();
    workEnded();
}

void AKOperationTask::main() {
    if (cancellationMarked()) return;
    if (hasFailedOrCancelledDependency()) {
        cancel();
        return;
    }
    log([&] { return rt::format("Starting task: %@", description()); });
    task();
    while (auto failure = error()) {
        if (failedAttemptsCount() >= retryAttempts()) return;  // the error stays
        log([&] { return rt::format("Retrying failed task with error: %@", failure); });
        sleepForRetry(retryTimeInterval());
        setError(nullptr);
        if (cancellationMarked()) return;
        task();
        failedAttemptsCount_.fetch_add(1);
    }
}

bool AKOperationTask::hasFailedOrCancelledDependency() const {
    if (!hasDependencies()) return false;  // most tasks: no lock, no copy of the list
    for (const auto& dependency : dependencies()) {
        auto* task = dynamic_cast<const AKOperationTask*>(dependency.get());
        if (task && (task->isCancelled() || task->cancellationMarked() || task->error())) return true;
    }
    return false;
}

void AKOperationTask::sleepForRetry(double seconds) {
    if (!(seconds > 0)) return;
    auto clock = fnd::RunLoop::main()->clockRef();
    const double deadline = clock->now() + seconds;
    std::unique_lock lock(sleepMutex_);
    while (!cancellationMarked()) {
        double remaining = deadline - clock->now();
        if (remaining <= 0) return;
        // A virtual clock moves only when a test advances it: look again shortly.
        double wait = clock->isVirtual() ? 0.001 : remaining;
        sleepWake_.wait_for(lock, std::chrono::duration<double>(wait));
    }
}

// ---- ending ---------------------------------------------------------------------

void AKOperationTask::setFailedWithError(const rt::Ref<rt::Error>& error) { setError(error); }

void AKOperationTask::setFinished() {
    std::lock_guard lock(announceMutex_);
    postEnd();
}

void AKOperationTask::postEnd() {
    if (endPosted_.exchange(true)) return;
    postToMain([this] {
        log([&] { return rt::format("Finished task: %@", description()); });
        announceFlag("isExecuting", executingFlag_, false);
        {
            rt::ChangeScope scope(*this, "isFinished");
            finishedFlag_.store(true);
        }
        // Every observer has seen the end: the task leaves its queue's list before the
        // engine frees its slot (and starts the next task) and runs the completion block.
        leaveQueue();
        changed("isFinished");
    });
}

void AKOperationTask::leaveQueue() {
    rt::Ref<AKOperationTaskQueue> queue;
    {
        std::lock_guard lock(mutex_);
        queue = linkedQueue_.lock();
        linkedQueue_.reset();
        linkedIdentity_ = nullptr;
    }
    if (queue) queue->unlist(*this, true);
}

AKOperationTask::Listing AKOperationTask::linkAndList(const rt::Weak<AKOperationTaskQueue>& queue,
                                                     const AKOperationTaskQueue* identity) {
    std::lock_guard lock(mutex_);
    if (listedIn_ == identity) return Listing::AlreadyThere;
    if (listedIn_ || (linkedIdentity_ && linkedIdentity_ != identity && !linkedQueue_.expired())) return Listing::Elsewhere;
    linkedQueue_ = queue;
    linkedIdentity_ = identity;
    listedIn_ = identity;
    return Listing::Listed;
}

bool AKOperationTask::isListedIn(const AKOperationTaskQueue* identity) const {
    std::lock_guard lock(mutex_);
    return listedIn_ == identity;
}

bool AKOperationTask::markUnlisted(const AKOperationTaskQueue* identity) {
    std::lock_guard lock(mutex_);
    if (listedIn_ != identity) return false;
    listedIn_ = nullptr;
    return true;
}

bool AKOperationTask::unlinkQueue(const AKOperationTaskQueue* identity) {
    std::lock_guard lock(mutex_);
    if (!linkedIdentity_ || linkedIdentity_ != identity) return false;
    linkedQueue_.reset();
    linkedIdentity_ = nullptr;
    return true;
}

rt::Ref<AKOperationTaskQueue> AKOperationTask::listingQueue() const {
    std::lock_guard lock(mutex_);
    return linkedQueue_.lock();
}

void AKOperationTask::setCancelled() {
    std::lock_guard lock(announceMutex_);
    if (endPosted_.load()) return;  // too late: the task has ended otherwise
    markCancelled();
    if (!cancelPosted_.exchange(true)) {
        postToMain([this] {
            log([&] { return rt::format("Cancelled task: %@", description()); });
            announceFlag("isCancelled", cancelledFlag_, true);
        });
    }
    postEnd();
}

void AKOperationTask::fail() {
    std::lock_guard lock(announceMutex_);
    if (endPosted_.load() || failPosted_.exchange(true)) return;
    postToMain([this] {
        log([&] { return rt::format("Failed task: %@ with error:%@", description(), error()); });
        announceFlag("isFailed", failedFlag_, true);
    });
}

void AKOperationTask::cancel() {
    setCancelled();
    std::lock_guard lock(sleepMutex_);
    sleepWake_.notify_all();  // a retry pause ends at once
}

// ---- pausing, progress, change ----------------------------------------------------

void AKOperationTask::pause() {
    fnd::Queue::main()->sync([this] { announce("paused", [this] { paused_.store(true); }); });
}

void AKOperationTask::resume() {
    fnd::Queue::main()->sync([this] { announce("paused", [this] { paused_.store(false); }); });
}

bool AKOperationTask::isReady() const { return fnd::Operation::isReady() && !paused(); }

bool AKOperationTask::affectsReadiness(std::string_view key) const { return key == "paused"; }

void AKOperationTask::updateProgress(double progress) {
    fnd::Queue::main()->sync([this, progress] {
        announce("isIndeterminate", [this] { indeterminate_.store(false); });
        announce("progress", [this, progress] { progress_.store(progress); });
    });
}

void AKOperationTask::updateIndeterminate(bool indeterminate) {
    fnd::Queue::main()->sync([this, indeterminate] {
        announce("isIndeterminate", [this, indeterminate] { indeterminate_.store(indeterminate); });
    });
}

void AKOperationTask::setChanged() {
    fnd::Queue::main()->sync([this] {
        notifyListeners<ITaskListener>(*this, [this](ITaskListener& listener) { listener.taskDidChange(*this); });
        if (auto queue = listingQueue()) queue->taskDidChange(*this);
    });
}

void AKOperationTask::setCompletionBlock(std::function<void()> block) {
    if (!block) {
        fnd::Operation::setCompletionBlock(nullptr);
        return;
    }
    fnd::Operation::setCompletionBlock([block = std::move(block)] { fnd::Queue::main()->sync(block); });
}

// ---- identity ---------------------------------------------------------------------

bool AKOperationTask::isEqual(const rt::Object& other) const {
    if (this == &other) return true;
    auto* task = dynamic_cast<const AKOperationTask*>(&other);
    if (!task) return false;
    rt::Value mine = identifier();
    return !mine.isNil() && mine.isEqual(task->identifier());
}

std::size_t AKOperationTask::hash() const {
    rt::Value mine = identifier();
    return mine.isNil() ? rt::Object::hash() : mine.hash();
}

std::string AKOperationTask::description() const {
    return rt::Object::description() + rt::format("[ID:%@%@%@%@]", identifier(), paused() ? ", paused" : "",
                                                   isFinished() ? ", finished" : "", isCancelled() ? ", cancelled" : "");
}

// ---- archive ----------------------------------------------------------------------

void AKOperationTask::encodeWithCoder(fnd::KeyedArchiver& coder) const {
    std::string name = title();
    coder.encodeObject(identifier(), "identifier");
    coder.encodeObject(name.empty() ? rt::Value() : rt::Value(name), "title");
    coder.encodeDouble(progress(), "progress");
    coder.encodeBool(isIndeterminate(), "isIndeterminate");
    coder.encodeBool(paused(), "isPaused");
    coder.encodeInt64(static_cast<long long>(failedAttemptsCount()), "failedAttemptsCount");
    coder.encodeInt64(static_cast<long long>(retryAttempts()), "retryAttempts");
    double interval = std::trunc(retryTimeInterval());
    coder.encodeInt64(std::isfinite(interval) ? static_cast<long long>(interval) : 0, "retryTimeInterval");
}

void AKOperationTask::initWithCoder(fnd::KeyedUnarchiver& coder) {
    setIdentifier(coder.decodeObject("identifier"));
    rt::Value name = coder.decodeObject("title");
    setTitle(name.isString() ? name.string() : std::string());
    progress_.store(coder.decodeDouble("progress"));
    indeterminate_.store(coder.decodeBool("isIndeterminate"));
    paused_.store(coder.decodeBool("isPaused"));
    auto count = [](long long v) { return v < 0 ? std::uint64_t{0} : static_cast<std::uint64_t>(v); };
    failedAttemptsCount_.store(count(coder.decodeInt64("failedAttemptsCount")));
    retryAttempts_.store(count(coder.decodeInt64("retryAttempts")));
    retryTimeInterval_.store(static_cast<double>(coder.decodeInt64("retryTimeInterval")));
}

// ---- helpers ----------------------------------------------------------------------

void AKOperationTask::postToMain(std::function<void()> block) {
    // The posted block keeps the task alive until it ran.
    auto self = selfAs<AKOperationTask>();
    if (!self) return;
    performBlockOnMain([self = std::move(self), block = std::move(block)] { block(); });
}

void AKOperationTask::announceFlag(std::string_view key, std::atomic<bool>& flag, bool value) {
    announce(key, [&] { flag.store(value); });
}

void AKOperationTask::log(const std::function<std::string()>& message) const {
    // The texts describe the task, which costs more than the rest of a small task's
    // bookkeeping: they are made only when a handler takes records of this level.
    // The default logger lives for the process: no reference taken per task (every
    // worker and the main thread would touch one shared count, twice per task).
    constexpr std::int64_t level = 5;
    static QXLogger* const logger = QXLogger::defaultLogger().get();
    if (!logger->takesLevel(level)) return;
    logger->logRecord(rt::make<QXLogRecord>(kAKTaskLogModule, rt::Value(&objectClass()), 0, message(), level));
}

}  // namespace zid
