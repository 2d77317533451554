#include "GstPlaylistServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <optional>
#include <thread>

#include <rt/Format.h>

#include "GstFetchGuard.h"

namespace media::gstimpl {

namespace {

/// Bytes of a request head read at most, and seconds it may take to come.
constexpr std::size_t kLongestRequest = 8192;
constexpr int kRequestSeconds = 5;
/// Answers under way at once (each on a thread of its own).
constexpr int kMostAnswersAtOnce = 32;

bool sendAll(int fd, const std::string& bytes) {
    for (std::size_t sent = 0; sent < bytes.size();) {
        ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) return false;
        sent += static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

PlaylistServer* PlaylistServer::shared() {
    static PlaylistServer* server = []() -> PlaylistServer* {
        int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0) return nullptr;
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(fd, 64) != 0 ||
            ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
            ::close(fd);
            return nullptr;
        }
        // Lives as long as the process, as its thread does.
        auto* made = new PlaylistServer(fd, rt::format("http://127.0.0.1:%d/", ntohs(address.sin_port)));
        std::thread([made] { made->acceptLoop(); }).detach();
        return made;
    }();
    return server;
}

std::string PlaylistServer::alias(const std::shared_ptr<FetchGuard>& guard, const std::string& url) {
    std::lock_guard lock(mutex_);
    // The names of guards gone are forgotten.
    for (auto it = names_.begin(); it != names_.end();) {
        if (entries_[it->second].guard.expired()) {
            entries_.erase(it->second);
            it = names_.erase(it);
        } else {
            ++it;
        }
    }
    auto key = std::make_pair(guard.get(), url);
    if (auto it = names_.find(key); it != names_.end()) return base_ + it->second;
    // Names nobody else on the machine can guess: the server answers any local client.
    std::string name = rt::format("playlist/%016llx%016llx", static_cast<unsigned long long>(random_()),
                                  static_cast<unsigned long long>(random_()));
    names_[key] = name;
    entries_[name] = Entry{guard, url};
    return base_ + name;
}

bool PlaylistServer::serves(const std::string& uri) const { return uri.rfind(base_, 0) == 0; }

void PlaylistServer::acceptLoop() {
    for (;;) {
        int connection = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (connection < 0) {
            if (errno == EINTR || errno == ECONNABORTED) continue;
            return;
        }
        // Each answer may wait on an origin for its bound; the demuxers of the process's
        // few items need a handful at once, and any local client beyond that is turned away
        // rather than given a thread.
        if (answering_.fetch_add(1) >= kMostAnswersAtOnce) {
            answering_.fetch_sub(1);
            sendAll(connection, "HTTP/1.1 503 Service Unavailable\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
            ::close(connection);
            continue;
        }
        std::thread([this, connection] {
            answer(connection);
            ::close(connection);
            answering_.fetch_sub(1);
        }).detach();
    }
}

void PlaylistServer::answer(int connection) {
    timeval timeout{kRequestSeconds, 0};
    ::setsockopt(connection, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    std::string head;
    char buffer[1024];
    while (head.find("\r\n\r\n") == std::string::npos && head.size() < kLongestRequest) {
        ssize_t n = ::recv(connection, buffer, sizeof buffer, 0);
        if (n <= 0) return;
        head.append(buffer, static_cast<std::size_t>(n));
    }
    // "GET /<name> HTTP/1.1"
    std::string name;
    if (head.rfind("GET /", 0) == 0) name = head.substr(5, head.find(' ', 5) == std::string::npos ? 0 : head.find(' ', 5) - 5);
    std::shared_ptr<FetchGuard> guard;
    std::string url;
    {
        std::lock_guard lock(mutex_);
        if (auto it = entries_.find(name); it != entries_.end()) {
            guard = it->second.guard.lock();
            url = it->second.url;
        }
    }
    std::optional<std::string> text;
    if (guard) text = guard->checkedText(url);
    if (!text) {
        sendAll(connection, "HTTP/1.1 502 Bad Gateway\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
        return;
    }
    sendAll(connection, rt::format("HTTP/1.1 200 OK\r\nContent-Type: application/vnd.apple.mpegurl\r\nContent-Length: %zu\r\n"
                                   "Cache-Control: no-store\r\nConnection: close\r\n\r\n",
                                   text->size()) +
                            *text);
}

}  // namespace media::gstimpl
