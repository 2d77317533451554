#include "QXUIKit/Resources/QXUIKitResources.h"

#include <QXFoundation/Extensions/BundleExtensions.h>

namespace zid {

rt::Ref<fnd::Bundle> QXUIKitBundle() { return moduleBundleNamed("QXUIKit"); }

rt::Ref<ui::Image> qxUIKitImageNamed(std::string_view name) {
    auto first = name.find('.');
    auto last = name.rfind('.');
    std::string_view resource = first == std::string_view::npos ? name : name.substr(0, first);
    std::string_view type = last == std::string_view::npos ? name : name.substr(last + 1);
    auto bundle = QXUIKitBundle();
    if (!bundle) return nullptr;
    auto path = bundle->pathForResource(resource, type);
    return path ? ui::Image::imageWithContentsOfFile(*path) : nullptr;
}

rt::Ref<ui::Image> imageNamedInBundle(const fnd::Bundle& bundle, std::string_view name) {
    if (name.empty()) return nullptr;
    auto dot = name.rfind('.');
    std::optional<std::string> path;
    if (dot != std::string_view::npos && dot > 0) path = bundle.pathForResource(name.substr(0, dot), name.substr(dot + 1));
    if (!path) path = bundle.pathForResource(name, "png");
    return path ? ui::Image::imageWithContentsOfFile(*path) : nullptr;
}

}  // namespace zid
