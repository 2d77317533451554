#pragma once
// A network namespace made for one test ("zidtest-<tag>-<pid>"), with its loopback
// up, removed again at the end. Network traffic of such tests stays inside it.
// enter() moves only the calling thread; sockets made meanwhile stay in the
// namespace after leave().

#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

namespace zidtest {

class NetNamespace {
public:
    explicit NetNamespace(const std::string& tag) : name_("zidtest-" + tag + "-" + std::to_string(::getpid())) {
        std::system(("ip netns del " + name_ + " >/dev/null 2>&1").c_str());
        if (!shell("ip netns add " + name_)) {
            failure_ = "creating a network namespace (ip netns add) is not possible in this environment";
            return;
        }
        created_ = true;
        if (!ip("link set lo up")) failure_ = "the loopback interface of the test namespace cannot be brought up";
    }
    ~NetNamespace() {
        leave();
        if (created_) std::system(("ip netns del " + name_ + " >/dev/null 2>&1").c_str());
    }
    NetNamespace(const NetNamespace&) = delete;
    NetNamespace& operator=(const NetNamespace&) = delete;

    bool available() const { return created_ && failure_.empty(); }
    const std::string& failure() const { return failure_; }
    const std::string& name() const { return name_; }

    /// "ip -n <name> <args>"
    bool ip(const std::string& args) { return shell("ip -n " + name_ + " " + args); }
    /// Runs a command inside the namespace.
    bool exec(const std::string& command) { return shell("ip netns exec " + name_ + " " + command); }

    bool enter() {
        if (!available() || original_ >= 0) return false;
        original_ = ::open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
        int target = ::open(("/var/run/netns/" + name_).c_str(), O_RDONLY | O_CLOEXEC);
        bool ok = original_ >= 0 && target >= 0 && ::setns(target, CLONE_NEWNET) == 0;
        if (target >= 0) ::close(target);
        if (!ok && original_ >= 0) {
            ::close(original_);
            original_ = -1;
        }
        return ok;
    }
    void leave() {
        if (original_ < 0) return;
        (void)::setns(original_, CLONE_NEWNET);
        ::close(original_);
        original_ = -1;
    }

private:
    static bool shell(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()) == 0; }

    std::string name_;
    std::string failure_;
    bool created_ = false;
    int original_ = -1;
};

}  // namespace zidtest
