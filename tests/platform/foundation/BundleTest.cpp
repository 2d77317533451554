#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>

#include <fnd/Bundle.h>
#include <fnd/Locale.h>

#include "ScratchDirectory.h"

namespace fs = std::filesystem;

namespace {

// Sets environment variables for one test and puts the old values back.
class ScopedEnv {
public:
    void set(const char* name, const char* value) {
        if (!saved_.count(name)) {
            const char* old = std::getenv(name);
            saved_[name] = old ? std::optional<std::string>(old) : std::nullopt;
        }
        if (value) setenv(name, value, 1);
        else unsetenv(name);
    }
    ~ScopedEnv() {
        for (auto& [name, value] : saved_) {
            if (value) setenv(name.c_str(), value->c_str(), 1);
            else unsetenv(name.c_str());
        }
    }

private:
    std::map<std::string, std::optional<std::string>> saved_;
};

void write(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path) << text;
}

class BundleTest : public ::testing::Test {
protected:
    void SetUp() override {
        write(root / "App.bundle/en.lproj/Localizable.strings", "\"hello\" = \"Hello\";\n\"only.en\" = \"English\";");
        write(root / "App.bundle/de.lproj/Localizable.strings", "\"hello\" = \"Hallo\";");
        write(root / "App.bundle/pt_BR.lproj/Localizable.strings", "\"hello\" = \"Ol\xC3\xA1\";");
        write(root / "App.bundle/en.lproj/Other.strings", "\"hello\" = \"Hi from other\";");
        write(root / "App.bundle/de.lproj/only-german.txt", "x");
        write(root / "App.bundle/icon.png", "png");
        write(root / "App.bundle/Inner.bundle/en.lproj/Localizable.strings", "");
        env.set("LANGUAGE", nullptr);
        env.set("LC_ALL", nullptr);
        env.set("LC_MESSAGES", nullptr);
        env.set("LANG", "C.UTF-8");
    }

    rt::Ref<fnd::Bundle> app() { return fnd::Bundle::bundleWithPath((root / "App.bundle").string()); }

    zidtest::ScratchDirectory scratch{"fnd-bundle-test"};
    fs::path root = scratch.path();
    ScopedEnv env;
};

}  // namespace

TEST_F(BundleTest, LooksTextsUpInThePreferredLanguageThenEnglishThenFallsBack) {
    env.set("LANGUAGE", "de_DE:fr");
    auto bundle = app();
    ASSERT_TRUE(bundle);
    EXPECT_EQ(bundle->preferredLocalizations(), (std::vector<std::string>{"de", "en"}));
    EXPECT_EQ(bundle->localizedStringForKey("hello"), "Hallo");
    EXPECT_EQ(bundle->localizedStringForKey("only.en"), "English");  // untranslated: the English text
    EXPECT_EQ(bundle->localizedStringForKey("missing"), "missing");
    EXPECT_EQ(bundle->localizedStringForKey("missing", "Default"), "Default");
    EXPECT_EQ(bundle->localizedStringForKey("hello", "", "Other"), "Hi from other");

    env.set("LANGUAGE", nullptr);
    env.set("LANG", "pt_BR.UTF-8");
    EXPECT_EQ(bundle->localizedStringForKey("hello"), "Ol\xC3\xA1");
    env.set("LANG", "C");
    EXPECT_EQ(bundle->localizedStringForKey("hello"), "Hello");
}

TEST_F(BundleTest, FindsResourcesAtTheTopAndInLocalizations) {
    env.set("LANGUAGE", "de");
    auto bundle = app();
    EXPECT_EQ(bundle->pathForResource("icon", "png"), (root / "App.bundle/icon.png").string());
    EXPECT_EQ(bundle->pathForResource("only-german", "txt"), (root / "App.bundle/de.lproj/only-german.txt").string());
    EXPECT_EQ(bundle->pathForResource("Inner", "bundle"), (root / "App.bundle/Inner.bundle").string());
    EXPECT_FALSE(bundle->pathForResource("absent", "png"));
    EXPECT_EQ(bundle->pathsForResourcesOfType("bundle"),
              (std::vector<std::string>{(root / "App.bundle/Inner.bundle").string()}));
    EXPECT_EQ(bundle->localizations(), (std::vector<std::string>{"de", "en", "pt_BR"}));
}

