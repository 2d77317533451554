#include <QXMediaPlayer/Resources/QXMediaPlayerResources.h>

#include <QXCorePlayer/Core/Resources/QXCorePlayerResources.h>
#include <QXFoundation/Extensions/BundleExtensions.h>

namespace zid {

rt::Ref<fnd::Bundle> QXMediaPlayerBundle() { return moduleBundleNamed("QXMediaPlayer"); }

rt::Ref<ui::Image> imageNamedInLib(const std::string& fileName) {
    auto [name, type] = qxCorePlayerResourceNameAndType(fileName);
    auto path = QXMediaPlayerBundle()->pathForResource(name, type);
    if (!path) return nullptr;
    return ui::Image::imageWithContentsOfFile(*path);
}

}  // namespace zid
