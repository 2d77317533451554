#include <rt/MainThread.h>
#include <web/WebView.h>

#include "ScriptURL.h"

namespace web {

WebView::WebView(const ui::Rect& frame) : ui::View(frame) {}

void WebView::didInitialize() {
    ui::View::didInitialize();
    engine_ = makeWebEngine();
    engine_->setViewportSize(bounds().size);
    rt::Weak<WebView> weak = selfAs<WebView>();
    engine_->decidePolicy = [weak](const NavigationAction& action) {
        auto self = weak.lock();
        if (!self) return false;
        auto d = self->delegate();
        // A script for the page runs only when a host has said yes to it.
        if (!d) return !isScriptURL(action.url);
        const NavigationAction* outer = self->navigationInQuestion_;
        self->navigationInQuestion_ = &action;
        bool allowed = d->webViewShouldStartLoad(*self, action.url, action.type);
        self->navigationInQuestion_ = outer;
        return allowed;
    };
    engine_->didStartLoad = [weak] {
        auto self = weak.lock();
        if (auto d = self ? self->delegate() : nullptr) d->webViewDidStartLoad(*self);
    };
    engine_->didFinishLoad = [weak] {
        auto self = weak.lock();
        if (auto d = self ? self->delegate() : nullptr) d->webViewDidFinishLoad(*self);
    };
    engine_->didFailLoad = [weak](const std::string& error) {
        auto self = weak.lock();
        if (auto d = self ? self->delegate() : nullptr) d->webViewDidFailLoad(*self, error);
    };
}

void WebView::loadHTMLString(const std::string& html, const std::string& baseURL) {
    RT_MAIN_THREAD_ONLY();
    engine_->loadHTMLString(html, baseURL);
}

void WebView::loadRequest(const std::string& url) { RT_MAIN_THREAD_ONLY(); engine_->loadRequest(url); }
void WebView::stopLoading() { RT_MAIN_THREAD_ONLY(); engine_->stopLoading(); }
bool WebView::isLoading() const { RT_MAIN_THREAD_ONLY(); return engine_->isLoading(); }
std::string WebView::title() const { RT_MAIN_THREAD_ONLY(); return engine_->title(); }
std::string WebView::stringByEvaluatingJavaScript(const std::string& script) {
    RT_MAIN_THREAD_ONLY();
    return engine_->evaluateScript(script);
}
double WebView::contentHeight() const { RT_MAIN_THREAD_ONLY(); return engine_->contentHeight(); }

void WebView::setPageScriptsEnabled(bool enabled) {
    RT_MAIN_THREAD_ONLY();
    pageScriptsEnabled_ = enabled;
    engine_->setPageScriptsEnabled(enabled);
}

void WebView::layoutSubviews() {
    RT_MAIN_THREAD_ONLY();
    ui::View::layoutSubviews();
    engine_->setViewportSize(bounds().size);
}

}  // namespace web
