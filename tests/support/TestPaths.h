#pragma once
// Paths a test needs that only the build knows: its golden pictures, a corpus folder, a
// helper program of this build. The build writes them beside the test binary
// (`zid_test_paths` in cmake/ZidModule.cmake writes "<binary>.paths", one key=value a
// line) instead of compiling them in, so a test source reads the same and compiles with
// the same flags in every clone, and the compiler cache serves every clone alike.
//
//   compareWithGolden(picture, zidtest::testPath("golden"), "toolbar");

#include <map>
#include <string>

namespace zidtest {

/// The value of `key` in the paths file beside the running test binary, read once per
/// process. Throws std::runtime_error naming the key and the file when the file cannot
/// be read or holds no such key (the build that wrote it is older than the test).
std::string testPath(const std::string& key);

/// "<the running binary>.paths".
std::string testPathsFile();

/// Reads a paths file: one key=value a line (the value is all after the first '='; a
/// carriage return at a line's end is dropped; blank lines are skipped). Throws
/// std::runtime_error naming the file when it cannot be read or a line holds no key.
std::map<std::string, std::string> readTestPaths(const std::string& file);

}  // namespace zidtest
