#include "peers/MediaServerPeer.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/ssl.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/ssl.hpp>
#include <boost/beast/websocket.hpp>
#include <boost/beast/websocket/ssl.hpp>

#include <nlohmann/json.hpp>

// The client's own layer under the WebSocket library (platform/net/src): the server takes a
// client's 1014 as a close, as the client takes the server's, and tells the code each
// client answered its close with.
#include "CloseCodeFilter.h"

#include <algorithm>
#include <chrono>
#include <deque>
#include <future>
#include <map>
#include <mutex>
#include <set>
#include <stdexcept>
#include <thread>

namespace peers {

namespace {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
namespace websocket = beast::websocket;
namespace ssl = asio::ssl;
using tcp = asio::ip::tcp;
using error_code = boost::system::error_code;
using Json = nlohmann::ordered_json;

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return text;
}

void replaceAll(std::string& text, const std::string& from, const std::string& to) {
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
}

}  // namespace

struct SessionBase {
    virtual ~SessionBase() = default;
    virtual void write(std::string text) = 0;
    virtual void drop() = 0;
    virtual void closeWith(int code, const std::string& reason) = 0;
    std::size_t id = 0;
    bool open = false;
    std::set<std::int64_t> subchannels;
};

struct MediaServerPeer::Impl : std::enable_shared_from_this<MediaServerPeer::Impl> {
    explicit Impl(const TestCertificate* certificate) {
        if (certificate) {
            sslContext.emplace(ssl::context::tls_server);
            sslContext->use_certificate_chain(asio::buffer(certificate->certificatePem));
            sslContext->use_private_key(asio::buffer(certificate->privateKeyPem), ssl::context::pem);
        }
    }

    ~Impl() { stop(); }

    void start(std::uint16_t wanted) {
        tcp::endpoint endpoint(asio::ip::make_address("127.0.0.1"), wanted);
        acceptor.open(endpoint.protocol());
        acceptor.set_option(asio::socket_base::reuse_address(true));
        acceptor.bind(endpoint);
        acceptor.listen();
        port = acceptor.local_endpoint().port();
        started = std::chrono::steady_clock::now();
        accept();
        thread = std::thread([this] { ioc.run(); });
    }

    void stop() {
        if (!thread.joinable()) return;
        runSync([this] {
            error_code ec;
            acceptor.close(ec);
            for (auto& session : sessions) session->drop();
            sessions.clear();
        });
        work.reset();
        ioc.stop();
        thread.join();
    }

    /// Runs the block on the server's thread and waits for it.
    template <class F> auto runSync(F block) -> decltype(block()) {
        if (!thread.joinable() || thread.get_id() == std::this_thread::get_id()) return block();
        std::packaged_task<decltype(block())()> task(std::move(block));
        auto result = task.get_future();
        asio::post(ioc, [&task] { task(); });
        return result.get();
    }

    void accept();
    template <class Stream> void startSession(tcp::socket socket);

    void ended(SessionBase* session) {
        session->open = false;
        session->subchannels.clear();
        std::erase_if(sessions, [session](const auto& s) { return s.get() == session; });
    }

    void handleFrame(const std::shared_ptr<SessionBase>& session, const std::string& text);

    SessionBase* sessionHolding(std::int64_t subchannel) {
        for (auto& session : sessions)
            if (session->subchannels.count(subchannel)) return session.get();
        return nullptr;
    }

    std::optional<ssl::context> sslContext;
    asio::io_context ioc;
    asio::executor_work_guard<asio::io_context::executor_type> work = asio::make_work_guard(ioc);
    tcp::acceptor acceptor{ioc};
    std::thread thread;
    std::uint16_t port = 0;
    std::chrono::steady_clock::time_point started;

    // Server thread only.
    std::vector<std::shared_ptr<SessionBase>> sessions;
    std::int64_t nextSubchannel = 1;

    mutable std::mutex mutex;  // what other threads read or set
    std::vector<MediaServerFrame> frames;
    std::vector<MediaServerRule> rules;
    std::string refuseReason;
    bool answerSubscribes = true;
    bool refuseSockets = false;
    std::size_t accepted = 0;
    std::vector<int> closeAnswers;
    std::string lastTarget;
    std::map<std::string, std::string> lastHeaders;
};

