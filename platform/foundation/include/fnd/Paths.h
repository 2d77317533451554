#pragma once
// The standard directories of the running program and path joining.

#include <string>
#include <string_view>

namespace fnd {

/// The user's home directory: $HOME, else the password database's entry, else "/".
std::string homeDirectory();
/// The temporary directory, ending with "/": $TMPDIR, else "/tmp/".
std::string temporaryDirectory();
/// The user's documents folder: $XDG_DOCUMENTS_DIR, else "<home>/Documents".
std::string documentsDirectory();
/// The directory holding the running executable (empty when it cannot be told).
std::string executableDirectory();

/// Joins a directory and a name with exactly one "/" between them, whatever
/// separators either side already carries. An empty name gives the directory with
/// one trailing "/".
std::string joinPath(std::string_view directory, std::string_view name);

}  // namespace fnd
