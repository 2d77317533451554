#include "ImageFetching/ImageViewImageBinding.h"


#include <QXFoundation/Cache/TimeoutCache.h>
#include <RuzEzo/Signal/Dealloc/FKDeallocSignal.h>
#include <RuzEzo/Trigger/OnSignalHelper.h>

#include "QXUIKit/ImageFetching/ImageViewImageFetching.h"
#include "QXUIKit/ImageFetching/QXImageRequestOperation.h"
#include "QXUIKit/Resources/QXUIKitResources.h"

namespace zid {

namespace {

constexpr const char* kDisposableKey = "disposable";

// Whether the text has the form scheme ":" rest, with a scheme of a letter followed
// by letters, digits, "+", "-" or ".", and no white space.
bool looksLikeURL(const std::string& text) {
    auto colon = text.find(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 >= text.size()) return false;
    for (std::size_t i = 0; i < colon; ++i) {
        char c = text[i];
        bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        if (i == 0 ? !letter : !(letter || (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.')) return false;
    }
    for (char c : text)
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r') return false;
    return true;
}

rt::Ref<ui::Image> imageOfFileURL(const std::string& url) {
    auto path = QXImageRequestOperation::localPathOfFileURL(url);
    if (!path) return nullptr;
    auto bytes = QXImageRequestOperation::readLocalImage(*path);
    return bytes ? ui::Image::imageWithData(*bytes) : nullptr;
}

void applySource(const rt::Ref<ui::ImageView>& view, const rt::Value& value, const rt::Ref<ui::Image>& placeholder,
                 double ttl) {
    if (value.isNil() || !value.isString()) {
        if (view->image() != placeholder) view->setImage(placeholder);
        return;
    }
    std::string text(value.string());
    if (text.rfind("http", 0) == 0) {
        requestImageWithURLString(view, text, placeholder, ttl);
    } else if (text.rfind("file", 0) == 0) {
        view->setImage(imageOfFileURL(text));
    } else {
        view->setImage(imageNamedInBundle(*fnd::Bundle::main(), text));
    }
}

}  // namespace

rt::Ref<rt::Object> disposable(const ui::ImageView& view) { return view.associatedObject(kDisposableKey).object(); }

rt::Ref<rt::Object> bindSourceSignal(const rt::Ref<ui::ImageView>& view, const FKSignalRef& signal,
                                     const rt::Ref<ui::Image>& placeholder, double ttl) {
    if (!view || !signal) return nullptr;
    if (auto previous = std::dynamic_pointer_cast<OnSignalHelper>(disposable(*view))) previous->dispose();
    view->setAssociatedObject(rt::Value(), kDisposableKey);
    rt::Weak<ui::ImageView> weakView = view;
    auto trigger = OnSignalHelper::triggerWithSignal(signal, deallocSignal(*view));
    // Kept before the first value is applied, so that a value held by the signal runs
    // with the binding already in place.
    view->setAssociatedObject(rt::Value(trigger), kDisposableKey);
    trigger->setBlock([weakView, placeholder, ttl](const rt::Value& value) {
        if (auto v = weakView.lock()) applySource(v, value, placeholder, ttl);
    });
    return trigger;
}

void requestImageWithURLString(const rt::Ref<ui::ImageView>& view, const std::string& urlString,
                               const rt::Ref<ui::Image>& placeholder, double ttl) {
    if (!view) return;
    if (ttl == 0) {
        qxSetImageWithURL(view, urlString, placeholder);
        return;
    }
    auto cache = TimeoutCache::defaultCache();
    if (auto cached = cache->objectForKey(rt::Value(urlString)).as<ui::Image>()) {
        qxCancelImageRequestOperation(*view);
        view->setImage(cached);
        return;
    }
    auto request = imageRequestWithURLString(urlString, false);
    if (!request) {
        qxCancelImageRequestOperation(*view);
        view->setImage(placeholder);
        return;
    }
    rt::Weak<ui::ImageView> weakView = view;
    qxSetImageWithURLRequest(
        view, request, placeholder,
        [weakView, key = urlString, ttl](const rt::Ref<fnd::URLRequest>&, const rt::Ref<ui::Image>& image) {
            if (auto v = weakView.lock()) v->setImage(image);
            TimeoutCache::defaultCache()->setObjectForKeyTtl(rt::Value(image), rt::Value(key), ttl);
        },
        [weakView, placeholder](const rt::Ref<fnd::URLRequest>&, const rt::Ref<rt::Error>&) {
            if (auto v = weakView.lock()) v->setImage(placeholder);
        });
}

rt::Ref<fnd::URLRequest> imageRequestWithURLString(const std::string& urlString, bool cacheEnabled) {
    if (!looksLikeURL(urlString)) return nullptr;
    auto request = rt::make<fnd::URLRequest>(urlString);
    request->setCachePolicy(cacheEnabled ? fnd::URLRequestCachePolicy::UseProtocolCachePolicy
                                         : fnd::URLRequestCachePolicy::ReloadIgnoringLocalCacheData);
    request->setTimeoutInterval(60);
    return request;
}

}  // namespace zid
