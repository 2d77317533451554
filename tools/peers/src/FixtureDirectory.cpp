#include "FixtureDirectory.h"

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace peers::fixtures {

namespace {
constexpr const char* kCompleteMarker = ".complete";
}

std::string quote(const fs::path& p) { return "'" + p.string() + "'"; }

void run(const std::string& label, const std::string& command, const fs::path& log) {
    std::string full = command + " >" + quote(log) + " 2>&1";
    if (std::system(full.c_str()) != 0) {
        std::ifstream in(log);
        std::stringstream text;
        text << in.rdbuf();
        throw std::runtime_error(label + ": ffmpeg failed: " + command + "\n" + text.str());
    }
}

void writeFile(const std::string& label, const fs::path& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
    if (!out) throw std::runtime_error(label + ": cannot write " + path.string());
}

std::string ensure(const std::string& label, const std::string& dirName, const std::function<void(const fs::path&)>& build) {
    fs::path dir(dirName);
    if (fs::exists(dir / kCompleteMarker)) return dirName;
    fs::create_directories(dir.parent_path());
    fs::path aside = dir.parent_path() / (dir.filename().string() + ".tmp." + std::to_string(::getpid()));
    fs::remove_all(aside);
    try {
        fs::create_directories(aside);
        build(aside);
        writeFile(label, aside / kCompleteMarker, "");
    } catch (...) {
        fs::remove_all(aside);
        throw;
    }
    std::error_code ec;
    if (fs::exists(dir) && !fs::exists(dir / kCompleteMarker)) fs::remove_all(dir, ec);  // a broken earlier attempt
    fs::rename(aside, dir, ec);
    if (ec) fs::remove_all(aside);  // another process got there first
    if (!fs::exists(dir / kCompleteMarker)) throw std::runtime_error(label + ": could not place " + dir.string());
    return dirName;
}

}  // namespace peers::fixtures
