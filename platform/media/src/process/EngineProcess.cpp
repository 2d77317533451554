#include "EngineProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include <media/MediaErrors.h>
#include <rt/Format.h>

extern char** environ;

namespace media::process {

namespace {

/// What is kept of the process's output for its cause: a crash report's stack of 64
/// frames takes about 6 KB.
constexpr std::size_t kTailBytes = 16384;
constexpr double kReapInterval = 0.01;
/// Seconds between the checks of a process that has items, and the seconds it has to
/// answer one: its items hear within both together that it stopped answering. Far
/// above what a process that reads its socket takes, even a busy one in a sanitizer build.
constexpr double kHeartbeatInterval = 2;
constexpr double kHeartbeatLimit = 4;
/// Seconds a process just started has to answer its first check: setting GStreamer up
/// (its plugin registry rebuilt, on a busy machine) may take seconds. Until it has, no
/// shorter check is made of it.
constexpr double kStartLimit = 20;
/// Datagrams read at most for an answer whose limit is due: a process that says this
/// much is not silent, and the loop reads the rest on its next turns.
constexpr int kMostReadForAnAnswer = 1024;
/// Listening time below which a limit counts as reached (the loop's timers and its
/// listening time are read apart).
constexpr double kJudgingSlack = 0.005;

// Sends from other threads (a picture released anywhere) race with close() on the main
// thread; one lock for every engine process is plenty for a handful of messages.
std::mutex& socketMutex() {
    static auto* m = new std::mutex;
    return *m;
}

std::string lastLine(const std::string& text) {
    std::size_t end = text.find_last_not_of("\n");
    if (end == std::string::npos) return {};
    std::size_t start = text.rfind('\n', end);
    return text.substr(start == std::string::npos ? 0 : start + 1, end - (start == std::string::npos ? 0 : start + 1) + 1);
}

/// The libraries of the crashing thread's stack, innermost first, each once, when the
/// output ends with an engine's crash report ("<who>: fatal signal N (the crashing
/// thread's stack is above)", after one frame a line: "<object>(<symbol>+<offset>)[<address>]").
/// The frames of the report itself (the program's handler and the signal's return into
/// it) are left out: what remains says whose code crashed.
std::string crashingLibraries(const std::string& text) {
    std::size_t end = text.find_last_not_of("\n");
    if (end == std::string::npos) return {};
    std::size_t last = text.rfind('\n', end);
    last = last == std::string::npos ? 0 : last + 1;
    if (text.find(": fatal signal ", last) == std::string::npos) return {};
    std::vector<std::string> frames;
    for (std::size_t lineEnd = last; lineEnd > 0;) {
        std::size_t start = text.rfind('\n', lineEnd - 2);
        start = start == std::string::npos ? 0 : start + 1;
        std::string line = text.substr(start, lineEnd - 1 - start);
        lineEnd = start;
        std::size_t paren = line.find('(');
        if (line.empty() || line.back() != ']' || paren == std::string::npos || line.find('[') == std::string::npos) break;
        frames.insert(frames.begin(), line.substr(0, paren));
        if (start == 0) break;
    }
    // The handler's own frames in the program, then the C library's return from the
    // signal into it.
    std::size_t first = 0;
    while (first < frames.size() && frames[first] == frames.front()) ++first;
    if (first < frames.size() && first > 0) ++first;
    std::vector<std::string> names;
    for (std::size_t i = first; i < frames.size(); ++i) {
        std::string name = frames[i].substr(frames[i].rfind('/') == std::string::npos ? 0 : frames[i].rfind('/') + 1);
        if (!name.empty() && std::find(names.begin(), names.end(), name) == names.end()) names.push_back(name);
    }
    std::string said;
    for (const auto& name : names) said += (said.empty() ? "" : ", ") + name;
    return said;
}

/// Waits for an ended or closing process without blocking the main loop, killing it when
/// it takes longer than the grace.
void reapLater(pid_t pid, double grace, int attempt = 0) {
    if (pid <= 0) return;
    int status;
    if (::waitpid(pid, &status, WNOHANG) != 0) return;
    if (attempt * kReapInterval >= grace) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &status, 0);
        return;
    }
    fnd::RunLoop::main()->after(kReapInterval, [pid, grace, attempt] { reapLater(pid, grace, attempt + 1); });
}

