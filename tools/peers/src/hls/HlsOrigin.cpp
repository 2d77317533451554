#include "peers/HlsOrigin.h"

#include "peers/ClosedPort.h"

#include "../HttpServers.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>


#include <algorithm>
#include <chrono>
#include <cmath>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include <strings.h>

#include <httplib.h>

#include "peers/HlsFixtures.h"

namespace peers {

namespace {

double monotonicSeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

std::string contentTypeFor(const std::string& path) {
    auto ends = [&](const char* suffix) {
        std::string s(suffix);
        return path.size() >= s.size() && path.compare(path.size() - s.size(), s.size(), s) == 0;
    };
    if (ends(".m3u8")) return "application/vnd.apple.mpegurl";
    if (ends(".ts")) return "video/mp2t";
    if (ends(".vtt")) return "text/vtt";
    return "application/octet-stream";
}

bool readFile(const std::string& path, std::string& out) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::stringstream text;
    text << in.rdbuf();
    out = text.str();
    return true;
}

}  // namespace

HlsOrigin::HlsOrigin(std::string fixtureDir, std::optional<TestCertificate> certificate)
    : fixtureDir_(std::move(fixtureDir)), liveClock_(monotonicSeconds) {
    server_ = makeHttpServer(certificate ? &*certificate : nullptr, "HLS origin");
    tls_ = certificate.has_value();
    // One request per connection: an idle kept-alive connection would hold a server
    // thread, and players keep several, so one player's idle connections could make
    // another's requests wait. Held-back answers occupy a thread each: enough threads.
    server_->new_task_queue = [] { return new httplib::ThreadPool(32); };
    server_->set_keep_alive_max_count(1);
    server_->Get(R"(/.*)", [this](const httplib::Request& req, httplib::Response& res) {
        if (serveCut(req.path, res)) return;
        int status = 200;
        std::string body, type;
        bool drop = false, endless = false;
        std::string location;
        Trickle trickle;
        {
            std::lock_guard lock(mutex_);
            // A connection is known by the client's port while it lasts.
            connections_[req.path].insert(req.remote_port);
            auto& headers = lastHeaders_[req.path];
            headers.clear();
            for (const auto& [name, value] : req.headers) headers[name] = value;
        }
        handle(req.path, status, body, type, drop, endless, location, trickle);
        if (!location.empty()) {
            res.status = status;
            res.set_header("Location", location.rfind('/', 0) == 0 ? url(location) : location);
            return;
        }
        if (endless && !body.empty()) {
            // Chunked, so the client cannot know the end is never coming.
            res.set_chunked_content_provider(type, [this, body, path = req.path](std::size_t, httplib::DataSink& sink) {
                if (stopping_ || !sink.is_writable() || !sink.write(body.data(), body.size())) return false;
                account(path, body.size());
                return true;
            });
            return;
        }
        if (trickle.bytes > 0 && !body.empty()) {
            // The whole length announced, the bytes coming a few at a time.
            auto text = std::make_shared<const std::string>(std::move(body));
            res.set_content_provider(
                text->size(), type,
                [this, text, trickle, path = req.path](std::size_t offset, std::size_t, httplib::DataSink& sink) {
                    if (offset > 0) waitFor(trickle.seconds);
                    std::size_t n = std::min(trickle.bytes, text->size() - offset);
                    if (stopping_ || !sink.write(text->data() + offset, n)) return false;
                    if (offset + n == text->size()) account(path, text->size());
                    return true;
                });
            return;
        }
        if (drop) {
            // A provider that gives up mid-answer: the client sees the connection end.
            res.set_content_provider(1024, "application/octet-stream",
                                     [](std::size_t, std::size_t, httplib::DataSink&) { return false; });
            return;
        }
        res.status = status;
        if (status != 204) res.set_content(body, type);
    });
}

HlsOrigin::~HlsOrigin() { stop(); }

