#include <net/IcmpSocket.h>

#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace net {

namespace {

bool isPermissionError(int errnum) { return errnum == EPERM || errnum == EACCES; }

/// Binds a ping socket (the kernel picks a free identifier) and answers the identifier
/// the kernel will write into requests.
std::optional<std::uint16_t> bindIdentifier(int fd, int family) {
    sockaddr_storage any{};
    any.ss_family = static_cast<sa_family_t>(family);
    socklen_t size = family == AF_INET ? sizeof(sockaddr_in) : sizeof(sockaddr_in6);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&any), size) != 0) return std::nullopt;
    sockaddr_storage bound{};
    socklen_t length = sizeof bound;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &length) != 0) return std::nullopt;
    if (family == AF_INET) return ntohs(reinterpret_cast<sockaddr_in*>(&bound)->sin_port);
    return ntohs(reinterpret_cast<sockaddr_in6*>(&bound)->sin6_port);
}

}  // namespace

rt::Ref<IcmpSocket> IcmpSocket::open(int family, rt::Ref<rt::Error>* error) {
    if (error) *error = nullptr;
    if (family != AF_INET && family != AF_INET6) {
        if (error) *error = posixError(EPROTONOSUPPORT, "ICMP socket");
        return nullptr;
    }
    int protocol = family == AF_INET ? int(IPPROTO_ICMP) : int(IPPROTO_ICMPV6);
    int fd = ::socket(family, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, protocol);
    if (fd >= 0) {
        auto identifier = bindIdentifier(fd, family);
        if (!identifier) {
            int saved = errno;
            ::close(fd);
            if (error) *error = posixError(saved, "bind ICMP socket");
            return nullptr;
        }
        return rt::make<IcmpSocket>(fd, family, Kind::Datagram, identifier);
    }
    int datagramError = errno;
    if (!isPermissionError(datagramError)) {
        if (error) *error = posixError(datagramError, "ICMP datagram socket");
        return nullptr;
    }
    fd = ::socket(family, SOCK_RAW | SOCK_NONBLOCK | SOCK_CLOEXEC, protocol);
    if (fd >= 0) return rt::make<IcmpSocket>(fd, family, Kind::Raw, std::nullopt);
    int rawError = errno;
    if (error) {
        if (isPermissionError(rawError))
            *error = networkError(
                NetworkError::NotPermitted,
                "This system permits neither ICMP datagram sockets (see the net.ipv4.ping_group_range setting) "
                "nor raw sockets (the process lacks the network raw-socket capability).",
                rt::Dictionary{{rt::Error::UnderlyingErrorKey, posixError(rawError, "ICMP raw socket")}});
        else
            *error = posixError(rawError, "ICMP raw socket");
    }
    return nullptr;
}

IcmpSocket::IcmpSocket(int fd, int family, Kind kind, std::optional<std::uint16_t> identifier)
    : fd_(fd), family_(family), kind_(kind), identifier_(identifier) {}

IcmpSocket::~IcmpSocket() { close(); }

long IcmpSocket::sendTo(const rt::Data& packet, const SocketAddress& address) {
    if (fd_ < 0) {
        errno = EBADF;
        return -1;
    }
    return ::sendto(fd_, packet.data(), packet.size(), 0, reinterpret_cast<const sockaddr*>(address.data()),
                    static_cast<socklen_t>(address.size()));
}

long IcmpSocket::receive(rt::Data& packet) {
    if (fd_ < 0) {
        errno = EBADF;
        return -1;
    }
    packet.resize(65535);
    sockaddr_storage from{};
    socklen_t length = sizeof from;
    long n = ::recvfrom(fd_, packet.data(), packet.size(), 0, reinterpret_cast<sockaddr*>(&from), &length);
    packet.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    return n;
}

void IcmpSocket::watch(std::function<void()> onReadable) {
    unwatch();
    if (fd_ < 0) return;
    loop_ = fnd::RunLoop::current();
    source_ = loop_->addSource(fd_, POLLIN, [handler = std::move(onReadable)](short) { handler(); });
}

void IcmpSocket::unwatch() {
    if (loop_ && source_) loop_->removeSource(source_);
    loop_.reset();
    source_ = 0;
}

void IcmpSocket::close() {
    unwatch();
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

}  // namespace net
