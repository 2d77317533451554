#pragma once
// The host's end of one engine process: starts the program, sends commands, hands each
// item's reports to that item's handler on the main loop, forwards what the process
// prints to the host's standard error (keeping the last lines), and tells every item how
// the process ended when it ends without being asked. Main thread only, except send().

#include <sys/types.h>

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include <fnd/RunLoop.h>
#include <media/ProcessEngine.h>

#include "Wire.h"

namespace media::process {

class EngineProcess : public std::enable_shared_from_this<EngineProcess> {
public:
    /// A report and the descriptor it carried (-1: none; the handler owns it).
    using ReportHandler = std::function<void(Report kind, Reader& body, int fd)>;
    /// The process ended unasked (or broke the protocol and was stopped); the error says how.
    using EndHandler = std::function<void(rt::Ref<rt::Error> cause)>;

    /// How a process waits for its first item.
    enum class Ahead {
        No,     ///< started for an asset: sets GStreamer up at once, loads what the asset needs
        Light,  ///< started ahead of any asset: sets GStreamer up only with its first item
        Warm,   ///< started ahead of an asset that comes soon: loads the common plugins
    };
    /// Starts the engine program; nullptr and an EngineFailed error when it cannot.
    static std::shared_ptr<EngineProcess> start(const ProcessEngine::Options& options, rt::Ref<rt::Error>* error,
                                                Ahead ahead = Ahead::No);
    ~EngineProcess();
    EngineProcess(const EngineProcess&) = delete;
    EngineProcess& operator=(const EngineProcess&) = delete;

    /// A new item of this process (a number never used before in it); its reports go to
    /// `report` and the process's end to `end` (empty: dropped, not heard). While the
    /// process has items it is checked every few seconds (see check()).
    std::uint32_t addItem(ReportHandler report = nullptr, EndHandler end = nullptr);
    void setItemHandlers(std::uint32_t item, ReportHandler report, EndHandler end);
    /// Sends a command; false once the process is gone. Any thread.
    bool send(const Writer& command);
    /// Stops the process (the handlers are not called any more; one that has ended is
    /// still waited for). Idempotent.
    void close();
    /// Asks the process to forget the item: its handlers go, and its reports still on
    /// their way are dropped until the process says it is idle. A process that has not
    /// said so within `teardownLimit` seconds (of the host's listening: awaitAnswer) is
    /// hung in that teardown: it is stopped, like one that broke the rules, and its other
    /// items fail.
    /// Of a process that has ended, only the item's handlers go.
    void closeItem(std::uint32_t item, double teardownLimit);
    /// Items loading, prepared or playing in the process (not those being closed).
    std::size_t itemCount() const { return items_.size(); }
    /// Whether the process is still tearing an item down (or ended while it was).
    bool isTearingDown() const { return !closing_.empty(); }
    /// Asks the process whether it still answers, before it is given an item (one stopped
    /// or hung would take the item down with it) and every few seconds while it has
    /// items (so that theirs do not freeze unheard). A process that has not answered
    /// within `limit` seconds (of the host's listening: awaitAnswer) has stopped
    /// answering: it is stopped, its items hear so, and failedCheck() then says so.
    /// Commands sent after this one wait behind it. A process is checked as it starts,
    /// with a longer limit (GStreamer's set-up); until it has answered that, no other
    /// check is made.
    void check(double limit);
    bool failedCheck() const { return failedCheck_; }
    /// Asks a process that is slow with an item's work whether it still answers at all:
    /// one that has not answered within `limit` seconds (of the host's listening:
    /// awaitAnswer) is hung, and stopped like one that broke the rules, `silence` saying
    /// what it left unanswered.
    void ping(double limit, const std::string& silence);
    /// Gives the process `limit` seconds of the host's listening to make `answered()` true
    /// (a pong, an Idle, a load's or a seek's answer): when the limit is due, what waits
    /// in the socket is read first (an answer waiting unread is an answer), and only the
    /// main loop's listening time counts (RunLoop::listenedTime: a main thread busy in
    /// one handler is not the process's silence), the limit being set again for what is
    /// left. Only a process silent through `limit` seconds of listening gets `overdue()`;
    /// nothing is called once it has ended or is closed. Every liveness limit of a
    /// process goes through here.
    void awaitAnswer(double limit, std::function<bool()> answered, std::function<void()> overdue);
    /// The number of checks sent so far, and whether the process has answered the one
    /// of that number (a process that has not yet answered the check made as it was
    /// handed an item never saw the item's command).
    unsigned checksSent() const { return pings_; }
    bool hasAnswered(unsigned check) const { return pongs_ >= check; }
    /// Whether the process's end of the socket is closed (it crashed or exited) though
    /// its end has not been read yet: it takes no item.
    bool hasHungUp() const;
    /// Whether the process takes no new item: it has been given its number of items
    /// (Options::retireAfterItems), its data memory has passed Options::retireAboveMemory,
    /// or it said it keeps what a closed item left (a teardown stuck past its bound, or
    /// descriptors still open once no item is left).
    /// Once retired it stays so; it ends with its last item (ProcessEngine).
    bool isRetired();
    /// The process's data memory in bytes (what RLIMIT_DATA bounds); 0 once it is gone.
    std::uint64_t dataBytes() const;
    /// Stops a process that did what it may not ("sent a ...") and reports it as ended.
    void refuse(const std::string& what);
    bool hasEnded() const { return ended_; }
    pid_t pid() const { return pid_; }
    /// How the engine is configured for an item (sent with Load and Attach).
    static void writeOptions(Writer& w, const ProcessEngine::Options& options);
    /// A spare process taken by an engine plays with that engine's options.
    void setOptions(const ProcessEngine::Options& options) { options_ = options; }
    const ProcessEngine::Options& options() const { return options_; }
    const std::string& path() const { return path_; }

private:
    EngineProcess() = default;
    void onSocket(short revents);
    /// Reads one datagram and hands on its reports; false when none was waiting or the
    /// process ended or was stopped meanwhile.
    bool receiveOne();
    struct Awaited;
    void judgeLater(const std::shared_ptr<Awaited>& awaited, double after);
    void onOutput(short revents);
    void drainOutput();
    void endUnasked();
    void reap(int attempt);
    void beat();
    rt::Ref<rt::Error> causeOf(int status) const;

    ProcessEngine::Options options_;
    std::string path_;
    pid_t pid_ = -1;
    int socket_ = -1;
    int output_ = -1;
    fnd::RunLoop::SourceId socketSource_ = 0, outputSource_ = 0;
    struct Handlers {
        ReportHandler report;
        EndHandler end;
    };
    std::map<std::uint32_t, Handlers> items_;
    /// Items closed whose Idle has not come yet.
    std::map<std::uint32_t, bool> closing_;
    std::uint32_t lastItem_ = 0;
    std::atomic<bool> ended_{false};  // read by send() on any thread
    bool closed_ = false;
    /// Whether waitpid() has collected the process.
    bool reaped_ = false;
    unsigned pings_ = 0, pongs_ = 0;
    bool failedCheck_ = false;
    bool retired_ = false;
    /// A light process that has not yet said anything of an item: it sets GStreamer up
    /// as its first item loads, which takes seconds when the registry of plugins is made
    /// anew, so its checks meanwhile have a start's limit.
    bool settingUp_ = false;
    /// Checks the process while it has items.
    rt::Ref<fnd::Timer> heartbeat_;
    std::atomic<bool> stuck_{false};
    std::string tail_;     // the last bytes the process printed
    std::string refused_;  // what the process sent that it may not
    ReceiveBuffer received_;
};

}  // namespace media::process
