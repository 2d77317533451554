#pragma once
// A small HTTP origin on 127.0.0.1 (a free port) for image loads: a PNG, a missing
// path, a text body, and a slow path whose answers wait until the test releases them.

#include <httplib.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

namespace zidtest {

class ImageOrigin {
public:
    explicit ImageOrigin(std::string png) : png_(std::move(png)) {
        server_.Get("/image.png", [this](const httplib::Request&, httplib::Response& res) {
            count();
            res.set_content(png_, "image/png");
        });
        server_.Get("/body", [this](const httplib::Request&, httplib::Response& res) {
            count();
            std::lock_guard lock(mutex_);
            res.set_content(body_, "application/octet-stream");
        });
        server_.Get("/text", [this](const httplib::Request&, httplib::Response& res) {
            count();
            res.set_content("this is not an image", "text/plain");
        });
        server_.Get("/slow", [this](const httplib::Request&, httplib::Response& res) {
            count();
            std::unique_lock lock(mutex_);
            ++waiting_;
            changed_.notify_all();
            changed_.wait_for(lock, std::chrono::seconds(20), [this] { return releases_ > 0 || stopping_; });
            if (releases_ > 0) --releases_;
            --waiting_;
            changed_.notify_all();
            res.set_content(png_, "image/png");
        });
        server_.Get(R"(/missing.*)", [this](const httplib::Request&, httplib::Response& res) {
            count();
            res.status = 404;
            res.set_content("<html>not found</html>", "text/html");
        });
        server_.new_task_queue = [] { return new httplib::ThreadPool(12); };
        // One request per connection, so stopping never waits for idle keep-alive reads.
        server_.set_keep_alive_max_count(1);
        port_ = server_.bind_to_any_port("127.0.0.1");
        thread_ = std::thread([this] { server_.listen_after_bind(); });
        while (!server_.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ~ImageOrigin() {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        changed_.notify_all();
        server_.stop();
        if (thread_.joinable()) thread_.join();
    }

    /// What "/body" answers.
    void setBody(std::string body) {
        std::lock_guard lock(mutex_);
        body_ = std::move(body);
    }
    std::string url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(port_) + path; }
    int requests() {
        std::lock_guard lock(mutex_);
        return requests_;
    }
    int waiting() {
        std::lock_guard lock(mutex_);
        return waiting_;
    }
    /// Lets n waiting (or future) slow answers go.
    void release(int n = 1) {
        {
            std::lock_guard lock(mutex_);
            releases_ += n;
        }
        changed_.notify_all();
    }
    /// Waits (in real time) until n slow answers are waiting.
    bool waitForWaiting(int n, std::chrono::milliseconds limit = std::chrono::seconds(5)) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, limit, [&] { return waiting_ >= n; });
    }

private:
    void count() {
        std::lock_guard lock(mutex_);
        ++requests_;
    }

    httplib::Server server_;
    std::thread thread_;
    int port_ = 0;
    std::string png_;
    std::string body_;
    std::mutex mutex_;
    std::condition_variable changed_;
    int requests_ = 0;
    int waiting_ = 0;
    int releases_ = 0;
    bool stopping_ = false;
};

}  // namespace zidtest
