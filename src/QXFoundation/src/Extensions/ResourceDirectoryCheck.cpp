#include <QXFoundation/Extensions/ResourceDirectoryCheck.h>

#include <mutex>
#include <set>
#include <string_view>

#include <dirent.h>
#include <sys/stat.h>

#include <QXFoundation/Log/QXLogger.h>
#include <fnd/Bundle.h>

namespace zid {

namespace {
constexpr const char* kWhatToSet =
    "; set ZID_RESOURCE_DIR to the installed resource folder, <prefix>/share/zidoredider (the CMake package's "
    "Zidoredider_RESOURCE_DIR, `pkg-config --variable=resourcedir zidoredider`)";
}  // namespace

namespace {
/// Whether the folder holds any entry besides "." and "..".
bool holdsAnything(const std::string& folder) {
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return false;
    bool any = false;
    while (const dirent* entry = ::readdir(dir)) {
        std::string_view name = entry->d_name;
        if (name != "." && name != "..") {
            any = true;
            break;
        }
    }
    ::closedir(dir);
    return any;
}
}  // namespace

std::string resourceDirectoryProblem() {
    std::string folder = fnd::Bundle::resourceDirectory();
    std::string problem;
    struct stat info {};
    if (folder.empty())
        problem = "The framework's resources were not found: the library's installation folder is unknown";
    else if (::stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode))
        problem = "The framework's resources were not found: the folder " + folder + " does not exist";
    else if (!holdsAnything(folder))
        problem = "The framework's resources were not found: the folder " + folder + " is empty";
    if (problem.empty()) return problem;
    problem += kWhatToSet;
    problem += ". Without them icons are missing and texts show as their keys.";
    static std::mutex mutex;
    static std::set<std::string> logged;
    bool first;
    {
        std::lock_guard lock(mutex);
        first = logged.insert(folder).second;
    }
    if (first) QXLog("ZIDoredider/QXFoundation", fnd::Bundle::staticClass(), 2, "%@", problem);
    return problem;
}

}  // namespace zid
