// The stream-readiness poll reads answers of a server, one a second until the stream is
// ready. Input: up to eight answers separated by NUL bytes, each one byte choosing the
// status and then the body; a loopback server gives them in turn (and 404 after the
// last), one connection per poll. The poll's clock is virtual: each second is a step.
//
// Whatever the answers, the outcome follows the statuses: ready (once, and only on a 200
// whose body does not mention "preroll"), forbidden on 403, inexistent on 404, unknown
// on anything else; offline on 204, once per offline period, with polling going on.
// Nothing is reported after the end, and no poll is made after it; the progress is the
// mark of the last 202 body that had one; the content is the last body when it is UTF-8.

#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>

#include <QXCorePlayer/Core/Core/ICPMediaSource.h>
#include <QXCorePlayer/Core/HLSSourceResolver/CPHLSSourceResolver.h>
#include <fnd/Clock.h>
#include <fnd/RunLoop.h>
#include <fnd/UTF16.h>

#include "FuzzInput.h"
#include "Loopback.h"

namespace {

const long kStatuses[] = {200, 202, 202, 204, 403, 404, 500, 301};
constexpr std::size_t kMaxAnswers = 8;

struct Answer {
    long status;
    std::string body;
};

// Answers each connection with the next answer (404 when none is left), then closes it.
class Server {
public:
    Server() {
        fd_ = zidfuzz::loopbackListener(&port_);
        std::thread([this] { serve(); }).detach();  // lives as long as the process
    }
    std::uint16_t port() const { return port_; }
    void load(std::deque<Answer> answers) {
        std::lock_guard lock(mutex_);
        answers_ = std::move(answers);
        served_ = 0;
    }
    std::size_t served() const {
        std::lock_guard lock(mutex_);
        return served_;
    }

private:
    void serve() {
        for (;;) {
            int peer = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
            if (peer < 0) continue;
            (void)zidfuzz::readRequestHead(peer);
            Answer answer{404, ""};
            {
                std::lock_guard lock(mutex_);
                ++served_;
                if (!answers_.empty()) {
                    answer = std::move(answers_.front());
                    answers_.pop_front();
                }
            }
            const bool bodiless = answer.status == 204;
            std::string text = "HTTP/1.1 " + std::to_string(answer.status) + " Answer\r\nConnection: close\r\n";
            if (!bodiless) text += "Content-Length: " + std::to_string(answer.body.size()) + "\r\n";
            text += "\r\n";
            if (!bodiless) text += answer.body;
            zidfuzz::sendAll(peer, text.data(), text.size());
            ::shutdown(peer, SHUT_WR);
            char rest[512];
            while (::recv(peer, rest, sizeof rest, 0) > 0) {
            }
            ::close(peer);
        }
    }

    int fd_ = -1;
    std::uint16_t port_ = 0;
    mutable std::mutex mutex_;
    std::deque<Answer> answers_;
    std::size_t served_ = 0;
};

long codeOf(const rt::Ref<rt::Error>& error) {
    if (!error) std::abort();
    return static_cast<long>(error->code());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static Server* server = new Server();
    static const auto clock = [] {
        auto virtualClock = rt::make<fnd::VirtualClock>();
        fnd::RunLoop::main()->setClock(virtualClock);
        return virtualClock;
    }();
    auto loop = fnd::RunLoop::main();

    zidfuzz::FuzzInput input(data, size);
    std::deque<Answer> answers;
    while (!input.empty() && answers.size() < kMaxAnswers) {
        const std::uint8_t kind = input.byte();
        answers.push_back({kStatuses[kind % 8], std::string(input.field())});
    }
    const std::deque<Answer> given = answers;
    server->load(std::move(answers));
    input.reached();

    int successes = 0, offlineReports = 0;
    std::optional<long> failure;
    bool reportedAfterEnd = false;
    auto resolver = zid::CPHLSSourceResolver::resolver();
    resolver->resolveURL(
        "http://127.0.0.1:" + std::to_string(server->port()) + "/live/playlist.m3u8",
        [&](const std::string&) {
            if (successes || failure) reportedAfterEnd = true;
            ++successes;
        },
        [&](const rt::Ref<rt::Error>& error) {
            if (successes || failure) reportedAfterEnd = true;
            if (codeOf(error) == static_cast<long>(zid::CPMediaSourceErrorCode::Offline)) {
                ++offlineReports;
            } else {
                failure = codeOf(error);
            }
        });

    // One poll per answer and one for the 404 after them; each is one step of the clock.
    long expectedProgress = resolver->progress();
    bool offline = false;
    int expectedOffline = 0;
    std::optional<long> expectedFailure;
    bool expectedSuccess = false;
    for (std::size_t poll = 0; poll <= given.size() && !expectedSuccess && !expectedFailure; ++poll) {
        const Answer answer = poll < given.size() ? given[poll] : Answer{404, ""};
        if (!loop->runUntil([&] { return server->served() > poll && !resolver->polling(); }, 20)) std::abort();
        const std::string body = answer.status != 204 && fnd::isValidUTF8(answer.body) ? answer.body : std::string();
        if (resolver->contentString() != body) std::abort();
        switch (answer.status) {
            case 200:
                offline = false;
                if (body.find("preroll") == std::string::npos) expectedSuccess = true;
                break;
            case 202:
                offline = false;
                if (!body.empty()) expectedProgress = zid::CPHLSSourceResolver::parseProgressFromString(body);
                break;
            case 204:
                if (!offline) ++expectedOffline;
                offline = true;
                break;
            case 403: expectedFailure = static_cast<long>(zid::CPMediaSourceErrorCode::Forbidden); break;
            case 404: expectedFailure = static_cast<long>(zid::CPMediaSourceErrorCode::Inexistent); break;
            default: expectedFailure = static_cast<long>(zid::CPMediaSourceErrorCode::Unknown); break;
        }
        if (resolver->progress() != expectedProgress) std::abort();
        if (expectedProgress < -1) std::abort();
        if (successes != (expectedSuccess ? 1 : 0) || failure != expectedFailure || offlineReports != expectedOffline)
            std::abort();
        clock->advance(zid::CPHLSSourceResolver::kPollInterval);
    }

    // After the end nothing more is asked or reported, however long one waits.
    const std::size_t served = server->served();
    clock->advance(3 * zid::CPHLSSourceResolver::kPollInterval);
    loop->drain();
    if (server->served() != served || reportedAfterEnd || resolver->polling()) std::abort();
    resolver.reset();
    loop->drain();
    return 0;
}
