// The Beast side of the WebSocket client: one thread and one io_context per socket.
// Everything here runs on that thread except start(), the destructor and the posts of
// the public calls.

#include "WebSocketIo.h"

#include "CloseCodeFilter.h"

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <boost/asio/connect.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/ssl.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/ssl.hpp>
#include <boost/beast/websocket.hpp>
#include <boost/beast/websocket/ssl.hpp>

#include <atomic>
#include <deque>
#include <optional>
#include <thread>

#include <fnd/UTF16.h>

namespace net {

namespace {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace websocket = beast::websocket;
namespace ssl = asio::ssl;
using tcp = asio::ip::tcp;
using error_code = boost::system::error_code;

bool isAddress(const std::string& host) {
    error_code ec;
    asio::ip::make_address(host, ec);
    return !ec;
}

std::string describe(const error_code& ec) { return ec.message(); }

/// Why an opening handshake failed. The library keeps a placeholder status (500) in the
/// response until one is read, so a status is told only for an answer that was read and
/// refused (the library's handshake errors); a connection that ended before an answer is
/// told as such.
std::string handshakeFailure(const error_code& ec, unsigned status) {
    namespace http = beast::http;
    if (ec == http::error::end_of_stream || ec == http::error::partial_message || ec == asio::error::eof ||
        ec == asio::error::connection_reset || ec == ssl::error::stream_truncated)
        return "The server closed the connection without answering the WebSocket upgrade";
    std::string text = "The server did not accept the WebSocket upgrade: " + describe(ec);
    if (&ec.category() == &websocket::make_error_code(websocket::error::upgrade_declined).category())
        text += " (HTTP " + std::to_string(status) + ")";
    return text;
}

class IoBase : public WebSocket::Io {
public:
    IoBase(const WebSocketURL& url, const WebSocketOptions& options, Sink sink)
        : url_(url), options_(options), sink_(std::move(sink)), work_(asio::make_work_guard(ioc_)), resolver_(ioc_) {}

    void run() {
        thread_ = std::thread([this] { ioc_.run(); });
    }

    // Derived classes stop the thread in their own destructor, while their stream
    // still exists.
    void stopThread() {
        work_.reset();
        ioc_.stop();
        if (thread_.joinable()) thread_.join();
    }

protected:
    void fail(WebSocketError code, const std::string& text) { fail(webSocketError(code, text)); }
    void fail(rt::Ref<rt::Error> error) {
        if (reported_) return;
        reported_ = true;
        sink_.failed(std::move(error));
    }
    void closed(int code, const std::string& reason, bool clean) {
        if (reported_) return;
        reported_ = true;
        sink_.closed(code, reason, clean);
    }

