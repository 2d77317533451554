#pragma once
// What a pinger reports. Every call is optional: the bodies here do nothing.

#include <cstdint>

#include <rt/Error.h>
#include <rt/Value.h>

namespace zid {

class QXSimplePing;

class QXSimplePingDelegate {
public:
    virtual ~QXSimplePingDelegate() = default;

    /// The socket is open; pings may be sent now.
    virtual void simplePingDidStartWithAddress(QXSimplePing& pinger, const rt::Data& address) {
        (void)pinger, (void)address;
    }
    /// The pinger has stopped itself.
    virtual void simplePingDidFailWithError(QXSimplePing& pinger, const rt::Ref<rt::Error>& error) {
        (void)pinger, (void)error;
    }
    /// The whole packet was handed to the socket.
    virtual void simplePingDidSendPacket(QXSimplePing& pinger, const rt::Data& packet, std::uint16_t sequenceNumber) {
        (void)pinger, (void)packet, (void)sequenceNumber;
    }
    /// The packet could not be sent; the pinger keeps running.
    virtual void simplePingDidFailToSendPacket(QXSimplePing& pinger, const rt::Data& packet,
                                               std::uint16_t sequenceNumber, const rt::Ref<rt::Error>& error) {
        (void)pinger, (void)packet, (void)sequenceNumber, (void)error;
    }
    /// A valid reply to one of this pinger's requests, starting at the ICMP header.
    virtual void simplePingDidReceivePingResponsePacket(QXSimplePing& pinger, const rt::Data& packet,
                                                        std::uint16_t sequenceNumber) {
        (void)pinger, (void)packet, (void)sequenceNumber;
    }
    /// Anything else that arrived on the socket, as received.
    virtual void simplePingDidReceiveUnexpectedPacket(QXSimplePing& pinger, const rt::Data& packet) {
        (void)pinger, (void)packet;
    }
};

}  // namespace zid