namespace {

template <class Stream> class Session final : public SessionBase, public std::enable_shared_from_this<Session<Stream>> {
public:
    using Impl = MediaServerPeer::Impl;

    template <class... Args> Session(Impl& server, Args&&... args) : server_(server), ws_(std::forward<Args>(args)...) {}

    void run() {
        auto self = this->shared_from_this();
        if constexpr (kSecure) {
            ws_.next_layer().next_layer().async_handshake(ssl::stream_base::server, [self](const error_code& ec) {
                if (ec) return;  // an untrusting client ends here
                self->readRequest();
            });
        } else {
            readRequest();
        }
    }

    void write(std::string text) override {
        // Before the handshake ends the frame waits; after a drop or close it is gone.
        if (dropped_ || (!open && accepted_)) return;
        outbox_.push_back(std::move(text));
        if (open && outbox_.size() == 1) writeNext();
    }

    void drop() override {
        open = false;
        dropped_ = true;
        error_code ec;
        beast::get_lowest_layer(ws_).shutdown(tcp::socket::shutdown_both, ec);
        beast::get_lowest_layer(ws_).close(ec);
    }

    void closeWith(int code, const std::string& reason) override {
        if (!open && !accepted_ && !dropped_) {
            pendingClose_ = std::make_pair(code, reason);  // closed once the handshake ends
            return;
        }
        if (!open) return;
        open = false;
        auto self = this->shared_from_this();
        ws_.next_layer().closingWith(code);
        ws_.async_close(websocket::close_reason(static_cast<websocket::close_code>(code), beast::string_view(reason)),
                        [self](const error_code&) {
                            auto answer = self->ws_.next_layer().peersCloseCode();
                            if (!answer) return;  // the client ended without answering
                            std::lock_guard lock(self->server_.mutex);
                            self->server_.closeAnswers.push_back(*answer);
                        });
    }

private:
    static constexpr bool kSecure = !std::is_same_v<Stream, tcp::socket>;

    void readRequest() {
        auto self = this->shared_from_this();
        http::async_read(ws_.next_layer(), buffer_, request_, [self](const error_code& ec, std::size_t) {
            if (ec) return;
            self->upgrade();
        });
    }

    void upgrade() {
        bool refuse;
        {
            std::lock_guard lock(server_.mutex);
            server_.lastTarget = std::string(request_.target());
            server_.lastHeaders.clear();
            for (const auto& field : request_)
                server_.lastHeaders[lower(std::string(field.name_string()))] = std::string(field.value());
            refuse = server_.refuseSockets;
        }
        auto self = this->shared_from_this();
        if (refuse || !websocket::is_upgrade(request_)) {
            auto response = std::make_shared<http::response<http::string_body>>(http::status::forbidden, request_.version());
            response->set(http::field::content_type, "text/plain");
            response->body() = "refused";
            response->prepare_payload();
            http::async_write(ws_.next_layer(), *response, [self, response](const error_code&, std::size_t) { self->drop(); });
            return;
        }
        // Listed before the handshake ends: the client may see the upgrade (and a test
        // drop the connection) before this side's completion runs.
        server_.sessions.push_back(self);
        ws_.async_accept(request_, [self](const error_code& ec) {
            if (ec) {
                self->server_.ended(self.get());
                return;
            }
            self->accepted_ = true;
            if (self->dropped_) return;
            self->open = true;
            if (self->pendingClose_) {
                self->outbox_.clear();
                self->closeWith(self->pendingClose_->first, self->pendingClose_->second);
                return;
            }
            if (!self->outbox_.empty()) self->writeNext();
            self->read();
        });
    }

    void read() {
        auto self = this->shared_from_this();
        ws_.async_read(buffer_, [self](const error_code& ec, std::size_t) {
            if (ec) {
                self->server_.ended(self.get());
                return;
            }
            std::string text = beast::buffers_to_string(self->buffer_.data());
            self->buffer_.consume(self->buffer_.size());
            self->server_.handleFrame(self, text);
            self->read();
        });
    }

    void writeNext() {
        auto self = this->shared_from_this();
        ws_.text(true);
        ws_.async_write(asio::buffer(outbox_.front()), [self](const error_code& ec, std::size_t) {
            self->outbox_.pop_front();
            if (ec) {
                self->outbox_.clear();
                return;
            }
            if (!self->outbox_.empty()) self->writeNext();
        });
    }

    Impl& server_;
    websocket::stream<net::CloseCodeFilter<Stream>> ws_;
    beast::flat_buffer buffer_;
    http::request<http::string_body> request_;
    std::deque<std::string> outbox_;
    bool dropped_ = false;
    bool accepted_ = false;
    std::optional<std::pair<int, std::string>> pendingClose_;
};

}  // namespace

