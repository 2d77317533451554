#include <web/FakeWebEngine.h>

#include <fnd/RunLoop.h>

namespace web {

void FakeWebEngine::begin(Load load) {
    loads_.push_back(std::move(load));
    loading_ = true;
    if (didStartLoad) didStartLoad();
}

void FakeWebEngine::loadHTMLString(const std::string& html, const std::string& baseURL) {
    // A real engine asks about a text's load too, as a navigation of type other.
    hostLoad(NavigationAction{baseURL.empty() ? "about:blank" : baseURL, ui::WebViewNavigationType::Other, true},
             Load{html, baseURL, true});
}

void FakeWebEngine::loadRequest(const std::string& url) {
    // A request passes the host's policy first, as a real engine asks before it goes.
    hostLoad(NavigationAction{url, ui::WebViewNavigationType::Other, true}, Load{"", url, false});
}

void FakeWebEngine::hostLoad(NavigationAction action, Load load) {
    const std::uint64_t serial = ++hostLoads_;
    if (!answersLate_) {
        if (ask(action)) begin(std::move(load));
        return;
    }
    questions_.push_back(Question{std::move(action), std::move(load), serial});
    if (questions_.size() > 1) return;
    std::weak_ptr<bool> alive = alive_;
    fnd::RunLoop::main()->post([this, alive] {
        if (alive.lock()) askLateQuestions();
    });
}

void FakeWebEngine::askLateQuestions() {
    std::vector<Question> asked = std::move(questions_);
    questions_.clear();
    for (auto& question : asked) {
        // Only the latest of the host's loads goes ahead; an earlier one was replaced.
        if (ask(question.action) && question.serial == hostLoads_) begin(std::move(question.load));
    }
}

bool FakeWebEngine::ask(const NavigationAction& action) {
    bool allowed = !decidePolicy || decidePolicy(action);
    navigations_.push_back(Navigation{action, allowed});
    return allowed;
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
    bool allowed = ask(NavigationAction{url, type, mainFrame});
    if (allowed && mainFrame) begin(Load{"", url, false});
    return allowed;
}

}  // namespace web
