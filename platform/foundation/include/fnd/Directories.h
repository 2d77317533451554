#pragma once
// Where the application keeps its files, and whole-file reads and writes.
//
// The Library directory is the host application's data directory under the XDG base
// directories: $XDG_DATA_HOME/<application name>, or <home>/.local/share/<application
// name> when XDG_DATA_HOME is unset or not absolute (home as fnd::homeDirectory()). The application name is the one
// set with setApplicationName(), else the executable's name.

#include <cstddef>
#include <functional>
#include <optional>
#include <string>

#include <rt/Error.h>
#include <rt/Value.h>

namespace fnd {

/// The error domain of file failures; codes are errno values.
inline constexpr const char* FileErrorDomain = "FileErrorDomain";

class Directories {
public:
    static std::string applicationName();
    static void setApplicationName(std::string name);
    /// The Library directory (not created).
    static std::string library();
};

/// Writes the bytes to a temporary file beside path, flushes it to disk and renames it
/// over path, so that a reader sees the old file or the new one, never a part. Missing
/// parent directories are created. On failure answers false, sets *error and leaves
/// the old file as it was.
bool writeFileAtomically(const std::string& path, const rt::Data& data, rt::Ref<rt::Error>* error = nullptr);

/// The file's bytes, or nothing (and *error) when it cannot be read.
std::optional<rt::Data> readFile(const std::string& path, rt::Ref<rt::Error>* error = nullptr);

/// The bytes of a regular file of at most maxBytes, for paths that come from outside.
/// Anything else is refused before a byte is read and without blocking: a directory
/// (EISDIR), a device, a pipe or a socket (EINVAL), a larger file (EFBIG). `stop` is
/// asked between slices of the read; when it answers true the read ends (ECANCELED).
/// Errors are of FileErrorDomain with the errno value as code.
std::optional<rt::Data> readRegularFile(const std::string& path, std::size_t maxBytes,
                                        rt::Ref<rt::Error>* error = nullptr, const std::function<bool()>& stop = {});

}  // namespace fnd
