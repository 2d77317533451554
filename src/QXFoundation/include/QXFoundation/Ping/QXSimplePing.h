#pragma once
// Sends ICMP echo requests to one host and reports every event to its delegate.
//
// Everything runs on the thread that calls start(): the host is resolved, the socket
// watched and the delegate called on that thread's run loop. The socket is the
// system's unprivileged ping socket where permitted, a raw socket otherwise. A ping
// socket hands replies over without the IPv4 header and puts its own identifier into
// the requests it sends, so replies are checked against the identifier actually on
// the wire.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include <QXFoundation/Ping/QXSimplePingDelegate.h>
#include <net/HostResolver.h>
#include <net/IcmpSocket.h>
#include <rt/Object.h>

namespace zid {

enum class QXSimplePingAddressStyle : std::int64_t { Any = 0, ICMPv4 = 1, ICMPv6 = 2 };

class QXSimplePing : public rt::Object {
    RT_CLASS(QXSimplePing, rt::Object)
public:
    /// The offset icmpHeaderOffsetInIPv4Packet answers for an unusable packet.
    static constexpr std::int64_t kNotFound = INT64_MAX;
    /// Replies to this many most recent requests are still accepted after a wrap.
    static constexpr std::uint16_t kSequenceWindowAfterWrap = 120;

    /// A stopped pinger for the host, with a fresh random identifier.
    explicit QXSimplePing(std::string hostName);
    ~QXSimplePing() override;

    /// Begins resolving the host. Throws InternalInconsistencyException unless stopped.
    void start();
    /// Ends resolution, closes the socket and forgets the address. Safe to repeat.
    void stop();
    /// Sends one echo request; no data means the default payload. Throws
    /// InternalInconsistencyException before the host address is known.
    void sendPingWithData(const std::optional<rt::Data>& data = std::nullopt);

    /// The offset of the ICMP header inside an IPv4 packet, or kNotFound.
    static std::int64_t icmpHeaderOffsetInIPv4Packet(const rt::Data& packet);
    /// The Internet checksum of the bytes, in memory order.
    static std::uint16_t in_cksum(const std::uint8_t* bytes, std::size_t length);
    /// The 56-byte payload used when a ping carries no data of its own.
    static rt::Data defaultPayload(std::uint16_t sequenceNumber);

    const rt::Data& hostAddress() const { return hostAddress_; }
    void setHostAddress(rt::Data address) { hostAddress_ = std::move(address); }
    std::uint16_t nextSequenceNumber() const { return nextSequenceNumber_; }
    void setNextSequenceNumber(std::uint16_t number) { nextSequenceNumber_ = number; }
    bool nextSequenceNumberHasWrapped() const { return nextSequenceNumberHasWrapped_; }
    void setNextSequenceNumberHasWrapped(bool wrapped) { nextSequenceNumberHasWrapped_ = wrapped; }
    rt::Ref<net::HostResolution> host() const { return host_; }
    rt::Ref<net::IcmpSocket> socket() const { return socket_; }
    const std::string& hostName() const { return hostName_; }
    std::weak_ptr<QXSimplePingDelegate> delegate() const { return delegate_; }
    void setDelegate(std::weak_ptr<QXSimplePingDelegate> delegate) { delegate_ = std::move(delegate); }
    std::int64_t addressStyle() const { return addressStyle_; }
    void setAddressStyle(std::int64_t style) { addressStyle_ = style; }
    void setAddressStyle(QXSimplePingAddressStyle style) { addressStyle_ = static_cast<std::int64_t>(style); }
    /// AF_INET, AF_INET6, or 0 without an address of at least 16 bytes.
    std::uint8_t hostAddressFamily() const;
    std::uint16_t identifier() const { return identifier_; }

    // ---- the pinger's own steps, open for tests -----------------------------------
    bool validateSequenceNumber(std::uint16_t sequenceNumber) const;
    /// On success the packet is cut to its ICMP part and the sequence number set.
    bool validatePing4ResponsePacket(rt::Data& packet, std::uint16_t& sequenceNumber) const;
    bool validatePing6ResponsePacket(const rt::Data& packet, std::uint16_t& sequenceNumber) const;
    bool validatePingResponsePacket(rt::Data& packet, std::uint16_t& sequenceNumber) const;
    rt::Data pingPacketWithType(std::uint8_t type, const rt::Data& payload, bool requiresChecksum) const;

private:
    void hostResolutionDone(const std::vector<net::SocketAddress>& addresses);
    void startWithHostAddress();
    void readData();
    void didFailWithError(const rt::Ref<rt::Error>& error);
    void stopHostResolution();
    void stopSocket();
    /// The identifier replies carry: the ping socket's own, or ours on a raw socket.
    std::uint16_t expectedIdentifier() const;
    /// Whether received IPv4 packets begin with the IP header (raw sockets, or no
    /// socket at all).
    bool receivesIpHeader() const;

    rt::Data hostAddress_;
    std::uint16_t nextSequenceNumber_ = 0;
    bool nextSequenceNumberHasWrapped_ = false;
    rt::Ref<net::HostResolution> host_;
    rt::Ref<net::IcmpSocket> socket_;
    std::string hostName_;
    std::weak_ptr<QXSimplePingDelegate> delegate_;
    std::int64_t addressStyle_ = 0;
    std::uint16_t identifier_;
};

}  // namespace zid
