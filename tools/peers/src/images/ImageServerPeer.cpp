#include "peers/ImageServerPeer.h"

#include <algorithm>
#include <chrono>
#include <stdexcept>

#include "peers/TestCertificates.h"

namespace peers {

ImageServerPeer::ImageServerPeer() : server_(std::make_unique<LoopbackHttpsServer>(sharedServerCertificate())) {
    route();
    server_->http().new_task_queue = [] { return new httplib::ThreadPool(12); };
    server_->start();
}

ImageServerPeer::~ImageServerPeer() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    server_->stop();
}

void ImageServerPeer::route() {
    server_->http().Get(kMissingPath, [this](const httplib::Request& req, httplib::Response& res) {
        count(req.path);
        res.status = 404;
        res.set_content("<html>not found</html>", "text/html");
    });
    server_->http().Get(kNotAnImagePath, [this](const httplib::Request& req, httplib::Response& res) {
        count(req.path);
        res.set_content("this body is text, not a picture", "image/png");
    });
    server_->http().Get(kOversizedPath, [this](const httplib::Request& req, httplib::Response& res) {
        count(req.path);
        std::size_t total;
        {
            std::lock_guard lock(mutex_);
            total = oversized_;
        }
        // A PNG signature, then filler, streamed in chunks with its full length announced.
        res.set_content_provider(total, "image/png",
                                 [total](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
                                     static const std::string chunk = [] {
                                         std::string c(64 * 1024, '\0');
                                         const char signature[] = "\x89PNG\r\n\x1a\n";
                                         std::copy(signature, signature + 8, c.begin());
                                         return c;
                                     }();
                                     std::size_t n = std::min({length, chunk.size(), total - offset});
                                     return sink.write(chunk.data(), n);
                                 });
    });
    server_->http().Get(kHeldPath, [this](const httplib::Request& req, httplib::Response& res) {
        count(req.path);
        std::unique_lock lock(mutex_);
        ++held_;
        changed_.notify_all();
        changed_.wait_for(lock, std::chrono::seconds(30), [this] { return releases_ > 0 || stopping_; });
        if (releases_ > 0) --releases_;
        --held_;
        changed_.notify_all();
        res.set_content(heldImage_, "image/png");
    });
    server_->http().Get(R"(/.*)", [this](const httplib::Request& req, httplib::Response& res) {
        count(req.path);
        std::lock_guard lock(mutex_);
        auto it = images_.find(req.path);
        if (it == images_.end()) {
            res.status = 404;
            res.set_content("<html>not found</html>", "text/html");
            return;
        }
        res.set_content(it->second, "image/png");
    });
}

void ImageServerPeer::addImage(const std::string& path, std::string bytes) {
    std::lock_guard lock(mutex_);
    images_[path] = std::move(bytes);
}

void ImageServerPeer::setOversizedBytes(std::size_t bytes) {
    std::lock_guard lock(mutex_);
    oversized_ = bytes;
}

void ImageServerPeer::setHeldImage(std::string bytes) {
    std::lock_guard lock(mutex_);
    heldImage_ = std::move(bytes);
}

std::string ImageServerPeer::url(const std::string& path) const { return server_->baseURL() + path; }

int ImageServerPeer::port() const { return server_->port(); }

const std::string& ImageServerPeer::trustAnchorPem() { return sharedTestAuthority().certificatePem(); }

void ImageServerPeer::count(const std::string& path) {
    std::lock_guard lock(mutex_);
    ++counts_[path];
    ++total_;
    changed_.notify_all();
}

int ImageServerPeer::requests(const std::string& path) const {
    std::lock_guard lock(mutex_);
    auto it = counts_.find(path);
    return it == counts_.end() ? 0 : it->second;
}

int ImageServerPeer::requests() const {
    std::lock_guard lock(mutex_);
    return total_;
}

void ImageServerPeer::release(int n) {
    {
        std::lock_guard lock(mutex_);
        releases_ += n;
    }
    changed_.notify_all();
}

int ImageServerPeer::held() const {
    std::lock_guard lock(mutex_);
    return held_;
}

bool ImageServerPeer::waitForHeld(int n, double seconds) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::duration<double>(seconds), [&] { return held_ >= n; });
}

bool ImageServerPeer::waitForRequests(int n, double seconds) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::duration<double>(seconds), [&] { return total_ >= n; });
}

}  // namespace peers
