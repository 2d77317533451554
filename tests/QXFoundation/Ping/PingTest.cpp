#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>

#include <cstring>

#include <QXFoundation/Ping/QXSimplePing.h>
#include <fnd/RunLoop.h>
#include <net/Errors.h>
#include <rt/Exception.h>

#include "NetNamespace.h"

namespace {

using zid::QXSimplePing;

struct PingRecorder : zid::QXSimplePingDelegate {
    rt::Data startAddress;
    bool started = false;
    rt::Ref<rt::Error> failure;
    std::vector<std::uint16_t> sent, failedToSend, replies;
    std::vector<rt::Data> replyPackets, unexpected;
    rt::Ref<rt::Error> sendError;
    rt::Ref<QXSimplePing> dropOnFailure;

    void simplePingDidStartWithAddress(QXSimplePing&, const rt::Data& address) override {
        started = true;
        startAddress = address;
    }
    void simplePingDidFailWithError(QXSimplePing&, const rt::Ref<rt::Error>& error) override {
        failure = error;
        dropOnFailure.reset();  // the pinger must survive its delegate letting go here
    }
    void simplePingDidSendPacket(QXSimplePing&, const rt::Data&, std::uint16_t sequence) override {
        sent.push_back(sequence);
    }
    void simplePingDidFailToSendPacket(QXSimplePing&, const rt::Data&, std::uint16_t sequence,
                                       const rt::Ref<rt::Error>& error) override {
        failedToSend.push_back(sequence);
        sendError = error;
    }
    void simplePingDidReceivePingResponsePacket(QXSimplePing&, const rt::Data& packet, std::uint16_t sequence) override {
        replies.push_back(sequence);
        replyPackets.push_back(packet);
    }
    void simplePingDidReceiveUnexpectedPacket(QXSimplePing&, const rt::Data& packet) override {
        unexpected.push_back(packet);
    }
};

rt::Data loopback4() {
    sockaddr_in in{};
    in.sin_family = AF_INET;
    in.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    auto* bytes = reinterpret_cast<const std::uint8_t*>(&in);
    return rt::Data(bytes, bytes + sizeof in);
}

/// An IPv4 packet (20-byte header) holding an echo reply with a correct checksum.
rt::Data ipv4Reply(std::uint16_t identifier, std::uint16_t sequence, std::uint8_t type = 0, std::uint8_t code = 0) {
    rt::Data packet(20 + 8 + 4, 0);
    packet[0] = 0x45;
    packet[9] = IPPROTO_ICMP;
    std::uint8_t* icmp = packet.data() + 20;
    icmp[0] = type;
    icmp[1] = code;
    icmp[4] = std::uint8_t(identifier >> 8);
    icmp[5] = std::uint8_t(identifier);
    icmp[6] = std::uint8_t(sequence >> 8);
    icmp[7] = std::uint8_t(sequence);
    std::memcpy(icmp + 8, "data", 4);
    std::uint16_t sum = QXSimplePing::in_cksum(icmp, 12);
    std::memcpy(icmp + 2, &sum, 2);
    return packet;
}

TEST(QXSimplePing, BuildsEchoRequests) {
    auto pinger = rt::make<QXSimplePing>("127.0.0.1");
    rt::Data first = QXSimplePing::defaultPayload(0);
    ASSERT_EQ(first.size(), 56u);
    EXPECT_EQ(std::string(first.begin(), first.end()), std::string(26, ' ') + "99 bottles of beer on the wall");
    EXPECT_EQ(QXSimplePing::defaultPayload(100), first);
    EXPECT_EQ(QXSimplePing::defaultPayload(99).size(), 56u);  // " 0 bottles" keeps the width

    pinger->setNextSequenceNumber(0x0102);
    rt::Data v4 = pinger->pingPacketWithType(8, QXSimplePing::defaultPayload(0x0102), true);
    ASSERT_EQ(v4.size(), 64u);
    EXPECT_EQ(v4[0], 8);
    EXPECT_EQ(v4[1], 0);
    EXPECT_EQ((v4[4] << 8) | v4[5], pinger->identifier());
    EXPECT_EQ(v4[6], 0x01);
    EXPECT_EQ(v4[7], 0x02);
    EXPECT_EQ(QXSimplePing::in_cksum(v4.data(), v4.size()), 0);  // a correct checksum sums to zero

    rt::Data v6 = pinger->pingPacketWithType(128, QXSimplePing::defaultPayload(0), false);
    EXPECT_EQ(v6.size(), 64u);
    EXPECT_EQ(v6[2], 0);
    EXPECT_EQ(v6[3], 0);

    // Odd lengths: the last byte counts as a word of its own.
    const std::uint8_t odd[] = {0x01, 0x02, 0x03};
    std::uint16_t expectedOdd;
    std::uint16_t firstWord, lastWord = 0;
    std::memcpy(&firstWord, odd, 2);
    std::memcpy(&lastWord, odd + 2, 1);
    expectedOdd = std::uint16_t(~(firstWord + lastWord));
    EXPECT_EQ(QXSimplePing::in_cksum(odd, 3), expectedOdd);
}

TEST(QXSimplePing, AcceptsOnlyItsOwnRepliesOverRawSockets) {
    auto pinger = rt::make<QXSimplePing>("127.0.0.1");
    pinger->setHostAddress(loopback4());
    pinger->setNextSequenceNumber(5);
    std::uint16_t id = pinger->identifier();

    rt::Data good = ipv4Reply(id, 4);
    std::uint16_t sequence = 0;
    ASSERT_TRUE(pinger->validatePingResponsePacket(good, sequence));
    EXPECT_EQ(sequence, 4);
    EXPECT_EQ(good.size(), 12u);  // the IP header is gone
    EXPECT_EQ(good[0], 0);

    auto rejected = [&](rt::Data packet) {
        rt::Data copy = packet;
        std::uint16_t seq = 0xbeef;
        bool ok = pinger->validatePingResponsePacket(copy, seq);
        EXPECT_EQ(copy, packet) << "a rejected packet stays whole";
        EXPECT_EQ(seq, 0xbeef);
        return !ok;
    };
    rt::Data badSum = ipv4Reply(id, 4);
    badSum[20 + 2] ^= 0xff;
    EXPECT_TRUE(rejected(badSum));
    EXPECT_TRUE(rejected(ipv4Reply(std::uint16_t(id + 1), 4)));
    EXPECT_TRUE(rejected(ipv4Reply(id, 4, 8)));
    EXPECT_TRUE(rejected(ipv4Reply(id, 4, 0, 1)));
    EXPECT_TRUE(rejected(ipv4Reply(id, 5)));  // not sent yet
    EXPECT_TRUE(rejected(ipv4Reply(id, 900)));

    // Header offset: too short, another IP version, another protocol, a header longer
    // than the packet.
    EXPECT_EQ(QXSimplePing::icmpHeaderOffsetInIPv4Packet(rt::Data(27, 0)), QXSimplePing::kNotFound);
    rt::Data v6 = ipv4Reply(id, 4);
    v6[0] = 0x65;
    EXPECT_EQ(QXSimplePing::icmpHeaderOffsetInIPv4Packet(v6), QXSimplePing::kNotFound);
    rt::Data tcp = ipv4Reply(id, 4);
    tcp[9] = IPPROTO_TCP;
    EXPECT_EQ(QXSimplePing::icmpHeaderOffsetInIPv4Packet(tcp), QXSimplePing::kNotFound);
    rt::Data longHeader = ipv4Reply(id, 4);
    longHeader[0] = 0x4f;
    EXPECT_EQ(QXSimplePing::icmpHeaderOffsetInIPv4Packet(longHeader), QXSimplePing::kNotFound);
    EXPECT_EQ(QXSimplePing::icmpHeaderOffsetInIPv4Packet(ipv4Reply(id, 4)), 20);
}

TEST(QXSimplePing, SequenceNumbersWrapAndKeepAWindow) {
    auto pinger = rt::make<QXSimplePing>("127.0.0.1");
    auto recorder = std::make_shared<PingRecorder>();
    pinger->setDelegate(recorder);
    EXPECT_THROW(pinger->sendPingWithData(), rt::Exception);  // no address yet

    // Without a socket every send fails with EBADF and still uses up its number.
    pinger->setHostAddress(loopback4());
    for (int i = 0; i < 65536; ++i) pinger->sendPingWithData(rt::Data{1, 2, 3});
    EXPECT_EQ(recorder->failedToSend.size(), 65536u);
    EXPECT_EQ(recorder->failedToSend.front(), 0);
    EXPECT_EQ(recorder->failedToSend.back(), 65535);
    ASSERT_TRUE(recorder->sendError);
    EXPECT_EQ(recorder->sendError->domain(), net::kPOSIXErrorDomain);
    EXPECT_EQ(recorder->sendError->code(), EBADF);
    EXPECT_EQ(pinger->nextSequenceNumber(), 0);
    EXPECT_TRUE(pinger->nextSequenceNumberHasWrapped());

    EXPECT_TRUE(pinger->validateSequenceNumber(65535));
    EXPECT_TRUE(pinger->validateSequenceNumber(65417));   // 119 behind
    EXPECT_FALSE(pinger->validateSequenceNumber(65416));  // 120 behind
    pinger->setNextSequenceNumber(10);
    EXPECT_TRUE(pinger->validateSequenceNumber(9));
    EXPECT_TRUE(pinger->validateSequenceNumber(65436));   // 110 behind, across the wrap
    EXPECT_FALSE(pinger->validateSequenceNumber(65400));
}

TEST(QXSimplePing, ReportsResolutionFailures) {
    auto loop = fnd::RunLoop::main();
    auto pinger = rt::make<QXSimplePing>("::1");
    auto recorder = std::make_shared<PingRecorder>();
    pinger->setDelegate(recorder);
    pinger->setAddressStyle(zid::QXSimplePingAddressStyle::ICMPv4);
    pinger->start();
    EXPECT_TRUE(pinger->host());
    EXPECT_THROW(pinger->start(), rt::Exception);
    ASSERT_TRUE(loop->runUntil([&] { return recorder->failure != nullptr; }, 5));
    EXPECT_EQ(recorder->failure->domain(), net::kNetworkErrorDomain);
    EXPECT_EQ(recorder->failure->code(), 1);  // host not found
    EXPECT_FALSE(pinger->host());
    EXPECT_FALSE(recorder->started);

    // A name the resolver rejects without asking anyone: an over-long label.
    auto unknown = rt::make<QXSimplePing>(std::string(70, 'a') + ".invalid");
    auto unknownRecorder = std::make_shared<PingRecorder>();
    unknown->setDelegate(unknownRecorder);
    unknownRecorder->dropOnFailure = unknown;
    rt::Weak<QXSimplePing> weakUnknown = unknown;
    unknown->start();
    unknown.reset();  // only the delegate keeps it now, and lets go while told
    ASSERT_TRUE(loop->runUntil([&] { return unknownRecorder->failure != nullptr; }, 5));
    EXPECT_EQ(unknownRecorder->failure->code(), 2);
    EXPECT_TRUE(unknownRecorder->failure->userInfo().get(net::kGetAddrInfoFailureKey).isNumber());
    EXPECT_TRUE(weakUnknown.expired());
}

/// Pings 127.0.0.1 three times; answers false when the system permits no ICMP socket
/// (after checking that this is reported as such).
bool pingLoopbackThreeTimes(net::IcmpSocket::Kind* kind) {
    auto loop = fnd::RunLoop::main();
    auto pinger = rt::make<QXSimplePing>("127.0.0.1");
    auto recorder = std::make_shared<PingRecorder>();
    pinger->setDelegate(recorder);
    pinger->start();
    EXPECT_TRUE(loop->runUntil([&] { return recorder->started || recorder->failure; }, 5));
    if (recorder->failure) {
        auto& error = recorder->failure;
        EXPECT_EQ(error->domain(), net::kPOSIXErrorDomain);
        EXPECT_TRUE(error->code() == EPERM || error->code() == EACCES) << error->description();
        EXPECT_EQ(error->underlyingError()->code(), static_cast<long long>(net::NetworkError::NotPermitted));
        return false;
    }
    EXPECT_EQ(recorder->startAddress, pinger->hostAddress());
    EXPECT_EQ(pinger->hostAddressFamily(), AF_INET);
    *kind = pinger->socket()->kind();
    for (int i = 0; i < 3; ++i) pinger->sendPingWithData();
    EXPECT_TRUE(loop->runUntil([&] { return recorder->replies.size() >= 3; }, 5));
    EXPECT_EQ(recorder->sent, (std::vector<std::uint16_t>{0, 1, 2}));
    EXPECT_EQ(recorder->replies, (std::vector<std::uint16_t>{0, 1, 2}));
    for (auto& packet : recorder->replyPackets) {
        EXPECT_EQ(packet.size(), 64u);
        EXPECT_EQ(packet[0], 0);  // an echo reply, IP header removed
    }
    pinger->stop();
    pinger->stop();
    EXPECT_FALSE(pinger->socket());
    EXPECT_TRUE(pinger->hostAddress().empty());
    EXPECT_EQ(pinger->nextSequenceNumber(), 3);  // kept across stop

    // A stopped pinger starts again from the resolution.
    recorder->started = false;
    pinger->start();
    EXPECT_TRUE(pinger->host());
    EXPECT_TRUE(loop->runUntil([&] { return recorder->started; }, 5));
    EXPECT_FALSE(pinger->host());
    EXPECT_TRUE(pinger->socket());
    pinger->stop();
    return true;
}

TEST(QXSimplePing, PingsLoopback) {
    net::IcmpSocket::Kind kind;
    pingLoopbackThreeTimes(&kind);
}

TEST(QXSimplePing, PingsLoopbackThroughAPingSocket) {
    // A ping socket puts an identifier of the kernel's choosing on the wire and strips
    // the IP header; replies must still be recognised.
    zidtest::NetNamespace ns("ping");
    if (!ns.available()) GTEST_SKIP() << "Skipped: " << ns.failure();
    if (!ns.exec("sh -c 'echo 0 2147483647 > /proc/sys/net/ipv4/ping_group_range'"))
        GTEST_SKIP() << "Skipped: ping sockets cannot be permitted inside the test namespace here";
    ASSERT_TRUE(ns.enter());
    net::IcmpSocket::Kind kind = net::IcmpSocket::Kind::Raw;
    bool pinged = pingLoopbackThreeTimes(&kind);
    ns.leave();
    EXPECT_TRUE(pinged);
    EXPECT_EQ(kind, net::IcmpSocket::Kind::Datagram);
}

}  // namespace

namespace {

TEST(QXSimplePing, PingsIPv6Loopback) {
    auto loop = fnd::RunLoop::main();
    auto pinger = rt::make<QXSimplePing>("::1");
    auto recorder = std::make_shared<PingRecorder>();
    pinger->setDelegate(recorder);
    pinger->setAddressStyle(zid::QXSimplePingAddressStyle::ICMPv6);
    pinger->start();
    ASSERT_TRUE(loop->runUntil([&] { return recorder->started || recorder->failure; }, 5));
    if (recorder->failure) GTEST_SKIP() << "Skipped: no ICMPv6 socket here: " << recorder->failure->description();
    EXPECT_EQ(pinger->hostAddressFamily(), AF_INET6);
    pinger->sendPingWithData(rt::Data{'v', '6'});
    ASSERT_TRUE(loop->runUntil([&] { return !recorder->replies.empty(); }, 5));
    EXPECT_EQ(recorder->replies.front(), 0);
    ASSERT_EQ(recorder->replyPackets.front().size(), 10u);
    EXPECT_EQ(recorder->replyPackets.front()[0], 129);  // echo reply
}

}  // namespace
