#pragma once
// Probes a host by ICMP echo: once the host is resolved and the socket open, five echo
// requests go out 10 ms apart, and 200 ms after that the pinger stops and the answers
// that came back are judged. The result is the mean round trip in seconds; no answer
// fails without an error, and a host that cannot be resolved or a socket that cannot be
// opened fails with the pinger's error. Every timer runs on the main run loop's clock.

#include <cstdint>
#include <map>
#include <vector>

#include <QXFoundation/Ping/QXSimplePing.h>
#include <QXFoundation/Ping/QXSimplePingDelegate.h>
#include <RudoreVaz/Task/OperationTasks/AKAsyncOperationTask.h>
#include <fnd/RunLoop.h>

namespace zid {

class QXPingMeasurer : public AKAsyncOperationTask, public QXSimplePingDelegate {
    RT_CLASS(QXPingMeasurer, AKAsyncOperationTask)
public:
    static constexpr int kEchoCount = 5;
    static constexpr double kEchoSpacing = 0.01;
    static constexpr double kAnswerWindow = 0.2;

    explicit QXPingMeasurer(std::string host);
    static rt::Ref<QXPingMeasurer> pingMeasurerWithHost(std::string host);

    const std::string& host() const { return host_; }
    const rt::Ref<QXSimplePing>& simplePing() const { return simplePing_; }
    /// Stops the pinger.
    void stop();

    void startOperation() override;
    void cancelOperation() override;

    void simplePingDidStartWithAddress(QXSimplePing& pinger, const rt::Data& address) override;
    void simplePingDidFailWithError(QXSimplePing& pinger, const rt::Ref<rt::Error>& error) override;
    void simplePingDidSendPacket(QXSimplePing& pinger, const rt::Data& packet, std::uint16_t sequenceNumber) override;
    void simplePingDidReceivePingResponsePacket(QXSimplePing& pinger, const rt::Data& packet,
                                                std::uint16_t sequenceNumber) override;

protected:
    void willDestroy() override;

private:
    void evaluate();
    void dropTimers();

    std::string host_;
    rt::Ref<QXSimplePing> simplePing_;
    std::map<std::uint16_t, double> pings_;
    std::map<std::uint16_t, double> pongs_;
    std::vector<rt::Ref<fnd::Timer>> timers_;
    bool done_ = false;
};

}  // namespace zid
