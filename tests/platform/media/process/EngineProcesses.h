#pragma once
// The engine processes a test's process runs, found by their parent's pid, and what
// /proc says of each.

#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <set>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "../GstTestSupport.h"

namespace zidtest {

/// The children of a process, by pid; with `program`, only those that run it (its first
/// 15 characters).
inline std::set<pid_t> childProcesses(pid_t parent, const std::string& program = "") {
    std::set<pid_t> pids;
    std::error_code error;  // processes come and go while /proc is read
    for (auto it = std::filesystem::directory_iterator("/proc", error); !error && it != std::filesystem::directory_iterator();
         it.increment(error)) {
        const auto& entry = *it;
        std::string name = entry.path().filename();
        if (name.empty() || !std::isdigit(static_cast<unsigned char>(name[0]))) continue;
        std::string text = readProcFile(entry.path() / "stat");
        std::size_t open = text.find('('), close = text.rfind(')');
        if (open == std::string::npos || close == std::string::npos || close + 4 > text.size()) continue;
        // A comm is cut to 15 characters.
        if (static_cast<pid_t>(std::atol(text.c_str() + close + 4)) == parent &&
            (program.empty() || text.compare(open + 1, close - open - 1, program) == 0))
            pids.insert(static_cast<pid_t>(std::stol(name)));
    }
    return pids;
}

/// The engine processes this test's process runs now, by pid (`program`: the first 15
/// characters of the engine program's name).
inline std::set<pid_t> engineProcesses(const std::string& program = "zid_media_engin") {
    return childProcesses(::getpid(), program);
}

/// A number field of /proc/<pid>/status ("Threads", "VmData" in KiB...); -1 when the
/// process is gone.
inline long procStatus(pid_t pid, const std::string& field);

/// The engine processes that run now: neither gone nor zombies.
inline std::set<pid_t> liveEngineProcesses(const std::string& program = "zid_media_engin") {
    std::set<pid_t> live;
    for (pid_t pid : engineProcesses(program))
        if (procStatus(pid, "Threads") > 0 &&
            readProcFile("/proc/" + std::to_string(pid) + "/stat").find(") Z ") == std::string::npos)
            live.insert(pid);
    return live;
}

/// A number field of /proc/<pid>/status ("Threads", "VmData" in KiB...); -1 when the
/// process is gone.
inline long procStatus(pid_t pid, const std::string& field) {
    std::string text = readProcFile("/proc/" + std::to_string(pid) + "/status");
    std::size_t at = text.find("\n" + field + ":");
    if (at == std::string::npos) return -1;
    return std::atol(text.c_str() + at + field.size() + 2);
}

/// The CPU time a process has used, in clock ticks; -1 when it is gone.
inline long cpuTicks(pid_t pid) {
    std::string text = readProcFile("/proc/" + std::to_string(pid) + "/stat");
    std::size_t close = text.rfind(')');
    if (close == std::string::npos) return -1;
    // After the name: the state (field 3) ... user time (14) and system time (15).
    std::istringstream fields(text.substr(close + 1));
    std::string field;
    long ticks = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i)
        if (i >= 14) ticks += std::atol(field.c_str());
    return ticks;
}

/// Waits until a process has used no CPU for half a second and runs no child (no plugin
/// scanner of its own): a process still starting has its start's limit (20 s), and on a
/// loaded machine a start takes longer than any fixed wait. Answers when it went quiet,
/// or nothing when it did not within `limit` seconds. The run loop turns meanwhile.
inline std::optional<std::chrono::steady_clock::time_point> waitUntilQuiet(pid_t pid, double limit = 30) {
    long ticks = -1;
    auto quietSince = std::chrono::steady_clock::now();
    bool quiet = fnd::RunLoop::main()->runUntil([&] {
        auto now = std::chrono::steady_clock::now();
        if (long used = cpuTicks(pid); used != ticks || !childProcesses(pid).empty()) {
            ticks = used;
            quietSince = now;
        }
        return std::chrono::duration<double>(now - quietSince).count() >= 0.5;
    }, limit);
    if (!quiet) return std::nullopt;
    return quietSince;
}

/// The descriptors a process has open; -1 when it is gone.
inline long openDescriptors(pid_t pid) {
    std::error_code error;
    long count = 0;
    for (auto it = std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/fd", error);
         !error && it != std::filesystem::directory_iterator(); it.increment(error))
        ++count;
    return error && count == 0 ? -1 : count;
}

/// A shell script standing in for the engine program (in the test's scratch folder).
inline std::string standInProgram(const std::string& name, const std::string& body) {
    std::string path = testing::TempDir() + "/" + name;
    std::ofstream(path) << "#!/bin/sh\n" << body << "\n";
    ::chmod(path.c_str(), 0755);
    return path;
}

/// Threads of every live process running `program` together, once they have stopped
/// changing (the pipelines of items just closed stop on threads of their own), or after
/// `seconds`.
inline long settledThreads(const std::string& program = "zid_media_engin", double seconds = 5) {
    long last = -1;
    auto stableSince = std::chrono::steady_clock::now();
    auto end = stableSince + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < end) {
        long now = 0;
        for (pid_t pid : liveEngineProcesses(program)) now += std::max(0L, procStatus(pid, "Threads"));
        if (now != last) {
            last = now;
            stableSince = std::chrono::steady_clock::now();
        } else if (std::chrono::steady_clock::now() - stableSince > std::chrono::milliseconds(600)) {
            break;
        }
        fnd::RunLoop::main()->runFor(0.05);
    }
    return last;
}

}  // namespace zidtest