void MediaServerPeer::Impl::accept() {
    acceptor.async_accept([this](const error_code& ec, tcp::socket socket) {
        if (ec) return;  // closed
        // A reply and the message after it go out at once, not after the client's
        // delayed acknowledgement of the first.
        error_code ignored;
        socket.set_option(tcp::no_delay(true), ignored);
        if (sslContext) {
            startSession<beast::ssl_stream<tcp::socket>>(std::move(socket));
        } else {
            startSession<tcp::socket>(std::move(socket));
        }
        accept();
    });
}

template <class Stream> void MediaServerPeer::Impl::startSession(tcp::socket socket) {
    std::shared_ptr<Session<Stream>> session;
    if constexpr (std::is_same_v<Stream, tcp::socket>) {
        session = std::make_shared<Session<Stream>>(*this, std::move(socket));
    } else {
        session = std::make_shared<Session<Stream>>(*this, std::move(socket), *sslContext);
    }
    {
        std::lock_guard lock(mutex);
        session->id = ++accepted;
    }
    session->run();
}

void MediaServerPeer::Impl::handleFrame(const std::shared_ptr<SessionBase>& session, const std::string& text) {
    double time = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::optional<MediaServerRule> rule;
    Json frame = Json::parse(text, nullptr, false);
    std::string cmd, messageCmd, media;
    Json args0 = Json::object();
    if (frame.is_object()) {
        if (frame.contains("cmd") && frame["cmd"].is_string()) cmd = frame["cmd"].get<std::string>();
        if (frame.contains("args") && frame["args"].is_array() && !frame["args"].empty() && frame["args"][0].is_object())
            args0 = frame["args"][0];
        if (args0.contains("messageData") && args0["messageData"].is_object() && args0["messageData"].contains("cmd") &&
            args0["messageData"]["cmd"].is_string())
            messageCmd = args0["messageData"]["cmd"].get<std::string>();
        if (args0.contains("parameters") && args0["parameters"].is_object() &&
            args0["parameters"].contains("media") && args0["parameters"]["media"].is_string())
            media = args0["parameters"]["media"].get<std::string>();
    }
    bool answerSubscribes_, answer = true;
    std::string refusal;
    {
        std::lock_guard lock(mutex);
        frames.push_back(MediaServerFrame{time, session->id, text});
        for (auto it = rules.begin(); it != rules.end(); ++it) {
            if (it->cmd != cmd || (!it->messageCmd.empty() && it->messageCmd != messageCmd) ||
                (!it->media.empty() && it->media != media))
                continue;
            rule = *it;
            if (it->once) rules.erase(it);
            break;
        }
        answerSubscribes_ = answerSubscribes;
        refusal = refuseReason;
    }
    if (rule && !rule->alsoDefault) answer = false;

    Json requestId = args0.contains("requestId") ? args0["requestId"] : Json();
    Json subchannel = args0.contains("subchannelId") ? args0["subchannelId"] : Json();
    if (answer && cmd == "subscribe" && answerSubscribes_) {
        Json reply = {{"cmd", "subscribe"}, {"args", Json::array()}};
        Json body = {{"requestId", requestId}};
        if (refusal.empty()) {
            std::int64_t id = nextSubchannel++;
            session->subchannels.insert(id);
            subchannel = id;
            body["success"] = true;
            body["data"] = {{"subchannelId", id}};
        } else {
            body["success"] = false;
            body["data"] = {{"reason", refusal}};
        }
        reply["args"].push_back(body);
        session->write(reply.dump());
    } else if (answer && cmd == "unsubscribe") {
        Json body = {{"requestId", requestId}};
        if (subchannel.is_number_integer() && session->subchannels.erase(subchannel.get<std::int64_t>())) {
            body["success"] = true;
        } else {
            body["success"] = false;
            body["data"] = {{"errorCode", "ERR_INVALID_ID"}, {"reason", "Invalid subchannel id"}};
        }
        Json reply = {{"cmd", "unsubscribe"}, {"args", Json::array({body})}};
        session->write(reply.dump());
    }
    if (!rule) return;
    for (auto [after, out] : rule->send) {
        replaceAll(out, "\"$requestId\"", requestId.dump());
        replaceAll(out, "$requestId", requestId.dump());
        replaceAll(out, "\"$subchannelId\"", subchannel.dump());
        replaceAll(out, "$subchannelId", subchannel.dump());
        if (after <= 0) {
            session->write(out);
            continue;
        }
        auto timer = std::make_shared<asio::steady_timer>(ioc, std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                                                     std::chrono::duration<double>(after)));
        std::weak_ptr<SessionBase> weak = session;
        timer->async_wait([timer, weak, out = out](const error_code& ec) {
            if (ec) return;
            if (auto s = weak.lock()) s->write(out);
        });
    }
}

