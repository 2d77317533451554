#pragma once
// CPU time and resident memory of this process and of the children it runs (the media
// engine's processes), read from /proc: a playback's cost in the default set-up, where
// the engine plays in a child process, is the host's and the engine's together.

#include <sys/resource.h>
#include <sys/types.h>
#include <unistd.h>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace zidbench {

inline double cpuOf(const rusage& u) {
    return u.ru_utime.tv_sec + u.ru_utime.tv_usec / 1e6 + u.ru_stime.tv_sec + u.ru_stime.tv_usec / 1e6;
}

/// Every running process, by pid, with its parent's pid.
inline std::vector<std::pair<pid_t, pid_t>> processesWithParents() {
    std::vector<std::pair<pid_t, pid_t>> processes;
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        std::string name = entry.path().filename();
        if (name.empty() || !std::isdigit(static_cast<unsigned char>(name[0]))) continue;
        std::ifstream stat(entry.path() / "stat");
        std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
        std::size_t close = text.rfind(')');
        if (close == std::string::npos) continue;
        std::istringstream fields(text.substr(close + 2));
        char state;
        pid_t parent = 0;
        fields >> state >> parent;
        processes.emplace_back(static_cast<pid_t>(std::stol(name)), parent);
    }
    return processes;
}

/// This process's children that still run (the engine processes), by pid.
inline std::vector<pid_t> livingChildren() {
    std::vector<pid_t> pids;
    pid_t self = ::getpid();
    for (auto [pid, parent] : processesWithParents())
        if (parent == self) pids.push_back(pid);
    return pids;
}

/// CPU seconds a running child has used so far (its threads, not its reaped children).
inline double childCpu(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    std::size_t close = text.rfind(')');
    if (close == std::string::npos) return 0;
    std::istringstream fields(text.substr(close + 2));
    std::string field;
    double user = 0, system = 0;
    for (int i = 3; fields >> field; ++i) {
        if (i == 14) user = std::stod(field);
        if (i == 15) {
            system = std::stod(field);
            break;
        }
    }
    return (user + system) / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

/// A running child's peak resident kilobytes (VmHWM) or, with `current`, its resident ones now.
inline long childKB(pid_t pid, bool current = false) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    const std::string key = current ? "VmRSS:" : "VmHWM:";
    while (std::getline(status, line))
        if (line.rfind(key, 0) == 0) return std::stol(line.substr(key.size()));
    return 0;
}

/// A process's proportional set size in kilobytes (shared pages divided among their
/// users, so the figures of several processes add up); 0 when it cannot be read.
inline long pssKB(pid_t pid) {
    std::ifstream rollup("/proc/" + std::to_string(pid) + "/smaps_rollup");
    std::string line;
    while (std::getline(rollup, line))
        if (line.rfind("Pss:", 0) == 0) return std::stol(line.substr(4));
    return 0;
}

/// CPU seconds of this process, its reaped children and its running children.
inline double cpuSeconds(std::map<pid_t, double>* perChild = nullptr) {
    rusage usage{}, children{};
    ::getrusage(RUSAGE_SELF, &usage);
    ::getrusage(RUSAGE_CHILDREN, &children);
    double total = cpuOf(usage) + cpuOf(children);
    for (pid_t pid : livingChildren()) {
        double cpu = childCpu(pid);
        if (perChild) (*perChild)[pid] = cpu;
        total += cpu;
    }
    return total;
}

}  // namespace zidbench
