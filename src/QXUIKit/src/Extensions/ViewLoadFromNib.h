#pragma once
// Creating a view "from the nib named after its class". There are no interface
// files on this platform: a nib is a factory registered under its name that makes
// the top-level objects, so callers keep working unchanged.

#include <functional>
#include <string>
#include <vector>

#include <fnd/Bundle.h>
#include <rt/Value.h>

namespace zid {

using QXNibFactory = std::function<std::vector<rt::Value>(const rt::Dictionary& options)>;

/// Registers (or, with an empty factory, removes) the nib of that name.
void registerNib(const std::string& nibName, QXNibFactory factory);
/// The last top-level object of the nib named after the class (any class), or nil
/// when there is no such nib or it yields nothing. Nibs are process-wide: the bundle
/// is accepted for the callers' sake and not consulted.
rt::Value createWithClass(const rt::Class& cls, const rt::Ref<fnd::Bundle>& bundle, const rt::Dictionary& options);
rt::Value createFromMainBundleWithClass(const rt::Class& cls, const rt::Dictionary& options = {});

}  // namespace zid
