#include "Common/Session/HTTPSessionManager.h"

#include <algorithm>

#include <net/Errors.h>

namespace zid {

SessionDataTask::SessionDataTask(rt::Ref<HTTPSessionManager> manager, rt::Ref<fnd::URLRequest> request,
                                 DataTaskCompletion completion)
    : manager_(std::move(manager)), request_(std::move(request)), completion_(std::move(completion)) {}

void SessionDataTask::resume() { manager_->enqueue(selfAs<SessionDataTask>()); }

void SessionDataTask::cancel() { manager_->cancelTask(selfAs<SessionDataTask>()); }

HTTPSessionManager::HTTPSessionManager(std::string baseURL)
    : baseURL_(std::move(baseURL)),
      client_(rt::make<net::HttpClient>()),
      processing_(fnd::Queue::serial("zid.session.processing")),
      requestSerializer_(rt::make<HTTPRequestSerializer>()),
      responseSerializer_(rt::make<JSONResponseSerializer>()) {}

HTTPSessionManager::~HTTPSessionManager() = default;

void HTTPSessionManager::setMaxConcurrentOperationCount(int count) {
    maxConcurrent_.store(std::max(1, count));
    startWaitingTasks();
}

rt::Ref<SessionDataTask> HTTPSessionManager::dataTaskWithRequest(rt::Ref<fnd::URLRequest> request,
                                                                 DataTaskCompletion completion) {
    return rt::make<SessionDataTask>(selfAs<HTTPSessionManager>(), std::move(request), std::move(completion));
}

int HTTPSessionManager::runningTaskCount() const {
    std::lock_guard lock(mutex_);
    return running_;
}

int HTTPSessionManager::waitingTaskCount() const {
    std::lock_guard lock(mutex_);
    return static_cast<int>(waiting_.size());
}

void HTTPSessionManager::enqueue(const rt::Ref<SessionDataTask>& task) {
    auto expected = SessionDataTask::State::Suspended;
    if (!task->state_.compare_exchange_strong(expected, SessionDataTask::State::Running)) return;
    {
        std::lock_guard lock(mutex_);
        waiting_.push_back(task);
    }
    startWaitingTasks();
}

void HTTPSessionManager::startWaitingTasks() {
    while (true) {
        rt::Ref<SessionDataTask> next;
        {
            std::lock_guard lock(mutex_);
            if (waiting_.empty() || running_ >= maxConcurrent_.load()) return;
            next = waiting_.front();
            waiting_.pop_front();
            ++running_;
            next->holdsSlot_.store(true);
        }
        start(next);
    }
}

void HTTPSessionManager::start(const rt::Ref<SessionDataTask>& task) {
    auto self = selfAs<HTTPSessionManager>();
    processing_->async([self, task] {
        // A cancellation came first: it has delivered; the slot goes back here.
        if (task->delivered_.load()) {
            self->releaseSlot(task);
            return;
        }
        net::HttpRequest request;
        request.method = task->request_->httpMethod();
        request.url = task->request_->url();
        request.headers = task->request_->allHTTPHeaderFields();
        if (const auto& body = task->request_->httpBody()) request.body.assign(body->begin(), body->end());
        task->transfer_ = self->client_->performAsync(std::move(request), [self, task](const net::HttpResult& result) {
            task->transfer_ = nullptr;  // runs on the processing queue, like every use of it
            if (task->delivered_.load()) return;
            if (!result.ok()) {
                self->finish(task, std::nullopt, rt::Value(), result.error);
                return;
            }
            const auto response = HTTPURLResponse::from(*result.response, task->request_->url());
            rt::Ref<rt::Error> error;
            const auto serializer = self->responseSerializer();
            rt::Value object = serializer->responseObjectForResponse(response, result.response->body, &error);
            if (error) object = rt::Value();
            self->finish(task, response, object, error);
        });
    });
}

void HTTPSessionManager::finish(const rt::Ref<SessionDataTask>& task, const std::optional<HTTPURLResponse>& response,
                                const rt::Value& object, const rt::Ref<rt::Error>& error) {
    if (task->delivered_.exchange(true)) return;
    task->state_.store(SessionDataTask::State::Completed);
    releaseSlot(task);
    auto completion = std::move(task->completion_);
    task->completion_ = nullptr;
    if (!completion) return;
    completionQueue()->async([completion = std::move(completion), response, object, error] {
        completion(response, object, error);
    });
}

void HTTPSessionManager::releaseSlot(const rt::Ref<SessionDataTask>& task) {
    if (!task->holdsSlot_.exchange(false)) return;
    {
        std::lock_guard lock(mutex_);
        --running_;
    }
    startWaitingTasks();
}

void HTTPSessionManager::cancelTask(const rt::Ref<SessionDataTask>& task) {
    if (task->delivered_.load()) return;
    // Only a task that has not completed is canceling; a completion racing with this call
    // keeps its own state and its own answer.
    for (auto state = task->state_.load(); state == SessionDataTask::State::Suspended || state == SessionDataTask::State::Running;) {
        if (task->state_.compare_exchange_weak(state, SessionDataTask::State::Canceling)) break;
    }
    const std::string url = task->request_->url();
    rt::Dictionary info;
    info.set(rt::Value(net::kFailingURLKey), rt::Value(url));
    auto cancelled = net::networkError(net::NetworkError::Cancelled, "The request to " + url + " was cancelled.", info);
    bool started = false;
    {
        std::lock_guard lock(mutex_);
        const auto it = std::find(waiting_.begin(), waiting_.end(), task);
        if (it != waiting_.end()) waiting_.erase(it);
        started = task->holdsSlot_.load();
    }
    if (!started) {
        finish(task, std::nullopt, rt::Value(), cancelled);
        return;
    }
    auto self = selfAs<HTTPSessionManager>();
    processing_->async([self, task, cancelled] {
        if (task->transfer_) task->transfer_->cancel();
        task->transfer_ = nullptr;
        self->finish(task, std::nullopt, rt::Value(), cancelled);
    });
}

}  // namespace zid