void HlsOrigin::start() {
    server_->set_tcp_nodelay(true);  // no reply waits for the client's delayed acknowledgement
    port_ = server_->bind_to_any_port("127.0.0.1");
    if (port_ <= 0) throw std::runtime_error("HLS origin: cannot bind 127.0.0.1");
    {
        std::lock_guard lock(mutex_);
        liveStart_ = liveClock_();
    }
    thread_ = std::thread([this] { server_->listen_after_bind(); });
    for (int i = 0; i < 500 && !server_->is_running(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(2));
}

void HlsOrigin::stop() {
    stopping_ = true;
    wake_.notify_all();
    if (thread_.joinable()) {
        server_->stop();
        thread_.join();
    }
}

std::string HlsOrigin::baseURL() const {
    return std::string(tls_ ? "https" : "http") + "://127.0.0.1:" + std::to_string(port_);
}

void HlsOrigin::script(const std::string& path, std::vector<Answer> answers) {
    std::lock_guard lock(mutex_);
    scripts_[path] = std::deque<Answer>(answers.begin(), answers.end());
}

void HlsOrigin::answerUnder(const std::string& prefix, Answer answer) {
    std::lock_guard lock(mutex_);
    prefixAnswers_[prefix] = std::move(answer);
}

void HlsOrigin::holdBack(const std::string& path, double seconds, int times) {
    std::lock_guard lock(mutex_);
    holds_[path] = {seconds, times};
}

void HlsOrigin::cutHalfway(const std::string& path) {
    std::lock_guard lock(mutex_);
    cuts_.insert(path);
}

bool HlsOrigin::serveCut(const std::string& path, httplib::Response& res) {
    {
        std::lock_guard lock(mutex_);
        if (!cuts_.count(path)) return false;
        ++requests_[path];
        log_.push_back(path);
    }
    std::string served = path;
    if (served.rfind("/tag/", 0) == 0) {
        auto slash = served.find('/', 5);
        served = slash == std::string::npos ? "/" : served.substr(slash);
    }
    auto body = std::make_shared<std::string>();
    if (served.rfind("/vod/", 0) != 0 || served.find("..") != std::string::npos ||
        !readFile(fixtureDir_ + served.substr(4), *body)) {
        res.status = 404;
        res.set_content("Not Found", "text/plain");
        return true;
    }
    // The whole length is announced; the provider gives up after the first half, which
    // closes the connection.
    res.set_content_provider(body->size(), contentTypeFor(path),
                             [body](std::size_t offset, std::size_t, httplib::DataSink& sink) {
                                 std::size_t half = body->size() / 2;
                                 if (offset >= half) return false;
                                 return sink.write(body->data() + offset, half - offset);
                             });
    return true;
}

int HlsOrigin::requestCount(const std::string& path) const {
    std::lock_guard lock(mutex_);
    auto it = requests_.find(path);
    return it == requests_.end() ? 0 : it->second;
}

long long HlsOrigin::bytesServed(const std::string& path) const {
    std::lock_guard lock(mutex_);
    auto it = bytes_.find(path);
    return it == bytes_.end() ? 0 : it->second;
}

long long HlsOrigin::bytesServed(const std::function<bool(const std::string&)>& accept) const {
    std::lock_guard lock(mutex_);
    long long total = 0;
    for (const auto& [path, bytes] : bytes_)
        if (accept(path)) total += bytes;
    return total;
}

void HlsOrigin::slowPlaylists(double seconds) {
    std::lock_guard lock(mutex_);
    playlistDelay_ = seconds;
}

void HlsOrigin::keepConnections() {
    server_->set_keep_alive_max_count(1000);
    server_->set_keep_alive_timeout(60);
}

int HlsOrigin::connectionCount(const std::string& path) const {
    std::lock_guard lock(mutex_);
    auto it = connections_.find(path);
    return it == connections_.end() ? 0 : static_cast<int>(it->second.size());
}

int HlsOrigin::connectionCount(const std::function<bool(const std::string&)>& accept) const {
    std::lock_guard lock(mutex_);
    std::set<int> ports;
    for (const auto& [path, connections] : connections_)
        if (accept(path)) ports.insert(connections.begin(), connections.end());
    return static_cast<int>(ports.size());
}

std::string HlsOrigin::lastHeader(const std::string& path, const std::string& name) const {
    std::lock_guard lock(mutex_);
    auto it = lastHeaders_.find(path);
    if (it == lastHeaders_.end()) return {};
    for (const auto& [key, value] : it->second)
        if (strcasecmp(key.c_str(), name.c_str()) == 0) return value;
    return {};
}

std::vector<std::string> HlsOrigin::requestedPaths() const {
    std::lock_guard lock(mutex_);
    return log_;
}

void HlsOrigin::setLiveClock(std::function<double()> now) {
    std::lock_guard lock(mutex_);
    liveClock_ = std::move(now);
    liveStart_ = liveClock_();
}

void HlsOrigin::setLiveWindow(int segments) {
    std::lock_guard lock(mutex_);
    liveWindow_ = segments;
}

std::string HlsOrigin::livePlaylist() const {
    double elapsed;
    int window;
    {
        std::lock_guard lock(mutex_);
        elapsed = liveClock_() - liveStart_;
        window = liveWindow_;
    }
    const int loop = HlsFixtures::segmentCount;
    long long sequence = static_cast<long long>(std::floor(std::max(0.0, elapsed) / HlsFixtures::segmentDuration));
    std::ostringstream out;
    out << "#EXTM3U\n#EXT-X-VERSION:3\n#EXT-X-TARGETDURATION:2\n";
    out << "#EXT-X-MEDIA-SEQUENCE:" << sequence << "\n";
    // Each loop back to the first fixture segment is a discontinuity; those that slid
    // out of the window are counted.
    out << "#EXT-X-DISCONTINUITY-SEQUENCE:" << (sequence > 0 ? (sequence - 1) / loop : 0) << "\n";
    for (long long i = sequence; i < sequence + window; ++i) {
        if (i > 0 && i % loop == 0) out << "#EXT-X-DISCONTINUITY\n";
        out << "#EXTINF:2.000000,\nseg" << i << ".ts\n";
    }
    return out.str();
}

void HlsOrigin::waitFor(double seconds) {
    std::unique_lock lock(mutex_);
    const auto released = releases_;
    wake_.wait_for(lock, std::chrono::duration<double>(seconds),
                   [&] { return stopping_.load() || releases_ != released; });
}

void HlsOrigin::releaseHeld() {
    {
        std::lock_guard lock(mutex_);
        ++releases_;
    }
    wake_.notify_all();
}

void HlsOrigin::account(const std::string& path, std::size_t bytes) {
    std::lock_guard lock(mutex_);
    bytes_[path] += static_cast<long long>(bytes);
}

void HlsOrigin::handle(const std::string& path, int& status, std::string& body, std::string& contentType, bool& drop,
                       bool& endless, std::string& location, Trickle& trickle) {
    std::optional<Answer> scripted;
    double hold = 0;
    {
        std::lock_guard lock(mutex_);
        ++requests_[path];
        log_.push_back(path);
        if (auto it = scripts_.find(path); it != scripts_.end() && !it->second.empty()) {
            scripted = it->second.front();
            if (it->second.size() > 1) it->second.pop_front();
        } else {
            for (const auto& [prefix, answer] : prefixAnswers_)
                if (path.rfind(prefix, 0) == 0) scripted = answer;
        }
        if (auto it = holds_.find(path); it != holds_.end() && it->second.times != 0) {
            hold = it->second.seconds;
            if (it->second.times > 0) --it->second.times;
        }
        if (path.size() > 5 && path.compare(path.size() - 5, 5, ".m3u8") == 0) hold += playlistDelay_;
    }
    if (scripted) hold += scripted->delay;
    if (hold > 0) waitFor(hold);
    if (scripted && !scripted->location.empty()) {
        status = scripted->status;
        location = scripted->location;
        return;
    }
    if (scripted && scripted->dropConnection) {
        drop = true;
        return;
    }
    if (scripted && scripted->endless) {
        endless = true;
        if (!scripted->body.empty()) {
            body = scripted->body;
            contentType = scripted->contentType;
            return;
        }
    }
    if (scripted && scripted->emptyBody) {
        contentType = scripted->contentType;
        return;
    }
    if (scripted && scripted->trickleBytes > 0 && !scripted->body.empty()) {
        body = scripted->body;
        contentType = scripted->contentType;
        trickle = {scripted->trickleBytes, scripted->trickleSeconds};
        return;
    }
    if (scripted && !scripted->endless && (scripted->status != 200 || !scripted->body.empty())) {
        status = scripted->status;
        body = scripted->body;
        contentType = scripted->contentType;
        if (status == 200) account(path, body.size());
        return;
    }
    contentType = contentTypeFor(path);
    if (path.find("..") != std::string::npos) {
        status = 404;
        body = "Not Found";
        contentType = "text/plain";
        return;
    }
    // "/tag/<name>/..." serves what "/..." serves, counted on its own.
    std::string served = path;
    if (served.rfind("/tag/", 0) == 0) {
        auto slash = served.find('/', 5);
        served = slash == std::string::npos ? "/" : served.substr(slash);
    }
    if (served == "/live/index.m3u8") {
        body = livePlaylist();
    } else if (served.rfind("/live/seg", 0) == 0) {
        long long n = std::atoll(served.c_str() + 9);
        if (!readFile(fixtureDir_ + "/muxed/seg" + std::to_string(n % HlsFixtures::segmentCount) + ".ts", body)) status = 404;
    } else if (served.rfind("/vod/", 0) == 0) {
        if (!readFile(fixtureDir_ + served.substr(4), body)) status = 404;
    } else {
        status = 404;
    }
    if (status == 404) {
        endless = false;
        body = "Not Found";
        contentType = "text/plain";
        return;
    }
    if (!endless) account(path, body.size());
}

std::string HlsOrigin::closedPortURL(const std::string& path) { return ClosedPort::shared().url(path); }

}  // namespace peers
