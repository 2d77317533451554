#include "QXUIKit/ImageFetching/ImageViewImageFetching.h"

namespace zid {

namespace {

void setOperation(ui::ImageView& view, const rt::Ref<QXImageRequestOperation>& operation) {
    auto old = qxImageRequestOperation(view);
    if (old && old != operation) old->cancel();
    view.setAssociatedObject(operation ? rt::Value(operation) : rt::Value(), kQXImageRequestOperationKey);
}

// Forgets the operation only while it is still the view's own.
void forgetOperation(ui::ImageView& view, const QXImageRequestOperation* operation) {
    if (qxImageRequestOperation(view).get() == operation) view.setAssociatedObject(rt::Value(), kQXImageRequestOperationKey);
}

}  // namespace

rt::Ref<QXImageCache> qxSharedImageCache() {
    static auto* cache = new rt::Ref<QXImageCache>(rt::make<QXImageCache>());
    return *cache;
}

rt::Ref<fnd::OperationQueue> qxSharedImageRequestOperationQueue() {
    static auto* queue = [] {
        auto q = rt::make<fnd::OperationQueue>();
        q->setMaxConcurrentOperationCount(5);
        q->setName("QXImageRequestOperationQueue");
        return new rt::Ref<fnd::OperationQueue>(q);
    }();
    return *queue;
}

rt::Ref<QXImageRequestOperation> qxImageRequestOperation(const ui::ImageView& view) {
    return view.associatedObject(kQXImageRequestOperationKey).as<QXImageRequestOperation>();
}

void qxCancelImageRequestOperation(ui::ImageView& view) { setOperation(view, nullptr); }

void qxSetImageWithURL(const rt::Ref<ui::ImageView>& view, const std::string& url,
                       const rt::Ref<ui::Image>& placeholder) {
    auto request = rt::make<fnd::URLRequest>(url);
    request->setValueForHTTPHeaderField("image/*", "Accept");
    qxSetImageWithURLRequest(view, request, placeholder);
}

void qxSetImageWithURLRequest(const rt::Ref<ui::ImageView>& view, const rt::Ref<fnd::URLRequest>& request,
                              const rt::Ref<ui::Image>& placeholder, QXImageRequestOperation::SuccessBlock success,
                              QXImageRequestOperation::FailureBlock failure) {
    if (!view) return;
    qxCancelImageRequestOperation(*view);

    if (auto cached = qxSharedImageCache()->imageForURLRequest(request)) {
        if (success) success(nullptr, cached);
        else view->setImage(cached);
        return;
    }
    if (placeholder) view->setImage(placeholder);

    rt::Weak<ui::ImageView> weakView = view;
    auto operation = QXImageRequestOperation::operationWithRequest(request, nullptr, nullptr);
    const QXImageRequestOperation* tag = operation.get();
    operation->setSuccessBlock([weakView, tag, success](const rt::Ref<fnd::URLRequest>& req,
                                                        const rt::Ref<ui::Image>& image) {
        qxSharedImageCache()->cacheImage(image, req);
        auto v = weakView.lock();
        if (v) forgetOperation(*v, tag);
        if (success) success(req, image);
        else if (v) v->setImage(image);
    });
    operation->setFailureBlock([weakView, tag, failure](const rt::Ref<fnd::URLRequest>& req,
                                                        const rt::Ref<rt::Error>& error) {
        if (auto v = weakView.lock()) forgetOperation(*v, tag);
        if (failure) failure(req, error);
    });
    setOperation(*view, operation);
    qxSharedImageRequestOperationQueue()->addOperation(operation);
}

}  // namespace zid
