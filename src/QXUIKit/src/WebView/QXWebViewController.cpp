#include "QXUIKit/WebView/QXWebViewController.h"

#include <QXFoundation/Extensions/BundleExtensions.h>
#include <ui/BarItem.h>

#include "QXUIKit/Resources/QXUIKitResources.h"

namespace zid {

bool QXWebViewController::isWebKitAvailable() { return web::isRealEngineAvailable(); }

void QXWebViewController::clearWebsiteData() { web::clearAllWebsiteData(); }

void QXWebViewController::loadView() {
    ui::ViewController::loadView();
    view()->setBackgroundColor(ui::Color::whiteColor());
    auto cancelItem = rt::make<ui::BarButtonItem>(localizedStringForKey("modal.cancel", QXUIKitBundle()),
                                                  ui::BarButtonItemStyle::Plain);
    rt::Weak<QXWebViewController> weak = selfAs<QXWebViewController>();
    cancelItem->setTarget(selfAs<QXWebViewController>());
    cancelItem->setAction("cancel", [weak](const rt::Ref<ui::BarButtonItem>&) {
        if (auto self = weak.lock()) self->cancel();
    });
    navigationItem()->setLeftBarButtonItem(cancelItem);
    loadWebView();
    if (request_) loadRequest(*request_);
}

void QXWebViewController::loadWebView() {
    webView_ = rt::make<web::WebView>(view()->bounds());
    webView_->setDelegate(selfAs<QXWebViewController>());
    webView_->setScalesPageToFit(true);
    webView_->setAutoresizingMask(ui::Autoresizing::FlexibleWidth | ui::Autoresizing::FlexibleHeight);
    view()->addSubview(webView_);
}

void QXWebViewController::loadRequest(const std::string& url) {
    request_ = url;
    if (isViewLoaded() && webView_) webView_->loadRequest(url);
}

void QXWebViewController::cancel() {
    if (webView_) webView_->stopLoading();
    if (auto d = delegate()) d->webViewControllerDidCancel(*this);
}

bool QXWebViewController::webViewShouldStartLoad(rt::Object&, const std::string& request, ui::WebViewNavigationType) {
    auto d = delegate();
    return !d || d->webViewControllerShouldStartLoadWithRequest(*this, request);
}

void QXWebViewController::webViewDidFinishLoad(rt::Object&) {
    if (title().empty() && webView_) setTitle(webView_->title());
    if (auto d = delegate()) d->webViewControllerDidFinishLoad(*this);
}

}  // namespace zid
