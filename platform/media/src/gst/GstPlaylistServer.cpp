#include "GstPlaylistServer.h"

#include <arpa/inet.h>
#include <glib-unix.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <pthread.h>
#include <rt/Format.h>
#include <strings.h>
#include <sys/random.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <future>
#include <cstring>

#include "GstFetchGuard.h"
#include "GstHandOver.h"

namespace media::gstimpl {

namespace {

/// Bytes of a request head read at most, and seconds the whole head may take to come.
constexpr std::size_t kLongestRequest = 16384;
constexpr double kRequestSeconds = 5;
/// Seconds a kept connection may wait for its next request.
constexpr double kIdleSeconds = 60;
/// Seconds between the interim answers sent while a read's answer is being fetched: well
/// within the 10 s the demuxer's HTTP session waits for something to come.
constexpr double kInterimSeconds = 2;
/// An interim answer (HTTP/1.1 clients read and pass over any number of them before the
/// answer), which tells the demuxer's session that its request is being worked on.
constexpr char kInterimAnswer[] = "HTTP/1.1 102 Processing\r\n\r\n";
/// Addresses are forgotten this long after they were handed out.
constexpr gint64 kAddressLifeMicroseconds = 600 * G_USEC_PER_SEC;
/// Connections accepted at most each time the listener wakes the service.
constexpr int kAcceptsPerWake = 16;
/// Clients expected at most at once, and how long a client bound but not yet accepted
/// is expected.
constexpr std::size_t kMostExpected = 4096;
constexpr gint64 kExpectedMicroseconds = 60 * G_USEC_PER_SEC;

const char* reasonOf(int status) {
    switch (status) {
        case 200:
            return "OK";
        case 301:
            return "Moved Permanently";
        case 302:
            return "Found";
        case 303:
            return "See Other";
        case 307:
            return "Temporary Redirect";
        case 308:
            return "Permanent Redirect";
        case 403:
            return "Forbidden";
        case 404:
            return "Not Found";
        case 502:
            return "Bad Gateway";
        case 504:
            return "Gateway Timeout";
        default:
            return "Status";
    }
}

/// 128 bits from the kernel's random source, in hex; "" when it has none to give.
std::string randomName() {
    unsigned char bytes[16];
    for (std::size_t got = 0; got < sizeof bytes;) {
        ssize_t n = ::getrandom(bytes + got, sizeof bytes - got, 0);
        if (n < 0) {
            if (errno == EINTR) continue;
            return {};
        }
        got += static_cast<std::size_t>(n);
    }
    std::string name;
    for (unsigned char b : bytes) name += rt::format("%02x", b);
    return name;
}

}  // namespace

struct PlaylistServer::Client {
    int fd = -1;
    GSource* watch = nullptr;
    GSource* timer = nullptr;
    std::string in;
    std::string out;
    std::size_t sent = 0;
    bool keepAlive = true;
    bool closed = false;
    /// A read is being answered (its playlist fetched); while it is, an interim answer is
    /// sent now and then (an HTTP/1.1 client only), and `out` holds one being written.
    bool answering = false;
    bool interimAllowed = false;
    bool interim = false;
    GSource* interimTimer = nullptr;
    /// The answer that came while an interim one was being written.
    std::string held;
};

PlaylistServer::PlaylistServer(int listener, std::string base)
    : listener_(listener), base_(std::move(base)), context_(g_main_context_new()) {}

PlaylistServer* PlaylistServer::shared() {
    static PlaylistServer* server = []() -> PlaylistServer* {
        int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        if (fd < 0) return nullptr;
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(fd, SOMAXCONN) != 0 ||
            ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
            ::close(fd);
            return nullptr;
        }
        // Lives as long as the process, as its thread does.
        auto* made = new PlaylistServer(fd, rt::format("http://127.0.0.1:%d/", ntohs(address.sin_port)));
        // The caller waits on a state the thread shares, not on anything of the caller's
        // stack: the thread may still be telling it when the caller has gone on.
        std::promise<void> running;
        std::future<void> up = running.get_future();
        std::thread([made, running = std::move(running)]() mutable {
            // Named, so that what it costs can be told apart from the process's other work.
            ::pthread_setname_np(::pthread_self(), "zid-playlists");
            g_main_context_push_thread_default(made->context_);
            made->listen();
            GMainLoop* loop = g_main_loop_new(made->context_, FALSE);
            {
                std::lock_guard lock(made->mutex_);
                made->thread_ = std::this_thread::get_id();
            }
            running.set_value();
            g_main_loop_run(loop);
        }).detach();
        up.wait();
        return made;
    }();
    return server;
}

