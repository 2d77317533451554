#pragma once
// The application's standard directories and paths inside them.

#include <optional>
#include <string>
#include <string_view>

namespace zid {

std::string homeDirectory();
std::string temporaryDirectory();
/// The documents directory, ending with "/".
std::string documentsDirectory();

/// A path inside the directory: exactly one "/" between the directory and the name;
/// no name gives the directory itself.
std::string filePathInHome(std::optional<std::string_view> name);
std::string filePathInTemp(std::optional<std::string_view> name);
std::string filePathInDocuments(std::optional<std::string_view> name);

}  // namespace zid
