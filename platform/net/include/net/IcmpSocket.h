#pragma once
// ICMP echo sockets. open() tries the unprivileged ping socket (a datagram socket of
// the ICMP protocol) first and a raw socket when that is not permitted; when neither
// is permitted the failure is kNetworkErrorDomain / NotPermitted, with the system's
// error as the underlying error.
//
// The two kinds differ in what they hand back: a ping socket strips the IPv4 header
// and writes its own identifier (identifier()) into every echo request it sends; a
// raw IPv4 socket delivers whole IP packets, including other processes' ICMP traffic.

#include <sys/socket.h>

#include <cstdint>
#include <functional>
#include <optional>

#include <fnd/RunLoop.h>
#include <net/Errors.h>
#include <net/HostResolver.h>
#include <rt/Object.h>

namespace net {

class IcmpSocket : public rt::Object {
    RT_CLASS(IcmpSocket, rt::Object)
public:
    enum class Kind { Datagram, Raw };

    /// Opens a socket of the family (AF_INET or AF_INET6). A ping socket is bound at
    /// once, so its identifier is known before the first send.
    static rt::Ref<IcmpSocket> open(int family, rt::Ref<rt::Error>* error);

    IcmpSocket(int fd, int family, Kind kind, std::optional<std::uint16_t> identifier);
    ~IcmpSocket() override;

    int fd() const { return fd_; }
    int family() const { return family_; }
    Kind kind() const { return kind_; }
    bool isOpen() const { return fd_ >= 0; }
    /// The identifier the kernel puts into requests sent through a ping socket;
    /// nothing for a raw socket (which sends what it is given).
    std::optional<std::uint16_t> identifier() const { return identifier_; }
    /// Whether received IPv4 packets start with the IP header.
    bool deliversIpHeader() const { return kind_ == Kind::Raw && family_ == AF_INET; }

    /// Sends one packet; answers the bytes sent, or -1 with errno set.
    long sendTo(const rt::Data& packet, const SocketAddress& address);
    /// Reads one datagram (at most 65535 bytes); answers the byte count, or -1 with errno.
    long receive(rt::Data& packet);

    /// Calls the handler on the current run loop whenever a datagram can be read.
    void watch(std::function<void()> onReadable);
    void unwatch();
    /// Stops watching and closes the descriptor. Safe to repeat.
    void close();

private:
    int fd_;
    int family_;
    Kind kind_;
    std::optional<std::uint16_t> identifier_;
    rt::Ref<fnd::RunLoop> loop_;
    fnd::RunLoop::SourceId source_ = 0;
};

}  // namespace net