void PlaylistServer::post(std::function<void()> work) {
    // Always from the loop, never inside the caller's own turn (even on the service's
    // thread): work may release what the caller is still using.
    GSource* idle = g_idle_source_new();
    // As urgent as the answers and fetches it serves: an idle source would wait for the
    // listener, ever ready under a flood of connections.
    g_source_set_priority(idle, G_PRIORITY_DEFAULT);
    g_source_set_callback(
        idle,
        +[](gpointer data) -> gboolean {
            Handling handling(data);
            (*static_cast<std::function<void()>*>(data))();
            return G_SOURCE_REMOVE;
        },
        handOver(new std::function<void()>(std::move(work))),
        +[](gpointer data) {
            takenOver(data);
            delete static_cast<std::function<void()>*>(data);
        });
    g_source_attach(idle, context_);
    g_source_unref(idle);
}

bool PlaylistServer::onServiceThread() const {
    std::lock_guard lock(mutex_);
    return std::this_thread::get_id() == thread_;
}

std::string PlaylistServer::alias(const std::shared_ptr<FetchGuard>& guard, const std::string& url,
                                  FetchHeaders headers) {
    std::string name = randomName();
    if (name.empty()) return {};
    gint64 now = g_get_monotonic_time();
    std::lock_guard lock(mutex_);
    for (auto it = entries_.begin(); it != entries_.end();) {
        if (it->second.guard.expired() || now - it->second.made > kAddressLifeMicroseconds)
            it = entries_.erase(it);
        else
            ++it;
    }
    entries_[name] = Entry{guard, url, std::move(headers), now};
    return base_ + name;
}

bool PlaylistServer::serves(const std::string& uri) const { return uri.rfind(base_, 0) == 0; }

bool PlaylistServer::bindClientSocket(int socket) {
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof local;
    if (::bind(socket, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 ||
        ::getsockname(socket, reinterpret_cast<sockaddr*>(&local), &length) != 0)
        return false;
    expectClient(ntohs(local.sin_port));
    return true;
}

void PlaylistServer::listen() {
    accepting_ = g_unix_fd_source_new(listener_, G_IO_IN);
    // After the connections being served and the fetches: a new connection waits while
    // they have work, and a flood of them never holds them.
    g_source_set_priority(accepting_, G_PRIORITY_LOW);
    g_source_set_callback(accepting_, G_SOURCE_FUNC(+[](gint, GIOCondition, gpointer data) -> gboolean {
                              static_cast<PlaylistServer*>(data)->acceptAll();
                              return G_SOURCE_CONTINUE;
                          }),
                          this, nullptr);
    g_source_attach(accepting_, context_);
}

void PlaylistServer::expectClient(int port) {
    gint64 now = g_get_monotonic_time();
    std::lock_guard lock(mutex_);
    // A socket bound but never connected (its connection failed) is forgotten in time.
    if (expected_.size() >= kMostExpected)
        for (auto it = expected_.begin(); it != expected_.end();)
            it = now - it->second > kExpectedMicroseconds ? expected_.erase(it) : std::next(it);
    if (expected_.size() < kMostExpected) expected_[port] = now;
}

bool PlaylistServer::expected(int accepted) {
    sockaddr_in peer{};
    socklen_t length = sizeof peer;
    if (::getpeername(accepted, reinterpret_cast<sockaddr*>(&peer), &length) != 0 || peer.sin_family != AF_INET ||
        peer.sin_addr.s_addr != htonl(INADDR_LOOPBACK))
        return false;
    std::lock_guard lock(mutex_);
    return expected_.erase(ntohs(peer.sin_port)) > 0;
}

void PlaylistServer::acceptAll() {
    // A few at a time: connections queued without end (a flood) never hold the thread
    // from the answers and fetches it serves between.
    for (int accepted = 0; accepted < kAcceptsPerWake; ++accepted) {
        int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED) continue;
            if (errno != EAGAIN && errno != EWOULDBLOCK) {
                // Out of descriptors (the process's or the system's): the waiting
                // connection would wake the loop again at once; listening pauses a little.
                g_source_destroy(accepting_);
                g_source_unref(accepting_);
                accepting_ = nullptr;
                GSource* pause = g_timeout_source_new(100);
                g_source_set_callback(
                    pause,
                    +[](gpointer data) -> gboolean {
                        static_cast<PlaylistServer*>(data)->listen();
                        return G_SOURCE_REMOVE;
                    },
                    this, nullptr);
                g_source_attach(pause, context_);
                g_source_unref(pause);
            }
            return;
        }
        if (!expected(fd)) {
            // Another process's: it gets nothing, not even a descriptor held for it. Reset
            // rather than closed: a closed connection waits out its time on this end, and
            // a flood of them would leave every port pair waiting, where the demuxer's
            // next connection, met as an old one's, would wait a second to be made.
            foreign_.fetch_add(1);
            linger reset{1, 0};
            ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
            ::close(fd);
            continue;
        }
        int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        auto client = std::make_shared<Client>();
        client->fd = fd;
        clients_[fd] = client;
        watch(client, G_IO_IN);
        deadline(client, kRequestSeconds);
    }
}

