#pragma once
// Fixture folders made by ffmpeg at test set-up and kept in the build tree: built aside
// and renamed into place, so several processes may ask at once, and marked complete.

#include <filesystem>
#include <functional>
#include <string>

namespace peers::fixtures {

/// Runs the shell command, its output into log; throws std::runtime_error naming what
/// (label) with the command and its output when it fails.
void run(const std::string& label, const std::string& command, const std::filesystem::path& log);
/// Writes the text to the file; throws when it cannot.
void writeFile(const std::string& label, const std::filesystem::path& path, const std::string& text);
/// Quoted for the shell.
std::string quote(const std::filesystem::path& path);
/// Makes the folder with build(folder) unless it is complete already; answers dir.
std::string ensure(const std::string& label, const std::string& dir,
                   const std::function<void(const std::filesystem::path&)>& build);

}  // namespace peers::fixtures
