#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>

#include <QXFoundation/Extensions/BundleExtensions.h>
#include "Extensions/FileSystemExtensions.h"
#include "Extensions/LocaleExtensions.h"
#include <fnd/Paths.h>

#include "ScratchDirectory.h"

namespace fs = std::filesystem;
using namespace zid;

namespace {

void write(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path) << text;
}

class BundleExtensionsTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name : {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"}) {
            const char* v = std::getenv(name);
            saved.emplace_back(name, v ? std::optional<std::string>(v) : std::nullopt);
            unsetenv(name);
        }
        write(root / "Host/en.lproj/Localizable.strings", "\"shared\" = \"Host text\";\n\"host.only\" = \"Host only\";");
        write(root / "Module.bundle/en.lproj/Localizable.strings",
              "\"shared\" = \"Module text\";\n\"module.only\" = \"Module only\";");
        write(root / "Host/Kit.bundle/Deep.bundle/Target.bundle/en.lproj/Localizable.strings", "");
        write(root / "Host/Other.bundle/Target.bundle/marker", "second");
        fnd::Bundle::setMainBundlePath((root / "Host").string());
    }
    void TearDown() override {
        fnd::Bundle::setMainBundlePath("");
        for (auto& [name, value] : saved) {
            if (value) setenv(name.c_str(), value->c_str(), 1);
            else unsetenv(name.c_str());
        }
    }
    rt::Ref<fnd::Bundle> module() { return fnd::Bundle::bundleWithPath((root / "Module.bundle").string()); }

    zidtest::ScratchDirectory scratch{"qx-bundle-ext"};
    fs::path root = scratch.path();
    std::vector<std::pair<std::string, std::optional<std::string>>> saved;
};

}  // namespace

TEST_F(BundleExtensionsTest, HostTableFirstThenModuleTableThenTheKey) {
    EXPECT_EQ(localizedStringForKey("shared", module()), "Host text");
    EXPECT_EQ(localizedStringForKey("host.only", module()), "Host only");
    EXPECT_EQ(localizedStringForKey("module.only", module()), "Module only");
    EXPECT_EQ(localizedStringForKey("nowhere", module()), "nowhere");
    EXPECT_EQ(localizedStringForKey("module.only", nullptr), "module.only");
}

TEST_F(BundleExtensionsTest, LocatesNestedBundlesDepthFirst) {
    auto host = fnd::Bundle::main();
    // Kit.bundle comes before Other.bundle and is searched to the bottom first.
    EXPECT_EQ(locateBundleWithName(*host, "Target"),
              (root / "Host/Kit.bundle/Deep.bundle/Target.bundle").string());
    EXPECT_EQ(locateBundleWithName(*host, "Deep"), (root / "Host/Kit.bundle/Deep.bundle").string());
    EXPECT_FALSE(locateBundleWithName(*host, "Absent"));
    // The process-wide search starts in the main bundle.
    EXPECT_EQ(locateBundleWithName("Target"), (root / "Host/Kit.bundle/Deep.bundle/Target.bundle").string());
}

TEST_F(BundleExtensionsTest, TheLibrariesOwnBundlesAreFoundWithTheirTexts) {
    for (const char* name : {"QXFoundation", "RuzEzo", "RudoreVaz"}) EXPECT_TRUE(locateBundleWithName(name)) << name;
    auto bundle = QXFoundationBundle();
    EXPECT_EQ(bundle, QXFoundationBundle());
    EXPECT_TRUE(bundle->bundlePath().ends_with("QXFoundation.bundle"));
    EXPECT_EQ(localizedStringForKey("app.date.justnow", bundle), "just now");
}

TEST_F(BundleExtensionsTest, LanguageIdentifiers) {
    setenv("LANGUAGE", "ja_JP:en", 1);
    setenv("LC_ALL", "fr_FR.UTF-8", 1);
    EXPECT_EQ(deviceLanguageID(), "ja-JP");
    EXPECT_EQ(deviceLocaleID(), "fr_FR");
    EXPECT_EQ(appLanguageID(), "en");  // the host has only English
    EXPECT_EQ(preferredAppLocaleID(), "en_US");
    write(root / "JapaneseHost/ja.lproj/Localizable.strings", "");
    write(root / "JapaneseHost/en.lproj/Localizable.strings", "");
    fnd::Bundle::setMainBundlePath((root / "JapaneseHost").string());
    EXPECT_EQ(appLanguageID(), "ja");
    EXPECT_EQ(preferredAppLocaleID(), "ja_JP");
}

TEST(FileSystemExtensionsTest, PathsGetExactlyOneSeparator) {
    std::string home = homeDirectory(), temp = temporaryDirectory(), docs = documentsDirectory();
    EXPECT_TRUE(docs.ends_with("/"));
    EXPECT_EQ(filePathInDocuments("a.txt"), docs + "a.txt");
    EXPECT_EQ(filePathInHome(std::nullopt), home);
    EXPECT_EQ(filePathInTemp(std::nullopt), temp);
    for (const std::string& path : {filePathInHome("a.txt"), filePathInTemp("/a.txt"), filePathInDocuments("a.txt")}) {
        EXPECT_TRUE(path.ends_with("/a.txt")) << path;
        EXPECT_EQ(path.find("//"), std::string::npos) << path;
    }
    EXPECT_EQ(fnd::joinPath("/x//", "//y"), "/x/y");
    EXPECT_EQ(fnd::joinPath("/", "y"), "/y");
}