void PlaylistServer::watch(const std::shared_ptr<Client>& client, GIOCondition condition) {
    if (client->watch) {
        g_source_destroy(client->watch);
        g_source_unref(client->watch);
        client->watch = nullptr;
    }
    if (condition == 0) return;
    client->watch = g_unix_fd_source_new(client->fd, static_cast<GIOCondition>(condition | G_IO_HUP | G_IO_ERR));
    auto* held = new std::weak_ptr<Client>(client);
    g_source_set_callback(
        client->watch, G_SOURCE_FUNC(+[](gint, GIOCondition, gpointer data) -> gboolean {
            auto c = static_cast<std::weak_ptr<Client>*>(data)->lock();
            if (!c || c->closed) return G_SOURCE_REMOVE;
            PlaylistServer* self = PlaylistServer::shared();
            if (c->out.empty())
                self->readFrom(c);
            else
                self->writeTo(c);
            return G_SOURCE_CONTINUE;
        }),
        held, +[](gpointer data) { delete static_cast<std::weak_ptr<Client>*>(data); });
    g_source_attach(client->watch, context_);
}

void PlaylistServer::deadline(const std::shared_ptr<Client>& client, double seconds) {
    if (client->timer) {
        g_source_destroy(client->timer);
        g_source_unref(client->timer);
        client->timer = nullptr;
    }
    if (seconds <= 0) return;
    client->timer = g_timeout_source_new(static_cast<guint>(seconds * 1000));
    auto* held = new std::weak_ptr<Client>(client);
    g_source_set_callback(
        client->timer,
        +[](gpointer data) -> gboolean {
            if (auto c = static_cast<std::weak_ptr<Client>*>(data)->lock(); c && !c->closed)
                PlaylistServer::shared()->close(c);
            return G_SOURCE_REMOVE;
        },
        held, +[](gpointer data) { delete static_cast<std::weak_ptr<Client>*>(data); });
    g_source_attach(client->timer, context_);
}

void PlaylistServer::keepInformed(const std::shared_ptr<Client>& client, bool on) {
    if (client->interimTimer) {
        g_source_destroy(client->interimTimer);
        g_source_unref(client->interimTimer);
        client->interimTimer = nullptr;
    }
    if (!on || !client->interimAllowed) return;
    // Until the answer is there, the demuxer's session hears from the service now and then
    // and keeps waiting: what ends a slow read is the fetch's own bound, named, never the
    // demuxer's time-out.
    client->interimTimer = g_timeout_source_new(static_cast<guint>(kInterimSeconds * 1000));
    auto* held = new std::weak_ptr<Client>(client);
    g_source_set_callback(
        client->interimTimer,
        +[](gpointer data) -> gboolean {
            auto c = static_cast<std::weak_ptr<Client>*>(data)->lock();
            if (!c || c->closed || !c->answering) return G_SOURCE_REMOVE;
            if (c->out.empty()) {
                c->out = kInterimAnswer;
                c->sent = 0;
                c->interim = true;
                PlaylistServer::shared()->writeTo(c);
            }
            return G_SOURCE_CONTINUE;
        },
        held, +[](gpointer data) { delete static_cast<std::weak_ptr<Client>*>(data); });
    g_source_attach(client->interimTimer, context_);
}

void PlaylistServer::close(const std::shared_ptr<Client>& client) {
    if (client->closed) return;
    client->closed = true;
    keepInformed(client, false);
    watch(client, static_cast<GIOCondition>(0));
    deadline(client, 0);
    ::close(client->fd);
    clients_.erase(client->fd);
}

