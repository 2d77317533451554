#pragma once
// The registry of named task queues.
//
// Any component asks the one shared manager for a queue by name and gets the same
// queue every time, made on first demand. The manager listens to its queues and, on
// every change of one of them, rewrites its archive (atomically) with the name,
// paused flag and maximum of each queue that holds tasks at that moment, so that a
// queue's settings outlive the process. The shared manager's archive is "shared.tm"
// in the Library directory; an archive that is missing or cannot be read gives a
// fresh manager.

#include <mutex>
#include <string>
#include <vector>

#include <RudoreVaz/Task/OperationTasks/AKOperationTaskQueue.h>

namespace zid {

class AKOperationTaskManager : public rt::Object, public ITaskQueueListener, public fnd::Coding {
    RT_CLASS(AKOperationTaskManager, rt::Object)
public:
    static constexpr const char* kQueuesKey = "kAKTaskManagerQueues";
    static constexpr const char* kArchiveName = "shared.tm";
    static constexpr const char* kDefaultQueueIdentifier = "defaultQueue";

    AKOperationTaskManager();
    /// The one shared manager, made exactly once, on the main thread (a first caller
    /// elsewhere waits for the main loop), from the archive "shared.tm" in the Library
    /// directory.
    static rt::Ref<AKOperationTaskManager> sharedManager();
    /// A manager decoded from the file when it can be read, else a fresh one; either
    /// way with that file.
    static rt::Ref<AKOperationTaskManager> managerWithFile(const std::string& path);

    /// The queue of that identifier, made on first demand on the main thread (a caller
    /// elsewhere waits for the main loop) and listened to before it can be found.
    rt::Ref<AKOperationTaskQueue> taskQueueWithIdentifier(const rt::Value& identifier);
    rt::Ref<AKOperationTaskQueue> defaultQueue();
    /// A copy of the queue list, in order of creation.
    std::vector<rt::Ref<AKOperationTaskQueue>> queues() const;

    /// Writes the archive to file atomically; false without a file or when the write fails.
    bool save();
    const std::string& file() const { return file_; }
    void setFile(std::string file) { file_ = std::move(file); }

    void taskQueueDidChange(AKOperationTaskQueue& queue) override;

    void encodeWithCoder(fnd::KeyedArchiver& coder) const override;
    void initWithCoder(fnd::KeyedUnarchiver& coder) override;

private:
    void listenTo(const rt::Ref<AKOperationTaskQueue>& queue);

    mutable std::mutex mutex_;
    std::vector<rt::Ref<AKOperationTaskQueue>> privateQueues_;
    std::string file_;
};

}  // namespace zid