/// Sanitizers reserve terabytes of shadow memory as data: no data-memory bound or mark
/// means anything there.
constexpr bool kSanitized =
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || __has_feature(memory_sanitizer)
    true;
#else
    false;
#endif
#else
    false;
#endif

/// Bounds the data memory of an engine process just spawned (before it has set
/// GStreamer up), so that whatever grows inside it, it alone ends rather than the
/// machine running short.
void limitMemory(pid_t pid, std::uint64_t bytes) {
    if (kSanitized || bytes == 0) return;
    rlimit limit{static_cast<rlim_t>(bytes), static_cast<rlim_t>(bytes)};
    if (::prlimit(pid, RLIMIT_DATA, &limit, nullptr) != 0)
        std::fprintf(stderr, "The media engine process %d runs without a memory bound: %s\n", static_cast<int>(pid),
                     std::strerror(errno));
}

}  // namespace

std::shared_ptr<EngineProcess> EngineProcess::start(const ProcessEngine::Options& options, rt::Ref<rt::Error>* error,
                                                    Ahead ahead) {
    auto fail = [&](const std::string& why) {
        if (error)
            *error = makeMediaError(MediaErrorCode::EngineFailed,
                                    "The media engine could not be started: " + why +
                                        ". Install zid_media_engine beside the libraries, name it with ZID_MEDIA_ENGINE, or play in "
                                        "the host's own process (ZID_MEDIA_ENGINE_MODE=inprocess).");
        return nullptr;
    };
    std::string path = ProcessEngine::locateEngine(options);
    if (path.empty()) {
        // Every place it was looked for, and what a host must set, with the names the
        // installed package gives the program.
        std::string tried;
        const auto paths = ProcessEngine::enginePaths(options);
        for (std::size_t i = 0; i < paths.size(); ++i)
            tried += (i == 0 ? " at " : i + 1 == paths.size() ? " or " : ", ") + paths[i];
        if (error)
            *error = makeMediaError(
                MediaErrorCode::EngineFailed,
                "The media engine could not be started: the program zid_media_engine was not found" + tried +
                    ". Set ZID_MEDIA_ENGINE to its path (the installed package names it: the CMake variable "
                    "Zidoredider_MEDIA_ENGINE, `pkg-config --variable=mediaengine zidoredider`), or play in the host's "
                    "own process (ZID_MEDIA_ENGINE_MODE=inprocess).");
        return nullptr;
    }
    int pair[2];
    if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, pair) != 0)
        return fail(rt::format("no socket (%s)", std::strerror(errno)));
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) {
        ::close(pair[0]);
        ::close(pair[1]);
        return fail(rt::format("no pipe (%s)", std::strerror(errno)));
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pair[1], 3);
    posix_spawn_file_actions_adddup2(&actions, out[1], 2);
    // What the engine prints goes to the host's standard error, never into the host's
    // standard output (which may be a channel of the host's own).
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    std::vector<char*> argv{const_cast<char*>(path.c_str()), const_cast<char*>("--socket=3")};
    if (ahead == Ahead::Warm) argv.push_back(const_cast<char*>("--warm-up"));
    else if (ahead == Ahead::Light) argv.push_back(const_cast<char*>("--light"));
    argv.push_back(nullptr);
    pid_t pid = -1;
    int rc = ::posix_spawn(&pid, path.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pair[1]);
    ::close(out[1]);
    if (rc != 0) {
        ::close(pair[0]);
        ::close(out[0]);
        return fail(rt::format("%s could not be run (%s)", path, std::strerror(rc)));
    }
    limitMemory(pid, options.memoryLimit);
    ::fcntl(out[0], F_SETFL, ::fcntl(out[0], F_GETFL) | O_NONBLOCK);
    std::shared_ptr<EngineProcess> p(new EngineProcess);
    p->options_ = options;
    p->path_ = path;
    p->pid_ = pid;
    p->socket_ = pair[0];
    p->output_ = out[0];
    p->settingUp_ = ahead == Ahead::Light;
    std::weak_ptr<EngineProcess> weak = p;
    auto loop = fnd::RunLoop::main();
    p->socketSource_ = loop->addSource(p->socket_, POLLIN, [weak](short revents) {
        if (auto self = weak.lock()) self->onSocket(revents);
    });
    p->outputSource_ = loop->addSource(p->output_, POLLIN, [weak](short revents) {
        if (auto self = weak.lock()) self->onOutput(revents);
    });
    p->check(kStartLimit);
    return p;
}

