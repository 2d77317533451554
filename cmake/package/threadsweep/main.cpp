// The thread sweep: every public method of every main-thread-only class the installed
// headers declare, of the interfaces those adopt, and every static one (the generated
// units list them), called from a thread of the host's in a child process of its own, on
// the object a playing facade hands out or else on a fresh one. Each must be refused with
// the thread error, leave the object's getters answering as before and call no observer.
#include "Sweep.h"

#include <QXSDKPlayer/Common/QXQuorvexPlayer.h>
#include <fnd/RunLoop.h>
#include <ui/ViewController.h>
#include <ui/Window.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <thread>

#include <poll.h>
#include <pthread.h>
#include <sched.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

namespace sweep {

void hostSetUp() {
    // As the guide has it: the main run loop first, so that this thread is the main one
    // whatever the sweep's own thread then makes.
    fnd::RunLoop::main();
    zid::QXQuorvexPlayer::configureWithApiKey(std::string("thread-sweep"));
}

zid::QXQuorvexPlayer& playingFacade() {
    static const rt::Ref<zid::QXQuorvexPlayer> facade = [] {
        auto player = zid::QXQuorvexPlayer::player();
        // As a host has it: the view in a window whose root controller presents for the
        // player. With the custom toolbar control, the control holds the session's
        // source and player, and the items made from it are bound to them.
        static const auto window = rt::make<ui::Window>(ui::Rect(0, 0, 640, 360));
        auto root = rt::make<ui::ViewController>();
        window->setRootViewController(root);
        root->view()->addSubview(player->view());
        player->setPresentingViewController(root);
        player->setPlayerControlStyle(zid::QXPlayerControlStyle::CustomToolbar);
        // An address where nothing answers: the play call makes the session, its source
        // and its player as for any stream, and the objects a host then reaches are those
        // of a playing facade. (A stream played to its first picture in every child would
        // add minutes to the sweep.)
        player->playURL(std::string("http://127.0.0.1:9/thread-sweep/index.m3u8"), zid::QXStreamKind::Recorded, true);
        fnd::RunLoop::main()->runUntil([&] { return player->playerState() != zid::QXPlayerState::Stopped; }, 5);
        return player;
    }();
    return *facade;
}

std::string Registry::onHostThread(const std::function<void()>& call) {
    std::string raised;
    std::thread host([&] {
        pthread_setname_np(pthread_self(), "zid-host-worker");
        try {
            call();
        } catch (const rt::Exception& e) {
            raised = e.name();
        } catch (const std::exception& e) {
            raised = std::string("a std::exception (") + e.what() + ")";
        } catch (...) {
            raised = "an unknown exception";
        }
    });
    host.join();
    return raised;
}

void Registry::runStatic(Outcome& out, const std::function<void()>& call) {
    out.mainThreadOnly = true;
    std::string raised = onHostThread(call);
    out.refused = raised == "QXQuorvexPlayerThreadError" && !callbackCalled;
    auto add = [&](const std::string& what) { out.detail += (out.detail.empty() ? "" : "; ") + what; };
    if (raised.empty()) add("ran");
    else if (raised != "QXQuorvexPlayerThreadError") add("raised " + raised);
    if (callbackCalled) add("a callback was called");
}

void Registry::runOn(Outcome& out, rt::Object& object, const std::function<Snapshot()>& snapshot,
                     const std::function<void()>& call) {
    out.mainThreadOnly = true;
    if (!rt::MainThread::isMainThreadOnly(object)) {
        out.detail = "its header says main-thread-only, its class description does not";
        return;
    }
    Snapshot before = snapshot();
    before.settle();
    std::atomic<bool> observed{false};
    std::vector<rt::Ref<rt::Observation>> observations;
    auto names = before.names();
    names.push_back("sweep");
    for (auto& name : names) {
        try {
            observations.push_back(rt::observe(object.self(), name, 0, [&](const rt::KVOChange&) { observed = true; }));
        } catch (...) {
        }
    }
    std::string raised = onHostThread(call);
    auto changed = before.changed();
    out.refused = raised == "QXQuorvexPlayerThreadError" && changed.empty() && !observed && !callbackCalled;
    auto add = [&](const std::string& what) { out.detail += (out.detail.empty() ? "" : "; ") + what; };
    if (raised.empty()) add("ran");
    else if (raised != "QXQuorvexPlayerThreadError") add("raised " + raised);
    for (auto& name : changed) add("changed " + name + "()");
    if (observed) add("an observer was called");
    if (callbackCalled) add("a callback was called");
}

namespace {

// One outcome through a pipe: flags, then the detail.
void send(int fd, const Outcome& out) {
    std::string line = std::string(out.mainThreadOnly ? "M" : "-") + (out.refused ? "R" : "-") +
                       (out.leftOut ? "L" : "-") + (out.onPlaying ? "P" : out.playingHadNone ? "N" : "-") + out.detail;
    std::replace(line.begin(), line.end(), '\n', ' ');
    (void)!::write(fd, line.data(), line.size());
}

/// A child calling one method, and what it has sent so far.
struct Running {
    std::size_t index;
    pid_t child;
    int fd;
    std::string text;
    std::chrono::steady_clock::time_point started;
};

Outcome outcomeOf(const Running& run, const std::string& label) {
    Outcome out;
    out.label = label;
    int status = 0;
    ::waitpid(run.child, &status, 0);
    if (run.text.size() < 4) {
        out.mainThreadOnly = true;
        out.detail = WIFSIGNALED(status) ? "the process ended on signal " + std::to_string(WTERMSIG(status))
                                         : "the process ended without an answer";
        return out;
    }
    out.mainThreadOnly = run.text[0] == 'M';
    out.refused = run.text[1] == 'R';
    out.leftOut = run.text[2] == 'L';
    out.onPlaying = run.text[3] == 'P';
    out.playingHadNone = run.text[3] == 'N';
    out.detail = run.text.substr(4);
    return out;
}

/// How many children call at once: one per core this process may use, at most three.
/// Each is a process of its own, so they keep nothing from one another.
std::size_t childrenAtOnce() {
    cpu_set_t set;
    CPU_ZERO(&set);
    int cores = ::sched_getaffinity(0, sizeof set, &set) == 0 ? CPU_COUNT(&set) : 1;
    return static_cast<std::size_t>(std::clamp(cores, 1, 3));
}

}  // namespace

std::vector<Outcome> Registry::runAll() const {
    // A call that is not refused may block its child: 20 s, then it is ended.
    constexpr auto kHung = std::chrono::seconds(20);
    std::vector<Outcome> outcomes(entries_.size());
    std::vector<Running> running;
    const std::size_t atOnce = childrenAtOnce();
    std::size_t next = 0;
    while (next < entries_.size() || !running.empty()) {
        while (next < entries_.size() && running.size() < atOnce) {
            int fds[2];
            if (::pipe(fds) != 0) std::abort();
            std::fflush(nullptr);
            pid_t child = ::fork();
            if (child < 0) std::abort();
            if (child == 0) {
                ::close(fds[0]);
                Outcome out;
                try {
                    hostSetUp();
                    entries_[next].run(out);
                } catch (const rt::Exception& e) {
                    out.leftOut = true;
                    out.detail = "on the main thread, setting up raised " + e.name() + ": " + e.reason();
                }
                send(fds[1], out);
                ::_exit(0);
            }
            ::close(fds[1]);
            running.push_back({next++, child, fds[0], {}, std::chrono::steady_clock::now()});
        }
        std::vector<pollfd> polls;
        for (auto& run : running) polls.push_back({run.fd, POLLIN, 0});
        ::poll(polls.data(), polls.size(), 1000);
        const auto now = std::chrono::steady_clock::now();
        for (std::size_t k = running.size(); k-- > 0;) {
            Running& run = running[k];
            bool ended = false;
            if (polls[k].revents != 0) {
                char buffer[4096];
                ssize_t n = ::read(run.fd, buffer, sizeof buffer);
                if (n > 0) run.text.append(buffer, static_cast<std::size_t>(n));
                else ended = true;
            } else if (now - run.started > kHung) {
                ::kill(run.child, SIGKILL);
                run.text = "M---hung: ended after 20 s";
                ended = true;
            }
            if (!ended) continue;
            ::close(run.fd);
            outcomes[run.index] = outcomeOf(run, entries_[run.index].label);
            running.erase(running.begin() + static_cast<std::ptrdiff_t>(k));
        }
    }
    return outcomes;
}

}  // namespace sweep

