#include "QXUIKit/ImageFetching/QXImageCache.h"

namespace zid {

std::string QXImageCache::keyForRequest(const fnd::URLRequest& request) { return request.url(); }

rt::Ref<ui::Image> QXImageCache::imageForURLRequest(const rt::Ref<fnd::URLRequest>& request) {
    if (!request) return nullptr;
    switch (request->cachePolicy()) {
        case fnd::URLRequestCachePolicy::ReloadIgnoringLocalCacheData:
        case fnd::URLRequestCachePolicy::ReloadIgnoringLocalAndRemoteCacheData:
            return nullptr;
        default:
            break;
    }
    return objectForKey(rt::Value(keyForRequest(*request))).as<ui::Image>();
}

void QXImageCache::cacheImage(const rt::Ref<ui::Image>& image, const rt::Ref<fnd::URLRequest>& request) {
    if (!image || !request) return;
    setObject(rt::Value(image), rt::Value(keyForRequest(*request)));
}

}  // namespace zid
