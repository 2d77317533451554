#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <string>

#include <peers/LoopbackNameServer.h>

namespace {

/// A query for one name, as a stub resolver sends it (recursion desired).
std::string query(const std::string& name, unsigned type, unsigned id = 0x1234) {
    std::string q = {char(id >> 8), char(id & 0xff), 0x01, 0x00, 0, 1, 0, 0, 0, 0, 0, 0};
    for (std::size_t at = 0; at <= name.size();) {
        std::size_t dot = std::min(name.find('.', at), name.size());
        q += char(dot - at);
        q += name.substr(at, dot - at);
        at = dot + 1;
    }
    q += std::string(1, '\0') + char(0) + char(type) + char(0) + char(1);
    return q;
}

struct Reply {
    unsigned id = 0, rcode = 99, answers = 0;
    std::string address;  // of the first answer, dotted
};

/// Sends the query over UDP and reads the reply's header and first answer.
Reply ask(std::uint16_t port, const std::string& q) {
    Reply reply;
    int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    timeval timeout{2, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::sendto(fd, q.data(), q.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
    unsigned char in[512];
    ssize_t n = ::recv(fd, in, sizeof in, 0);
    ::close(fd);
    if (n < 12) return reply;
    reply.id = (in[0] << 8) | in[1];
    reply.rcode = in[3] & 0x0f;
    reply.answers = (in[6] << 8) | in[7];
    std::size_t answer = q.size();  // the question is echoed as it was asked
    if (reply.answers && n >= static_cast<ssize_t>(answer + 16)) {
        char text[INET_ADDRSTRLEN];
        ::inet_ntop(AF_INET, in + answer + 12, text, sizeof text);
        reply.address = text;
    }
    return reply;
}

TEST(LoopbackNameServerTest, EveryHostOfTheDomainIsLoopbackAndOtherNamesDoNotExist) {
    peers::LoopbackNameServer names("media.test");
    names.start(0);
    auto drawn = ask(names.port(), query("R4711-omega.Media.Test", 1, 0xbeef));
    EXPECT_EQ(drawn.id, 0xbeefu);
    EXPECT_EQ(drawn.rcode, 0u);
    ASSERT_EQ(drawn.answers, 1u);
    EXPECT_EQ(drawn.address, "127.0.0.1");
    EXPECT_EQ(ask(names.port(), query("a.b.c.media.test", 1)).address, "127.0.0.1");

    auto ipv6 = ask(names.port(), query("r1-omega.media.test", 28));
    EXPECT_EQ(ipv6.rcode, 0u) << "the name exists";
    EXPECT_EQ(ipv6.answers, 0u) << "with an IPv4 address alone";

    EXPECT_EQ(ask(names.port(), query("example.com", 1)).rcode, 3u);
    EXPECT_EQ(ask(names.port(), query("notmedia.test", 1)).rcode, 3u) << "a suffix that is no label of the domain";
    // A malformed message is ignored, and the server goes on answering.
    EXPECT_EQ(ask(names.port(), "\x01\x02").rcode, 99u);
    EXPECT_EQ(ask(names.port(), query("media.test", 1)).answers, 1u);
}

}  // namespace