int main() {
    sweep::Registry registry;
    sweep::addEveryMethod(registry);
    auto outcomes = registry.runAll();
    std::size_t swept = 0, refused = 0, leftOut = 0, onPlaying = 0;
    std::set<std::string> playingHadNone;
    for (auto& o : outcomes) {
        if (o.leftOut) {
            ++leftOut;
            std::printf("left out: %s: %s\n", o.label.c_str(), o.detail.c_str());
            continue;
        }
        if (!o.mainThreadOnly) continue;
        ++swept;
        if (o.onPlaying) ++onPlaying;
        if (o.playingHadNone) playingHadNone.insert(o.label.substr(0, o.label.rfind("::", o.label.find('('))));
        if (o.refused) ++refused;
        else std::printf("NOT REFUSED: %s: %s\n", o.label.c_str(), o.detail.c_str());
    }
    for (const auto& name : playingHadNone)
        std::printf("called on a fresh object: %s (the playing facade's getters answered none)\n", name.c_str());
    std::printf("thread sweep: %zu public methods of main-thread-only classes called from a host's thread (%zu of "
                "them on objects a playing facade handed out), %zu refused, %zu not; %zu left out (above); %zu "
                "methods of other classes passed over\n",
                swept, onPlaying, refused, swept - refused, leftOut, outcomes.size() - swept - leftOut);
    return swept > 0 && refused == swept ? 0 : 1;
}
