#pragma once
// One GET request for a URL, sent synchronously on the thread that runs the task. A
// transport failure or an HTTP status of 400 and above fails the task (so its retries
// apply); the response itself is not kept.

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
    AKURLHitTask(rt::Value identifier, std::string title, std::string url);
    static rt::Ref<AKURLHitTask> taskWithIdentifier(rt::Value identifier, std::string title, std::string url);
    static void describe(rt::ClassBuilder<AKURLHitTask>& c);

    void task() override;
    /// That of every task followed by " url=<url>".
    std::string description() const override;
    void encodeWithCoder(fnd::KeyedArchiver& coder) const override;
    void initWithCoder(fnd::KeyedUnarchiver& coder) override;

    std::string url() const;
    void setUrl(std::string url);

private:
    mutable std::mutex urlMutex_;
    std::string url_;
};

}  // namespace zid
