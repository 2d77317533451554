#pragma once
// An HTTP session: a base URL, a request serializer that builds requests on the
// caller's thread, a response serializer that decodes on the session's processing
// thread, and completions on the completion queue (the main queue unless changed).
// At most maxConcurrentOperationCount transfers run at once; the rest wait in order.

#include <atomic>
#include <deque>
#include <functional>
#include <mutex>
#include <string>

#include "Common/Session/HTTPRequestSerializer.h"
#include <QXNetworking/Common/Session/HTTPResponseSerializer.h>
#include <fnd/Queue.h>
#include <net/HttpClient.h>
#include <rt/Locked.h>

namespace zid {

class HTTPSessionManager;

/// The completion of a data task: the response when one arrived, the serializer's
/// object, and the error (transfer, serializer, or the cancellation).
using DataTaskCompletion =
    std::function<void(const std::optional<HTTPURLResponse>& response, const rt::Value& responseObject,
                       const rt::Ref<rt::Error>& error)>;

class SessionDataTask : public rt::Object {
    RT_CLASS(SessionDataTask, rt::Object)
public:
    enum class State { Suspended, Running, Canceling, Completed };

    SessionDataTask(rt::Ref<HTTPSessionManager> manager, rt::Ref<fnd::URLRequest> request, DataTaskCompletion completion);

    const rt::Ref<fnd::URLRequest>& originalRequest() const { return request_; }
    const rt::Ref<fnd::URLRequest>& currentRequest() const { return request_; }
    State state() const { return state_.load(); }

    /// Queues the task; it starts when a slot of its session is free. Once only.
    void resume();
    /// Stops the task: its completion runs once, on the completion queue, with the
    /// network layer's cancelled error (NetworkErrorDomain, Cancelled). Any thread;
    /// nothing after completion.
    void cancel();

private:
    friend class HTTPSessionManager;
    rt::Ref<HTTPSessionManager> manager_;
    rt::Ref<fnd::URLRequest> request_;
    DataTaskCompletion completion_;
    std::atomic<State> state_{State::Suspended};
    std::atomic<bool> delivered_{false};
    std::atomic<bool> holdsSlot_{false};  // counted among the running transfers
    rt::Ref<net::HttpTask> transfer_;  // set and read on the processing queue
};

class HTTPSessionManager : public rt::Object {
    RT_CLASS(HTTPSessionManager, rt::Object)
public:
    /// A session on the base URL (may be empty), with a plain request serializer and a
    /// JSON response serializer, a client of its own, three transfers at once.
    explicit HTTPSessionManager(std::string baseURL);
    ~HTTPSessionManager() override;

    const std::string& baseURL() const { return baseURL_; }

    rt::Ref<HTTPRequestSerializer> requestSerializer() const { return requestSerializer_.get(); }
    void setRequestSerializer(rt::Ref<HTTPRequestSerializer> serializer) {
        requestSerializer_.set(std::move(serializer));
    }
    rt::Ref<HTTPResponseSerializer> responseSerializer() const { return responseSerializer_.get(); }
    void setResponseSerializer(rt::Ref<HTTPResponseSerializer> serializer) {
        responseSerializer_.set(std::move(serializer));
    }

    /// The client the transfers run on (trust anchors and time-outs are set there).
    const rt::Ref<net::HttpClient>& httpClient() const { return client_; }

    int maxConcurrentOperationCount() const { return maxConcurrent_.load(); }
    /// At least one.
    void setMaxConcurrentOperationCount(int count);

    rt::Ref<fnd::Queue> completionQueue() const {
        auto queue = completionQueue_.get();
        return queue ? queue : fnd::Queue::main();
    }
    /// nullptr goes back to the main queue.
    void setCompletionQueue(rt::Ref<fnd::Queue> queue) { completionQueue_.set(std::move(queue)); }

    /// A suspended task for the request; resume() starts it.
    rt::Ref<SessionDataTask> dataTaskWithRequest(rt::Ref<fnd::URLRequest> request, DataTaskCompletion completion);

    /// How many transfers run now and how many wait (for tests and diagnostics).
    int runningTaskCount() const;
    int waitingTaskCount() const;

private:
    friend class SessionDataTask;
    void enqueue(const rt::Ref<SessionDataTask>& task);
    void startWaitingTasks();
    void start(const rt::Ref<SessionDataTask>& task);
    void finish(const rt::Ref<SessionDataTask>& task, const std::optional<HTTPURLResponse>& response,
                const rt::Value& object, const rt::Ref<rt::Error>& error);
    void releaseSlot(const rt::Ref<SessionDataTask>& task);
    void cancelTask(const rt::Ref<SessionDataTask>& task);

    std::string baseURL_;
    rt::Ref<net::HttpClient> client_;
    rt::Ref<fnd::Queue> processing_;
    rt::Locked<rt::Ref<HTTPRequestSerializer>> requestSerializer_;
    rt::Locked<rt::Ref<HTTPResponseSerializer>> responseSerializer_;
    rt::Locked<rt::Ref<fnd::Queue>> completionQueue_;
    mutable std::mutex mutex_;  // the running count and the waiting tasks
    std::atomic<int> maxConcurrent_{3};
    int running_ = 0;
    std::deque<rt::Ref<SessionDataTask>> waiting_;
};

}  // namespace zid
