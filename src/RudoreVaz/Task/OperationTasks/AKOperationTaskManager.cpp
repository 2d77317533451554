#include <RudoreVaz/Task/OperationTasks/AKOperationTaskManager.h>

#include <QXFoundation/Listening/IListenable.h>
#include <QXFoundation/Log/QXLogger.h>
#include <fnd/Directories.h>
#include <fnd/Paths.h>
#include <fnd/KeyedArchiver.h>
#include <fnd/KeyedUnarchiver.h>
#include <fnd/Queue.h>

namespace zid {

AKOperationTaskManager::AKOperationTaskManager() = default;

rt::Ref<AKOperationTaskManager> AKOperationTaskManager::sharedManager() {
    // The manager is made outside any lock: restoring archived queues registers it as
    // their listener on the main thread, and the main thread may itself be asking for
    // the manager at that moment. Should two threads make one at once, the first one
    // stored is the shared manager and the other is dropped unused.
    static std::mutex mutex;
    static rt::Ref<AKOperationTaskManager> shared;
    {
        std::lock_guard lock(mutex);
        if (shared) return shared;
    }
    auto made = managerWithFile(fnd::joinPath(fnd::Directories::library(), kArchiveName));
    std::lock_guard lock(mutex);
    if (!shared) shared = std::move(made);
    return shared;
}

rt::Ref<AKOperationTaskManager> AKOperationTaskManager::managerWithFile(const std::string& path) {
    (void)AKOperationTaskQueue::staticClass();  // the archive's queues decode by class name
    auto manager = rt::make<AKOperationTaskManager>();
    if (auto data = fnd::readFile(path)) {
        auto coder = rt::make<fnd::KeyedUnarchiver>(*data);
        if (!coder->error()) {
            auto decoded = rt::make<AKOperationTaskManager>();
            decoded->initWithCoder(*coder);
            if (!coder->error()) {
                manager = decoded;
            } else {
                QXLog(kAKTaskLogModule, staticClass(), 2, "Ignoring unreadable task archive %@: %@", path, coder->error());
            }
        } else {
            QXLog(kAKTaskLogModule, staticClass(), 2, "Ignoring unreadable task archive %@: %@", path, coder->error());
        }
    }
    manager->setFile(path);
    return manager;
}

rt::Ref<AKOperationTaskQueue> AKOperationTaskManager::taskQueueWithIdentifier(const rt::Value& identifier) {
    rt::Ref<AKOperationTaskQueue> queue;
    {
        std::lock_guard lock(mutex_);
        for (auto& candidate : privateQueues_) {
            if (candidate->identifier().isEqual(identifier)) return candidate;
        }
        queue = AKOperationTaskQueue::queueWithIdentifier(identifier);
        privateQueues_.push_back(queue);
    }
    // Outside the lock: listener tables live on the main thread, and the main thread
    // may be waiting for this lock.
    listenTo(queue);
    return queue;
}

rt::Ref<AKOperationTaskQueue> AKOperationTaskManager::defaultQueue() { return taskQueueWithIdentifier(kDefaultQueueIdentifier); }

std::vector<rt::Ref<AKOperationTaskQueue>> AKOperationTaskManager::queues() const {
    std::lock_guard lock(mutex_);
    return privateQueues_;
}

bool AKOperationTaskManager::save() {
    if (file_.empty()) return false;
    auto coder = rt::make<fnd::KeyedArchiver>();
    encodeWithCoder(*coder);
    rt::Ref<rt::Error> error;
    if (fnd::writeFileAtomically(file_, coder->finishEncoding(), &error)) return true;
    QXLog(kAKTaskLogModule, staticClass(), 2, "Cannot write the task archive: %@", error);
    return false;
}

void AKOperationTaskManager::taskQueueDidChange(AKOperationTaskQueue&) { (void)save(); }

void AKOperationTaskManager::encodeWithCoder(fnd::KeyedArchiver& coder) const {
    rt::Value::Array busy;
    for (auto& queue : queues()) {
        if (!queue->isEmpty()) busy.emplace_back(queue);
    }
    coder.encodeObject(rt::Value(std::move(busy)), kQueuesKey);
}

void AKOperationTaskManager::initWithCoder(fnd::KeyedUnarchiver& coder) {
    rt::Value restored = coder.decodeObject(kQueuesKey);
    for (auto& value : restored.array()) {
        auto queue = value.as<AKOperationTaskQueue>();
        if (!queue) continue;
        {
            std::lock_guard lock(mutex_);
            privateQueues_.push_back(queue);
        }
        listenTo(queue);
    }
}

void AKOperationTaskManager::listenTo(const rt::Ref<AKOperationTaskQueue>& queue) {
    auto self = selfAs<AKOperationTaskManager>();
    if (!self) return;
    fnd::Queue::main()->sync([&] { addListener(*queue, self); });
}

}  // namespace zid
