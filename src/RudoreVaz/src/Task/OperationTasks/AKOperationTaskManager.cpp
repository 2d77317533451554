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
    // Made on the main thread only, whichever thread asks first, and so exactly once:
    // restoring the archive registers the manager with its queues on the main thread,
    // and a lock held across that by another thread could wait for the main thread
    // while the main thread waits for it. Never released, like the main queue.
    static std::mutex mutex;
    static auto* shared = new rt::Ref<AKOperationTaskManager>();
    {
        std::lock_guard lock(mutex);
        if (*shared) return *shared;
    }
    fnd::Queue::main()->sync([] {
        {
            std::lock_guard lock(mutex);
            if (*shared) return;
        }
        auto made = managerWithFile(fnd::joinPath(fnd::Directories::library(), kArchiveName));
        std::lock_guard lock(mutex);
        *shared = std::move(made);
    });
    std::lock_guard lock(mutex);
    return *shared;
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
    auto find = [&]() -> rt::Ref<AKOperationTaskQueue> {
        for (auto& candidate : privateQueues_) {
            if (candidate->identifier().isEqual(identifier)) return candidate;
        }
        return nullptr;
    };
    {
        std::lock_guard lock(mutex_);
        if (auto existing = find()) return existing;
    }
    // A new queue is made on the main thread, where listener tables live, and the
    // manager listens to it before anyone else can find it: its first change is saved.
    rt::Ref<AKOperationTaskQueue> queue;
    fnd::Queue::main()->sync([&] {
        std::lock_guard lock(mutex_);
        queue = find();
        if (queue) return;
        queue = AKOperationTaskQueue::queueWithIdentifier(identifier);
        if (auto self = selfAs<AKOperationTaskManager>()) addListener(*queue, self);
        privateQueues_.push_back(queue);
    });
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
        listenTo(queue);
        std::lock_guard lock(mutex_);
        privateQueues_.push_back(queue);
    }
}

void AKOperationTaskManager::listenTo(const rt::Ref<AKOperationTaskQueue>& queue) {
    auto self = selfAs<AKOperationTaskManager>();
    if (!self) return;
    fnd::Queue::main()->sync([&] { addListener(*queue, self); });
}

}  // namespace zid
