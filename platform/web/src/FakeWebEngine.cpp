#include <web/FakeWebEngine.h>

namespace web {

void FakeWebEngine::begin(Load load) {
    loads_.push_back(std::move(load));
    loading_ = true;
    if (didStartLoad) didStartLoad();
}

void FakeWebEngine::loadHTMLString(const std::string& html, const std::string& baseURL) {
    // A real engine asks about a text's load too, as a navigation of type other.
    NavigationAction action{baseURL.empty() ? "about:blank" : baseURL, ui::WebViewNavigationType::Other, true};
    bool allowed = !decidePolicy || decidePolicy(action);
    navigations_.push_back(Navigation{action, allowed});
    if (allowed) begin(Load{html, baseURL, true});
}

void FakeWebEngine::loadRequest(const std::string& url) {
    // A request passes the host's policy first, as a real engine asks before it goes.
    NavigationAction action{url, ui::WebViewNavigationType::Other, true};
    bool allowed = !decidePolicy || decidePolicy(action);
    navigations_.push_back(Navigation{action, allowed});
    if (allowed) begin(Load{"", url, false});
}

void FakeWebEngine::stopLoading() {
    ++stops_;
    loading_ = false;
}

std::string FakeWebEngine::evaluateScript(const std::string& script) {
    scripts_.push_back(script);
    if (script == "document.title") return title_;
    auto it = answers_.find(script);
    return it == answers_.end() ? "" : it->second;
}

void FakeWebEngine::finishLoad(double contentHeight, const std::string& title) {
    if (!loading_) return;
    loading_ = false;
    contentHeight_ = contentHeight;
    title_ = title;
    if (didFinishLoad) didFinishLoad();
}

void FakeWebEngine::failLoad(const std::string& error) {
    if (!loading_) return;
    loading_ = false;
    if (didFailLoad) didFailLoad(error);
}

bool FakeWebEngine::navigate(const std::string& url, ui::WebViewNavigationType type, bool mainFrame) {
    NavigationAction action{url, type, mainFrame};
    bool allowed = !decidePolicy || decidePolicy(action);
    navigations_.push_back(Navigation{action, allowed});
    if (allowed && mainFrame) begin(Load{"", url, false});
    return allowed;
}

}  // namespace web
