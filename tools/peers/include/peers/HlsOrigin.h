#pragma once
// An HLS origin on loopback (127.0.0.1, a free port; HTTP, or HTTPS with a certificate
// of the test authority) for tests and the demo host:
//   /vod/<path>            the fixture files (HlsFixtures), e.g. /vod/muxed/index.m3u8
//   /live/index.m3u8       a live playlist: a sliding window over the muxed segments,
//                          looping, without an end, advancing on the origin's clock
//   /live/seg<N>.ts        live segment N (the fixture segment N mod 5)
//   /tag/<name>/<path>     the same as /<path>, with requests and bytes counted apart
//                          (tests running side by side keep their counts separate)
// Any path can be given a scripted sequence of answers (202 with "#PROGRESSED n%"
// bodies, 200, 204, 403, 404, 500, a dropped connection, none at all, a chunked body
// that never ends, a body that trickles), each optionally held back (a playlist body may name any URI, a
// refused file:// one as well), or a redirect (301, 302, 303, 307, 308) to another path
// or another origin; every playlist can be made slow; requests and bytes are counted per
// path, and so are the connections they came on (an origin may keep its connections).

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "peers/TestCertificates.h"

namespace httplib {
class Server;
struct Response;
}

namespace peers {

class HlsOrigin {
public:
    struct Answer {
        int status = 200;
        /// The body; for a 200 without a body the file at the path is served.
        std::string body;
        std::string contentType = "text/plain";
        /// Seconds to hold the answer back.
        double delay = 0;
        /// Drop the connection instead of answering.
        bool dropConnection = false;
        /// Send the body (or the file at the path) again and again in chunks, without an
        /// end, until the client goes away or the origin stops.
        bool endless = false;
        /// For a redirect: where to (an absolute URL, or a path on this origin).
        std::string location;
        /// A 200 whose body is empty (rather than the file at the path).
        bool emptyBody = false;
        /// Send the body `trickleBytes` at a time, `trickleSeconds` apart (its whole length
        /// announced), as a slow link delivers it.
        std::size_t trickleBytes = 0;
        double trickleSeconds = 0;

        static Answer progressed(int percent) { return {202, "#PROGRESSED " + std::to_string(percent) + "%"}; }
        static Answer status200(std::string body = {}) { return {200, std::move(body)}; }
        static Answer noContent() { return {204, {}}; }
        static Answer forbidden() { return {403, "Forbidden"}; }
        static Answer notFound() { return {404, "Not Found"}; }
        static Answer serverError() { return {500, "Internal Server Error"}; }
        static Answer dropped() {
            Answer a;
            a.dropConnection = true;
            return a;
        }
        /// The connection is taken and nothing is ever answered (until the origin stops).
        static Answer neverAnswered() {
            Answer a;
            a.delay = 24 * 3600;
            return a;
        }
        /// A redirect (`status` 301, 302, 303, 307 or 308) to `location`.
        static Answer redirect(int status, std::string location) {
            Answer a{status, {}};
            a.location = std::move(location);
            return a;
        }
        /// 200 with nothing in it, as a CDN may answer while a playlist is being published.
        static Answer empty(std::string contentType = "application/vnd.apple.mpegurl") {
            Answer a{200, {}, std::move(contentType)};
            a.emptyBody = true;
            return a;
        }
        /// `body`, `bytes` at once and the next `bytes` every `seconds`.
        static Answer trickled(std::string body, std::size_t bytes, double seconds,
                               std::string contentType = "application/vnd.apple.mpegurl") {
            Answer a{200, std::move(body), std::move(contentType)};
            a.trickleBytes = bytes;
            a.trickleSeconds = seconds;
            return a;
        }
        static Answer endlessBody(std::string body = {}) {
            Answer a{200, std::move(body), "video/mp2t"};
            a.endless = true;
            return a;
        }
    };

    /// Serves the fixtures under fixtureDir; with a certificate, over TLS.
    explicit HlsOrigin(std::string fixtureDir, std::optional<TestCertificate> certificate = std::nullopt);
    ~HlsOrigin();
    HlsOrigin(const HlsOrigin&) = delete;
    HlsOrigin& operator=(const HlsOrigin&) = delete;