EngineProcess::~EngineProcess() { close(); }

std::uint32_t EngineProcess::addItem(ReportHandler report, EndHandler end) {
    std::uint32_t item = ++lastItem_;
    items_[item] = Handlers{std::move(report), std::move(end)};
    if (!heartbeat_ && !ended_ && !closed_) {
        std::weak_ptr<EngineProcess> weak = weak_from_this();
        heartbeat_ = fnd::RunLoop::main()->schedule(kHeartbeatInterval, true, [weak](fnd::Timer&) {
            if (auto self = weak.lock()) self->beat();
        });
    }
    return item;
}

void EngineProcess::beat() {
    if (items_.empty()) {
        if (heartbeat_) std::exchange(heartbeat_, nullptr)->invalidate();
        return;
    }
    if (pongs_ == pings_) check(settingUp_ ? kStartLimit : kHeartbeatLimit);  // one check at a time is enough
}

bool EngineProcess::isRetired() {
    if (!retired_ && options_.retireAfterItems > 0 && lastItem_ >= options_.retireAfterItems) retired_ = true;
    if (!retired_ && !kSanitized && options_.retireAboveMemory > 0 && dataBytes() > options_.retireAboveMemory)
        retired_ = true;
    return retired_ || ended_ || closed_;
}

std::uint64_t EngineProcess::dataBytes() const {
    if (ended_ || closed_) return 0;
    char path[64];
    std::snprintf(path, sizeof path, "/proc/%d/status", static_cast<int>(pid_));
    int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return 0;
    char text[4096];
    ssize_t n = ::read(fd, text, sizeof text - 1);
    ::close(fd);
    if (n <= 0) return 0;
    text[n] = 0;
    const char* field = std::strstr(text, "\nVmData:");
    return field ? std::strtoull(field + 8, nullptr, 10) * 1024 : 0;
}

void EngineProcess::setItemHandlers(std::uint32_t item, ReportHandler report, EndHandler end) {
    auto it = items_.find(item);
    if (it != items_.end()) it->second = Handlers{std::move(report), std::move(end)};
}

void EngineProcess::writeOptions(Writer& w, const ProcessEngine::Options& options) {
    w.boolean(options.engine.nullOutput).f64(options.engine.loadTimeout).string(options.engine.extraTrustAnchorsPem);
}

bool EngineProcess::send(const Writer& command) {
    std::lock_guard lock(socketMutex());
    if (socket_ < 0 || ended_) return false;
    // Never blocks: a process that has stopped reading its commands (hung inside the
    // media framework) would otherwise hang the host with it. It is stopped instead, and
    // its item fails like any other whose engine ended.
    bool full = false;
    if (sendMessage(socket_, command, -1, &full)) return true;
    if (full && !stuck_.exchange(true)) {
        std::weak_ptr<EngineProcess> weak = weak_from_this();
        fnd::RunLoop::main()->post([weak] {
            if (auto self = weak.lock()) self->refuse("stopped reading its commands");
        });
    }
    return false;
}

void EngineProcess::close() {
    if (closed_) return;
    closed_ = true;
    if (heartbeat_) std::exchange(heartbeat_, nullptr)->invalidate();
    // Items being closed stay counted: whether the process ended in a teardown tells
    // whose fault its end was.
    items_.clear();
    auto loop = fnd::RunLoop::main();
    if (socketSource_) loop->removeSource(std::exchange(socketSource_, 0));
    if (outputSource_) loop->removeSource(std::exchange(outputSource_, 0));
    // The process ends when its socket closes.
    {
        std::lock_guard lock(socketMutex());
        if (socket_ >= 0) ::close(std::exchange(socket_, -1));
    }
    if (output_ >= 0) {
        drainOutput();
        ::close(std::exchange(output_, -1));
    }
    // One that ended is still waited for: its wait is no longer this object's to finish.
    if (!reaped_) reapLater(pid_, options_.exitGrace);
}

void EngineProcess::closeItem(std::uint32_t item, double teardownLimit) {
    if (!items_.erase(item) || ended_ || closed_) return;
    closing_[item] = true;
    send(Writer(static_cast<std::uint8_t>(Command::Close)).addressedTo(item));
    awaitAnswer(
        teardownLimit, [this, item] { return closing_.count(item) == 0; },
        [this, teardownLimit] {
            refuse(rt::format("did not finish tearing an item down within %g s", teardownLimit));
        });
}

