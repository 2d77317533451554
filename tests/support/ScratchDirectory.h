#pragma once
// A fresh, empty directory for one test, removed with everything in it when the
// object goes. Each one gets a unique name (mkdtemp), so tests running in parallel
// processes never share or delete each other's files.
//
//   zidtest::ScratchDirectory scratch("zid-archive");
//   write(scratch / "a.plist", ...);

#include <stdlib.h>

#include <cerrno>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

namespace zidtest {

class ScratchDirectory {
public:
    /// Makes "<temporary directory>/<prefix>-XXXXXX"; throws std::system_error when
    /// the directory cannot be made (a test fixture reports that as a failure).
    explicit ScratchDirectory(std::string_view prefix = "zid-test") {
        std::string pattern = (std::filesystem::temp_directory_path() / std::string(prefix)).string() + "-XXXXXX";
        if (!::mkdtemp(pattern.data()))
            throw std::system_error(errno, std::generic_category(), "cannot make scratch directory " + pattern);
        path_ = pattern;
    }
    ~ScratchDirectory() {
        std::error_code ignored;  // a destructor must not throw; a leftover directory is harmless
        std::filesystem::remove_all(path_, ignored);
    }
    ScratchDirectory(const ScratchDirectory&) = delete;
    ScratchDirectory& operator=(const ScratchDirectory&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::string string() const { return path_.string(); }
    std::filesystem::path operator/(const std::filesystem::path& child) const { return path_ / child; }

private:
    std::filesystem::path path_;
};

}  // namespace zidtest