    /// Binds 127.0.0.1 on a free port and serves on a thread pool; throws when it cannot.
    void start();
    /// Stops serving; answers being held back are released at once.
    void stop();
    int port() const { return port_; }
    /// "http://127.0.0.1:<port>" (https with a certificate).
    std::string baseURL() const;
    /// baseURL() + path (path starts with '/').
    std::string url(const std::string& path) const { return baseURL() + path; }

    /// Answers for a path, in order; the last one repeats. Replaces an earlier script.
    void script(const std::string& path, std::vector<Answer> answers);
    /// Answers every path that begins with `prefix` and has no script of its own with
    /// `answer` (the segments of a live window, whose names the clock gives, say).
    void answerUnder(const std::string& prefix, Answer answer);
    /// Holds back the next `times` answers of the path by `seconds` (times < 0: all).
    void holdBack(const std::string& path, double seconds, int times = 1);
    /// Sends at once every answer held back so far (a test that waits for a stall, not
    /// for a time, holds long and releases when it saw it).
    void releaseHeld();
    /// Holds back every answer for a playlist (a path ending in ".m3u8") by `seconds`.
    void slowPlaylists(double seconds);
    /// Keeps connections open for further requests (before start; by default each
    /// request has a connection of its own).
    void keepConnections();

    int requestCount(const std::string& path) const;
    /// Bytes of bodies sent for the path (complete answers only).
    long long bytesServed(const std::string& path) const;
    /// Bytes of bodies sent for every path the predicate accepts.
    long long bytesServed(const std::function<bool(const std::string&)>& accept) const;
    /// Paths in the order they were requested.
    std::vector<std::string> requestedPaths() const;
    /// Connections the requests for the path came on.
    int connectionCount(const std::string& path) const;
    /// Connections the requests for every path the predicate accepts came on.
    int connectionCount(const std::function<bool(const std::string&)>& accept) const;
    /// The value of a header of the last request for the path ("" when none).
    std::string lastHeader(const std::string& path, const std::string& name) const;

    /// The live playlist's clock in seconds (default: a monotonic clock). The window
    /// starts at the clock's value when the origin starts (or when this is called).
    void setLiveClock(std::function<double()> now);
    /// Segments in the live window (default 3).
    void setLiveWindow(int segments);
    /// The live playlist as it reads now.
    std::string livePlaylist() const;

    /// A URL on 127.0.0.1 whose port refuses connections (ClosedPort::shared()).
    static std::string closedPortURL(const std::string& path = "/");

    /// Every answer of the path (a fixture file) announces the file's whole length, sends
    /// the first half and closes the connection: an origin that breaks mid-segment.
    void cutHalfway(const std::string& path);

private:
    struct Hold {
        double seconds;
        int times;
    };
    /// What an answer that trickles sends at a time, and how far apart.
    struct Trickle {
        std::size_t bytes = 0;
        double seconds = 0;
    };
    void handle(const std::string& path, int& status, std::string& body, std::string& contentType, bool& drop,
                bool& endless, std::string& location, Trickle& trickle);
    void waitFor(double seconds);
    void account(const std::string& path, std::size_t bytes);
    /// Answers a path cutHalfway() names (true), else leaves the answer to handle().
    bool serveCut(const std::string& path, httplib::Response& res);

    std::string fixtureDir_;
    bool tls_ = false;
    std::unique_ptr<httplib::Server> server_;
    std::thread thread_;
    int port_ = 0;
    std::atomic<bool> stopping_{false};

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::uint64_t releases_ = 0;  // under mutex_
    std::map<std::string, std::deque<Answer>> scripts_;
    std::map<std::string, Answer> prefixAnswers_;
    std::map<std::string, Hold> holds_;
    std::map<std::string, int> requests_;
    std::map<std::string, std::set<int>> connections_;
    std::map<std::string, std::map<std::string, std::string>> lastHeaders_;
    double playlistDelay_ = 0;
    std::map<std::string, long long> bytes_;
    std::vector<std::string> log_;
    std::function<double()> liveClock_;
    double liveStart_ = 0;
    int liveWindow_ = 3;
    std::set<std::string> cuts_;
};

}  // namespace peers
