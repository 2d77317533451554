#include "peers/LoopbackNameServer.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/udp.hpp>

#include <algorithm>
#include <array>
#include <cctype>
#include <thread>

namespace peers {

namespace {

namespace asio = boost::asio;
using udp = asio::ip::udp;

constexpr std::size_t kHeader = 12;
constexpr unsigned kTypeA = 1, kClassIn = 1;

unsigned read16(const std::string& message, std::size_t at) {
    return (static_cast<unsigned char>(message[at]) << 8) | static_cast<unsigned char>(message[at + 1]);
}
void put16(std::string& out, unsigned value) {
    out.push_back(char(value >> 8));
    out.push_back(char(value & 0xff));
}

/// Reads the question's name at `at` (moved past it) in lower case, its labels joined by
/// dots; false for a name that runs past the message or is compressed.
bool readName(const std::string& message, std::size_t& at, std::string& name) {
    while (at < message.size()) {
        auto length = static_cast<unsigned char>(message[at++]);
        if (length == 0) return true;
        if (length > 63 || at + length > message.size()) return false;
        if (!name.empty()) name += '.';
        for (std::size_t i = 0; i < length; ++i) name += char(std::tolower(static_cast<unsigned char>(message[at + i])));
        at += length;
    }
    return false;
}

}  // namespace

struct LoopbackNameServer::Impl {
    explicit Impl(std::string d) : domain(std::move(d)), socket(ioc) {
        std::transform(domain.begin(), domain.end(), domain.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    }

    void receive() {
        socket.async_receive_from(asio::buffer(buffer), sender, [this](boost::system::error_code ec, std::size_t size) {
            if (ec == asio::error::operation_aborted || !socket.is_open()) return;
            if (!ec) {
                std::string reply = answer(std::string(buffer.data(), size));
                if (!reply.empty()) socket.send_to(asio::buffer(reply), sender, 0, ec);
            }
            receive();
        });
    }

    bool inDomain(const std::string& name) const {
        return name == domain ||
               (name.size() > domain.size() && name.compare(name.size() - domain.size(), domain.size(), domain) == 0 &&
                name[name.size() - domain.size() - 1] == '.');
    }

    /// The domain's names read 127.0.0.1 for A queries and have no other records; other
    /// names do not exist. Empty for a message that is no query.
    std::string answer(const std::string& query) const {
        // A query (QR clear, standard opcode) with one question.
        if (query.size() < kHeader || (query[2] & 0xf8) != 0 || read16(query, 4) != 1) return {};
        std::size_t at = kHeader;
        std::string name;
        if (!readName(query, at, name) || at + 4 > query.size()) return {};
        unsigned type = read16(query, at), klass = read16(query, at + 2);
        at += 4;
        bool known = inDomain(name);
        bool address = known && type == kTypeA && klass == kClassIn;
        std::string reply = query.substr(0, 2);
        put16(reply, 0x8000 | (read16(query, 2) & 0x0100) | 0x0080 | (known ? 0 : 3));  // QR, RD echoed, RA, NXDOMAIN
        put16(reply, 1);
        put16(reply, address ? 1 : 0);
        put16(reply, 0);
        put16(reply, 0);
        reply += query.substr(kHeader, at - kHeader);
        if (address) {
            put16(reply, 0xc000 | kHeader);  // the question's name
            put16(reply, kTypeA);
            put16(reply, kClassIn);
            put16(reply, 0);
            put16(reply, 60);  // seconds to keep it
            put16(reply, 4);
            reply += std::string("\x7f\x00\x00\x01", 4);
        }
        return reply;
    }

    std::string domain;
    asio::io_context ioc;
    udp::socket socket;
    udp::endpoint sender;
    std::array<char, 512> buffer{};
    std::thread thread;
    std::uint16_t port = 0;
};

LoopbackNameServer::LoopbackNameServer(std::string domain) : impl_(std::make_unique<Impl>(std::move(domain))) {}
LoopbackNameServer::~LoopbackNameServer() { stop(); }

void LoopbackNameServer::start(std::uint16_t port) {
    udp::endpoint endpoint(asio::ip::make_address("127.0.0.1"), port);
    impl_->socket.open(endpoint.protocol());
    impl_->socket.bind(endpoint);
    impl_->port = impl_->socket.local_endpoint().port();
    impl_->receive();
    impl_->thread = std::thread([this] { impl_->ioc.run(); });
}

void LoopbackNameServer::stop() {
    if (!impl_->thread.joinable()) return;
    asio::post(impl_->ioc, [this] {
        boost::system::error_code ec;
        impl_->socket.close(ec);
    });
    impl_->thread.join();
}

std::uint16_t LoopbackNameServer::port() const { return impl_->port; }

}  // namespace peers