void EngineProcess::check(double limit) {
    // One still starting is covered by its first check, whose limit is longer.
    if (pings_ > 0 && pongs_ == 0) return;
    ping(limit, rt::format("stopped answering (no answer to a check within %g s)", limit));
}

void EngineProcess::ping(double limit, const std::string& silence) {
    if (ended_ || closed_) return;
    send(Writer(static_cast<std::uint8_t>(Command::Ping)));
    unsigned ping = ++pings_;
    awaitAnswer(
        limit, [this, ping] { return pongs_ >= ping; },
        [this, silence] {
            failedCheck_ = true;
            refuse(silence);
        });
}

struct EngineProcess::Awaited {
    double limit;
    /// The main loop's listening time when the process was asked.
    fnd::TimeInterval since;
    std::function<bool()> answered;
    std::function<void()> overdue;
};

void EngineProcess::awaitAnswer(double limit, std::function<bool()> answered, std::function<void()> overdue) {
    if (ended_ || closed_) return;
    auto awaited = std::make_shared<Awaited>(
        Awaited{limit, fnd::RunLoop::main()->listenedTime(), std::move(answered), std::move(overdue)});
    judgeLater(awaited, limit);
}

void EngineProcess::judgeLater(const std::shared_ptr<Awaited>& awaited, double after) {
    std::weak_ptr<EngineProcess> weak = weak_from_this();
    fnd::RunLoop::main()->after(after, [weak, awaited] {
        auto self = weak.lock();
        if (!self || self->ended_ || self->closed_ || awaited->answered()) return;
        // The answer may be waiting behind what the process said while nobody read.
        bool emptied = false;
        for (int i = 0; i < kMostReadForAnAnswer && !awaited->answered(); ++i) {
            if (!self->receiveOne()) {
                emptied = true;
                break;
            }
        }
        if (self->ended_ || self->closed_ || awaited->answered()) return;
        double heard = fnd::RunLoop::main()->listenedTime() - awaited->since;
        if (!emptied || heard < awaited->limit - kJudgingSlack)
            return self->judgeLater(awaited, std::max(awaited->limit - heard, kJudgingSlack));
        awaited->overdue();
    });
}

bool EngineProcess::hasHungUp() const {
    if (ended_ || closed_ || socket_ < 0) return ended_;
    pollfd fd{socket_, POLLIN, 0};
    return ::poll(&fd, 1, 0) > 0 && (fd.revents & (POLLHUP | POLLERR | POLLNVAL));
}

void EngineProcess::refuse(const std::string& what) {
    if (ended_ || closed_) return;
    refused_ = what;
    ::kill(pid_, SIGKILL);
    endUnasked();
}

void EngineProcess::onSocket(short revents) {
    // A handful of messages per turn, so pictures cannot starve the rest of the loop.
    for (int i = 0; i < 64 && receiveOne(); ++i) {
    }
    if (!ended_ && !closed_ && (revents & (POLLHUP | POLLERR)) && !(revents & POLLIN)) endUnasked();
}

bool EngineProcess::receiveOne() {
    if (ended_ || closed_) return false;
    int fd = -1;
    if (!received_.receive(socket_, fd)) {
        endUnasked();
        return false;
    }
    if (received_.size() == 0) return false;
    // The reports are read from a copy of the datagram (a few hundred bytes): a handler
    // may turn the loop again, which receives into the buffer anew.
    std::vector<std::uint8_t> bytes(received_.data(), received_.data() + received_.size());
    std::vector<std::pair<std::size_t, std::size_t>> messages;
    if (!splitFramed(bytes, messages) || messages.empty() || (fd >= 0 && messages.size() != 1)) {
        if (fd >= 0) ::close(fd);
        refuse("sent a datagram that does not split into whole reports");
        return false;
    }
    auto keep = shared_from_this();  // a handler may drop the last owner
    for (const auto& [offset, size] : messages) {
        if (ended_ || closed_) break;
        Reader body(bytes.data() + offset, size);
        auto kind = static_cast<Report>(body.u8());
        if (kind == Report::Pong && body.finished() && fd < 0) {
            if (pongs_ >= pings_) {
                refuse("answered a check nobody asked for");
                return false;
            }
            ++pongs_;
            continue;
        }
        if (kind == Report::Unfit && body.finished() && fd < 0) {
            // It takes no new item, and one left without items ends now.
            retired_ = true;
            if (items_.empty()) {
                close();
                return false;
            }
            continue;
        }
        std::uint32_t item = body.u32();
        if (auto closing = closing_.find(item); body.ok() && closing != closing_.end()) {
            // What a closed item's pipeline still said: nobody listens to it any more.
            if (fd >= 0) ::close(fd);
            if (kind == Report::Idle && body.finished()) closing_.erase(closing);
            continue;
        }
        auto it = items_.find(item);
        if (!body.ok() || it == items_.end()) {
            if (fd >= 0) ::close(fd);
            refuse("sent a report of an item it does not play");
            return false;
        }
        settingUp_ = false;
        // A copy: the handler may close the item.
        if (auto handler = it->second.report) handler(kind, body, fd);
        else if (fd >= 0) ::close(fd);
    }
    return !ended_ && !closed_;
}

