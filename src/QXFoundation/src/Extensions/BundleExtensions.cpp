#include <QXFoundation/Extensions/BundleExtensions.h>

#include <QXFoundation/Extensions/ResourceDirectoryCheck.h>

#include <map>
#include <mutex>

namespace zid {

namespace {

std::optional<std::string> searchBundle(const fnd::Bundle& bundle, std::string_view name, int depth) {
    if (auto path = bundle.pathForResource(name, "bundle")) return path;
    if (depth > 16) return std::nullopt;  // a linked directory loop ends here
    for (const auto& nested : bundle.pathsForResourcesOfType("bundle")) {
        if (auto inner = fnd::Bundle::bundleWithPath(nested)) {
            if (auto path = searchBundle(*inner, name, depth + 1)) return path;
        }
    }
    return std::nullopt;
}

}  // namespace

std::optional<std::string> locateBundleWithName(const fnd::Bundle& bundle, std::string_view name) {
    return searchBundle(bundle, name, 0);
}

std::optional<std::string> locateBundleWithName(std::string_view name) {
    if (auto path = locateBundleWithName(*fnd::Bundle::main(), name)) return path;
    for (const auto& framework : fnd::Bundle::allFrameworks()) {
        if (auto path = locateBundleWithName(*framework, name)) return path;
    }
    return std::nullopt;
}

rt::Ref<fnd::Bundle> moduleBundleNamed(std::string_view name) {
    static std::mutex mutex;
    static std::map<std::string, rt::Ref<fnd::Bundle>, std::less<>> located;
    rt::Ref<fnd::Bundle> bundle;
    {
        std::lock_guard lock(mutex);
        if (auto it = located.find(name); it != located.end()) return it->second;
        if (auto path = locateBundleWithName(name)) bundle = fnd::Bundle::bundleWithPath(*path);
        if (bundle) {
            located.emplace(std::string(name), bundle);
            return bundle;
        }
        bundle = fnd::Bundle::main();
        located.emplace(std::string(name), bundle);
    }
    // Say why once (outside the lock: the log's handlers may look texts up), instead of
    // showing keys for texts and no icons without a word.
    (void)resourceDirectoryProblem();
    return bundle;
}

rt::Ref<fnd::Bundle> QXFoundationBundle() { return moduleBundleNamed("QXFoundation"); }

std::string localizedStringForKey(std::string_view key, const rt::Ref<fnd::Bundle>& fallbackBundle) {
    std::string text = fnd::Bundle::main()->localizedStringForKey(key, "");
    if (text != key || !fallbackBundle) return text;
    return fallbackBundle->localizedStringForKey(key, "");
}

}  // namespace zid
