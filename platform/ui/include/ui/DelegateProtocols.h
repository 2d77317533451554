#pragma once
// The toolkit's delegate protocols as the runtime sees them: each typed delegate class
// is described by name with its methods' selectors, and has a stand-in so an object
// that answers the protocol only dynamically (a forwarding proxy, a class adopting the
// protocol by name) can be a delegate:
//
//   rt::Ref<rt::Object> holder;
//   if (auto* d = rt::asProtocol<ui::SearchBarDelegate>(*proxy, holder)) bar->setDelegate(d);
//
// A stand-in passes a call on only when its receiver answers the selector; otherwise
// the protocol's own default runs, as for a typed delegate that does not override it.
// The web view's protocol is described here too, for the web view that a widget
// library brings.

#include <string>

#include <rt/MainThread.h>
#include <ui/SearchBar.h>
#include <ui/TextView.h>

namespace ui {

class WebView;

enum class WebViewNavigationType { LinkClicked = 0, FormSubmitted = 1, BackForward = 2, Reload = 3, FormResubmitted = 4, Other = 5 };

/// Every method optional; loading is allowed by default.
class WebViewDelegate {
public:
    virtual ~WebViewDelegate() = default;
    // Told on the main thread, as the web view is; the defaults refuse another thread
    // like the views that adopt them.
    virtual bool webViewShouldStartLoad(rt::Object& /*webView*/, const std::string& /*request*/,
                                        WebViewNavigationType) {
        RT_MAIN_THREAD_ONLY_CALL("WebViewDelegate::webViewShouldStartLoad");
        return true;
    }
    virtual void webViewDidStartLoad(rt::Object&) { RT_MAIN_THREAD_ONLY_CALL("WebViewDelegate::webViewDidStartLoad"); }
    virtual void webViewDidFinishLoad(rt::Object&) { RT_MAIN_THREAD_ONLY_CALL("WebViewDelegate::webViewDidFinishLoad"); }
    virtual void webViewDidFailLoad(rt::Object&, const std::string& /*error*/) {
        RT_MAIN_THREAD_ONLY_CALL("WebViewDelegate::webViewDidFailLoad");
    }
};

/// The protocol names, as the runtime knows them.
namespace DelegateProtocol {
inline constexpr const char* SearchBar = "SearchBarDelegate";
inline constexpr const char* TextView = "TextViewDelegate";
inline constexpr const char* TextField = "TextFieldDelegate";
inline constexpr const char* WebView = "WebViewDelegate";
}  // namespace DelegateProtocol

/// Describes the protocols and registers their stand-ins (once; later calls do nothing).
void describeDelegateProtocols();

}  // namespace ui