void EngineProcess::onOutput(short revents) {
    drainOutput();
    if ((revents & (POLLHUP | POLLERR)) && !(revents & POLLIN) && outputSource_)
        fnd::RunLoop::main()->removeSource(std::exchange(outputSource_, 0));
}

void EngineProcess::drainOutput() {
    if (output_ < 0) return;
    char buf[4096];
    for (;;) {
        ssize_t n = ::read(output_, buf, sizeof buf);
        if (n <= 0) break;
        // The process's messages are the host's too: nothing it prints is lost.
        std::fwrite(buf, 1, static_cast<std::size_t>(n), stderr);
        tail_.append(buf, static_cast<std::size_t>(n));
        if (tail_.size() > kTailBytes) tail_.erase(0, tail_.size() - kTailBytes);
    }
}

void EngineProcess::endUnasked() {
    if (ended_ || closed_) return;
    ended_ = true;
    if (heartbeat_) std::exchange(heartbeat_, nullptr)->invalidate();
    auto loop = fnd::RunLoop::main();
    if (socketSource_) loop->removeSource(std::exchange(socketSource_, 0));
    reap(0);
}

void EngineProcess::reap(int attempt) {
    int status = 0;
    pid_t r = ::waitpid(pid_, &status, WNOHANG);
    if (r == 0) {
        if (attempt * kReapInterval < options_.exitGrace) {
            std::weak_ptr<EngineProcess> weak = weak_from_this();
            fnd::RunLoop::main()->after(kReapInterval, [weak, attempt] {
                if (auto self = weak.lock(); self && !self->closed_) self->reap(attempt + 1);
            });
            return;
        }
        // It closed its end of the socket yet goes on running: it is of no use any more.
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, &status, 0);
    }
    reaped_ = true;
    drainOutput();
    auto cause = causeOf(status);
    // Every item of the process fails with the same cause, in the order they came.
    auto items = std::exchange(items_, {});
    close();
    for (auto& [item, handlers] : items)
        if (handlers.end) handlers.end(cause);
}

rt::Ref<rt::Error> EngineProcess::causeOf(int status) const {
    std::string how;
    long long code = 0;
    if (WIFSIGNALED(status)) {
        code = WTERMSIG(status);
        const char* name = ::strsignal(WTERMSIG(status));
        how = rt::format("was ended by signal %d (%s)", WTERMSIG(status), name ? name : "unknown");
    } else if (WIFEXITED(status)) {
        code = WEXITSTATUS(status);
        how = rt::format("exited with status %d", WEXITSTATUS(status));
    } else {
        how = "ended";
    }
    if (!refused_.empty())
        return rt::Error::withDescription(MediaEngineProcessErrorDomain, code,
                                          rt::format("The media engine process (pid %d) %s and was stopped.", pid_, refused_));
    std::string said = lastLine(tail_);
    std::string description = rt::format("The media engine process (pid %d) %s", pid_, how);
    description += said.empty() ? std::string(".") : ", last saying: \"" + said + "\".";
    // Which code crashed, from the program's own report: a fault of the media framework
    // is told from one of the engine's.
    if (std::string libraries = crashingLibraries(tail_); !libraries.empty())
        description += " The crashing thread was in " + libraries + ".";
    return rt::Error::withDescription(MediaEngineProcessErrorDomain, code, description);
}

}  // namespace media::process
