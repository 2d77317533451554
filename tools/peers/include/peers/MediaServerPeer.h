#pragma once
// A loopback media server: a WebSocket server (wss with a test certificate, or ws) on
// 127.0.0.1 and a free port, speaking the subscription protocol of the media server.
//
// Built-in behaviour: each connection keeps its own subchannel table; "subscribe" is
// answered with success and a new subchannel id (or a refusal, see refuseSubscribes);
// "unsubscribe" with success, or with "ERR_INVALID_ID" for a subchannel the connection
// does not hold. Tests and the demo push module messages, end subchannels, drop or
// refuse sockets, send malformed frames, and describe scenarios as data: rules of the
// form "when the client sends X, answer Y; after t send Z" (see loadScript).
//
// The server runs on its own thread; every call here is thread-safe. Delays of scripted
// frames are real time.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "peers/TestCertificates.h"

namespace peers {

/// One frame a client sent, with the moment it arrived (seconds since start()).
struct MediaServerFrame {
    double time = 0;
    std::size_t connection = 0;  // 1 for the first connection the server accepted, ...
    std::string text;
};

/// A scripted reaction. It matches a client frame whose "cmd" is `cmd`, when
/// `messageCmd` is set whose args[0].messageData.cmd is `messageCmd`, and when `media` is
/// set whose args[0].parameters.media (the channel or video a subscribe asks for) is `media`.
struct MediaServerRule {
    std::string cmd;
    std::string messageCmd;
    /// Frames sent back on the same connection, each `after` seconds after the client's
    /// frame. "$requestId" and "$subchannelId" in a frame are replaced by the values of
    /// the client's frame (or, for a subscribe, by the subchannel the server assigned).
    std::vector<std::pair<double, std::string>> send;
    /// Also run the built-in answer (first). Without it the rule replaces it.
    bool alsoDefault = false;
    /// Used once, then forgotten.
    bool once = false;
    std::string media;
};

/// The service domain the loopback media server answers for: clients reach
/// "<cluster>.media.test", are sent to 127.0.0.1, and verify that name.
inline constexpr const char* kMediaServerTestDomain = "media.test";

/// A server certificate of the shared test authority (sharedTestAuthority()) for
/// 127.0.0.1, ::1, localhost and every host of kMediaServerTestDomain, made once.
const TestCertificate& sharedMediaServerCertificate();

/// A script that answers a subscribe (of `media` alone, when given) with the stream at
/// `url` and the content's title, start and viewer count, as the service announces a
/// channel or a recording.
std::string mediaServerAnnouncement(const std::string& url, const std::string& media = {});

class MediaServerPeer {
public:
    /// A wss server with the certificate given.
    explicit MediaServerPeer(const TestCertificate& certificate);
    /// A plain ws server.
    MediaServerPeer();
    ~MediaServerPeer();
    MediaServerPeer(const MediaServerPeer&) = delete;
    MediaServerPeer& operator=(const MediaServerPeer&) = delete;

    /// Binds 127.0.0.1 on the port given (0: a free one) and serves; throws when it cannot.
    void start(std::uint16_t port = 0);
    void stop();
    std::uint16_t port() const;
    bool isSecure() const;

    // ---- behaviour
    /// Refuses every later subscribe with this reason; nothing turns refusals off.
    void refuseSubscribes(const std::string& reason);
    /// Stops answering subscribes (they are recorded, and get no reply).
    void setAnswerSubscribes(bool answer);
    /// Refuses the opening handshake of later sockets with HTTP 403 (true) or accepts them.
    void setRefuseSockets(bool refuse);
    /// Adds a scripted rule; rules are tried in the order they were added.
    void addRule(MediaServerRule rule);
    /// Adds the rules of a JSON script: an array of objects
    ///   {"when": {"cmd": "subscribe", "messageCmd": "stats", "media": "channel-7"},
    ///    "send": [{"after": 0.5, "frame": {...}}, ...], "alsoDefault": true, "once": true}
    /// A frame may be given as an object or as a string (sent as it stands, so malformed
    /// frames can be scripted). Throws std::invalid_argument for a script it cannot read.
    void loadScript(const std::string& json);
    /// Forgets every rule added so far: later frames get the built-in answers alone until
    /// rules are added again. Rules are tried in order and the first match answers, so a
    /// host playing one content after another clears the last content's rules first.
    void clearRules();

    // ---- pushes (answer false when there is nothing to send to)
    /// Sends {"cmd":"subscribeMessage","args":[{"subchannelId":id,"messageData":data}]}.
    bool pushMessage(std::int64_t subchannel, const std::string& messageDataJson);
    /// messageData {"cmd":"moduleInfo","args":[modules]} / {"cmd":"reject","args":[reasons]}.
    bool pushModuleInfo(std::int64_t subchannel, const std::string& modulesJson);
    bool pushReject(std::int64_t subchannel, const std::string& reasonsJson);
    /// Ends a subchannel: {"cmd":"unsubscribe","args":[{"data":{"subchannelId":id}}]}.
    bool endSubchannel(std::int64_t subchannel);
    /// Sends the text as one text message on every open connection.
    bool sendRaw(const std::string& text);
    /// Ends every connection without a closing handshake.
    void dropConnections();
    /// Closes every connection with a closing handshake.
    void closeConnections(int code, const std::string& reason);

    // ---- records
    /// The codes clients answered closeConnections with, as they sent them, in the order
    /// the answers came.
    std::vector<int> closeAnswers() const;
    std::vector<MediaServerFrame> frames() const;
    /// The frames whose "cmd" is the given one.
    std::vector<MediaServerFrame> frames(const std::string& cmd) const;
    void clearFrames();
    /// Connections accepted so far (refused ones included) and open now.
    std::size_t acceptedConnections() const;
    std::size_t openConnections() const;
    /// Subchannels held now, over all connections, in ascending order.
    std::vector<std::int64_t> subchannels() const;
    /// The request line's target and headers of the latest upgrade request.
    std::string lastTarget() const;
    std::optional<std::string> lastHeader(const std::string& name) const;

    struct Impl;

private:
    std::shared_ptr<Impl> impl_;
};

}  // namespace peers
