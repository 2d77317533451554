// ICMP replies are packets from the network. Input: one byte of set-up (address
// family, whether the sequence has wrapped), two bytes of the next sequence number,
// then the packet.

#include <netinet/in.h>
#include <sys/socket.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include <QXFoundation/Ping/QXSimplePing.h>

#include "FuzzInput.h"

namespace {

rt::Data addressOf(bool v6) {
    if (v6) {
        sockaddr_in6 in6{};
        in6.sin6_family = AF_INET6;
        in6.sin6_addr = in6addr_loopback;
        auto* bytes = reinterpret_cast<const std::uint8_t*>(&in6);
        return rt::Data(bytes, bytes + sizeof in6);
    }
    sockaddr_in in{};
    in.sin_family = AF_INET;
    in.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    auto* bytes = reinterpret_cast<const std::uint8_t*>(&in);
    return rt::Data(bytes, bytes + sizeof in);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static auto pinger = rt::make<zid::QXSimplePing>("127.0.0.1");
    zidfuzz::FuzzInput input(data, size);
    const std::uint8_t setup = input.byte();
    const std::uint16_t next = static_cast<std::uint16_t>(input.byte() << 8 | input.byte());
    const std::string_view bytes = input.rest();
    const rt::Data original(bytes.begin(), bytes.end());
    input.reached();

    pinger->setHostAddress(addressOf(setup & 1));
    pinger->setNextSequenceNumberHasWrapped(setup & 2);
    pinger->setNextSequenceNumber(next);

    const std::int64_t offset = zid::QXSimplePing::icmpHeaderOffsetInIPv4Packet(original);
    if (offset != zid::QXSimplePing::kNotFound && (offset < 0 || static_cast<std::size_t>(offset) + 8 > original.size()))
        std::abort();

    rt::Data packet = original;
    std::uint16_t sequence = 0xbeef;
    const bool ok = pinger->validatePingResponsePacket(packet, sequence);
    if (!ok && (packet != original || sequence != 0xbeef)) std::abort();  // a rejected packet stays whole
    if (ok && (packet.size() < 8 || packet.size() > original.size())) std::abort();
    (void)zid::QXSimplePing::in_cksum(original.data(), original.size());
    return 0;
}
