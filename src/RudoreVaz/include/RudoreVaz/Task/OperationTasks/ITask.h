#pragma once
// The task protocols.
//
// A task is a unit of background or asynchronous work with an identity, a title,
// progress, a result or an error, and four observable flags ("isExecuting",
// "isFinished", "isCancelled", "isFailed") announced on the main thread, "isFailed" or
// "isCancelled" always before "isFinished". Listeners (ITaskListener) are registered
// on the task with zid::addListener and held weakly.

#include <string>

#include <QXFoundation/States/ErrorState.h>
#include <rt/Error.h>
#include <rt/Object.h>
#include <rt/Value.h>

namespace zid {

class AKOperationTaskQueue;

class ITask : public ErrorState {
public:
    virtual ~ITask() = default;

    virtual void start() = 0;
    virtual void cancel() = 0;
    virtual void pause() = 0;
    virtual void resume() = 0;
    virtual bool isEnqueued() const = 0;
    virtual bool isCancelled() const = 0;
    virtual bool isExecuting() const = 0;
    virtual bool isFinished() const = 0;
    virtual bool isFailed() const = 0;
    virtual bool isPausable() const = 0;
    virtual std::string title() const = 0;
    virtual rt::Value identifier() const = 0;
    virtual double progress() const = 0;
    virtual bool isIndeterminate() const = 0;
    virtual bool paused() const = 0;
    virtual rt::Value result() const = 0;
    // error() / setError() come from ErrorState: non-nil means the last attempt failed.
};

/// Listener of a task; optional.
class ITaskListener {
public:
    virtual ~ITaskListener() = default;
    virtual void taskDidChange(ITask& task) { (void)task; }
};

/// Listener of a task queue; optional.
class ITaskQueueListener {
public:
    virtual ~ITaskQueueListener() = default;
    virtual void taskQueueDidChange(AKOperationTaskQueue& queue) { (void)queue; }
};

}  // namespace zid
