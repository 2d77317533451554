#pragma once
// What answers ad requests. One backend at a time is installed for the process; the
// layer's classes are available by name (sdkClassNamed) only while one is.
#include <ima/AdsLoader.h>

#include <memory>
#include <string_view>

namespace rt {
class Class;
}

namespace ima {

class Backend {
public:
    virtual ~Backend() = default;
    /// Starts loading the request's ads; answers later, on the main loop, through the
    /// loader's deliverLoaded or deliverError (exactly once).
    virtual void requestAds(const rt::Ref<AdsLoader>& loader, const rt::Ref<AdsRequest>& request) = 0;
};

/// Installs the backend for the process (nullptr removes it). Main thread only.
void installBackend(std::shared_ptr<Backend> backend);
std::shared_ptr<Backend> installedBackend();

/// A class of this layer by name ("AdsManager", "ima::AdsLoader", ...), or nullptr when
/// no backend is installed or no class of the layer has that name: this is how a host
/// finds out whether ads can be played in this process.
const rt::Class* sdkClassNamed(std::string_view name);

}  // namespace ima
