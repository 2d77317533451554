#pragma once
// The memory cache of fetched images, keyed by the request's URL text.

#include <string>

#include <fnd/MemoryCache.h>
#include <fnd/URLRequest.h>
#include <ui/Image.h>

namespace zid {

class QXImageCache : public fnd::MemoryCache {
    RT_CLASS(QXImageCache, fnd::MemoryCache)
public:
    QXImageCache() = default;

    /// The key of a request: its URL's text.
    static std::string keyForRequest(const fnd::URLRequest& request);
    /// The cached image, or nil. Requests that must reload (cache policies
    /// ReloadIgnoringLocalCacheData and ReloadIgnoringLocalAndRemoteCacheData) never
    /// consult the cache.
    rt::Ref<ui::Image> imageForURLRequest(const rt::Ref<fnd::URLRequest>& request);
    /// Stores the image under the request's key when both are given.
    void cacheImage(const rt::Ref<ui::Image>& image, const rt::Ref<fnd::URLRequest>& request);
};

}  // namespace zid
