#include <RudoreVaz/Task/OperationTasks/AKOperationTaskQueue.h>

#include <algorithm>
#include <optional>

#include <QXFoundation/Listening/IListenable.h>
#include <QXFoundation/Threading/Dispatch.h>
#include <fnd/Excerpt.h>
#include <fnd/KeyedArchiver.h>
#include <fnd/KeyedUnarchiver.h>
#include <fnd/Queue.h>
#include <fnd/RunLoop.h>
#include <rt/Exception.h>
#include <rt/Format.h>

namespace zid {

namespace {
constexpr const char* kIdentifierKey = "kAKTaskQueueIdentifier";
constexpr const char* kPausedKey = "kAKTaskQueuePaused";
constexpr const char* kMaxKey = "kAKTaskQueueMaxConcurrentOperationCount";
constexpr const char* kTasksKey = "kAKTaskQueueTasks";
constexpr const char* kDependenciesKey = "kAKTaskQueueDependencies";

// The main queue, which lives for the process: the list's notices, twice per task, take
// no reference to it.
fnd::Queue& mainQueue() {
    static fnd::Queue* const queue = fnd::Queue::main().get();
    return *queue;
}

// A value read from a file, quoted in a message: at most a short beginning of it.
std::string excerpt(const rt::Value& value) {
    constexpr std::size_t Limit = 60;
    return fnd::excerpt(value.description(), Limit);
}
}  // namespace

AKOperationTaskQueue::AKOperationTaskQueue() : queue_(rt::make<fnd::OperationQueue>()) {}

AKOperationTaskQueue::AKOperationTaskQueue(rt::Value identifier)
    : identifier_(std::move(identifier)), queue_(rt::make<fnd::OperationQueue>()) {
    if (identifier_.isString()) queue_->setName(identifier_.string());
}

rt::Ref<AKOperationTaskQueue> AKOperationTaskQueue::queueWithIdentifier(rt::Value identifier) {
    return rt::make<AKOperationTaskQueue>(std::move(identifier));
}

AKOperationTaskQueue::~AKOperationTaskQueue() {
    // Tasks still listed hold themselves through the list: let them go.
    std::vector<rt::Ref<AKOperationTask>> released;
    std::lock_guard lock(mutex_);
    while (AKOperationTask* task = list_.first()) {
        (void)task->markUnlisted(this);
        released.push_back(removeLocked(*task));
    }
}

void AKOperationTaskQueue::appendLocked(const rt::Ref<AKOperationTask>& task) {
    task->listHold_ = task;
    list_.pushBack(*task);
}

rt::Ref<AKOperationTask> AKOperationTaskQueue::removeLocked(AKOperationTask& task) {
    list_.remove(task);
    return std::move(task.listHold_);
}

void AKOperationTaskQueue::describe(rt::ClassBuilder<AKOperationTaskQueue>& c) {
    c.readonly("identifier", &AKOperationTaskQueue::identifier)
        .readonly("isEmpty", [](const AKOperationTaskQueue& queue) { return queue.isEmpty_.announced(); })
        .readonly(isPausedKey);
    fnd::registerCodingClass(c.cls());
}

rt::Value AKOperationTaskQueue::identifier() const {
    std::lock_guard lock(mutex_);
    return identifier_;
}

std::vector<rt::Ref<AKOperationTask>> AKOperationTaskQueue::tasks() const {
    std::vector<rt::Ref<AKOperationTask>> listed;
    std::lock_guard lock(mutex_);
    listed.reserve(list_.size());
    for (AKOperationTask* task = list_.first(); task; task = List::next(*task)) listed.push_back(task->listHold_);
    return listed;
}

void AKOperationTaskQueue::didInitialize() {
    rt::Object::didInitialize();
    weakSelf_ = selfAs<AKOperationTaskQueue>();
    listeners_ = listeners(*this);
}

void AKOperationTaskQueue::addTask(const rt::Ref<AKOperationTask>& task) {
    if (!task) throw rt::Exception(rt::Exception::InvalidArgument, "addTask: nil task");
    {
        // The tests, the insertion and the link under one hold of the lock: two threads
        // adding the same task cannot both list it.
        std::unique_lock lock(mutex_);
        auto listing = task->linkAndList(weakSelf_, this);
        if (listing == AKOperationTask::Listing::AlreadyThere) {
            std::string name = identifier_.description();
            lock.unlock();
            throw rt::Exception(rt::Exception::InvalidArgument, "addTask: the task is already on the queue " + name);
        }
        if (listing == AKOperationTask::Listing::Elsewhere) {
            std::string name = identifier_.description();
            lock.unlock();
            throw rt::Exception(rt::Exception::InvalidArgument,
                                "addTask: the task is on another queue's list; not added to the queue " + name);
        }
        appendLocked(task);
    }
    task->setEnqueued(true);
    updateEmptiness();
    setChanged();
    try {
        queue_->addOperation(task);
    } catch (...) {
        // Refused (it is in another operation queue already): it is not on this one
        // either, and it stays enqueued where it is.
        task->unlinkQueue(this);
        unlist(*task, false);
        throw;
    }
    // A task whose end was announced before it was linked (cancelled on another thread,
    // say) leaves the list now.
    if (task->isFinished()) {
        if (task->unlinkQueue(this)) {
            unlist(*task, true);
        } else {
            // Its end announcement took it off; that removal may have come before the
            // flag was set above.
            if (!task->isListedIn(this)) task->setEnqueued(false);
        }
    }
}

void AKOperationTaskQueue::removeTask(const rt::Ref<AKOperationTask>& task) {
    if (!task) return;
    task->unlinkQueue(this);
    unlist(*task, true);
}

void AKOperationTaskQueue::unlist(AKOperationTask& task, bool clearEnqueued) {
    rt::Ref<AKOperationTask> released;  // the list's reference, let go of outside the lock
    {
        std::lock_guard lock(mutex_);
        if (task.markUnlisted(this)) released = removeLocked(task);
    }
    if (clearEnqueued) task.setEnqueued(false);
    updateEmptiness();
    setChanged();
}

void AKOperationTaskQueue::cancelAllTasks() {
    std::vector<rt::Ref<AKOperationTask>> cleared;
    {
        std::lock_guard lock(mutex_);
        cleared.reserve(list_.size());
        while (AKOperationTask* task = list_.first()) {
            (void)task->markUnlisted(this);
            cleared.push_back(removeLocked(*task));
        }
    }
    for (auto& task : cleared) {
        task->unlinkQueue(this);
        task->setEnqueued(false);
    }
    updateEmptiness();
    setChanged();
    queue_->cancelAllOperations();
}

void AKOperationTaskQueue::start() {
    if (isPaused()) resume();
    else queue_->setSuspended(false);
}

void AKOperationTaskQueue::pause() {
    if (!isPausedKey.set(*this, true)) return;
    for (auto& task : tasks()) {
        if (task->isExecuting() && task->isPausable()) task->pause();
    }
    queue_->setSuspended(true);
}

void AKOperationTaskQueue::resume() {
    if (!isPausedKey.set(*this, false)) return;
    for (auto& task : tasks()) {
        if (task->paused()) task->resume();
    }
    queue_->setSuspended(false);
}

long AKOperationTaskQueue::maxConcurrentOperationCount() const { return queue_->maxConcurrentOperationCount(); }

void AKOperationTaskQueue::setMaxConcurrentOperationCount(long count) { queue_->setMaxConcurrentOperationCount(count); }

void AKOperationTaskQueue::waitUntilAllTasksAreFinished() {
    auto allFinished = [this] {
        auto list = tasks();
        return !list.empty() && std::all_of(list.begin(), list.end(), [](const auto& task) { return task->isFinished(); });
    };
    if (allFinished()) return;
    auto loop = fnd::RunLoop::current();
    do {
        if (tasks().empty()) return;
        loop->runOnce(0.001);
    } while (!allFinished());
}

void AKOperationTaskQueue::taskDidChange(ITask&) { setChanged(); }

void AKOperationTaskQueue::setChanged() {
    mainQueue().sync([this] {
        notifyListenersIn<ITaskQueueListener>(*listeners_, [this](ITaskQueueListener& listener) { listener.taskQueueDidChange(*this); });
    });
}

std::string AKOperationTaskQueue::description() const {
    rt::Value::Array list;
    for (auto& task : tasks()) list.emplace_back(task);
    return rt::Object::description() + rt::format("[%@] %@", isPaused() ? "paused" : "running", rt::Value(std::move(list)));
}

void AKOperationTaskQueue::encodeWithCoder(fnd::KeyedArchiver& coder) const {
    rt::Value::Array archived;
    rt::Dictionary dependencies;
    for (auto& task : tasks()) {
        if (!task->isPersistable()) continue;
        archived.emplace_back(task);
        rt::Value::Array identifiers;
        for (auto& dependency : task->dependencies()) {
            if (auto dependencyTask = rt::cast<AKOperationTask>(dependency)) {
                rt::Value id = dependencyTask->identifier();
                if (!id.isNil()) identifiers.push_back(id);
            }
        }
        rt::Value id = task->identifier();
        if (!id.isNil()) dependencies.set(id, rt::Value(std::move(identifiers)));
    }
    coder.encodeObject(identifier(), kIdentifierKey);
    coder.encodeBool(isPaused(), kPausedKey);
    coder.encodeInt64(maxConcurrentOperationCount(), kMaxKey);
    coder.encodeObject(rt::Value(std::move(archived)), kTasksKey);
    coder.encodeObject(rt::Value(dependencies), kDependenciesKey);
}

void AKOperationTaskQueue::initWithCoder(fnd::KeyedUnarchiver& coder) {
    {
        std::lock_guard lock(mutex_);
        identifier_ = coder.decodeObject(kIdentifierKey);
        if (identifier_.isString()) queue_->setName(identifier_.string());
    }
    isPaused_.store(coder.decodeBool(kPausedKey));
    // A queue archived without a maximum keeps the default rather than running nothing.
    if (coder.containsValueForKey(kMaxKey)) {
        long long max = coder.decodeInt64(kMaxKey);
        if (max >= -1) queue_->setMaxConcurrentOperationCount(static_cast<long>(max));
    }
    rt::Value archived = coder.decodeObject(kTasksKey);
    rt::Value dependencies = coder.decodeObject(kDependenciesKey);

    // Nothing starts before the main queue has run once; a paused queue stays held.
    queue_->setSuspended(true);
    rt::Weak<AKOperationTaskQueue> weak = selfAs<AKOperationTaskQueue>();
    performBlockOnMain([weak] {
        if (auto queue = weak.lock(); queue && !queue->isPaused()) queue->queue()->setSuspended(false);
    });

    std::vector<rt::Ref<AKOperationTask>> decoded;
    for (auto& value : archived.array()) {
        if (auto task = value.as<AKOperationTask>()) decoded.push_back(task);
    }
    const rt::Dictionary* map = dependencies.isDictionary() ? &dependencies.dictionary() : nullptr;
    // Every dependency first, then the tasks: an archive whose tasks depend on each
    // other in a cycle (which no task of it could ever leave) is refused before any of
    // them is listed or started.
    for (auto& task : decoded) {
        if (!map) break;
        rt::Value identifiers = map->get(task->identifier());
        for (auto& id : identifiers.array()) {
            auto found = std::find_if(decoded.begin(), decoded.end(),
                                      [&](const auto& other) { return other->identifier().isEqual(id); });
            if (found == decoded.end() || *found == task) continue;
            try {
                task->addDependency(*found);
            } catch (const rt::Exception&) {
                for (auto& undone : decoded) {
                    for (auto& dependency : undone->dependencies()) undone->removeDependency(dependency);
                }
                coder.failWithError(rt::Error::withDescription(
                    fnd::KeyedArchiveErrorDomain, static_cast<long long>(fnd::KeyedArchiveError::MalformedValue),
                    rt::format("The task queue %@ was saved with tasks that depend on each other in a cycle (%@ and %@); "
                               "none of its tasks is restored",
                               excerpt(identifier()), excerpt(task->identifier()), excerpt(id))));
                return;
            }
        }
    }
    for (auto& task : decoded) addTask(task);
}

void AKOperationTaskQueue::updateEmptiness() {
    std::optional<MainThreadValue<bool>::Change> change;
    {
        // Stored in the order of the list's changes; announced (on the main thread)
        // only when it differs.
        std::lock_guard lock(mutex_);
        bool empty = list_.empty();
        if (isEmpty_.get() != empty) change = isEmpty_.store(empty);
    }
    if (!change) return;
    auto self = selfAs<AKOperationTaskQueue>();
    isEmpty_.announce(*this, "isEmpty", std::move(*change), [self](std::function<void()> block) {
        performBlockOnMain([self, block = std::move(block)] { block(); });
    });
}

}  // namespace zid
