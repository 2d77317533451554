#pragma once
// A loopback stand-in for the service's JSON web gateway, over HTTPS on 127.0.0.1.
//
// It answers every request under /json.php/<method>[/<parameters>] with a scripted
// envelope and status, and records each request: verb, raw path, the method, the
// decoded JSON text of a GET's last component, content type, body and the parts of a
// multipart body in their order. Answers can be held back to observe how many
// requests a client runs at once.

#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "peers/LoopbackHttpsServer.h"
#include "peers/TestCertificates.h"

namespace peers {

struct GatewayPart {
    std::string name;
    std::string fileName;  // empty for a plain field
    std::string contentType;
    std::string body;
};

struct GatewayRequest {
    std::string verb;
    std::string target;          // as sent: percent-encoded path (and query, if any)
    std::string host;            // the Host header
    std::string gatewayMethod;   // the path component after /json.php/
    std::string parametersJSON;  // a GET's last component, percent escapes removed
    bool hasParametersComponent = false;
    std::string contentType;
    std::string body;  // empty for a multipart body, which is recorded as its parts
    std::vector<GatewayPart> parts;
};

struct GatewayAnswer {
    int status = 200;
    std::string contentType = "application/json";
    std::string body = R"({"success":true})";
};

class GatewayPeer {
public:
    explicit GatewayPeer(const TestCertificate& certificate);
    ~GatewayPeer();
    GatewayPeer(const GatewayPeer&) = delete;
    GatewayPeer& operator=(const GatewayPeer&) = delete;

    void start();
    void stop();
    /// "127.0.0.1:<port>"
    std::string hostAndPort() const { return server_.hostAndPort(); }

    /// Queues an answer for a method (by its full name as sent); the last answer queued
    /// for a method keeps answering it.
    void answer(const std::string& gatewayMethod, GatewayAnswer answer);
    /// The answer for methods without one of their own ({"success":true} at first).
    void setDefaultAnswer(GatewayAnswer answer);

    std::vector<GatewayRequest> requests() const;
    /// Waits (real time) until at least count requests arrived.
    bool waitForRequests(std::size_t count, std::chrono::milliseconds timeout) const;

    /// While held, requests wait before they are answered.
    void holdAnswers();
    void releaseAnswers();
    int inFlight() const;
    int maxInFlight() const;

private:
    void handle(const std::string& verb, const std::string& body, std::vector<GatewayPart> parts, const void* request,
                void* response);

    LoopbackHttpsServer server_;
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::map<std::string, std::deque<GatewayAnswer>> answers_;
    GatewayAnswer defaultAnswer_;
    std::vector<GatewayRequest> requests_;
    bool held_ = false;
    bool stopping_ = false;
    int inFlight_ = 0;
    int maxInFlight_ = 0;
};

}  // namespace peers
