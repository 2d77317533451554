#pragma once
// Probes a site by one HTTP request with a 0.3 s time-out. The result is the seconds
// from the start of the request to its answer. Only an answer of the 2xx kind counts as
// accessible: any other status (a 404 of a site that is not there) fails with an error
// naming the status, and a transport failure or time-out fails with the client's error.

#include <RudoreVaz/Task/OperationTasks/AKAsyncOperationTask.h>
#include <net/HttpClient.h>

namespace zid {

class QXLatencyMeasurer : public AKAsyncOperationTask {
    RT_CLASS(QXLatencyMeasurer, AKAsyncOperationTask)
public:
    static constexpr double kRequestTimeout = 0.3;
    /// The error domain of an answer that is not a success; the code is the status.
    static constexpr const char* kErrorDomain = "QXLatencyMeasurerErrorDomain";

    explicit QXLatencyMeasurer(net::HttpRequest request);
    static rt::Ref<QXLatencyMeasurer> measurerWithURLRequest(net::HttpRequest request);

    const net::HttpRequest& request() const { return request_; }
    /// Seconds, once the probe succeeded.
    double latency() const { return latency_; }
    /// The client the probe runs on, made on first use with the probe's time-out.
    const rt::Ref<net::HttpClient>& latencyMeasuringSession();

    void startOperation() override;
    void cancelOperation() override;

private:
    void completed(const net::HttpResult& result);

    net::HttpRequest request_;
    rt::Ref<net::HttpClient> session_;
    rt::Ref<net::HttpTask> dataTask_;
    double startTime_ = 0;
    double latency_ = 0;
};

}  // namespace zid