const TestCertificate& sharedMediaServerCertificate() {
    static const auto* certificate = [] {
        TestCertificateAuthority::ServerCertificateOptions options;
        options.subjectAltNames += std::string(",DNS:*.") + kMediaServerTestDomain;
        return new TestCertificate(sharedTestAuthority().issueServerCertificate(options));
    }();
    return *certificate;
}

MediaServerPeer::MediaServerPeer(const TestCertificate& certificate) : impl_(std::make_shared<Impl>(&certificate)) {}
MediaServerPeer::MediaServerPeer() : impl_(std::make_shared<Impl>(nullptr)) {}
MediaServerPeer::~MediaServerPeer() { impl_->stop(); }

void MediaServerPeer::start(std::uint16_t port) { impl_->start(port); }
void MediaServerPeer::stop() { impl_->stop(); }
std::uint16_t MediaServerPeer::port() const { return impl_->port; }
bool MediaServerPeer::isSecure() const { return impl_->sslContext.has_value(); }

void MediaServerPeer::refuseSubscribes(const std::string& reason) {
    std::lock_guard lock(impl_->mutex);
    impl_->refuseReason = reason.empty() ? "refused" : reason;
}
void MediaServerPeer::setAnswerSubscribes(bool answer) {
    std::lock_guard lock(impl_->mutex);
    impl_->answerSubscribes = answer;
}
void MediaServerPeer::setRefuseSockets(bool refuse) {
    std::lock_guard lock(impl_->mutex);
    impl_->refuseSockets = refuse;
}
void MediaServerPeer::addRule(MediaServerRule rule) {
    std::lock_guard lock(impl_->mutex);
    impl_->rules.push_back(std::move(rule));
}

void MediaServerPeer::loadScript(const std::string& text) {
    Json script = Json::parse(text, nullptr, false);
    if (!script.is_array()) throw std::invalid_argument("media-server script: not a JSON array");
    std::vector<MediaServerRule> rules;
    for (const auto& entry : script) {
        if (!entry.is_object() || !entry.contains("when") || !entry["when"].is_object())
            throw std::invalid_argument("media-server script: every rule needs a \"when\" object");
        MediaServerRule rule;
        rule.cmd = entry["when"].value("cmd", "");
        rule.messageCmd = entry["when"].value("messageCmd", "");
        rule.media = entry["when"].value("media", "");
        rule.alsoDefault = entry.value("alsoDefault", false);
        rule.once = entry.value("once", false);
        if (entry.contains("send")) {
            if (!entry["send"].is_array()) throw std::invalid_argument("media-server script: \"send\" must be an array");
            for (const auto& out : entry["send"]) {
                if (!out.is_object() || !out.contains("frame"))
                    throw std::invalid_argument("media-server script: every sent item needs a \"frame\"");
                double after = out.contains("after") && out["after"].is_number() ? out["after"].get<double>() : 0;
                const Json& frame = out["frame"];
                rule.send.emplace_back(after, frame.is_string() ? frame.get<std::string>() : frame.dump());
            }
        }
        rules.push_back(std::move(rule));
    }
    std::lock_guard lock(impl_->mutex);
    for (auto& rule : rules) impl_->rules.push_back(std::move(rule));
}

