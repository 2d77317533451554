#include "peers/LoopbackHttpsServer.h"

#include "HttpServers.h"

#include <chrono>
#include <stdexcept>

namespace peers {

LoopbackHttpsServer::LoopbackHttpsServer(const TestCertificate& certificate) {
    server_ = makeTlsServer(certificate, "loopback server");
    server_->set_keep_alive_max_count(1);  // one request per connection: stopping never waits for idle ones
    server_->set_tcp_nodelay(true);  // no reply waits for the client's delayed acknowledgement
}

LoopbackHttpsServer::~LoopbackHttpsServer() { stop(); }

void LoopbackHttpsServer::start() {
    port_ = server_->bind_to_any_port("127.0.0.1");
    if (port_ <= 0) throw std::runtime_error("loopback server: cannot bind 127.0.0.1");
    thread_ = std::thread([this] { server_->listen_after_bind(); });
    for (int i = 0; i < 500 && !server_->is_running(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(2));
}

void LoopbackHttpsServer::stop() {
    if (thread_.joinable()) {
        server_->stop();
        thread_.join();
    }
}

std::string LoopbackHttpsServer::baseURL() const { return "https://" + hostAndPort(); }

std::string LoopbackHttpsServer::hostAndPort() const { return "127.0.0.1:" + std::to_string(port_); }

}  // namespace peers
