#pragma once
// The player's resource bundle "QXCorePlayer": its texts and images.
#include <fnd/Bundle.h>
#include <ui/Image.h>

#include <string>
#include <utility>

namespace zid {

/// The "QXCorePlayer" bundle, located once per process; the main bundle when it cannot
/// be found.
rt::Ref<fnd::Bundle> QXCorePlayerBundle();

/// A name split into resource name and type at its last dot ("a.b.png" gives "a.b" and
/// "png"); a name without a dot is both.
std::pair<std::string, std::string> qxCorePlayerResourceNameAndType(const std::string& fileName);

/// The image file of that name in the player bundle, read anew on every call; nil when
/// the bundle holds no such file.
rt::Ref<ui::Image> qxCorePlayerImageNamed(const std::string& fileName);

/// The text of a key: the host's own tables first, then the player bundle's.
std::string qxCorePlayerLocalizedString(std::string_view key);

}  // namespace zid
