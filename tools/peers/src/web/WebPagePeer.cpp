#include "peers/WebPagePeer.h"

#include <httplib.h>

#include <chrono>

namespace peers {

WebPagePeer::WebPagePeer() : server_(std::make_unique<httplib::Server>()) {
    server_->Get(".*", [this](const httplib::Request& req, httplib::Response& res) {
        std::string body;
        bool found = true;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            ++counts_[req.path];
            auto it = pages_.find(req.path);
            if (it != pages_.end()) body = it->second;
            else found = false;
        }
        if (req.path == kSetCookiePath) {
            res.set_header("Set-Cookie", std::string(kCookie) + "; Path=/");
            body = "<html><head><title>cookie set</title></head><body>set</body></html>";
            found = true;
        } else if (req.path == kShowCookiesPath) {
            body = "<html><head><title>cookies:" + req.get_header_value("Cookie") + "</title></head><body></body></html>";
            found = true;
        }
        if (!found) {
            res.status = 404;
            res.set_content("<html><head><title>missing</title></head></html>", "text/html");
            return;
        }
        res.set_content(body, "text/html; charset=utf-8");
    });
    port_ = server_->bind_to_any_port("127.0.0.1");
    thread_ = std::thread([this] { server_->listen_after_bind(); });
    // A stop before the loop runs would be lost, so the constructor waits for it.
    while (!server_->is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

WebPagePeer::~WebPagePeer() {
    server_->stop();
    if (thread_.joinable()) thread_.join();
}

void WebPagePeer::addPage(const std::string& path, std::string html) {
    std::lock_guard<std::mutex> lock(mutex_);
    pages_[path] = std::move(html);
}

std::string WebPagePeer::url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
}

int WebPagePeer::requests(const std::string& path) const {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = counts_.find(path);
    return it == counts_.end() ? 0 : it->second;
}

}  // namespace peers
