#pragma once
// The seam between a web view and the engine that renders its pages. A web view owns
// one engine; the engine calls back through the hooks the view sets, on the main
// thread. Engines: the scripted one of the tests (FakeWebEngine.h) and, where it is
// built, a real one; which one a new web view gets is the engine factory's choice.

#include <functional>
#include <memory>
#include <string>

#include <ui/DelegateProtocols.h>
#include <ui/Geometry.h>

namespace web {

/// A navigation the engine is about to make, for the host to allow or refuse.
struct NavigationAction {
    std::string url;
    ui::WebViewNavigationType type = ui::WebViewNavigationType::Other;
    /// False for a sub-frame's own load (an iframe).
    bool mainFrame = true;
};

class WebEngine {
public:
    virtual ~WebEngine() = default;

    /// Loads the text as a page; the base URL resolves its relative links ("" for none).
    virtual void loadHTMLString(const std::string& html, const std::string& baseURL) = 0;
    virtual void loadRequest(const std::string& url) = 0;
    virtual void stopLoading() = 0;
    virtual bool isLoading() const = 0;
    /// The page's title ("" without one).
    virtual std::string title() const = 0;
    /// Runs a script of the host's in the page, whatever the page's own scripts may do,
    /// and answers its result as text ("" when it has none or fails).
    virtual std::string evaluateScript(const std::string& script) = 0;
    /// The height of the rendered content at the view's present width.
    virtual double contentHeight() const = 0;
    /// The size the page is laid out at.
    virtual void setViewportSize(ui::Size size) = 0;
    /// Whether the page's own scripts run (the host's evaluateScript always does).
    virtual void setPageScriptsEnabled(bool enabled) = 0;

    // ---- what the engine reports (set by the view) ----------------------------------------
    /// Asked before every navigation; false refuses it.
    std::function<bool(const NavigationAction&)> decidePolicy;
    std::function<void()> didStartLoad;
    std::function<void()> didFinishLoad;
    std::function<void(const std::string& error)> didFailLoad;
};

/// Makes the engine of each new web view.
using WebEngineFactory = std::function<std::unique_ptr<WebEngine>()>;

/// Replaces the factory (nil restores the default); answers the previous one.
WebEngineFactory setWebEngineFactory(WebEngineFactory factory);
/// A new engine from the present factory. When no real engine can start, the default
/// factory makes one whose every load fails with the reason (and logs it once).
std::unique_ptr<WebEngine> makeWebEngine();
/// Whether this program has the real engine (it links the package's Web component).
bool isRealEngineAvailable();
/// Clears every engine's stored website data (cookies, caches, storage); the hook
/// registered by the real engine runs it, and scripted engines count the calls.
void clearAllWebsiteData();
/// How many times the website data was cleared (for tests).
unsigned long websiteDataClearCount();

}  // namespace web
