#include "GstOwnSocket.h"

#include <dirent.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstdlib>
#include <cstring>

namespace media::gstimpl {

namespace {

bool sameAddress(const sockaddr_storage& a, socklen_t aLength, const sockaddr_storage& b, socklen_t bLength) {
    if (aLength != bLength || a.ss_family != b.ss_family) return false;
    if (a.ss_family == AF_INET) {
        const auto& x = reinterpret_cast<const sockaddr_in&>(a);
        const auto& y = reinterpret_cast<const sockaddr_in&>(b);
        return x.sin_port == y.sin_port && x.sin_addr.s_addr == y.sin_addr.s_addr;
    }
    if (a.ss_family == AF_INET6) {
        const auto& x = reinterpret_cast<const sockaddr_in6&>(a);
        const auto& y = reinterpret_cast<const sockaddr_in6&>(b);
        return x.sin6_port == y.sin6_port && std::memcmp(&x.sin6_addr, &y.sin6_addr, sizeof x.sin6_addr) == 0;
    }
    return false;
}

}  // namespace

bool clientIsOwnSocket(int accepted) {
    sockaddr_storage client{}, server{};
    socklen_t clientLength = sizeof client, serverLength = sizeof server;
    if (::getpeername(accepted, reinterpret_cast<sockaddr*>(&client), &clientLength) != 0 ||
        ::getsockname(accepted, reinterpret_cast<sockaddr*>(&server), &serverLength) != 0)
        return false;
    // The process's descriptors, as the kernel lists them: only sockets answer the
    // address calls, and only the client end has the client's address as its own.
    DIR* fds = ::opendir("/proc/self/fd");
    if (!fds) return false;
    int listing = ::dirfd(fds);
    bool own = false;
    while (dirent* entry = ::readdir(fds)) {
        if (entry->d_name[0] < '0' || entry->d_name[0] > '9') continue;
        int fd = std::atoi(entry->d_name);
        if (fd == listing || fd == accepted) continue;
        sockaddr_storage local{}, remote{};
        socklen_t localLength = sizeof local, remoteLength = sizeof remote;
        if (::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &localLength) != 0) continue;
        if (!sameAddress(local, localLength, client, clientLength)) continue;
        if (::getpeername(fd, reinterpret_cast<sockaddr*>(&remote), &remoteLength) != 0) continue;
        if (sameAddress(remote, remoteLength, server, serverLength)) {
            own = true;
            break;
        }
    }
    ::closedir(fds);
    return own;
}

}  // namespace media::gstimpl
