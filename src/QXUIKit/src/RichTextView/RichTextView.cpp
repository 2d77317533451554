#include "QXUIKit/RichTextView/RichTextView.h"

#include <rt/MainThread.h>
#include <algorithm>
#include <cstdio>
#include <unordered_map>

#include <QXFoundation/Crypto/QXCrypto.h>
#include <QXFoundation/Listening/IListenable.h>
#include <RuzEzo/Signal/Dealloc/FKDeallocSignal.h>
#include <RuzEzo/Signal/Timer/FKTimerSignal.h>
#include <RuzEzo/Trigger/OnSignalHelper.h>

namespace zid {

namespace {

/// Heights by cache key, for every rich text view; entries stay for the process.
std::unordered_map<std::string, double>& heightCache() {
    static std::unordered_map<std::string, double> cache;
    return cache;
}

std::optional<double> cachedHeight(const std::string& key) {
    auto& cache = heightCache();
    auto it = cache.find(key);
    if (it == cache.end()) return std::nullopt;
    return it->second;
}

}  // namespace

RichTextView::RichTextView(const ui::Rect& frame) : ui::View(frame) {}

void RichTextView::didInitialize() {
    ui::View::didInitialize();
    webView_ = rt::make<web::WebView>(ui::Rect(0, 0, bounds().size.width, 1));
    webView_->setScrollEnabled(false);
    webView_->setDelegate(selfAs<RichTextView>());
    webView_->setSuppressesIncrementalRendering(true);
    webView_->setBackgroundColor(ui::Color::whiteColor());
    webView_->setDataDetectorTypes(web::DataDetectorTypes::Link);
    // The text is content to show: its own scripts never run.
    webView_->setPageScriptsEnabled(false);
    addSubview(webView_);
}

std::string RichTextView::cacheKeyForHTMLString(const std::string& html, double width) {
    char number[32];
    std::snprintf(number, sizeof number, "%.15g", width);
    return QXCrypto::MD5ForString(html).value_or("") + "-" + number;
}

double RichTextView::heightForHtml(const std::string& html, double width) {
    // The heights are kept as the views on the main thread measure them.
    RT_MAIN_THREAD_ONLY_CALL("RichTextView::heightForHtml");
    auto h = cachedHeight(cacheKeyForHTMLString(html, width));
    float f = h ? static_cast<float>(*h) : 0.0f;
    return f > 0 ? static_cast<double>(f) : 1.0;
}

std::string RichTextView::cacheKeyForPresentWidth() const {
    return cacheKeyForHTMLString(html_.value_or(""), webView_->bounds().size.width);
}

void RichTextView::setHtml(std::optional<std::string> html) {
    RT_MAIN_THREAD_ONLY();
    if (html != html_ || (loadFailed_ && !loading_)) {
        html_ = std::move(html);
        loading_ = true;
        loadFailed_ = false;
        ++ownLoadsPending_;
        webView_->loadHTMLString(html_.value_or(""), "");
        return;
    }
    // The same text: measured again at the present width unless its load is under way.
    if (!loading_) webViewDidFinishLoad(*webView_);
}

void RichTextView::webViewDidFailLoad(rt::Object&, const std::string&) {
    RT_MAIN_THREAD_ONLY();
    // Nothing to measure; the view waits no longer, and the same text may be given again.
    loading_ = false;
    loadFailed_ = true;
    ownLoadsPending_ = 0;
}

void RichTextView::webViewDidFinishLoad(rt::Object&) {
    RT_MAIN_THREAD_ONLY();
    // The engine tells the end of the latest load only: no load of the text is pending.
    loading_ = false;
    ownLoadsPending_ = 0;
    const std::string key = cacheKeyForPresentWidth();
    if (cachedHeight(key)) return;
    double height = webView_->contentHeight();
    heightCache()[key] = height;
    notifyListenersAboutHeight(height);
}

bool RichTextView::webViewShouldStartLoad(rt::Object&, const std::string& request, ui::WebViewNavigationType type) {
    RT_MAIN_THREAD_ONLY();
    if (type == ui::WebViewNavigationType::LinkClicked) {
        auto self = selfAs<RichTextView>();
        notifyListeners<RichTextViewListener>(*this, [&](RichTextViewListener& l) {
            l.richTextViewShouldStartLoadWithRequest(*self, request);
        });
        return false;
    }
    // Sub-frames (an embedded player) load as the page asks.
    const web::NavigationAction* action = webView_->navigationInQuestion();
    if (action && !action->mainFrame) return true;
    // Only the text's own load may fill the main frame; a refresh, a form or any other
    // navigation would put a different page in the text's place.
    if (ownLoadsPending_ > 0) {
        --ownLoadsPending_;
        return true;
    }
    return false;
}

void RichTextView::setRectVisible(const ui::Rect& r) {
    RT_MAIN_THREAD_ONLY();
    rectVisible_ = r;
    adjustWebView();
}

void RichTextView::adjustWebView() {
    RT_MAIN_THREAD_ONLY();
    const ui::Rect b = bounds();
    const double W = b.size.width, H = b.size.height;
    double h = std::max(std::min(H, kMaxWebViewHeight), 1.0);
    if (h < rectVisible_.size.height) h = rectVisible_.size.height;
    double y = rectVisible_.origin.y;
    if (y + h > H) y = H - h;
    webView_->setFrame(ui::Rect(webView_->frame().origin.x, y, W, h));
    webView_->setContentOffset(ui::Point{0, y});
}

void RichTextView::layoutSubviews() {
    RT_MAIN_THREAD_ONLY();
    ui::View::layoutSubviews();
    adjustWebView();
    if (html_ && !loading_ && !cachedHeight(cacheKeyForPresentWidth())) notifyListenersAboutHeight(0);
}

void RichTextView::notifyListenersAboutHeight(double height) {
    RT_MAIN_THREAD_ONLY();
    if (height == 0 && triggerEnqueued_) return;
    triggerHeight_ = height;
    if (triggerEnqueued_) return;
    triggerEnqueued_ = true;
    rt::Ref<RichTextView> self = selfAs<RichTextView>();
    onSignal(triggerWithTimeInterval(kHeightNotificationDelay), deallocSignal(*this), [self](const rt::Value&) {
        notifyListeners<RichTextViewListener>(*self, [&](RichTextViewListener& l) {
            l.richTextViewDidUpdateHeight(*self, self->triggerHeight_);
        });
        self->triggerEnqueued_ = false;
        self->triggerHeight_ = 0;
    });
}

}  // namespace zid