    WebSocketURL url_;
    WebSocketOptions options_;
    Sink sink_;
    asio::io_context ioc_;
    asio::executor_work_guard<asio::io_context::executor_type> work_;
    tcp::resolver resolver_;
    std::thread thread_;
    bool reported_ = false;
};

template <class NextLayer> class IoSession final : public IoBase {
public:
    using Stream = websocket::stream<CloseCodeFilter<NextLayer>>;

    IoSession(const WebSocketURL& url, const WebSocketOptions& options, Sink sink) : IoBase(url, options, std::move(sink)) {
        if constexpr (kSecure) {
            sslContext_.emplace(ssl::context::tls_client);
            sslContext_->set_options(ssl::context::default_workarounds | ssl::context::no_sslv2 |
                                     ssl::context::no_sslv3 | ssl::context::no_tlsv1 | ssl::context::no_tlsv1_1);
            sslContext_->set_verify_mode(ssl::verify_peer);
            error_code ec;
            sslContext_->set_default_verify_paths(ec);
            if (!options_.extraTrustAnchorsPem.empty())
                sslContext_->add_certificate_authority(asio::buffer(options_.extraTrustAnchorsPem), ec);
            stream_.emplace(ioc_, *sslContext_);
        } else {
            stream_.emplace(ioc_);
        }
    }

    ~IoSession() override {
        stopThread();
        stream_.reset();
    }

    void begin() {
        asio::post(ioc_, [this] { resolve(); });
        run();
    }

    void send(WebSocketMessage message) override {
        buffered_ += message.payload.size();
        asio::post(ioc_, [this, message = std::move(message)]() mutable {
            outbox_.push_back(std::move(message));
            writeNext();
        });
    }

    void close(int code, std::string reason) override {
        asio::post(ioc_, [this, code, reason = std::move(reason)] {
            if (!open_ || closing_) return;
            closing_ = true;
            stream_->next_layer().closingWith(code);
            stream_->async_close(websocket::close_reason(static_cast<websocket::close_code>(code), beast::string_view(reason)),
                                 [this](const error_code& ec) {
                                     if (ec == websocket::condition::protocol_violation)
                                         return fail(WebSocketError::ProtocolError,
                                                     "The peer broke the WebSocket protocol: " + describe(ec));
                                     if (ec) return fail(WebSocketError::ConnectionLost, "Closing failed: " + describe(ec));
                                     // The read loop sees the peer's close frame; report from here
                                     // too in case it has already ended.
                                     reportClose();
                                 });
        });
    }

    std::size_t bufferedBytes() const override { return buffered_.load(); }

    void taken(std::size_t bytes) override {
        std::size_t left = undelivered_.fetch_sub(bytes) - bytes;
        if (readPaused_.load() && left <= options_.maxBufferedInput) asio::post(ioc_, [this] { resumeReading(); });
    }

    void ping() override {
        asio::post(ioc_, [this] {
            if (!open_ || closing_ || pinging_) return;
            pinging_ = true;
            stream_->async_ping({}, [this](const error_code&) { pinging_ = false; });
        });
    }

    void abort() override {
        asio::post(ioc_, [this] {
            reported_ = true;
            resolver_.cancel();
            error_code ec;
            beast::get_lowest_layer(*stream_).close(ec);
        });
    }

private:
    static constexpr bool kSecure = !std::is_same_v<NextLayer, tcp::socket>;

    std::uint16_t connectPort() const { return options_.portOverride != 0 ? options_.portOverride : url_.port; }

    void resolve() {
        if (!options_.resolveHostTo.empty()) {
            error_code ec;
            auto address = asio::ip::make_address(options_.resolveHostTo, ec);
            if (ec) return fail(WebSocketError::CannotFindHost, "Not an address: " + options_.resolveHostTo);
            std::vector<tcp::endpoint> endpoints{tcp::endpoint(address, connectPort())};
            connect(endpoints);
            return;
        }
        resolver_.async_resolve(url_.host, std::to_string(connectPort()),
                                [this](const error_code& ec, tcp::resolver::results_type results) {
                                    if (ec || results.empty())
                                        return fail(WebSocketError::CannotFindHost,
                                                    "Cannot find host " + url_.host + ": " + describe(ec));
                                    std::vector<tcp::endpoint> endpoints;
                                    for (const auto& entry : results) endpoints.push_back(entry.endpoint());
                                    connect(endpoints);
                                });
    }

    void connect(const std::vector<tcp::endpoint>& endpoints) {
        asio::async_connect(beast::get_lowest_layer(*stream_), endpoints, [this](const error_code& ec, const tcp::endpoint&) {
            if (ec) return fail(WebSocketError::CannotConnect, "Cannot connect to " + url_.host + ": " + describe(ec));
            // The messages are small and each waits for an answer: a delayed
            // acknowledgement must not hold one back.
            error_code ignored;
            beast::get_lowest_layer(*stream_).set_option(tcp::no_delay(true), ignored);
            if constexpr (kSecure) {
                tlsHandshake();
            } else {
                upgrade();
            }
        });
    }

    NextLayer& tlsStream() { return stream_->next_layer().next_layer(); }

    void tlsHandshake() {
        if constexpr (kSecure) {
            SSL* handle = tlsStream().native_handle();
            X509_VERIFY_PARAM* param = SSL_get0_param(handle);
            X509_VERIFY_PARAM_set_hostflags(param, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
            if (isAddress(url_.host)) {
                X509_VERIFY_PARAM_set1_ip_asc(param, url_.host.c_str());
            } else {
                SSL_set_tlsext_host_name(handle, url_.host.c_str());
                X509_VERIFY_PARAM_set1_host(param, url_.host.c_str(), 0);
            }
            tlsStream().async_handshake(ssl::stream_base::client, [this](const error_code& ec) {
                if (!ec) return upgrade();
                long verify = SSL_get_verify_result(tlsStream().native_handle());
                if (verify != X509_V_OK) return fail(certificateRefusal(verify));
                fail(WebSocketError::SecureConnectionFailed,
                     "The secure connection to " + url_.host + " failed: " + describe(ec));
            });
        }
    }

    // The reason travels with the error, so a host can tell a refused certificate from
    // an unreachable server; each cause has its own code and only the advice that can
    // mend it (an authority of the host's own mends no wrong name and no date).
    rt::Ref<rt::Error> certificateRefusal(long verify) const {
        const std::string reason = X509_verify_cert_error_string(verify);
        const std::string subject = "The certificate of " + url_.host;
        WebSocketError code;
        std::string text;
        switch (verify) {
            case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
            case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
            case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
            case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
            case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
            case X509_V_ERR_CERT_UNTRUSTED:
                code = WebSocketError::ServerCertificateUntrusted;
                text = subject + " is not trusted: " + reason +
                       "; a server signed by an authority of the host's own needs that authority in "
                       "WebSocketOptions::extraTrustAnchorsPem";
                break;
            case X509_V_ERR_HOSTNAME_MISMATCH:
            case X509_V_ERR_IP_ADDRESS_MISMATCH:
                code = WebSocketError::ServerCertificateHostMismatch;
                text = subject + " was issued for another host name: " + reason +
                       "; the server must present a certificate that names " + url_.host;
                break;
            case X509_V_ERR_CERT_HAS_EXPIRED:
            case X509_V_ERR_CERT_NOT_YET_VALID:
                code = WebSocketError::ServerCertificateExpired;
                text = subject + (verify == X509_V_ERR_CERT_HAS_EXPIRED ? " has expired" : " is not valid yet") +
                       ": " + reason + "; check the server's certificate and this device's clock";
                break;
            default:
                code = WebSocketError::ServerCertificateRejected;
                text = subject + " was refused: " + reason;
                break;
        }
        rt::Dictionary info;
        info.set(rt::Error::LocalizedDescriptionKey, text);
        info.set(rt::Error::LocalizedFailureReasonKey, reason);
        return rt::Error::make(kNetworkErrorDomain, static_cast<long long>(code), info);
    }

    void upgrade() {
        auto headers = options_.headers;
        stream_->set_option(websocket::stream_base::decorator([headers](websocket::request_type& request) {
            for (const auto& [name, value] : headers) request.set(name, value);
        }));
        // The limit is the buffer's: the library's own message limit answers with a
        // closing handshake whose end, over TLS, hides why the socket failed.
        stream_->read_message_max(0);
        buffer_.max_size(options_.maxMessageSize);
        stream_->control_callback([this](websocket::frame_type, beast::string_view) { sink_.alive(); });
        std::string hostHeader = url_.host.find(':') != std::string::npos ? "[" + url_.host + "]" : url_.host;
        bool defaultPort = url_.port == (kSecure ? 443 : 80);
        if (!defaultPort) hostHeader += ":" + std::to_string(url_.port);
        stream_->async_handshake(response_, hostHeader, url_.target, [this](const error_code& ec) {
            if (ec) {
                return fail(WebSocketError::HandshakeFailed, handshakeFailure(ec, response_.result_int()));
            }
            open_ = true;
            sink_.opened();
            writeNext();
            read();
        });
    }

    void read() {
        stream_->async_read(buffer_, [this](const error_code& ec, std::size_t) {
            if (ec) return readFailed(ec);
            WebSocketMessage message;
            message.isText = stream_->got_text();
            message.payload = beast::buffers_to_string(buffer_.data());
            buffer_.consume(buffer_.size());
            // The library checks a text message's UTF-8 frame by frame, but lets one whose
            // last frame is empty end inside a character: the whole message is checked here.
            if (message.isText && !fnd::isValidUTF8(message.payload))
                return fail(WebSocketError::ProtocolError,
                            "The peer broke the WebSocket protocol: a text message was not valid UTF-8");
            undelivered_ += message.payload.size();
            sink_.message(std::move(message));
            if (undelivered_.load() <= options_.maxBufferedInput) return read();
            // The loop is behind: leave the rest in the kernel, whose full window slows
            // the peer, until the loop has taken enough (taken() resumes).
            readPaused_ = true;
            if (undelivered_.load() <= options_.maxBufferedInput) resumeReading();
        });
    }

    void resumeReading() {
        if (readPaused_.exchange(false)) read();
    }

    void readFailed(const error_code& ec) {
        if (ec == websocket::error::closed) return reportClose();
        if (ec == websocket::error::message_too_big || ec == websocket::error::buffer_overflow)
            return fail(WebSocketError::MessageTooBig, "A message was bigger than " +
                                                           std::to_string(options_.maxMessageSize) + " bytes");
        if (closing_ && ec == asio::error::operation_aborted) return;  // the close handler reports
        if (ec == websocket::condition::protocol_violation)
            return fail(WebSocketError::ProtocolError, "The peer broke the WebSocket protocol: " + describe(ec));
        fail(WebSocketError::ConnectionLost, "The connection was lost: " + describe(ec));
    }

    /// The peer's closing handshake ended: the socket closed cleanly with its code.
    void reportClose() {
        auto reason = stream_->reason();
        // RFC 6455 defines no code above 4999: such a close breaks the protocol, as the
        // codes the library itself refuses do.
        if (int(reason.code) > 4999)
            return fail(WebSocketError::ProtocolError, "The peer broke the WebSocket protocol: it closed with code " +
                                                           std::to_string(int(reason.code)) + ", which is not a close code");
        int code = reason.code == websocket::close_code::none ? 1005 : stream_->next_layer().closeCodeOf(int(reason.code));
        closed(code, std::string(reason.reason.c_str()), true);
    }

    void writeNext() {
        if (!open_ || writing_ || outbox_.empty() || closing_) return;
        writing_ = true;
        stream_->text(outbox_.front().isText);
        stream_->async_write(asio::buffer(outbox_.front().payload), [this](const error_code& ec, std::size_t) {
            writing_ = false;
            buffered_ -= outbox_.front().payload.size();
            outbox_.pop_front();
            if (ec) return;  // the read loop reports the loss
            writeNext();
        });
    }

    std::optional<ssl::context> sslContext_;
    std::optional<Stream> stream_;
    beast::flat_buffer buffer_;
    websocket::response_type response_;
    std::deque<WebSocketMessage> outbox_;
    bool open_ = false;
    bool closing_ = false;
    bool writing_ = false;
    bool pinging_ = false;
    // Counted from the caller's thread on send() and from this one when written.
    std::atomic<std::size_t> buffered_{0};
    // Received bytes the loop has not taken yet: added here, taken off on the loop.
    std::atomic<std::size_t> undelivered_{0};
    std::atomic<bool> readPaused_{false};
};

}  // namespace

std::unique_ptr<WebSocket::Io> WebSocket::Io::start(const WebSocketURL& url, const WebSocketOptions& options, Sink sink) {
    if (url.secure) {
        auto io = std::make_unique<IoSession<beast::ssl_stream<tcp::socket>>>(url, options, std::move(sink));
        io->begin();
        return io;
    }
    auto io = std::make_unique<IoSession<tcp::socket>>(url, options, std::move(sink));
    io->begin();
    return io;
}

}  // namespace net
