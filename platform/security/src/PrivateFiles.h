#pragma once
// Directories and files only the user may read: where secrets are kept.

#include <cstddef>
#include <filesystem>

namespace sec::detail {

/// Creates the directory and its missing parents with mode 0700 and makes sure the
/// directory itself grants nothing to group and others. False (with errno set) when it
/// cannot be created or tightened.
bool createPrivateDirectory(const std::filesystem::path& directory);

/// Writes the bytes to a file atomically: a temporary file of mode 0600 in the same
/// directory, flushed to disk, then renamed over the target. Readers see the old or the
/// new contents, never a mix. False (with errno set) on failure; the target is then
/// unchanged and no temporary file is left behind.
bool writePrivateFileAtomically(const std::filesystem::path& file, const void* bytes, std::size_t length);

}  // namespace sec::detail
