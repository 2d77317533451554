#pragma once
// A loopback port where nothing answers, for as long as the object lives: bound and
// never listening, so a connection there is refused, and no other process (another
// test's peer, a server of the machine) can take the port meanwhile. A port read back
// and closed again, or one a stopped peer left, may be anyone's a moment later.

#include <cstdint>
#include <string>

namespace peers {

class ClosedPort {
public:
    /// Binds 127.0.0.1 on a free port; throws when it cannot.
    ClosedPort();
    ~ClosedPort();
    ClosedPort(const ClosedPort&) = delete;
    ClosedPort& operator=(const ClosedPort&) = delete;

    std::uint16_t port() const { return port_; }
    /// "http://127.0.0.1:<port>" + path (path starts with '/').
    std::string url(const std::string& path = "/") const;

    /// One such port, held until the process ends.
    static const ClosedPort& shared();

private:
    int fd_ = -1;
    std::uint16_t port_ = 0;
};

}  // namespace peers
