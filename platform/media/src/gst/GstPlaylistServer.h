#pragma once
// What the demuxer reads of a playlist it fetches itself is what was checked, fetched
// once: its request for a playlist is turned, as it is queued (GstFetchGuard's request
// hook), to a loopback address of this process, where the item's guard fetches the
// playlist then, checks it, and answers only when the check passes. An
// answer that came through redirects is answered with the last redirect, to where the
// origin's answer came from, and that address is answered with the checked text: the
// demuxer's HTTP session follows the redirect as it would from the origin, and the URIs
// the playlist names resolve against the address the origin answered from.
//
// The service is this process's alone: a connection is served only when its client end
// is a socket the guard bound itself, on a port it told the service before the socket
// connected (bindClientSocket, from the demuxer's connection as it is made); any other
// is closed as soon as it is accepted, at the cost of a look-up, so it holds neither a
// descriptor nor any time of the service. A TCP connection's two addresses are unique
// while it lasts, and no other process can bind a port one of this process's sockets
// holds. The listener accepts a few connections each time it wakes the service, so a
// flood of them (a full queue that never empties) delays an answer by a few look-ups at
// most. Its addresses are drawn from the kernel's random source (128 bits). One thread
// serves every connection and every fetch from one event loop: no client holds a
// thread, and a request must come whole within its deadline. While an answer is being
// fetched, the client is sent an interim answer (HTTP 102) every few seconds, so that the
// demuxer's session, which gives up on a connection silent for 10 s, waits for a
// playlist that takes longer to come.

#include <glib.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "GstPlaylistFetch.h"

namespace media::gstimpl {

class FetchGuard;

class PlaylistServer {
public:
    struct Answer {
        int status = 200;
        std::string location;
        std::string body;
    };

    /// The process's service, listening on 127.0.0.1 from its first use; null when it
    /// could not listen.
    static PlaylistServer* shared();

    /// Runs `work` on the service's thread, where fetches and answers run.
    void post(std::function<void()> work);
    /// Whether the calling thread is the service's.
    bool onServiceThread() const;

    /// A loopback URL the service answers with `guard`'s read of `url` (answerRead);
    /// `headers`: the demuxer's request headers, sent on to the origin.
    std::string alias(const std::shared_ptr<FetchGuard>& guard, const std::string& url, FetchHeaders headers);
    /// Whether `uri` is one of the service's.
    bool serves(const std::string& uri) const;
    /// A connection from `port` of 127.0.0.1 is one of this process's: it is served.
    void expectClient(int port);
    /// Binds `socket` (a TCP socket about to connect to the service) to a port of
    /// 127.0.0.1 the service then expects; false when it could not.
    bool bindClientSocket(int socket);
    /// "http://127.0.0.1:<port>/".
    const std::string& base() const { return base_; }
    /// Connections closed at once because their client was not one the guard bound.
    std::uint64_t foreignConnections() const { return foreign_.load(); }

private:
    struct Client;
    struct Entry {
        std::weak_ptr<FetchGuard> guard;
        std::string url;
        FetchHeaders headers;
        gint64 made = 0;
    };
    PlaylistServer(int listener, std::string base);
    void listen();
    void acceptAll();
    /// Whether the accepted connection's client is one expected (and no longer is).
    bool expected(int accepted);
    void readFrom(const std::shared_ptr<Client>& client);
    void answer(const std::shared_ptr<Client>& client, const std::string& head);
    void send(const std::shared_ptr<Client>& client, const Answer& answer);
    void writeTo(const std::shared_ptr<Client>& client);
    void watch(const std::shared_ptr<Client>& client, GIOCondition condition);
    void deadline(const std::shared_ptr<Client>& client, double seconds);
    /// While a read's answer is fetched (`on`), an interim answer goes to the client now
    /// and then.
    void keepInformed(const std::shared_ptr<Client>& client, bool on);
    void close(const std::shared_ptr<Client>& client);

    int listener_;
    std::string base_;
    GMainContext* context_;
    GSource* accepting_ = nullptr;
    std::atomic<std::uint64_t> foreign_{0};
    std::thread::id thread_;
    mutable std::mutex mutex_;
    std::map<std::string, Entry> entries_;
    /// Ports of clients expected, with when each was bound.
    std::map<int, gint64> expected_;
    /// Connections being served (on the service's thread only).
    std::map<int, std::shared_ptr<Client>> clients_;
};

}  // namespace media::gstimpl
