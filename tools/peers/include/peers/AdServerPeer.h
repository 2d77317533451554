#pragma once
// An ad server on loopback (127.0.0.1, a free port; HTTP, or HTTPS with a certificate of
// the test authority) for tests and the demo host. Every path answers by script: a
// sequence of answers (status, body, content type, delay, held until released), the
// last one repeating; a path without a script answers 200 with an empty body (tracking
// hits), except the ad's media file. Every request is recorded in arrival order with
// its raw target and its query decoded pair by pair.
//
// The media file (kMediaPath) is an MP4 made by ffmpeg at set-up (AdFixtures): a few
// seconds of colour bars with a tone, moov atom first.

#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "peers/TestCertificates.h"

namespace httplib {
class Server;
}

namespace peers {

class AdFixtures {
public:
    /// Makes dir/ad.mp4 unless it is there already and answers its path. Throws
    /// std::runtime_error with ffmpeg's complaint when it cannot.
    static std::string ensure(const std::string& dir);
    /// The build tree's fixture folder (ZID_AD_FIXTURE_DIR), else one under the temp dir.
    static std::string defaultDirectory();
    static std::string ensureDefault() { return ensure(defaultDirectory()); }
    static constexpr double duration = 3.0;
};

class AdServerPeer {
public:
    static constexpr const char* kMediaPath = "/media/ad.mp4";

    struct Answer {
        int status = 200;
        std::string body;
        std::string contentType = "application/xml";
        /// Seconds to hold the answer back.
        double delay = 0;
        /// Held until release() (or stop()).
        bool held = false;

        static Answer vast(std::string body) { return {200, std::move(body)}; }
        static Answer withStatus(int code) { return {code, "", "text/plain"}; }
        static Answer heldVast(std::string body) {
            Answer a{200, std::move(body)};
            a.held = true;
            return a;
        }
    };

    struct Request {
        std::string path;
        /// The target as sent (path and query, still escaped).
        std::string target;
        /// The query's pairs in order, each split at its first "=" and percent-decoded.
        std::vector<std::pair<std::string, std::string>> query;
        /// The first value of a key, empty when absent.
        std::string value(const std::string& key) const;
    };

    explicit AdServerPeer(std::optional<TestCertificate> certificate = std::nullopt);
    ~AdServerPeer();
    AdServerPeer(const AdServerPeer&) = delete;
    AdServerPeer& operator=(const AdServerPeer&) = delete;

    void start();
    /// Stops serving; held answers are released at once.
    void stop();
    int port() const { return port_; }
    std::string baseURL() const;
    std::string url(const std::string& path) const { return baseURL() + path; }

    /// Answers for a path, in order; the last one repeats. Replaces an earlier script.
    void script(const std::string& path, std::vector<Answer> answers);
    /// Lets the held answers of the path go.
    void release(const std::string& path);
    /// Serves this file at kMediaPath.
    void setMediaFile(std::string path);

    std::vector<Request> requests() const;
    std::vector<Request> requests(const std::string& path) const;
    int requestCount(const std::string& path) const;
    /// Requests in flight (answers not yet sent) at most at once so far.
    int maxConcurrentRequests() const;

    /// Documents for scripts. An inline VAST 2 ad with one linear creative.
    struct InlineAd {
        std::vector<std::string> impressions;
        std::vector<std::pair<std::string, std::string>> tracking;  // event, URL
        std::vector<std::string> clickThrough;
        std::vector<std::string> clickTracking;
        std::vector<std::pair<std::string, std::string>> mediaFiles;  // type, URL
        std::string duration = "00:00:03";
    };
    static std::string inlineVast(const InlineAd& ad);
    /// A VAST 2 wrapper pointing to tagUrl, with its own impression and tracking.
    static std::string wrapperVast(const std::string& tagUrl, const std::vector<std::string>& impressions,
                                   const std::vector<std::pair<std::string, std::string>>& tracking = {},
                                   const std::vector<std::string>& clickTracking = {});

private:
    void handle(const std::string& path, const std::string& target, int& status, std::string& body,
                std::string& contentType);

    bool tls_ = false;
    std::unique_ptr<httplib::Server> server_;
    std::thread thread_;
    int port_ = 0;
    bool stopping_ = false;

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::map<std::string, std::deque<Answer>> scripts_;
    std::map<std::string, int> releases_;
    std::vector<Request> log_;
    std::string mediaFile_;
    int inFlight_ = 0;
    int maxInFlight_ = 0;
};

}  // namespace peers
