#pragma once
// A web view: a page shown in a view, over the engine the factory hands out. The host
// loads an HTML text or a request, evaluates scripts, and answers the navigation
// policy through the toolkit's web view delegate, which also hears when loads start,
// finish and fail. The view's own scroll position is kept here (contentOffset), so a
// host that scrolls it by hand can place the page.

#include <rt/MainThread.h>
#include <memory>
#include <string>

#include <ui/DelegateProtocols.h>
#include <ui/View.h>
#include <web/WebEngine.h>

namespace web {

namespace DataDetectorTypes {
inline constexpr unsigned None = 0;
inline constexpr unsigned PhoneNumber = 1u << 0;
inline constexpr unsigned Link = 1u << 1;
inline constexpr unsigned Address = 1u << 2;
inline constexpr unsigned CalendarEvent = 1u << 3;
inline constexpr unsigned All = 0xFFFFFFFFu;
}  // namespace DataDetectorTypes

class WebView : public ui::View {
    RT_CLASS(WebView, ui::View)
public:
    explicit WebView(const ui::Rect& frame = ui::Rect());

    /// Held weakly.
    std::shared_ptr<ui::WebViewDelegate> delegate() const { RT_MAIN_THREAD_ONLY(); return delegate_.lock(); }
    void setDelegate(const std::shared_ptr<ui::WebViewDelegate>& d) { RT_MAIN_THREAD_ONLY(); delegate_ = d; }

    void loadHTMLString(const std::string& html, const std::string& baseURL = "");
    void loadRequest(const std::string& url);
    void stopLoading();
    bool isLoading() const;
    std::string title() const;
    std::string stringByEvaluatingJavaScript(const std::string& script);
    /// The rendered content's height at the present width.
    double contentHeight() const;

    bool isScrollEnabled() const { RT_MAIN_THREAD_ONLY(); return scrollEnabled_; }
    void setScrollEnabled(bool e) { RT_MAIN_THREAD_ONLY(); scrollEnabled_ = e; }
    ui::Point contentOffset() const { RT_MAIN_THREAD_ONLY(); return contentOffset_; }
    void setContentOffset(ui::Point p) { RT_MAIN_THREAD_ONLY(); contentOffset_ = p; }
    unsigned dataDetectorTypes() const { RT_MAIN_THREAD_ONLY(); return dataDetectorTypes_; }
    void setDataDetectorTypes(unsigned t) { RT_MAIN_THREAD_ONLY(); dataDetectorTypes_ = t; }
    bool suppressesIncrementalRendering() const { RT_MAIN_THREAD_ONLY(); return suppressesIncrementalRendering_; }
    void setSuppressesIncrementalRendering(bool s) { RT_MAIN_THREAD_ONLY(); suppressesIncrementalRendering_ = s; }
    bool scalesPageToFit() const { RT_MAIN_THREAD_ONLY(); return scalesPageToFit_; }
    void setScalesPageToFit(bool s) { RT_MAIN_THREAD_ONLY(); scalesPageToFit_ = s; }
    /// Whether the page's own scripts run; the host's script evaluation always works.
    bool pageScriptsEnabled() const { RT_MAIN_THREAD_ONLY(); return pageScriptsEnabled_; }
    void setPageScriptsEnabled(bool enabled);

    /// The navigation the delegate is being asked about (nil outside that question): it
    /// tells a main frame's navigation from a sub-frame's.
    const NavigationAction* navigationInQuestion() const { RT_MAIN_THREAD_ONLY(); return navigationInQuestion_; }

    /// The engine behind the view (a test reaches its scripted engine through it).
    WebEngine& engine() const { RT_MAIN_THREAD_ONLY(); return *engine_; }

    void layoutSubviews() override;

protected:
    void didInitialize() override;

private:
    std::unique_ptr<WebEngine> engine_;
    std::weak_ptr<ui::WebViewDelegate> delegate_;
    bool scrollEnabled_ = true;
    ui::Point contentOffset_;
    unsigned dataDetectorTypes_ = DataDetectorTypes::PhoneNumber;
    bool suppressesIncrementalRendering_ = false;
    bool scalesPageToFit_ = false;
    bool pageScriptsEnabled_ = true;
    const NavigationAction* navigationInQuestion_ = nullptr;
};

}  // namespace web
