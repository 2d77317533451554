#pragma once
// One web page full-screen, usually presented modally in a navigation controller, with
// a cancel button at the left of the bar. The host's delegate may veto each navigation,
// hears when a page has loaded and hears of the cancel button (the controller does not
// dismiss itself). The controller takes the first loaded page's title while it has none.

#include <memory>
#include <optional>
#include <string>

#include <ui/DelegateProtocols.h>
#include <ui/ViewController.h>
#include <web/WebView.h>

namespace zid {

class QXWebViewController;

class QXWebViewControllerDelegate {
public:
    virtual ~QXWebViewControllerDelegate() = default;
    virtual void webViewControllerDidCancel(QXWebViewController&) {}
    /// False stops the navigation.
    virtual bool webViewControllerShouldStartLoadWithRequest(QXWebViewController&, const std::string& /*url*/) {
        return true;
    }
    virtual void webViewControllerDidFinishLoad(QXWebViewController&) {}
};

class QXWebViewController : public ui::ViewController, public ui::WebViewDelegate {
    RT_CLASS(QXWebViewController, ui::ViewController)
public:
    QXWebViewController() = default;

    /// Whether pages are rendered by a real engine in this build.
    static bool isWebKitAvailable();
    /// Clears the engine's stored website data: cookies, caches and storage.
    static void clearWebsiteData();

    const rt::Ref<web::WebView>& webView() const { return webView_; }
    const std::optional<std::string>& request() const { return request_; }
    /// Stores the request; once the view exists, loads it at once.
    void loadRequest(const std::string& url);

    std::shared_ptr<QXWebViewControllerDelegate> delegate() const { return delegate_.lock(); }
    void setDelegate(const std::shared_ptr<QXWebViewControllerDelegate>& d) { delegate_ = d; }

    /// Stops the load and tells the delegate.
    void cancel();

    void loadView() override;

    bool webViewShouldStartLoad(rt::Object& webView, const std::string& request,
                                ui::WebViewNavigationType type) override;
    void webViewDidFinishLoad(rt::Object& webView) override;

private:
    void loadWebView();

    rt::Ref<web::WebView> webView_;
    std::optional<std::string> request_;
    std::weak_ptr<QXWebViewControllerDelegate> delegate_;
};

}  // namespace zid
