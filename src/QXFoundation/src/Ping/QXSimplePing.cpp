#include <QXFoundation/Ping/QXSimplePing.h>

#include <netinet/in.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>

#include <net/Errors.h>
#include <rt/Exception.h>
#include <sec/Random.h>

namespace zid {

namespace {

constexpr std::size_t kIcmpHeaderSize = 8;
constexpr std::uint8_t kEchoRequest4 = 8, kEchoReply4 = 0, kEchoRequest6 = 128, kEchoReply6 = 129;

std::uint16_t randomIdentifier() {
    std::uint16_t value = 0;
    if (!sec::randomBytes(&value, sizeof value)) value = static_cast<std::uint16_t>(std::random_device{}());
    return value;
}

std::uint16_t readBigEndian16(const std::uint8_t* bytes) { return static_cast<std::uint16_t>((bytes[0] << 8) | bytes[1]); }

std::uint16_t readMemoryOrder16(const std::uint8_t* bytes) {
    std::uint16_t value;
    std::memcpy(&value, bytes, sizeof value);
    return value;
}

}  // namespace

QXSimplePing::QXSimplePing(std::string hostName) : hostName_(std::move(hostName)), identifier_(randomIdentifier()) {}

QXSimplePing::~QXSimplePing() { stop(); }

std::uint16_t QXSimplePing::in_cksum(const std::uint8_t* bytes, std::size_t length) {
    std::uint32_t sum = 0;
    std::size_t i = 0;
    for (; i + 1 < length; i += 2) sum += readMemoryOrder16(bytes + i);
    if (i < length) {
        std::uint16_t last = 0;
        std::memcpy(&last, bytes + i, 1);  // the odd byte, as a word of its own in memory order
        sum += last;
    }
    sum = (sum >> 16) + (sum & 0xffff);
    sum += sum >> 16;
    return static_cast<std::uint16_t>(~sum);
}

rt::Data QXSimplePing::defaultPayload(std::uint16_t sequenceNumber) {
    char text[64];
    int n = std::snprintf(text, sizeof text, "%28zd bottles of beer on the wall",
                          static_cast<ssize_t>(99 - (sequenceNumber % 100)));
    return rt::Data(text, text + n);
}

std::uint8_t QXSimplePing::hostAddressFamily() const {
    if (hostAddress_.size() < sizeof(sockaddr)) return AF_UNSPEC;
    sockaddr generic{};
    std::memcpy(&generic, hostAddress_.data(), sizeof generic);
    return static_cast<std::uint8_t>(generic.sa_family);
}

void QXSimplePing::start() {
    if (host_ || socket_)
        throw rt::Exception(rt::Exception::InternalInconsistency,
                            "start was called on a pinger for \"" + hostName_ + "\" that is already running; stop it first");
    rt::Weak<QXSimplePing> weak = selfAs<QXSimplePing>();
    host_ = net::HostResolver::resolve(hostName_, [weak](const std::vector<net::SocketAddress>& addresses,
                                                         rt::Ref<rt::Error> error) {
        auto self = weak.lock();
        if (!self) return;
        if (error) self->didFailWithError(error);
        else self->hostResolutionDone(addresses);
    });
}

void QXSimplePing::hostResolutionDone(const std::vector<net::SocketAddress>& addresses) {
    std::optional<net::SocketAddress> chosen;
    for (const auto& address : addresses) {
        if (address.size() < sizeof(sockaddr)) continue;
        int family = net::addressFamily(address);
        bool allowed = (family == AF_INET && addressStyle_ != static_cast<std::int64_t>(QXSimplePingAddressStyle::ICMPv6)) ||
                       (family == AF_INET6 && addressStyle_ != static_cast<std::int64_t>(QXSimplePingAddressStyle::ICMPv4));
        if (allowed) {
            chosen = address;
            break;
        }
    }
    stopHostResolution();
    if (!chosen) {
        didFailWithError(net::networkError(net::NetworkError::HostNotFound,
                                           "The host \"" + hostName_ + "\" has no address of the requested kind."));
        return;
    }
    hostAddress_ = *chosen;
    startWithHostAddress();
}

void QXSimplePing::startWithHostAddress() {
    rt::Ref<rt::Error> error;
    int family = hostAddressFamily();
    if (family != AF_INET && family != AF_INET6) {
        didFailWithError(net::posixError(EPROTONOSUPPORT, "ICMP socket"));
        return;
    }
    socket_ = net::IcmpSocket::open(family, &error);
    if (!socket_) {
        if (error->domain() == net::kNetworkErrorDomain &&
            error->code() == static_cast<long long>(net::NetworkError::NotPermitted)) {
            // Reported as the system error it is, with the explanation underneath.
            auto underlying = error->underlyingError();
            int errnum = underlying ? static_cast<int>(underlying->code()) : EPERM;
            rt::Dictionary info{{rt::Error::LocalizedDescriptionKey, error->localizedDescription()},
                                {rt::Error::UnderlyingErrorKey, error}};
            error = rt::Error::make(net::kPOSIXErrorDomain, errnum, info);
        }
        didFailWithError(error);
        return;
    }
    rt::Weak<QXSimplePing> weak = selfAs<QXSimplePing>();
    socket_->watch([weak] {
        if (auto self = weak.lock()) self->readData();
    });
    if (auto delegate = delegate_.lock()) {
        auto keepAlive = self();
        delegate->simplePingDidStartWithAddress(*this, hostAddress_);
    }
}

rt::Data QXSimplePing::pingPacketWithType(std::uint8_t type, const rt::Data& payload, bool requiresChecksum) const {
    rt::Data packet(kIcmpHeaderSize + payload.size(), 0);
    packet[0] = type;
    packet[1] = 0;
    packet[4] = static_cast<std::uint8_t>(identifier_ >> 8);
    packet[5] = static_cast<std::uint8_t>(identifier_);
    packet[6] = static_cast<std::uint8_t>(nextSequenceNumber_ >> 8);
    packet[7] = static_cast<std::uint8_t>(nextSequenceNumber_);
    std::copy(payload.begin(), payload.end(), packet.begin() + kIcmpHeaderSize);
    if (requiresChecksum) {
        std::uint16_t checksum = in_cksum(packet.data(), packet.size());
        std::memcpy(packet.data() + 2, &checksum, sizeof checksum);
    }
    return packet;
}

void QXSimplePing::sendPingWithData(const std::optional<rt::Data>& data) {
    if (hostAddress_.empty())
        throw rt::Exception(rt::Exception::InternalInconsistency,
                            "sendPingWithData was called before the pinger for \"" + hostName_ +
                                "\" reported its start");
    auto keepAlive = self();
    rt::Data payload = data ? *data : defaultPayload(nextSequenceNumber_);
    bool isV4 = hostAddressFamily() == AF_INET;
    rt::Data packet = pingPacketWithType(isV4 ? kEchoRequest4 : kEchoRequest6, payload, isV4);
    std::uint16_t sequenceNumber = nextSequenceNumber_;

    long sent;
    int errnum = 0;
    if (socket_) {
        sent = socket_->sendTo(packet, hostAddress_);
        errnum = sent < 0 ? errno : 0;
    } else {
        sent = -1;
        errnum = EBADF;
    }
    if (auto delegate = delegate_.lock()) {
        if (sent > 0 && static_cast<std::size_t>(sent) == packet.size())
            delegate->simplePingDidSendPacket(*this, packet, sequenceNumber);
        else
            delegate->simplePingDidFailToSendPacket(*this, packet, sequenceNumber,
                                                    net::posixError(errnum ? errnum : ENOBUFS, "sendto"));
    }
    nextSequenceNumber_ = static_cast<std::uint16_t>(nextSequenceNumber_ + 1);
    if (nextSequenceNumber_ == 0) nextSequenceNumberHasWrapped_ = true;
}

std::int64_t QXSimplePing::icmpHeaderOffsetInIPv4Packet(const rt::Data& packet) {
    if (packet.size() < 20 + kIcmpHeaderSize) return kNotFound;
    if ((packet[0] >> 4) != 4 || packet[9] != IPPROTO_ICMP) return kNotFound;
    std::size_t offset = (packet[0] & 0x0f) * 4u;
    if (packet.size() < offset + kIcmpHeaderSize) return kNotFound;
    return static_cast<std::int64_t>(offset);
}

bool QXSimplePing::validateSequenceNumber(std::uint16_t sequenceNumber) const {
    if (nextSequenceNumberHasWrapped_)
        return static_cast<std::uint16_t>(nextSequenceNumber_ - sequenceNumber) < kSequenceWindowAfterWrap;
    return sequenceNumber < nextSequenceNumber_;
}

bool QXSimplePing::receivesIpHeader() const { return !socket_ || socket_->deliversIpHeader(); }

std::uint16_t QXSimplePing::expectedIdentifier() const {
    if (socket_ && socket_->identifier()) return *socket_->identifier();
    return identifier_;
}

bool QXSimplePing::validatePing4ResponsePacket(rt::Data& packet, std::uint16_t& sequenceNumber) const {
    std::size_t offset = 0;
    if (receivesIpHeader()) {
        std::int64_t found = icmpHeaderOffsetInIPv4Packet(packet);
        if (found == kNotFound) return false;
        offset = static_cast<std::size_t>(found);
    } else if (packet.size() < kIcmpHeaderSize) {
        return false;
    }
    rt::Data icmp(packet.begin() + static_cast<std::ptrdiff_t>(offset), packet.end());
    std::uint16_t received = readMemoryOrder16(icmp.data() + 2);
    icmp[2] = icmp[3] = 0;
    if (in_cksum(icmp.data(), icmp.size()) != received) return false;
    std::memcpy(icmp.data() + 2, &received, sizeof received);
    if (icmp[0] != kEchoReply4 || icmp[1] != 0) return false;
    if (readBigEndian16(icmp.data() + 4) != expectedIdentifier()) return false;
    std::uint16_t sequence = readBigEndian16(icmp.data() + 6);
    if (!validateSequenceNumber(sequence)) return false;
    packet = std::move(icmp);
    sequenceNumber = sequence;
    return true;
}

bool QXSimplePing::validatePing6ResponsePacket(const rt::Data& packet, std::uint16_t& sequenceNumber) const {
    if (packet.size() < kIcmpHeaderSize) return false;
    if (packet[0] != kEchoReply6 || packet[1] != 0) return false;
    if (readBigEndian16(packet.data() + 4) != expectedIdentifier()) return false;
    std::uint16_t sequence = readBigEndian16(packet.data() + 6);
    if (!validateSequenceNumber(sequence)) return false;
    sequenceNumber = sequence;
    return true;
}

bool QXSimplePing::validatePingResponsePacket(rt::Data& packet, std::uint16_t& sequenceNumber) const {
    switch (hostAddressFamily()) {
    case AF_INET: return validatePing4ResponsePacket(packet, sequenceNumber);
    case AF_INET6: return validatePing6ResponsePacket(packet, sequenceNumber);
    default: return false;
    }
}

void QXSimplePing::readData() {
    if (!socket_) return;
    auto keepAlive = self();
    rt::Data packet;
    long n = socket_->receive(packet);
    if (n < 0) {
        int errnum = errno;
        if (errnum == EAGAIN || errnum == EWOULDBLOCK || errnum == EINTR) return;  // nothing to read after all
        didFailWithError(net::posixError(errnum ? errnum : EPIPE, "recvfrom"));
        return;
    }
    if (n == 0) {
        didFailWithError(net::posixError(EPIPE, "recvfrom"));
        return;
    }
    rt::Data response = packet;
    std::uint16_t sequenceNumber = 0;
    bool valid = validatePingResponsePacket(response, sequenceNumber);
    auto delegate = delegate_.lock();
    if (!delegate) return;
    if (valid) delegate->simplePingDidReceivePingResponsePacket(*this, response, sequenceNumber);
    else delegate->simplePingDidReceiveUnexpectedPacket(*this, packet);
}

void QXSimplePing::didFailWithError(const rt::Ref<rt::Error>& error) {
    auto keepAlive = self();  // the delegate may drop its last reference while told
    stop();
    if (auto delegate = delegate_.lock()) delegate->simplePingDidFailWithError(*this, error);
}

void QXSimplePing::stopHostResolution() {
    if (host_) host_->cancel();
    host_.reset();
}

void QXSimplePing::stopSocket() {
    if (socket_) socket_->close();
    socket_.reset();
}

void QXSimplePing::stop() {
    stopHostResolution();
    stopSocket();
    hostAddress_.clear();
}

}  // namespace zid
