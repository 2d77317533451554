#include <QXFoundation/Extensions/ResourceDirectoryCheck.h>

#include <filesystem>
#include <mutex>
#include <set>

#include <QXFoundation/Log/QXLogger.h>
#include <fnd/Bundle.h>

namespace zid {

namespace {
constexpr const char* kWhatToSet =
    "; set ZID_RESOURCE_DIR to the installed resource folder, <prefix>/share/zidoredider (the CMake package's "
    "Zidoredider_RESOURCE_DIR, `pkg-config --variable=resourcedir zidoredider`)";
}  // namespace

std::string resourceDirectoryProblem() {
    namespace fs = std::filesystem;
    std::string folder = fnd::Bundle::resourceDirectory();
    std::string problem;
    std::error_code ec;
    if (folder.empty())
        problem = "The framework's resources were not found: the library's installation folder is unknown";
    else if (!fs::is_directory(folder, ec))
        problem = "The framework's resources were not found: the folder " + folder + " does not exist";
    else if (fs::directory_iterator(folder, ec) == fs::directory_iterator())
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
