#pragma once
// A loopback name server: answers DNS queries over UDP on 127.0.0.1 so that every host
// of one domain (any depth, as "r123-omega.media.test") reads 127.0.0.1. Names of other
// domains do not exist. A program run in a network namespace of its own, whose
// resolv.conf names 127.0.0.1, reaches the loopback peers by their service names this way,
// with names drawn at random that no hosts file could list.
//
// The server runs on its own thread.

#include <cstdint>
#include <memory>
#include <string>

namespace peers {

class LoopbackNameServer {
public:
    explicit LoopbackNameServer(std::string domain);
    ~LoopbackNameServer();
    LoopbackNameServer(const LoopbackNameServer&) = delete;
    LoopbackNameServer& operator=(const LoopbackNameServer&) = delete;

    /// Binds 127.0.0.1 on the port given (0: a free one) and serves; throws when it cannot.
    void start(std::uint16_t port = 53);
    void stop();
    std::uint16_t port() const;

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

}  // namespace peers