void PlaylistServer::readFrom(const std::shared_ptr<Client>& client) {
    char buffer[4096];
    ssize_t n = ::recv(client->fd, buffer, sizeof buffer, 0);
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) return;
    if (n <= 0) return close(client);
    // The whole head has its time from its first byte, however slowly it comes.
    if (client->in.empty()) deadline(client, kRequestSeconds);
    client->in.append(buffer, static_cast<std::size_t>(n));
    auto end = client->in.find("\r\n\r\n");
    if (end == std::string::npos) {
        if (client->in.size() > kLongestRequest) close(client);
        return;
    }
    std::string head = client->in.substr(0, end + 4);
    client->in.erase(0, end + 4);
    // Nothing more is read until this one is answered.
    watch(client, static_cast<GIOCondition>(0));
    deadline(client, 0);
    answer(client, head);
}

void PlaylistServer::answer(const std::shared_ptr<Client>& client, const std::string& head) {
    // "GET /<name> HTTP/1.1"
    std::string name;
    if (head.rfind("GET /", 0) == 0) {
        auto space = head.find(' ', 5);
        if (space != std::string::npos) name = head.substr(5, space - 5);
    }
    // A request with a body (the service never reads one) ends its connection: what
    // follows its head is not the next request. So does any other than a GET.
    if (name.empty()) client->keepAlive = false;
    // An HTTP/1.0 client is never sent an interim answer, which it could not read.
    auto lineEnd = head.find("\r\n");
    client->interimAllowed = lineEnd != std::string::npos && lineEnd >= 8 && head.compare(lineEnd - 8, 8, "HTTP/1.1") == 0;
    for (std::size_t at = head.find("\r\n"); at != std::string::npos; at = head.find("\r\n", at + 2)) {
        const char* line = head.c_str() + at + 2;
        if (strncasecmp(line, "Connection: close", 17) == 0 || strncasecmp(line, "Transfer-Encoding:", 18) == 0 ||
            (strncasecmp(line, "Content-Length:", 15) == 0 && std::strtoull(line + 15, nullptr, 10) != 0))
            client->keepAlive = false;
    }
    std::shared_ptr<FetchGuard> guard;
    std::string url;
    FetchHeaders headers;
    {
        std::lock_guard lock(mutex_);
        if (auto it = entries_.find(name); it != entries_.end()) {
            guard = it->second.guard.lock();
            url = it->second.url;
            headers = it->second.headers;
        }
    }
    if (!guard) return send(client, Answer{404, {}, {}});
    client->answering = true;
    guard->answerRead(url, headers, [client](Answer answer) {
        if (!client->closed) PlaylistServer::shared()->send(client, answer);
    });
    if (client->answering && !client->closed) keepInformed(client, true);
}

void PlaylistServer::send(const std::shared_ptr<Client>& client, const Answer& answer) {
    client->answering = false;
    keepInformed(client, false);
    std::string out = rt::format("HTTP/1.1 %d %s\r\n", answer.status, reasonOf(answer.status));
    if (!answer.location.empty()) out += "Location: " + answer.location + "\r\n";
    if (answer.status == 200) out += "Content-Type: application/vnd.apple.mpegurl\r\n";
    out += rt::format("Content-Length: %zu\r\nCache-Control: no-store\r\n", answer.body.size());
    if (!client->keepAlive) out += "Connection: close\r\n";
    out += "\r\n";
    if (client->interim) {
        // After the interim answer being written.
        client->held = std::move(out) + answer.body;
        return;
    }
    client->out = std::move(out) + answer.body;
    client->sent = 0;
    writeTo(client);
}

void PlaylistServer::writeTo(const std::shared_ptr<Client>& client) {
    while (client->sent < client->out.size()) {
        ssize_t n =
            ::send(client->fd, client->out.data() + client->sent, client->out.size() - client->sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno == EAGAIN) {
            if (!client->watch) watch(client, G_IO_OUT);
            if (!client->timer) deadline(client, kIdleSeconds);
            return;
        }
        if (n <= 0) return close(client);
        client->sent += static_cast<std::size_t>(n);
    }
    client->out.clear();
    client->sent = 0;
    if (client->interim) {
        client->interim = false;
        // Nothing is read while the answer is on its way; it is sent when it comes.
        watch(client, static_cast<GIOCondition>(0));
        deadline(client, 0);
        if (client->held.empty()) return;
        client->out = std::move(client->held);
        client->held.clear();
        return writeTo(client);
    }
    if (!client->keepAlive) return close(client);
    // Kept for the session's next request.
    watch(client, G_IO_IN);
    deadline(client, client->in.empty() ? kIdleSeconds : kRequestSeconds);
}

}  // namespace media::gstimpl
