#include "Extensions/FileSystemExtensions.h"

#include <fnd/Paths.h>

namespace zid {

namespace {
std::string inDirectory(const std::string& directory, std::optional<std::string_view> name) {
    return name ? fnd::joinPath(directory, *name) : directory;
}
}  // namespace

std::string homeDirectory() { return fnd::homeDirectory(); }
std::string temporaryDirectory() { return fnd::temporaryDirectory(); }
std::string documentsDirectory() { return fnd::joinPath(fnd::documentsDirectory(), ""); }

std::string filePathInHome(std::optional<std::string_view> name) { return inDirectory(homeDirectory(), name); }
std::string filePathInTemp(std::optional<std::string_view> name) { return inDirectory(temporaryDirectory(), name); }
std::string filePathInDocuments(std::optional<std::string_view> name) {
    return inDirectory(documentsDirectory(), name);
}

}  // namespace zid
