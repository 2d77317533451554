#include "peers/AdServerPeer.h"

#include "../HttpServers.h"


#include <fstream>
#include <sstream>
#include <stdexcept>

#include <httplib.h>

namespace peers {

namespace {

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string percentDecoded(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        int hi, lo;
        if (text[i] == '%' && i + 2 < text.size() && (hi = hexValue(text[i + 1])) >= 0 && (lo = hexValue(text[i + 2])) >= 0) {
            out += static_cast<char>(hi * 16 + lo);
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::vector<std::pair<std::string, std::string>> decodedQuery(const std::string& target) {
    std::vector<std::pair<std::string, std::string>> pairs;
    std::size_t question = target.find('?');
    if (question == std::string::npos) return pairs;
    std::string query = target.substr(question + 1);
    std::size_t from = 0;
    while (from <= query.size()) {
        std::size_t amp = query.find('&', from);
        std::string pair = query.substr(from, amp == std::string::npos ? std::string::npos : amp - from);
        std::size_t equals = pair.find('=');
        if (!pair.empty())
            pairs.emplace_back(percentDecoded(pair.substr(0, equals)),
                               equals == std::string::npos ? std::string() : percentDecoded(pair.substr(equals + 1)));
        if (amp == std::string::npos) break;
        from = amp + 1;
    }
    return pairs;
}

std::string escapedXml(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            default: out += c;
        }
    }
    return out;
}

}  // namespace

std::string AdServerPeer::Request::value(const std::string& key) const {
    for (const auto& [k, v] : query)
        if (k == key) return v;
    return {};
}

AdServerPeer::AdServerPeer(std::optional<TestCertificate> certificate) {
    server_ = makeHttpServer(certificate ? &*certificate : nullptr, "Ad server");
    tls_ = certificate.has_value();
    server_->new_task_queue = [] { return new httplib::ThreadPool(16); };
    server_->set_keep_alive_max_count(1);
    server_->Get(R"(/.*)", [this](const httplib::Request& req, httplib::Response& res) {
        int status = 200;
        std::string body, type;
        handle(req.path, req.target, status, body, type);
        // A range asked of a whole answer is cut from it by the server library, which does
        // so only for a 206 status: a media player seeks in the file that way.
        res.status = status == 200 && !req.ranges.empty() ? 206 : status;
        if (status != 204) res.set_content(body, type);
    });
}

AdServerPeer::~AdServerPeer() { stop(); }

void AdServerPeer::start() {
    port_ = server_->bind_to_any_port("127.0.0.1");
    if (port_ <= 0) throw std::runtime_error("Ad server: cannot bind 127.0.0.1");
    thread_ = std::thread([this] { server_->listen_after_bind(); });
    for (int i = 0; i < 500 && !server_->is_running(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(2));
}

void AdServerPeer::stop() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) {
        server_->stop();
        thread_.join();
    }
}

std::string AdServerPeer::baseURL() const {
    return std::string(tls_ ? "https" : "http") + "://127.0.0.1:" + std::to_string(port_);
}

void AdServerPeer::script(const std::string& path, std::vector<Answer> answers) {
    std::lock_guard lock(mutex_);
    scripts_[path] = std::deque<Answer>(answers.begin(), answers.end());
}

void AdServerPeer::release(const std::string& path) {
    {
        std::lock_guard lock(mutex_);
        ++releases_[path];
    }
    wake_.notify_all();
}

void AdServerPeer::setMediaFile(std::string path) {
    std::lock_guard lock(mutex_);
    mediaFile_ = std::move(path);
}

std::vector<AdServerPeer::Request> AdServerPeer::requests() const {
    std::lock_guard lock(mutex_);
    return log_;
}

std::vector<AdServerPeer::Request> AdServerPeer::requests(const std::string& path) const {
    std::vector<Request> matching;
    for (auto& request : requests())
        if (request.path == path) matching.push_back(std::move(request));
    return matching;
}

int AdServerPeer::requestCount(const std::string& path) const { return static_cast<int>(requests(path).size()); }

int AdServerPeer::maxConcurrentRequests() const {
    std::lock_guard lock(mutex_);
    return maxInFlight_;
}

