#pragma once
// The server side of targets that play a peer on loopback: a listening socket on
// 127.0.0.1 and a free port, and whole writes and request heads on accepted sockets.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace zidfuzz {

/// A listening socket on 127.0.0.1; the port it got goes to *port. Aborts when none.
inline int loopbackListener(std::uint16_t* port) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(fd, 8) != 0)
        std::abort();
    socklen_t length = sizeof address;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) std::abort();
    *port = ntohs(address.sin_port);
    return fd;
}

/// Writes every byte unless the peer is gone; answers whether all went out.
inline bool sendAll(int fd, const char* bytes, std::size_t size) {
    while (size > 0) {
        ssize_t n = ::send(fd, bytes, size, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;  // the fuzzer's timer signal
        if (n <= 0) return false;
        bytes += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

/// Reads up to the end of an HTTP request head; what came so far when the peer stops.
inline std::string readRequestHead(int fd) {
    std::string request;
    char buffer[2048];
    while (request.find("\r\n\r\n") == std::string::npos) {
        ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n < 0 && errno == EINTR) continue;  // the fuzzer's timer signal
        if (n <= 0) break;
        request.append(buffer, static_cast<std::size_t>(n));
    }
    return request;
}

}  // namespace zidfuzz
