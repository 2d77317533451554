#pragma once
// One GET request for a URL, sent synchronously on the thread that runs the task. A
// transport failure or an HTTP status of 400 and above fails the task (so its retries
// apply); the response itself is not kept. A task may carry a time-out of its own, so a
// peer that never answers holds a serial queue no longer than that; without one the
// client's default applies.

#include <atomic>
#include <string>

#include <RudoreVaz/Task/OperationTasks/AKOperationTask.h>

namespace zid {

/// The error domain of failed URL hits: code -1 for a transport failure (the
/// underlying error under rt::Error::UnderlyingErrorKey), else the HTTP status.
inline constexpr const char* AKURLHitTaskErrorDomain = "AKURLHitTaskErrorDomain";

class AKURLHitTask : public AKOperationTask {
    RT_CLASS(AKURLHitTask, AKOperationTask)
public:
    AKURLHitTask() = default;
    /// timeout: seconds for the whole exchange; 0 means the HTTP client's default.
    AKURLHitTask(rt::Value identifier, std::string title, std::string url, fnd::TimeInterval timeout = 0);
    static rt::Ref<AKURLHitTask> taskWithIdentifier(rt::Value identifier, std::string title, std::string url,
                                                    fnd::TimeInterval timeout = 0);
    static void describe(rt::ClassBuilder<AKURLHitTask>& c);

    void task() override;
    /// That of every task followed by " url=<url>".
    std::string description() const override;
    void encodeWithCoder(fnd::KeyedArchiver& coder) const override;
    void initWithCoder(fnd::KeyedUnarchiver& coder) override;

    std::string url() const;
    void setUrl(std::string url);
    fnd::TimeInterval timeout() const { return timeout_.load(); }

private:
    std::atomic<fnd::TimeInterval> timeout_{0};
    mutable std::mutex urlMutex_;
    std::string url_;
};

}  // namespace zid
