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
/// The prefix this code is installed under, so an installed build finds what was
/// installed beside it wherever the prefix was moved: the folder above the one holding
/// the shared library the code is part of, or above the executable's folder when it is
/// linked in statically (<prefix>/lib/libx.so and <prefix>/bin/host both give <prefix>).
/// Empty when it cannot be told.
std::string installationPrefix();

/// Joins a directory and a name with exactly one "/" between them, whatever
/// separators either side already carries. An empty name gives the directory with
/// one trailing "/".
std::string joinPath(std::string_view directory, std::string_view name);

}  // namespace fnd
