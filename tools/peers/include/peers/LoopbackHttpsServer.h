#pragma once
// An HTTPS server on 127.0.0.1 (a free port) with a given certificate, serving on its
// own thread. Register handlers on http() before start().

#include <memory>
#include <string>
#include <thread>

#include <httplib.h>

#include "peers/TestCertificates.h"

namespace peers {

class LoopbackHttpsServer {
public:
    explicit LoopbackHttpsServer(const TestCertificate& certificate);
    ~LoopbackHttpsServer();
    LoopbackHttpsServer(const LoopbackHttpsServer&) = delete;
    LoopbackHttpsServer& operator=(const LoopbackHttpsServer&) = delete;

    httplib::Server& http() { return *server_; }
    /// Binds and starts serving; throws when the server cannot start.
    void start();
    void stop();
    int port() const { return port_; }
    /// "https://127.0.0.1:<port>"
    std::string baseURL() const;
    /// "127.0.0.1:<port>"
    std::string hostAndPort() const;

private:
    std::unique_ptr<httplib::SSLServer> server_;
    std::thread thread_;
    int port_ = 0;
};

}  // namespace peers
