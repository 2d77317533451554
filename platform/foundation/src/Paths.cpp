#include <fnd/Paths.h>

#include <cstdlib>
#include <dlfcn.h>
#include <link.h>
#include <pwd.h>
#include <unistd.h>

#include <system_error>
#include <filesystem>

namespace fnd {

namespace {
std::string envOr(const char* name, std::string fallback) {
    const char* v = std::getenv(name);
    return v && *v ? std::string(v) : fallback;
}
}  // namespace

std::string homeDirectory() {
    if (const char* home = std::getenv("HOME"); home && *home) return home;
    if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir && *pw->pw_dir) return pw->pw_dir;
    return "/";
}

std::string temporaryDirectory() {
    std::string dir = envOr("TMPDIR", "/tmp");
    if (dir.back() != '/') dir += '/';
    return dir;
}

std::string documentsDirectory() { return envOr("XDG_DOCUMENTS_DIR", joinPath(homeDirectory(), "Documents")); }

std::string executableDirectory() {
    std::error_code ec;
    auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) return {};
    return exe.parent_path().string();
}

std::string installationPrefix() {
    // The shared object this function was loaded from; the main program's entry has no
    // name, and then the code was linked into the executable.
    Dl_info info{};
    link_map* object = nullptr;
    std::string directory;
    if (::dladdr1(reinterpret_cast<void*>(&installationPrefix), &info, reinterpret_cast<void**>(&object),
                  RTLD_DL_LINKMAP) != 0 &&
        object && object->l_name && *object->l_name) {
        std::error_code ec;
        auto library = std::filesystem::canonical(object->l_name, ec);
        if (!ec) directory = library.parent_path().string();
    }
    if (directory.empty()) directory = executableDirectory();
    if (directory.empty()) return {};
    return std::filesystem::path(directory).parent_path().string();
}

std::string joinPath(std::string_view directory, std::string_view name) {
    while (directory.size() > 1 && directory.back() == '/') directory.remove_suffix(1);
    while (!name.empty() && name.front() == '/') name.remove_prefix(1);
    std::string out(directory);
    if (out != "/") out += '/';
    out.append(name);
    return out;
}

}  // namespace fnd
