#include "TestPaths.h"

#include <filesystem>
#include <fstream>
#include <mutex>
#include <stdexcept>
#include <system_error>

namespace zidtest {

namespace {
const char* const kReconfigure = ": the build writes it beside the test binary; reconfigure the build (cmake) and rebuild";
}

std::string testPathsFile() {
    std::error_code error;
    auto binary = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error)
        throw std::runtime_error("cannot find the running test binary (/proc/self/exe: " + error.message() +
                                 ") to read its paths file beside it");
    return binary.string() + ".paths";
}

std::map<std::string, std::string> readTestPaths(const std::string& file) {
    std::ifstream in(file);
    if (!in) throw std::runtime_error("cannot read the test paths file " + file + kReconfigure);
    std::map<std::string, std::string> paths;
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.find_first_not_of(" \t") == std::string::npos) continue;
        auto equals = line.find('=');
        if (equals == std::string::npos || equals == 0)
            throw std::runtime_error("line " + std::to_string(number) + " of the test paths file " + file +
                                     " is not key=value (\"" + line + "\")" + kReconfigure);
        paths[line.substr(0, equals)] = line.substr(equals + 1);
    }
    return paths;
}

std::string testPath(const std::string& key) {
    // Read once; a file that cannot be read is reported again on every later call.
    static std::once_flag once;
    static std::string file;
    static std::map<std::string, std::string> paths;
    static std::string failure;
    std::call_once(once, [] {
        try {
            file = testPathsFile();
            paths = readTestPaths(file);
        } catch (const std::exception& e) {
            failure = e.what();
        }
    });
    if (!failure.empty()) throw std::runtime_error("no test path \"" + key + "\": " + failure);
    auto found = paths.find(key);
    if (found == paths.end())
        throw std::runtime_error("no test path \"" + key + "\" in " + file +
                                 ": name it with zid_test_paths in the test's CMakeLists.txt, then reconfigure the "
                                 "build (cmake) and rebuild");
    return found->second;
}

}  // namespace zidtest
