// The paths a test reads at run time from the file the build writes beside its binary
// (golden pictures, the image corpus), rather than from its compile flags.

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <stdexcept>
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <ScratchDirectory.h>
#include <TestPaths.h>

namespace {

using ::testing::HasSubstr;

std::string pathsErrorOf(const std::function<void()>& call) {
    try {
        call();
    } catch (const std::runtime_error& e) {
        return e.what();
    }
    return "(no error)";
}

void writePathsFile(const std::filesystem::path& file, const std::string& text) {
    std::ofstream(file, std::ios::binary) << text;
}

TEST(TestPaths, TheBuildWritesThePathsThisBinaryNamesBesideIt) {
    std::filesystem::path file = zidtest::testPathsFile();
    EXPECT_EQ(file.extension(), ".paths");
    EXPECT_TRUE(std::filesystem::equivalent(file.parent_path() / file.stem(), "/proc/self/exe"))
        << file << " is beside the running binary";
    EXPECT_TRUE(std::filesystem::exists(std::filesystem::path(zidtest::testPath("golden")) / "sample_tree_2x.png"));
    EXPECT_TRUE(std::filesystem::is_directory(zidtest::testPath("image_corpus")));
    EXPECT_EQ(zidtest::testPath("golden"), zidtest::testPath("golden"));
}

TEST(TestPaths, AKeyTheBuildDidNotWriteIsAnErrorSayingWhatToDo) {
    auto message = pathsErrorOf([] { zidtest::testPath("no_such_folder"); });
    EXPECT_THAT(message, HasSubstr("\"no_such_folder\""));
    EXPECT_THAT(message, HasSubstr(zidtest::testPathsFile()));
    EXPECT_THAT(message, HasSubstr("zid_test_paths"));
    EXPECT_THAT(message, HasSubstr("reconfigure the build"));
    // Asking again is the same error, and the keys that are there still answer.
    EXPECT_EQ(pathsErrorOf([] { zidtest::testPath("no_such_folder"); }), message);
    EXPECT_NO_THROW(zidtest::testPath("golden"));
}

TEST(TestPaths, AFileIsReadAsKeyValueLines) {
    zidtest::ScratchDirectory scratch("zid-test-paths");
    // Written on another system's line ends, a value holding '=', blank lines, and no
    // line end after the last entry.
    writePathsFile(scratch / "t.paths", "golden=/a/golden\r\n\nengine=/b/engine=1\n  \nlast=/c\nempty=");
    auto paths = zidtest::readTestPaths((scratch / "t.paths").string());
    std::map<std::string, std::string> expected = {
        {"golden", "/a/golden"}, {"engine", "/b/engine=1"}, {"last", "/c"}, {"empty", ""}};
    EXPECT_EQ(paths, expected);

    writePathsFile(scratch / "twice.paths", "golden=/old\ngolden=/new\n");
    EXPECT_EQ(zidtest::readTestPaths((scratch / "twice.paths").string()).at("golden"), "/new")
        << "a key named twice keeps its last value";
}

TEST(TestPaths, AFileThatIsMissingOrNotKeyValueIsAnErrorNamingIt) {
    zidtest::ScratchDirectory scratch("zid-test-paths");
    std::string absent = (scratch / "absent.paths").string();
    auto message = pathsErrorOf([&] { zidtest::readTestPaths(absent); });
    EXPECT_THAT(message, HasSubstr(absent));
    EXPECT_THAT(message, HasSubstr("reconfigure the build"));

    for (std::string bad : {"golden=/a\n/no/key\n", "golden=/a\n=/no/key\n"}) {
        writePathsFile(scratch / "bad.paths", bad);
        message = pathsErrorOf([&] { zidtest::readTestPaths((scratch / "bad.paths").string()); });
        EXPECT_THAT(message, HasSubstr("line 2 of the test paths file " + (scratch / "bad.paths").string()));
        EXPECT_THAT(message, HasSubstr("/no/key"));
    }
}

}  // namespace
