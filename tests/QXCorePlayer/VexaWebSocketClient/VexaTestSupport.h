#pragma once
// Shared pieces of the media-server tests: a wss peer with a certificate of the shared
// test authority that covers "*.media.test", socket settings that send every cluster host to
// it, a log capture and an event recorder.

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "VexaWebSocketClient/QXVexaClusterConnection.h"
#include "VexaWebSocketClient/QXVexaService.h"
#include "VexaWebSocketClient/QXVexaSubscription.h"
#include <QXFoundation/Diagnostics/Diagnostics.h>
#include <QXFoundation/Log/QXLogger.h>
#include <fnd/RunLoop.h>

#include "VirtualTime.h"
#include "peers/MediaServerPeer.h"
#include "peers/TestCertificates.h"

namespace vexatest {

using namespace zid;

struct LogCapture : QXLogHandler {
    LogCapture() : QXLogHandler(nullptr, 6) {}
    void handleLogRecord(const rt::Ref<QXLogRecord>& record) override {
        if (!acceptsLogRecord(*record)) return;
        std::lock_guard lock(mutex);
        lines.push_back(std::to_string(record->level()) + " " + record->module() + " " + record->message());
    }
    bool contains(const std::string& part) const {
        std::lock_guard lock(mutex);
        for (const auto& line : lines)
            if (line.find(part) != std::string::npos) return true;
        return false;
    }
    std::size_t count(const std::string& part) const {
        std::lock_guard lock(mutex);
        std::size_t n = 0;
        for (const auto& line : lines)
            if (line.find(part) != std::string::npos) ++n;
        return n;
    }
    mutable std::mutex mutex;
    std::vector<std::string> lines;
};

struct ErrorRecorder : DiagnosticRecorder {
    void recordError(const rt::Ref<rt::Error>& error) override { errors.push_back(error); }
    std::vector<rt::Ref<rt::Error>> errors;
};

/// What a subscription's block reported.
struct Event {
    QXVexaSubscriptionEvent event;
    QXVexaMessage message;
    rt::Ref<rt::Error> error;
};

struct EventLog {
    std::vector<Event> events;
    QXVexaSubscription::Block block() {
        return [this](QXVexaSubscriptionEvent event, const QXVexaMessage* message, const rt::Ref<rt::Error>& error) {
            events.push_back(Event{event, message ? *message : QXVexaMessage(), error});
        };
    }
    std::size_t count(QXVexaSubscriptionEvent kind) const {
        std::size_t n = 0;
        for (const auto& e : events) n += e.event == kind;
        return n;
    }
};

/// The program's one test authority, which every TLS peer of the tests trusts.
inline const peers::TestCertificateAuthority& authority() { return peers::sharedTestAuthority(); }

/// The loopback names and every host of the test service domain, from that authority.
inline const peers::TestCertificate& serverCertificate() { return peers::sharedMediaServerCertificate(); }

/// Real-time waiting for socket traffic while the main loop's clock may be virtual.
inline bool waitFor(const std::function<bool()>& done, double seconds = 10) {
    auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        fnd::RunLoop::main()->runOnce(0.005);
    }
    return true;
}

/// Runs the main loop for a while of real time.
inline void settle(double seconds = 0.15) {
    waitFor([] { return false; }, seconds);
}

class VexaPeerTest : public zidtest::VirtualTimeTest {
protected:
    void SetUp() override {
        zidtest::VirtualTimeTest::SetUp();
        peer = std::make_unique<peers::MediaServerPeer>(serverCertificate());
        peer->start();
        QXLogger::defaultLogger()->registerHandler(log);
    }
    void TearDown() override {
        QXLogger::defaultLogger()->deregistreHandler(log);
        peer.reset();
        zidtest::VirtualTimeTest::TearDown();
    }
    QXVexaSocketSettings settings() const {
        QXVexaSocketSettings s;
        s.origin = "https://www.media.test";
        s.userAgent = "Demo/2.1 (x86_64; iOS 6.1.0; Scale/2.00)";
        s.socket.resolveHostTo = "127.0.0.1";
        s.socket.portOverride = peer->port();
        s.socket.extraTrustAnchorsPem = authority().certificatePem();
        s.socket.pingInterval = 0;
        return s;
    }
    rt::Ref<QXVexaService> makeService() { return rt::make<QXVexaService>("eu1", "media.test", settings()); }
    rt::Ref<QXVexaSubscription> makeSubscription(const std::string& media, EventLog& log_,
                                                 const std::string& type = "channel") {
        auto s = rt::make<QXVexaSubscription>();
        s->setMediaID(media);
        s->setMediaType(type);
        s->setBlock(log_.block());
        return s;
    }
    /// The client frames with that "cmd", parsed.
    std::vector<QXVexaMessage> sent(const std::string& cmd) const {
        std::vector<QXVexaMessage> out;
        for (const auto& frame : peer->frames(cmd)) out.push_back(vexaParse(frame.text));
        return out;
    }

    std::unique_ptr<peers::MediaServerPeer> peer;
    rt::Ref<LogCapture> log = rt::make<LogCapture>();
};

}  // namespace vexatest
