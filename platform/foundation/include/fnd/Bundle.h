#pragma once
// Bundles: directories of resources and localized strings tables.
//
// A bundle is a directory, usually named <Name>.bundle, holding resources and one
// <lang>.lproj folder per localization with its strings tables (<Table>.strings,
// "Localizable" by default). The main bundle is the host application's resource
// directory; the framework bundles are the directories where this project's own
// resource bundles are installed.

#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <fnd/StringsFile.h>
#include <rt/Object.h>

namespace fnd {

class Bundle : public rt::Object {
    RT_CLASS(Bundle, rt::Object)
public:
    explicit Bundle(std::string path);

    /// The bundle at a directory; nullptr when there is no directory there. One bundle
    /// object per path, so its tables are read once.
    static rt::Ref<Bundle> bundleWithPath(const std::string& path);

    /// The host application's resource directory: the one set with setMainBundlePath(),
    /// else the directory of the executable.
    static rt::Ref<Bundle> main();
    /// Set by the host before it looks anything up; an empty path goes back to the
    /// executable's directory.
    static void setMainBundlePath(std::string path);

    /// The directory holding this project's resource bundles, as a bundle (none when it
    /// does not exist): see resourceDirectory().
    static std::vector<rt::Ref<Bundle>> allFrameworks();
    /// The directory of this project's resources (bundles, the pinned fonts), existing or
    /// not: the one ZID_RESOURCE_DIR names when set, and then no other; else, in a
    /// program of the build tree, the checkout's resources; else <prefix>/share/zidoredider
    /// under the prefix the code is installed under (fnd::installationPrefix), so an
    /// installed build reads its own resources wherever the prefix is moved.
    static std::string resourceDirectory();

    const std::string& bundlePath() const { return path_; }

    /// The path of the resource name.ext: in the bundle's top directory, then in its
    /// preferred localizations' folders. Nothing when there is no such file or folder.
    std::optional<std::string> pathForResource(std::string_view name, std::string_view extension) const;
    /// The paths of every resource in the top directory with the extension, sorted by name.
    std::vector<std::string> pathsForResourcesOfType(std::string_view extension) const;

    /// The localizations present (the names of the .lproj folders), sorted; read once.
    std::vector<std::string> localizations() const;
    /// The localizations to use, best first: those matching the preferred languages
    /// (exact, then by language alone), then "en" and "Base" when present; when none
    /// matches, the first localization present.
    std::vector<std::string> preferredLocalizations() const;

    /// The text for a key from the table (empty: "Localizable") of the preferred
    /// localizations, best first. When no table has the key: the value when it is not
    /// empty, otherwise the key itself.
    std::string localizedStringForKey(std::string_view key, std::string_view value = {},
                                      std::string_view table = {}) const;

    std::string description() const override;

private:
    const StringsTable* table(const std::string& localization, const std::string& tableName) const;

    std::string path_;
    mutable std::mutex mutex_;
    mutable std::optional<std::vector<std::string>> localizations_;
    mutable std::map<std::pair<std::string, std::string>, std::optional<StringsTable>> tables_;
};

}  // namespace fnd
