#include <fnd/Bundle.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <unordered_map>

#include <fnd/Locale.h>
#include <fnd/Paths.h>

// Where the resources sit under an installation prefix (the build passes the configured
// data folder; the fallback keeps the platform layer usable when compiled on its own).
#ifndef ZID_RESOURCE_INSTALL_SUBDIR
#define ZID_RESOURCE_INSTALL_SUBDIR "share/zidoredider"
#endif

namespace fnd {
// Defined only in the build tree's own programs (tests, tools, the demo), which read the
// checkout's resources without an install; nothing installed names the checkout.
const char* buildTreeResourceDirectory() __attribute__((weak));
}  // namespace fnd

namespace fs = std::filesystem;

namespace fnd {

namespace {

std::mutex& registryMutex() {
    static std::mutex m;
    return m;
}
std::unordered_map<std::string, rt::Ref<Bundle>>& registry() {
    static std::unordered_map<std::string, rt::Ref<Bundle>> bundles;
    return bundles;
}
std::string& mainPath() {
    static std::string path;
    return path;
}

bool isDirectory(const std::string& path) {
    std::error_code ec;
    return !path.empty() && fs::is_directory(path, ec);
}

std::string normalized(const std::string& path) {
    std::error_code ec;
    fs::path p = fs::weakly_canonical(path, ec);
    return ec ? fs::path(path).lexically_normal().string() : p.string();
}

// "pt_BR" and "pt-br" name the same localization.
std::string localizationKey(std::string_view name) {
    std::string out(name);
    for (char& c : out) c = c == '_' ? '-' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

std::string languageOf(const std::string& key) { return key.substr(0, key.find('-')); }

}  // namespace

Bundle::Bundle(std::string path) : path_(std::move(path)) {}

rt::Ref<Bundle> Bundle::bundleWithPath(const std::string& path) {
    if (!isDirectory(path)) return nullptr;
    std::string key = normalized(path);
    std::lock_guard lock(registryMutex());
    auto& slot = registry()[key];
    if (!slot) slot = rt::make<Bundle>(key);
    return slot;
}

rt::Ref<Bundle> Bundle::main() {
    // Looked up on every text lookup: answered from the last result while the path
    // stays the same.
    static rt::Ref<Bundle> cached;
    static std::string cachedFor;
    static const std::string executableDir = executableDirectory();
    std::string path;
    {
        std::lock_guard lock(registryMutex());
        path = mainPath().empty() ? executableDir : mainPath();
        if (cached && cachedFor == path) return cached;
    }
    auto bundle = bundleWithPath(path);
    // A main bundle always exists; a missing directory simply holds nothing.
    if (!bundle) bundle = rt::make<Bundle>(path.empty() ? std::string(".") : path);
    std::lock_guard lock(registryMutex());
    cached = bundle;
    cachedFor = path;
    return bundle;
}

void Bundle::setMainBundlePath(std::string path) {
    std::lock_guard lock(registryMutex());
    mainPath() = std::move(path);
}

std::string Bundle::resourceDirectory() {
    // The one setting that points a program at resources installed elsewhere; when set,
    // nothing else is looked at, so a wrong setting shows instead of being papered over.
    if (const char* own = std::getenv("ZID_RESOURCE_DIR"); own && *own) return own;
    if (buildTreeResourceDirectory) return buildTreeResourceDirectory();
    std::string prefix = installationPrefix();
    return prefix.empty() ? std::string() : joinPath(prefix, ZID_RESOURCE_INSTALL_SUBDIR);
}

std::vector<rt::Ref<Bundle>> Bundle::allFrameworks() {
    std::vector<rt::Ref<Bundle>> out;
    if (auto bundle = bundleWithPath(resourceDirectory())) out.push_back(bundle);
    return out;
}

namespace {

// Whether the file name, taken inside the bundle's directory (leading slashes
// included, as joinPath reads them), stays inside it: "a/../b" does, "../x" and
// "a/../../x" do not.
bool staysInside(std::string_view file) {
    while (!file.empty() && file.front() == '/') file.remove_prefix(1);
    fs::path relative = fs::path(file).lexically_normal();
    return relative.empty() || *relative.begin() != "..";
}

}  // namespace

std::optional<std::string> Bundle::pathForResource(std::string_view name, std::string_view extension) const {
    std::string file(name);
    if (!extension.empty()) file += "." + std::string(extension);
    // A resource name is looked up inside the bundle only: one that climbs out of it
    // ("../../etc/passwd") names nothing, whatever exists there.
    if (!staysInside(file)) return std::nullopt;
    std::error_code ec;
    std::string top = joinPath(path_, file);
    if (fs::exists(top, ec)) return top;
    for (const auto& loc : preferredLocalizations()) {
        std::string localized = joinPath(joinPath(path_, loc + ".lproj"), file);
        if (fs::exists(localized, ec)) return localized;
    }
    return std::nullopt;
}

std::vector<std::string> Bundle::pathsForResourcesOfType(std::string_view extension) const {
    std::vector<std::string> out;
    std::error_code ec;
    std::string suffix = "." + std::string(extension);
    for (fs::directory_iterator it(path_, ec), end; !ec && it != end; it.increment(ec)) {
        std::string name = it->path().filename().string();
        if (name.size() > suffix.size() && name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0)
            out.push_back(it->path().string());
    }
    std::sort(out.begin(), out.end());
    return out;
}

std::vector<std::string> Bundle::localizations() const {
    {
        std::lock_guard lock(mutex_);
        if (localizations_) return *localizations_;
    }
    std::vector<std::string> out;
    for (const auto& p : pathsForResourcesOfType("lproj")) {
        std::string name = fs::path(p).filename().string();
        out.push_back(name.substr(0, name.size() - 6));
    }
    std::lock_guard lock(mutex_);
    if (!localizations_) localizations_ = out;
    return *localizations_;
}

std::vector<std::string> Bundle::preferredLocalizations() const {
    std::vector<std::string> available = localizations();
    std::vector<std::string> out;
    auto add = [&](const std::string& loc) {
        if (std::find(out.begin(), out.end(), loc) == out.end()) out.push_back(loc);
    };
    auto matching = [&](auto&& predicate) {
        for (const auto& loc : available)
            if (predicate(localizationKey(loc))) add(loc);
    };
    for (const auto& language : Locale::preferredLanguages()) {
        std::string wanted = localizationKey(language);
        matching([&](const std::string& k) { return k == wanted; });
        matching([&](const std::string& k) { return k == languageOf(wanted); });
    }
    matching([](const std::string& k) { return k == "en"; });
    matching([](const std::string& k) { return k == "base"; });
    if (out.empty() && !available.empty()) out.push_back(available.front());
    return out;
}

const StringsTable* Bundle::table(const std::string& localization, const std::string& tableName) const {
    std::lock_guard lock(mutex_);
    auto key = std::make_pair(localization, tableName);
    auto it = tables_.find(key);
    if (it == tables_.end()) {
        std::string file = joinPath(joinPath(path_, localization + ".lproj"), tableName + ".strings");
        std::error_code ec;
        std::optional<StringsTable> loaded;
        if (fs::exists(file, ec)) {
            StringsFileError error;
            loaded = loadStringsFile(file, &error);
            if (!loaded)  // a broken table is reported once and then reads as empty
                std::fprintf(stderr, "fnd::Bundle: strings table %s is not readable (line %d: %s)\n", file.c_str(),
                             error.line, error.message.c_str());
        }
        it = tables_.emplace(key, std::move(loaded)).first;
    }
    return it->second ? &*it->second : nullptr;
}

std::string Bundle::localizedStringForKey(std::string_view key, std::string_view value, std::string_view tableName) const {
    std::string name = tableName.empty() ? std::string("Localizable") : std::string(tableName);
    std::string k(key);
    for (const auto& loc : preferredLocalizations()) {
        if (const StringsTable* t = table(loc, name)) {
            if (auto it = t->find(k); it != t->end()) return it->second;
        }
    }
    return value.empty() ? k : std::string(value);
}

std::string Bundle::description() const { return "<Bundle " + path_ + ">"; }

}  // namespace fnd
