#include "peers/ClosedPort.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace peers {

ClosedPort::ClosedPort() {
    // No SO_REUSEADDR: a socket that sets it cannot bind the port beside this one either.
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        std::string cause = std::strerror(errno);
        if (fd_ >= 0) ::close(fd_);
        throw std::runtime_error("ClosedPort: cannot bind a loopback port: " + cause);
    }
    port_ = ntohs(address.sin_port);
}

ClosedPort::~ClosedPort() { ::close(fd_); }

std::string ClosedPort::url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
}

const ClosedPort& ClosedPort::shared() {
    static const ClosedPort port;
    return port;
}

}  // namespace peers