TEST_F(BundleTest, ANameThatLeavesTheBundleAnswersNothing) {
    env.set("LANGUAGE", "de");
    write(root / "secret.png", "outside");
    write(root / "App.bundle/images/logo.png", "png");
    auto bundle = app();
    EXPECT_FALSE(bundle->pathForResource("../secret", "png")) << "a file beside the bundle";
    EXPECT_FALSE(bundle->pathForResource("images/../../secret", "png"));
    EXPECT_FALSE(bundle->pathForResource("secret", "png/../../secret.png"));
    EXPECT_FALSE(bundle->pathForResource("/../secret", "png"));
    EXPECT_FALSE(bundle->pathForResource("../App.bundle/../secret", "png"));
    // Inside the localization folders the same: a name never climbs out.
    EXPECT_FALSE(bundle->pathForResource("../../secret", "png"));
    // Names that go down and up again but stay inside still resolve.
    EXPECT_EQ(bundle->pathForResource("images/../icon", "png"), (root / "App.bundle/images/../icon.png").string());
    EXPECT_EQ(bundle->pathForResource("images/logo", "png"), (root / "App.bundle/images/logo.png").string());
    EXPECT_EQ(bundle->pathForResource("/icon", "png"), (root / "App.bundle/icon.png").string());
}

TEST_F(BundleTest, OneBundlePerDirectoryAndNoneForAMissingOne) {
    EXPECT_EQ(app(), fnd::Bundle::bundleWithPath((root / "App.bundle/").string()));
    EXPECT_FALSE(fnd::Bundle::bundleWithPath((root / "Nowhere.bundle").string()));
}

TEST_F(BundleTest, MainBundleIsTheHostsDirectoryOnceSet) {
    fnd::Bundle::setMainBundlePath((root / "App.bundle").string());
    EXPECT_EQ(fnd::Bundle::main(), app());
    EXPECT_EQ(fnd::Bundle::main()->localizedStringForKey("hello"), "Hello");
    fnd::Bundle::setMainBundlePath("");
    EXPECT_NE(fnd::Bundle::main(), app());
}

TEST_F(BundleTest, ABrokenTableReadsAsEmpty) {
    write(root / "Broken.bundle/en.lproj/Localizable.strings", "\"a\" = \"1\"\n");
    auto bundle = fnd::Bundle::bundleWithPath((root / "Broken.bundle").string());
    EXPECT_EQ(bundle->localizedStringForKey("a"), "a");
}

TEST(BundleFrameworksTest, TheProjectsResourceDirectoryIsAFramework) {
    bool found = false;
    for (const auto& framework : fnd::Bundle::allFrameworks())
        if (framework->pathForResource("QXFoundation", "bundle")) found = true;
    EXPECT_TRUE(found);
}

// A program pointed at its resources reads those and no others: a folder without the
// bundles leaves the texts missing instead of quietly taking them from somewhere else.
TEST(BundleFrameworksTest, TheResourceSettingIsTheOnlyPlaceLookedAt) {
    zidtest::ScratchDirectory scratch;
    ScopedEnv env;
    env.set("ZID_RESOURCE_DIR", scratch.string().c_str());
    EXPECT_EQ(fnd::Bundle::resourceDirectory(), scratch.string());
    auto frameworks = fnd::Bundle::allFrameworks();
    ASSERT_EQ(frameworks.size(), 1u);
    EXPECT_FALSE(frameworks.front()->pathForResource("QXFoundation", "bundle"));
    env.set("ZID_RESOURCE_DIR", "");
    EXPECT_TRUE(fnd::Bundle::allFrameworks().front()->pathForResource("QXFoundation", "bundle"));
}

TEST(LocaleTest, PreferredLanguagesComeFromTheEnvironmentInOrder) {
    ScopedEnv env;
    env.set("LANGUAGE", "fr_CA:de::fr_CA");
    env.set("LC_ALL", nullptr);
    env.set("LC_MESSAGES", "es_ES.UTF-8@euro");
    env.set("LANG", "it_IT.UTF-8");
    EXPECT_EQ(fnd::Locale::preferredLanguages(), (std::vector<std::string>{"fr-CA", "de", "es-ES"}));
    env.set("LANGUAGE", nullptr);
    env.set("LC_MESSAGES", nullptr);
    env.set("LANG", "POSIX");
    EXPECT_EQ(fnd::Locale::preferredLanguages(), (std::vector<std::string>{"en"}));
}

TEST(LocaleTest, IdentifiersAreCanonicalAndEqualityFollowsThem) {
    EXPECT_EQ(fnd::Locale::withIdentifier("de-DE")->identifier(), "de_DE");
    EXPECT_TRUE(fnd::Locale::withIdentifier("en_US")->isEqual(*fnd::Locale::withIdentifier("en-US")));
    EXPECT_EQ(fnd::Locale::identifierFromPosix("ja_JP.eucJP@x"), "ja_JP");
    fnd::Locale::setCurrent(fnd::Locale::withIdentifier("ko_KR"));
    EXPECT_EQ(fnd::Locale::current()->identifier(), "ko_KR");
    fnd::Locale::setCurrent(nullptr);
}
