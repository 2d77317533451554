#pragma once
// A loopback HTTP server of web pages for the web engine's tests: pages registered by
// path, a path that sets a cookie and one that shows the request's cookies in its title
// ("cookies:" and the Cookie header). Serves on its own thread; counts requests.

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace httplib {
class Server;
}

namespace peers {

class WebPagePeer {
public:
    static constexpr const char* kSetCookiePath = "/set-cookie";
    static constexpr const char* kShowCookiesPath = "/show-cookies";
    /// The cookie the set-cookie path sets.
    static constexpr const char* kCookie = "session=loopback";

    WebPagePeer();
    ~WebPagePeer();
    WebPagePeer(const WebPagePeer&) = delete;
    WebPagePeer& operator=(const WebPagePeer&) = delete;

    /// Serves the HTML at the path (replacing what was there).
    void addPage(const std::string& path, std::string html);
    /// "http://127.0.0.1:<port><path>"
    std::string url(const std::string& path) const;
    int requests(const std::string& path) const;

private:
    std::unique_ptr<httplib::Server> server_;
    std::thread thread_;
    int port_ = 0;
    mutable std::mutex mutex_;
    std::map<std::string, std::string> pages_;
    std::map<std::string, int> counts_;
};

}  // namespace peers
