#pragma once
// Shared helpers of the task tests: a log capture, a recorder of flag announcements,
// a main-loop spin bounded in real time, and small task classes.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <QXFoundation/Log/QXLogHandler.h>
#include <QXFoundation/Log/QXLogger.h>
#include <RudoreVaz/Task/OperationTasks/AKOperationTask.h>
#include <fnd/RunLoop.h>
#include <rt/KVO.h>

#include "VirtualTime.h"

namespace tasktest {

/// Runs the main loop until the condition holds; false after `seconds` of real time.
inline bool spinUntil(const std::function<bool()>& condition, double seconds = 3.0) {
    auto loop = fnd::RunLoop::main();
    auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        loop->runOnce(0.001);
    }
    return true;
}

/// Runs the main loop for a little real time (lets worker threads and posts settle).
inline void settle(double seconds = 0.02) {
    spinUntil([] { return false; }, seconds);
}

/// Collects the messages of the task library's log records while alive.
class LogCapture {
public:
    class Handler : public zid::QXLogHandler {
        RT_CLASS(Handler, zid::QXLogHandler)
    public:
        Handler() : zid::QXLogHandler(nullptr, 6) {}
        void handleLogRecord(const rt::Ref<zid::QXLogRecord>& record) override {
            if (record->module() != zid::kAKTaskLogModule) return;
            std::lock_guard lock(mutex);
            messages.push_back(record->message());
            levels.push_back(record->level());
        }
        std::mutex mutex;
        std::vector<std::string> messages;
        std::vector<std::int64_t> levels;
    };

    LogCapture() : handler_(rt::make<Handler>()) { zid::QXLogger::defaultLogger()->registerHandler(handler_); }
    ~LogCapture() { zid::QXLogger::defaultLogger()->deregistreHandler(handler_); }

    std::vector<std::string> messages() const {
        std::lock_guard lock(handler_->mutex);
        return handler_->messages;
    }
    /// How many messages begin with the prefix.
    int count(const std::string& prefix) const {
        int n = 0;
        for (auto& message : messages()) n += message.rfind(prefix, 0) == 0 ? 1 : 0;
        return n;
    }
    std::vector<std::int64_t> levels() const {
        std::lock_guard lock(handler_->mutex);
        return handler_->levels;
    }

private:
    rt::Ref<Handler> handler_;
};

/// Records "key=0/1" for each announcement of the task's flags, and whether every
/// announcement came on the main thread.
class FlagRecorder {
public:
    explicit FlagRecorder(const rt::Ref<rt::Object>& task,
                          std::vector<std::string> keys = {"isExecuting", "isFinished", "isCancelled", "isFailed"}) {
        for (auto& key : keys) {
            observations_.push_back(rt::observe(task, key, rt::KVONew, [this, key](const rt::KVOChange& change) {
                std::lock_guard lock(mutex_);
                if (!fnd::RunLoop::isMainThread()) offMain_ = true;
                entries_.push_back(key + "=" + (change.newValue.boolValue() ? "1" : "0"));
            }));
        }
    }
    ~FlagRecorder() {
        for (auto& observation : observations_) observation->remove();
    }
    std::vector<std::string> entries() const {
        std::lock_guard lock(mutex_);
        return entries_;
    }
    int count(const std::string& entry) const {
        int n = 0;
        for (auto& e : entries()) n += e == entry ? 1 : 0;
        return n;
    }
    bool allOnMain() const {
        std::lock_guard lock(mutex_);
        return !offMain_;
    }

private:
    mutable std::mutex mutex_;
    std::vector<std::string> entries_;
    bool offMain_ = false;
    std::vector<rt::Ref<rt::Observation>> observations_;
};

/// A one-shot gate a body can wait on.
class Gate {
public:
    void open() {
        std::lock_guard lock(mutex_);
        open_ = true;
        cv_.notify_all();
    }
    void wait() {
        std::unique_lock lock(mutex_);
        cv_.wait_for(lock, std::chrono::seconds(5), [this] { return open_; });
    }

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    bool open_ = false;
};

inline rt::Ref<rt::Error> testError(long long code = 7, const std::string& text = "probe failed") {
    return rt::Error::withDescription("TaskTestErrorDomain", code, text);
}

/// A synchronous task whose body fails for its first `failures` runs.
class ScriptedTask : public zid::AKOperationTask {
    RT_CLASS(ScriptedTask, zid::AKOperationTask)
public:
    ScriptedTask() = default;
    ScriptedTask(rt::Value identifier, int failures) : zid::AKOperationTask(std::move(identifier), "scripted"), failures(failures) {}
    void task() override {
        int run = ++runs;
        started.open();
        if (waitFor) waitFor->wait();
        if (run <= failures) setFailedWithError(testError(run, "run " + std::to_string(run) + " failed"));
        else setResult(rt::Value("done"));
    }
    int failures = 0;
    std::atomic<int> runs{0};
    Gate started;
    Gate* waitFor = nullptr;
};

}  // namespace tasktest
