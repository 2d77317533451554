#pragma once
// A piece of HTML rendered in a host's scrolling layout (a description in a cell): the
// text is measured once per text and width into a height cache shared by every rich
// text view, so a host can size cells before anything renders, and listeners hear the
// height, coalesced over 0.3 s. The web view behind it never scrolls by itself and is
// at most 768 points high, placed and scrolled to show the part the host declares
// visible. The text is shown, never run: its scripts do not run, nothing navigates the
// view away from it, and a tapped link goes to the listeners instead of loading.

#include <rt/MainThread.h>
#include <optional>
#include <string>

#include <ui/DelegateProtocols.h>
#include <ui/View.h>
#include <web/WebView.h>

namespace zid {

class RichTextView;

class RichTextViewListener {
public:
    virtual ~RichTextViewListener() = default;
    /// The text's height at the view's width; 0 when that width has no measurement yet.
    virtual void richTextViewDidUpdateHeight(RichTextView& /*view*/, double /*height*/) {}
    /// A link was tapped; the view did not follow it.
    virtual void richTextViewShouldStartLoadWithRequest(RichTextView& /*view*/, const std::string& /*url*/) {}
};

class RichTextView : public ui::View, public ui::WebViewDelegate {
    RT_CLASS(RichTextView, ui::View)
public:
    static constexpr double kMaxWebViewHeight = 768;
    static constexpr double kHeightNotificationDelay = 0.3;

    explicit RichTextView(const ui::Rect& frame = ui::Rect());

    const rt::Ref<web::WebView>& webView() const { RT_MAIN_THREAD_ONLY(); return webView_; }
    bool triggerEnqueued() const { RT_MAIN_THREAD_ONLY(); return triggerEnqueued_; }
    double triggerHeight() const { RT_MAIN_THREAD_ONLY(); return triggerHeight_; }
    bool isLoading() const { RT_MAIN_THREAD_ONLY(); return loading_; }

    const std::optional<std::string>& html() const { RT_MAIN_THREAD_ONLY(); return html_; }
    /// A new text is loaded; the same text again is re-measured at the present width
    /// (when its load is over).
    void setHtml(std::optional<std::string> html);

    /// The measured height of the text at the width, or 1.0 when there is none. On the
    /// main thread only, where the views measure.
    static double heightForHtml(const std::string& html, double width);
    /// The MD5 of the text (upper-case hexadecimal) and the width, joined by "-".
    static std::string cacheKeyForHTMLString(const std::string& html, double width);

    ui::Rect rectVisible() const { RT_MAIN_THREAD_ONLY(); return rectVisible_; }
    void setRectVisible(const ui::Rect& r);
    /// Places the web view over the visible part, at most 768 high, and scrolls it there.
    void adjustWebView();
    /// Coalesced over 0.3 s: the listeners get the last height given; 0 never replaces
    /// a pending height.
    void notifyListenersAboutHeight(double height);

    void layoutSubviews() override;

    bool webViewShouldStartLoad(rt::Object& webView, const std::string& request,
                                ui::WebViewNavigationType type) override;
    void webViewDidFinishLoad(rt::Object& webView) override;
    void webViewDidFailLoad(rt::Object& webView, const std::string& error) override;

protected:
    void didInitialize() override;

private:
    std::string cacheKeyForPresentWidth() const;

    rt::Ref<web::WebView> webView_;
    bool triggerEnqueued_ = false;
    double triggerHeight_ = 0;
    bool loading_ = false;
    /// The text's own loads whose main-frame navigation is still to be asked about: the
    /// engine may ask about a replaced text's load after the next text's load was
    /// given, so each load given lets one main-frame navigation through.
    unsigned ownLoadsPending_ = 0;
    /// The present text's load failed: the same text again loads it again.
    bool loadFailed_ = false;
    std::optional<std::string> html_;
    ui::Rect rectVisible_;
};

}  // namespace zid
