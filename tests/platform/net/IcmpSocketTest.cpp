#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>

#include <cstring>

#include <fnd/RunLoop.h>
#include <net/IcmpSocket.h>

#include "NetNamespace.h"

namespace {

using net::IcmpSocket;

net::SocketAddress loopback4() {
    sockaddr_in in{};
    in.sin_family = AF_INET;
    in.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    auto* bytes = reinterpret_cast<const std::uint8_t*>(&in);
    return net::SocketAddress(bytes, bytes + sizeof in);
}

rt::Data echoRequest(std::uint16_t identifier, std::uint16_t sequence) {
    rt::Data packet = {8, 0, 0, 0, std::uint8_t(identifier >> 8), std::uint8_t(identifier),
                       std::uint8_t(sequence >> 8), std::uint8_t(sequence), 'p', 'i', 'n', 'g'};
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i + 1 < packet.size(); i += 2) sum += (packet[i] << 8) | packet[i + 1];
    while (sum >> 16) sum = (sum & 0xffff) + (sum >> 16);
    packet[2] = std::uint8_t(~sum >> 8);
    packet[3] = std::uint8_t(~sum);
    return packet;
}

struct Reply {
    std::uint16_t identifier;
    bool hadIpHeader;
};

/// Sends one echo request to 127.0.0.1 and waits for its reply on the run loop.
std::optional<Reply> pingOnce(IcmpSocket& socket, std::uint16_t packetIdentifier, std::uint16_t sequence) {
    std::optional<Reply> reply;
    socket.watch([&] {
        rt::Data packet;
        while (socket.receive(packet) > 0) {
            std::size_t offset = 0;
            bool header = socket.deliversIpHeader();
            if (header) offset = (packet[0] & 0x0f) * 4u;
            if (packet.size() < offset + 8) continue;
            const std::uint8_t* icmp = packet.data() + offset;
            std::uint16_t seq = std::uint16_t((icmp[6] << 8) | icmp[7]);
            if (icmp[0] == 0 && seq == sequence) reply = Reply{std::uint16_t((icmp[4] << 8) | icmp[5]), header};
        }
    });
    rt::Data request = echoRequest(packetIdentifier, sequence);
    EXPECT_EQ(socket.sendTo(request, loopback4()), static_cast<long>(request.size()));
    fnd::RunLoop::main()->runUntil([&] { return reply.has_value(); }, 5);
    socket.unwatch();
    return reply;
}

TEST(IcmpSocket, EchoesOnLoopbackOrSaysItIsNotPermitted) {
    rt::Ref<rt::Error> error;
    auto socket = IcmpSocket::open(AF_INET, &error);
    if (!socket) {
        ASSERT_TRUE(error);
        EXPECT_EQ(error->domain(), net::kNetworkErrorDomain);
        EXPECT_EQ(error->code(), static_cast<long long>(net::NetworkError::NotPermitted)) << error->description();
        EXPECT_TRUE(error->underlyingError());
        return;
    }
    auto reply = pingOnce(*socket, 0x1111, 7);
    ASSERT_TRUE(reply);
    if (socket->kind() == IcmpSocket::Kind::Datagram) {
        EXPECT_EQ(reply->identifier, *socket->identifier());
        EXPECT_FALSE(reply->hadIpHeader);
    } else {
        EXPECT_EQ(reply->identifier, 0x1111);
        EXPECT_TRUE(reply->hadIpHeader);
    }
    socket->close();
    socket->close();
    EXPECT_FALSE(socket->isOpen());
    rt::Data packet;
    EXPECT_EQ(socket->sendTo(echoRequest(1, 1), loopback4()), -1);
    EXPECT_EQ(errno, EBADF);
}

TEST(IcmpSocket, PingSocketRewritesTheIdentifier) {
    zidtest::NetNamespace ns("icmp");
    if (!ns.available()) GTEST_SKIP() << "Skipped: " << ns.failure();
    // Ping sockets for every group, in this namespace only.
    if (!ns.exec("sh -c 'echo 0 2147483647 > /proc/sys/net/ipv4/ping_group_range'"))
        GTEST_SKIP() << "Skipped: ping sockets cannot be permitted inside the test namespace here";
    ASSERT_TRUE(ns.enter());
    rt::Ref<rt::Error> error;
    auto socket = IcmpSocket::open(AF_INET, &error);
    ns.leave();
    ASSERT_TRUE(socket) << error->description();
    ASSERT_EQ(socket->kind(), IcmpSocket::Kind::Datagram);
    ASSERT_TRUE(socket->identifier());

    // Whatever identifier the request carries, the reply carries the socket's, and
    // the IP header is gone.
    auto other = std::uint16_t(*socket->identifier() + 1);
    auto reply = pingOnce(*socket, other, 3);
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->identifier, *socket->identifier());
    EXPECT_FALSE(reply->hadIpHeader);
}

TEST(IcmpSocket, RefusesOtherFamilies) {
    rt::Ref<rt::Error> error;
    EXPECT_FALSE(IcmpSocket::open(AF_UNIX, &error));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->domain(), net::kPOSIXErrorDomain);
    EXPECT_EQ(error->code(), EPROTONOSUPPORT);
}

}  // namespace
