#include "IdleDescriptors.h"

#include <unistd.h>

#include <filesystem>

namespace media::process {

std::map<std::string, long> descriptorKinds(pid_t pid) {
    std::map<std::string, long> kinds;
    std::error_code error;
    for (auto it = std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/fd", error);
         !error && it != std::filesystem::directory_iterator(); it.increment(error)) {
        std::error_code unread;  // closed since the listing
        std::string target = std::filesystem::read_symlink(it->path(), unread).string();
        if (unread) continue;
        std::string kind = "file";
        if (target.rfind("anon_inode:", 0) == 0) {
            kind = target.substr(11);
            if (kind.size() > 2 && kind.front() == '[') kind = kind.substr(1, kind.size() - 2);
        } else if (target.rfind("/memfd:", 0) == 0) {
            kind = "memfd";
        } else if (std::size_t bracket = target.find(":["); bracket != std::string::npos) {
            kind = target.substr(0, bracket);
        }
        ++kinds[kind];
    }
    return kinds;
}

bool IdleDescriptors::grew() {
    auto now = descriptorKinds(::getpid());
    now.erase("memfd");
    if (!level_) {
        level_ = std::move(now);
        return false;
    }
    for (const auto& [kind, count] : now) {
        auto it = level_->find(kind);
        if (count > (it == level_->end() ? 0 : it->second)) return true;
    }
    return false;
}

}  // namespace media::process
