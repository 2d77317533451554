#include <ima/Backend.h>
#include <ima/ScriptedBackend.h>
#include <rt/Class.h>

#include <array>

namespace ima {

namespace {
std::shared_ptr<Backend>& slot() {
    static std::shared_ptr<Backend> backend;
    return backend;
}
}  // namespace

void installBackend(std::shared_ptr<Backend> backend) { slot() = std::move(backend); }

std::shared_ptr<Backend> installedBackend() { return slot(); }

const rt::Class* sdkClassNamed(std::string_view name) {
    if (!slot()) return nullptr;
    // The layer's classes are described on first use; describe the public ones so a look-up
    // does not depend on what happened to run before it.
    static const std::array<const rt::Class*, 12> layer = {&AdsManager::staticClass(),
                                                           &AdsLoader::staticClass(),
                                                           &AdsRequest::staticClass(),
                                                           &AdDisplayContainer::staticClass(),
                                                           &Settings::staticClass(),
                                                           &AdError::staticClass(),
                                                           &AdEvent::staticClass(),
                                                           &AdsLoadedData::staticClass(),
                                                           &AdLoadingErrorData::staticClass(),
                                                           &AdsRenderingSettings::staticClass(),
                                                           &AdPlaybackInfo::staticClass(),
                                                           &ScriptedAdsManager::staticClass()};
    for (const rt::Class* cls : layer)
        if (cls->name() == name || cls->qualifiedName() == name) return cls;
    return nullptr;
}

}  // namespace ima
