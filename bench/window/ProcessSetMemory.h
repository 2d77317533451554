#pragma once
// Resident memory of a set of processes with every page counted once: what a host and
// its engine processes hold together. Adding their resident figures counts twice each
// page of a library both map (the C++ runtime, GLib, GStreamer's core), which a machine
// holds once. Read from /proc/<pid>/smaps: a file's pages are counted once per file
// range (the largest resident figure any process of the set has for it), a process's
// own pages (anonymous mappings, the private copies in a file's mappings) in full.

#include <sys/types.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "ProcessCpu.h"

namespace zidbench {

/// The process and every process below it that still runs.
inline std::vector<pid_t> processTree(pid_t root) {
    std::multimap<pid_t, pid_t> children;
    for (auto [pid, parent] : processesWithParents()) children.emplace(parent, pid);
    std::vector<pid_t> tree{root};
    for (std::size_t i = 0; i < tree.size(); ++i) {
        auto [from, to] = children.equal_range(tree[i]);
        for (auto it = from; it != to; ++it) tree.push_back(it->second);
    }
    return tree;
}

struct ProcessPages {
    /// Pages of files, by (device, inode, offset): resident kilobytes shared with the file.
    std::map<std::tuple<std::string, unsigned long, std::string>, long> files;
    /// The process's own kilobytes.
    long own = 0;
    long total() const {
        long kb = own;
        for (const auto& [key, value] : files) kb += value;
        return kb;
    }
};

/// Adds the process's resident pages to the set's; false when it has gone.
inline bool addProcessPages(pid_t pid, ProcessPages& set) {
    std::ifstream smaps("/proc/" + std::to_string(pid) + "/smaps");
    if (!smaps) return false;
    std::string line;
    std::tuple<std::string, unsigned long, std::string> key;
    bool file = false;
    long rss = 0;
    auto close = [&] {
        if (file) {
            long& kb = set.files[key];
            kb = std::max(kb, rss);
        }
        rss = 0;
    };
    while (std::getline(smaps, line)) {
        if (line.empty()) continue;
        // A mapping's header: "start-end perms offset dev inode [path]"; its fields are
        // "Name: value kB" lines, named with a capital.
        if (std::isxdigit(static_cast<unsigned char>(line[0])) && line.find('-') < line.find(' ')) {
            close();
            std::istringstream fields(line);
            std::string range, perms, offset, device;
            unsigned long inode = 0;
            fields >> range >> perms >> offset >> device >> inode;
            file = inode != 0;
            key = {device, inode, offset};
            continue;
        }
        long kb = 0;
        if (line.rfind("Rss:", 0) == 0) {
            kb = std::stol(line.substr(4));
            if (file) rss += kb;
            else set.own += kb;
        } else if (file && line.rfind("Anonymous:", 0) == 0) {
            // A file mapping's private copies (relocations, written data) are the process's own.
            kb = std::stol(line.substr(10));
            rss -= kb;
            set.own += kb;
        }
    }
    close();
    return true;
}

/// Resident kilobytes of the processes together, each page once.
inline long residentOnceKB(const std::vector<pid_t>& pids) {
    ProcessPages set;
    for (pid_t pid : pids) addProcessPages(pid, set);
    return set.total();
}

}  // namespace zidbench
