#pragma once
// Finding the framework's resource bundles and looking up user-visible texts.
//
// Every text the system shows goes through localizedStringForKey(): the host
// application's main bundle first, so a host replaces any text by defining the same
// key in its own strings table, then the module's own bundle.

#include <optional>
#include <string>
#include <string_view>

#include <fnd/Bundle.h>

namespace zid {

/// The path of the resource bundle <name>.bundle: searched in the main bundle, then in
/// each framework directory in order; the first hit wins.
std::optional<std::string> locateBundleWithName(std::string_view name);
/// The path of <name>.bundle inside a bundle: at its top, otherwise depth first through
/// the bundles it contains (in name order).
std::optional<std::string> locateBundleWithName(const fnd::Bundle& bundle, std::string_view name);

/// The foundation library's resource bundle "QXFoundation", located once per process;
/// the main bundle when it cannot be found.
rt::Ref<fnd::Bundle> QXFoundationBundle();
/// The same lookup for another module's bundle by name, located once per name.
rt::Ref<fnd::Bundle> moduleBundleNamed(std::string_view name);

/// The main bundle's text for the key (default table); when it has none, the fallback
/// bundle's; the key itself when neither has one.
std::string localizedStringForKey(std::string_view key, const rt::Ref<fnd::Bundle>& fallbackBundle);

}  // namespace zid