void MediaServerPeer::clearRules() {
    std::lock_guard lock(impl_->mutex);
    impl_->rules.clear();
}

bool MediaServerPeer::pushMessage(std::int64_t subchannel, const std::string& messageDataJson) {
    return impl_->runSync([&] {
        SessionBase* session = impl_->sessionHolding(subchannel);
        if (!session) return false;
        session->write("{\"cmd\":\"subscribeMessage\",\"args\":[{\"subchannelId\":" + std::to_string(subchannel) +
                       ",\"messageData\":" + messageDataJson + "}]}");
        return true;
    });
}

bool MediaServerPeer::pushModuleInfo(std::int64_t subchannel, const std::string& modulesJson) {
    return pushMessage(subchannel, "{\"cmd\":\"moduleInfo\",\"args\":[" + modulesJson + "]}");
}

bool MediaServerPeer::pushReject(std::int64_t subchannel, const std::string& reasonsJson) {
    return pushMessage(subchannel, "{\"cmd\":\"reject\",\"args\":[" + reasonsJson + "]}");
}

bool MediaServerPeer::endSubchannel(std::int64_t subchannel) {
    return impl_->runSync([&] {
        SessionBase* session = impl_->sessionHolding(subchannel);
        if (!session) return false;
        session->subchannels.erase(subchannel);
        session->write("{\"cmd\":\"unsubscribe\",\"args\":[{\"data\":{\"subchannelId\":" + std::to_string(subchannel) +
                       "}}]}");
        return true;
    });
}

bool MediaServerPeer::sendRaw(const std::string& text) {
    return impl_->runSync([&] {
        for (auto& session : impl_->sessions) session->write(text);
        return !impl_->sessions.empty();
    });
}

void MediaServerPeer::dropConnections() {
    impl_->runSync([&] {
        auto sessions = impl_->sessions;
        for (auto& session : sessions) {
            session->drop();
            impl_->ended(session.get());
        }
    });
}

void MediaServerPeer::closeConnections(int code, const std::string& reason) {
    impl_->runSync([&] {
        auto sessions = impl_->sessions;
        for (auto& session : sessions) {
            session->closeWith(code, reason);
            impl_->ended(session.get());
        }
    });
}

std::vector<int> MediaServerPeer::closeAnswers() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->closeAnswers;
}

std::vector<MediaServerFrame> MediaServerPeer::frames() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->frames;
}

std::vector<MediaServerFrame> MediaServerPeer::frames(const std::string& cmd) const {
    std::vector<MediaServerFrame> matching;
    for (auto& frame : frames()) {
        Json parsed = Json::parse(frame.text, nullptr, false);
        if (parsed.is_object() && parsed.contains("cmd") && parsed["cmd"] == cmd) matching.push_back(frame);
    }
    return matching;
}

void MediaServerPeer::clearFrames() {
    std::lock_guard lock(impl_->mutex);
    impl_->frames.clear();
}

std::size_t MediaServerPeer::acceptedConnections() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->accepted;
}

std::size_t MediaServerPeer::openConnections() const {
    return impl_->runSync([&] {
        return static_cast<std::size_t>(
            std::count_if(impl_->sessions.begin(), impl_->sessions.end(), [](const auto& s) { return s->open; }));
    });
}

std::vector<std::int64_t> MediaServerPeer::subchannels() const {
    return impl_->runSync([&] {
        std::vector<std::int64_t> ids;
        for (auto& session : impl_->sessions) ids.insert(ids.end(), session->subchannels.begin(), session->subchannels.end());
        std::sort(ids.begin(), ids.end());
        return ids;
    });
}

std::string MediaServerPeer::lastTarget() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->lastTarget;
}

std::optional<std::string> MediaServerPeer::lastHeader(const std::string& name) const {
    std::lock_guard lock(impl_->mutex);
    auto it = impl_->lastHeaders.find(lower(name));
    if (it == impl_->lastHeaders.end()) return std::nullopt;
    return it->second;
}

}  // namespace peers