void AdServerPeer::handle(const std::string& path, const std::string& target, int& status, std::string& body,
                          std::string& contentType) {
    std::optional<Answer> answer;
    std::string mediaFile;
    int released = 0;
    {
        std::lock_guard lock(mutex_);
        log_.push_back({path, target, decodedQuery(target)});
        maxInFlight_ = std::max(maxInFlight_, ++inFlight_);
        if (auto it = scripts_.find(path); it != scripts_.end() && !it->second.empty()) {
            answer = it->second.front();
            if (it->second.size() > 1) it->second.pop_front();
        }
        mediaFile = mediaFile_;
        released = releases_[path];
    }
    if (answer) {
        std::unique_lock lock(mutex_);
        if (answer->delay > 0)
            wake_.wait_for(lock, std::chrono::duration<double>(answer->delay), [this] { return stopping_; });
        if (answer->held) wake_.wait(lock, [&] { return stopping_ || releases_[path] > released; });
        status = answer->status;
        body = answer->body;
        contentType = answer->contentType;
    } else if (path == kMediaPath && !mediaFile.empty()) {
        std::ifstream in(mediaFile, std::ios::binary);
        std::stringstream bytes;
        bytes << in.rdbuf();
        body = bytes.str();
        contentType = "video/mp4";
        if (!in) status = 404;
    } else {
        contentType = "text/plain";
    }
    std::lock_guard lock(mutex_);
    --inFlight_;
}

std::string AdServerPeer::inlineVast(const InlineAd& ad) {
    std::ostringstream out;
    out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<VAST version=\"2.0\">\n <Ad id=\"1\">\n  <InLine>\n"
        << "   <AdSystem>loopback</AdSystem>\n   <AdTitle>Test ad</AdTitle>\n";
    for (const auto& url : ad.impressions) out << "   <Impression><![CDATA[" << url << "]]></Impression>\n";
    out << "   <Creatives>\n    <Creative>\n     <Linear>\n      <Duration>" << ad.duration << "</Duration>\n";
    out << "      <TrackingEvents>\n";
    for (const auto& [event, url] : ad.tracking)
        out << "       <Tracking event=\"" << escapedXml(event) << "\">" << escapedXml(url) << "</Tracking>\n";
    out << "      </TrackingEvents>\n      <VideoClicks>\n";
    for (const auto& url : ad.clickThrough) out << "       <ClickThrough>" << escapedXml(url) << "</ClickThrough>\n";
    for (const auto& url : ad.clickTracking) out << "       <ClickTracking>" << escapedXml(url) << "</ClickTracking>\n";
    out << "      </VideoClicks>\n      <MediaFiles>\n";
    for (const auto& [type, url] : ad.mediaFiles)
        out << "       <MediaFile delivery=\"progressive\" type=\"" << escapedXml(type)
            << "\" width=\"320\" height=\"240\" bitrate=\"300\">\n        <![CDATA[" << url << "]]>\n       </MediaFile>\n";
    out << "      </MediaFiles>\n     </Linear>\n    </Creative>\n   </Creatives>\n  </InLine>\n </Ad>\n</VAST>\n";
    return out.str();
}

std::string AdServerPeer::wrapperVast(const std::string& tagUrl, const std::vector<std::string>& impressions,
                                      const std::vector<std::pair<std::string, std::string>>& tracking,
                                      const std::vector<std::string>& clickTracking) {
    std::ostringstream out;
    out << "<VAST version=\"2.0\">\n <Ad id=\"w\">\n  <Wrapper>\n   <AdSystem>loopback</AdSystem>\n";
    out << "   <VASTAdTagURI><![CDATA[\n     " << tagUrl << "\n   ]]></VASTAdTagURI>\n";
    for (const auto& url : impressions) out << "   <Impression>" << escapedXml(url) << "</Impression>\n";
    out << "   <Creatives>\n    <Creative>\n     <Linear>\n      <TrackingEvents>\n";
    for (const auto& [event, url] : tracking)
        out << "       <Tracking event=\"" << escapedXml(event) << "\">" << escapedXml(url) << "</Tracking>\n";
    out << "      </TrackingEvents>\n      <VideoClicks>\n";
    for (const auto& url : clickTracking) out << "       <ClickTracking>" << escapedXml(url) << "</ClickTracking>\n";
    out << "      </VideoClicks>\n     </Linear>\n    </Creative>\n   </Creatives>\n  </Wrapper>\n </Ad>\n</VAST>\n";
    return out.str();
}

}  // namespace peers
