#pragma once
// A small TCP peer for tests: listens on 127.0.0.1, accepts clients, collects what
// they send, and can stop reading (to fill the client's socket), send to clients,
// drop its clients, or stop listening and come back on the same port.

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace zidtest {

class LoopbackTcpServer {
public:
    /// Listens on the given port (0: any free port).
    explicit LoopbackTcpServer(std::uint16_t port = 0, int receiveBuffer = 0) : receiveBuffer_(receiveBuffer) {
        if (::pipe2(wake_, O_CLOEXEC | O_NONBLOCK) != 0) throw std::runtime_error("no pipe for the test server");
        listen(port);
        thread_ = std::thread([this] { serve(); });
    }
    ~LoopbackTcpServer() {
        quit_ = true;
        wake();
        thread_.join();
        std::lock_guard lock(mutex_);
        for (int fd : clients_) ::close(fd);
        if (listener_ >= 0) ::close(listener_);
        ::close(wake_[0]);
        ::close(wake_[1]);
    }

    std::uint16_t port() const { return port_; }

    /// Everything received so far, over all connections, in arrival order.
    std::string received() const {
        std::lock_guard lock(mutex_);
        return received_;
    }
    int connectionsAccepted() const { return accepted_.load(); }
    int clientsConnected() const {
        std::lock_guard lock(mutex_);
        return static_cast<int>(clients_.size());
    }

    /// Stops or resumes reading from clients (a paused peer lets the client's socket fill).
    void setReading(bool reading) {
        reading_ = reading;
        wake();
    }
    /// Sends bytes to every connected client.
    void sendToClients(const std::string& bytes) {
        std::lock_guard lock(mutex_);
        for (int fd : clients_) ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    }
    /// Closes every client connection but keeps listening.
    void dropClients() { runOnServer([this] { closeClients(); }); }
    /// Closes the clients and the listener: new connections are refused.
    void goAway() {
        runOnServer([this] {
            closeClients();
            if (listener_ >= 0) ::close(listener_);
            listener_ = -1;
        });
    }
    /// Listens again on the same port.
    void comeBack() { runOnServer([this] { listen(port_); }); }

    /// Waits (real time) until the predicate holds.
    bool waitFor(const std::function<bool()>& done, double seconds = 5) const {
        auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        while (std::chrono::steady_clock::now() < end) {
            if (done()) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return done();
    }

private:
    void listen(std::uint16_t port) {
        listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        int one = 1;
        ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        if (receiveBuffer_ > 0) ::setsockopt(listener_, SOL_SOCKET, SO_RCVBUF, &receiveBuffer_, sizeof receiveBuffer_);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(port);
        ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(listener_, 16);
        socklen_t length = sizeof address;
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
    }

    void closeClients() {
        std::lock_guard lock(mutex_);
        for (int fd : clients_) ::close(fd);
        clients_.clear();
    }

    void runOnServer(std::function<void()> work) {
        std::unique_lock lock(taskMutex_);
        task_ = std::move(work);
        wake();
        taskDone_.wait(lock, [this] { return !task_; });
    }

    void wake() {
        char c = 1;
        [[maybe_unused]] auto n = ::write(wake_[1], &c, 1);
    }

    void serve() {
        while (!quit_) {
            std::vector<pollfd> fds{{wake_[0], POLLIN, 0}};
            if (listener_ >= 0) fds.push_back({listener_, POLLIN, 0});
            std::vector<int> clients;
            {
                std::lock_guard lock(mutex_);
                clients = clients_;
            }
            for (int fd : clients) fds.push_back({fd, static_cast<short>(reading_ ? POLLIN : 0), 0});
            ::poll(fds.data(), fds.size(), 50);
            if (fds[0].revents) {
                char buf[64];
                while (::read(wake_[0], buf, sizeof buf) > 0) {
                }
            }
            {
                std::lock_guard lock(taskMutex_);
                if (task_) {
                    task_();
                    task_ = nullptr;
                    taskDone_.notify_all();
                    continue;
                }
            }
            std::size_t first = 1;
            if (listener_ >= 0) {
                first = 2;
                if (fds[1].revents & POLLIN) {
                    int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
                    if (fd >= 0) {
                        std::lock_guard lock(mutex_);
                        clients_.push_back(fd);
                        ++accepted_;
                    }
                }
            }
            for (std::size_t i = first; i < fds.size(); ++i) {
                if (!fds[i].revents || !reading_) continue;
                char buf[65536];
                ssize_t n = ::recv(fds[i].fd, buf, sizeof buf, 0);
                std::lock_guard lock(mutex_);
                if (n > 0) {
                    received_.append(buf, static_cast<std::size_t>(n));
                } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
                    std::erase(clients_, fds[i].fd);
                    ::close(fds[i].fd);
                }
            }
        }
    }

    int receiveBuffer_;
    int listener_ = -1;
    std::uint16_t port_ = 0;
    int wake_[2]{-1, -1};
    std::thread thread_;
    std::atomic<bool> quit_{false};
    std::atomic<bool> reading_{true};
    std::atomic<int> accepted_{0};
    mutable std::mutex mutex_;
    std::vector<int> clients_;
    std::string received_;
    std::mutex taskMutex_;
    std::condition_variable taskDone_;
    std::function<void()> task_;
};

}  // namespace zidtest
