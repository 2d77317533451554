#pragma once
// A tiny HTTP origin on 127.0.0.1 (a free port) that answers each GET of its stream
// path with the next scripted status and body; the last answer repeats. An answer may
// come after a delay, or hang until the origin releases it (or stops).
#include <arpa/inet.h>
#include <httplib.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <peers/ClosedPort.h>

namespace zidtest {

class ScriptedOrigin {
public:
    /// An answer's delay that lasts until release() or the origin's end.
    static constexpr int kUntilReleased = -1;
    struct Answer {
        int status;
        std::string body;
        int delayMs = 0;  // or kUntilReleased
    };

    explicit ScriptedOrigin(std::vector<Answer> script) : script_(std::move(script)) {
        server_.Get("/live/playlist.m3u8", [this](const httplib::Request&, httplib::Response& res) {
            Answer answer;
            {
                std::lock_guard lock(mutex_);
                std::size_t i = std::min(served_, script_.size() - 1);
                answer = script_[i];
                ++served_;
            }
            if (answer.delayMs == kUntilReleased) {
                std::unique_lock lock(mutex_);
                released_.wait(lock, [this] { return release_; });
            } else if (answer.delayMs) {
                std::this_thread::sleep_for(std::chrono::milliseconds(answer.delayMs));
            }
            res.status = answer.status;
            if (!answer.body.empty()) res.set_content(answer.body, "application/vnd.apple.mpegurl");
        });
        // Each answer closes its connection: a client that keeps connections alive would
        // otherwise hold the server's stop for its keep-alive time-out.
        server_.set_keep_alive_max_count(1);
        port_ = server_.bind_to_any_port("127.0.0.1");
        thread_ = std::thread([this] { server_.listen_after_bind(); });
        while (!server_.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ~ScriptedOrigin() {
        release();
        server_.stop();
        if (thread_.joinable()) thread_.join();
    }
    std::string url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/live/playlist.m3u8"; }
    std::size_t served() {
        std::lock_guard lock(mutex_);
        return served_;
    }
    /// Lets every answer held until released go, now and from now on.
    void release() {
        {
            std::lock_guard lock(mutex_);
            release_ = true;
        }
        released_.notify_all();
    }

    /// A URL on a port nothing listens on (held closed for the process's life).
    static std::string refusedURL() { return peers::ClosedPort::shared().url("/live/playlist.m3u8"); }

private:
    httplib::Server server_;
    std::thread thread_;
    int port_ = 0;
    std::mutex mutex_;
    std::vector<Answer> script_;
    std::size_t served_ = 0;
    std::condition_variable released_;
    bool release_ = false;  // under mutex_
};

}  // namespace zidtest
