#include "Core/Resources/QXCorePlayerResources.h"

#include <QXFoundation/Extensions/BundleExtensions.h>

namespace zid {

rt::Ref<fnd::Bundle> QXCorePlayerBundle() { return moduleBundleNamed("QXCorePlayer"); }

std::pair<std::string, std::string> qxCorePlayerResourceNameAndType(const std::string& fileName) {
    auto dot = fileName.rfind('.');
    if (dot == std::string::npos) return {fileName, fileName};
    return {fileName.substr(0, dot), fileName.substr(dot + 1)};
}

rt::Ref<ui::Image> qxCorePlayerImageNamed(const std::string& fileName) {
    auto [name, type] = qxCorePlayerResourceNameAndType(fileName);
    auto path = QXCorePlayerBundle()->pathForResource(name, type);
    if (!path) return nullptr;
    return ui::Image::imageWithContentsOfFile(*path);
}

std::string qxCorePlayerLocalizedString(std::string_view key) { return localizedStringForKey(key, QXCorePlayerBundle()); }

}  // namespace zid
