#pragma once
// The scripted engine of the tests: nothing renders. A load waits until the test
// finishes it (with the content height and title it chooses); navigations the test
// makes go through the host's policy question and are recorded with the answer.
// Script answers are given by the test per script text.

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <web/WebEngine.h>

namespace web {

class FakeWebEngine : public WebEngine {
public:
    struct Load {
        std::string html;     ///< the text of an HTML load
        std::string url;      ///< the base URL of an HTML load, or the request's URL
        bool isHTML = false;
    };
    struct Navigation {
        NavigationAction action;
        bool allowed = false;
    };

    void loadHTMLString(const std::string& html, const std::string& baseURL) override;
    void loadRequest(const std::string& url) override;
    void stopLoading() override;
    bool isLoading() const override { return loading_; }
    std::string title() const override { return title_; }
    std::string evaluateScript(const std::string& script) override;
    double contentHeight() const override { return contentHeight_; }
    void setViewportSize(ui::Size size) override { viewport_ = size; }
    void setPageScriptsEnabled(bool enabled) override { pageScripts_ = enabled; }

    // ---- the script --------------------------------------------------------------------
    /// Asks the navigation question of the host's loads on a later turn of the main run
    /// loop, in the order of the loads, as a real engine does. A load the host replaced
    /// before its question came is dropped even when allowed: no start, no end.
    void setAnswersLate(bool late) { answersLate_ = late; }
    /// Ends the present load: the page has this height and title; the view hears of it.
    void finishLoad(double contentHeight, const std::string& title = "");
    /// Fails the present load.
    void failLoad(const std::string& error);
    /// A navigation the page makes; answers whether the host allowed it. An allowed
    /// main-frame navigation starts a load of its URL.
    bool navigate(const std::string& url, ui::WebViewNavigationType type, bool mainFrame = true);
    void setScriptAnswer(const std::string& script, const std::string& answer) { answers_[script] = answer; }
    void setContentHeight(double h) { contentHeight_ = h; }

    const std::vector<Load>& loads() const { return loads_; }
    const std::vector<Navigation>& navigations() const { return navigations_; }
    const std::vector<std::string>& scripts() const { return scripts_; }
    unsigned stops() const { return stops_; }
    bool pageScriptsEnabled() const { return pageScripts_; }
    ui::Size viewportSize() const { return viewport_; }

private:
    struct Question {
        NavigationAction action;
        Load load;
        std::uint64_t serial = 0;
    };
    void hostLoad(NavigationAction action, Load load);
    bool ask(const NavigationAction& action);
    void askLateQuestions();
    void begin(Load load);
    bool answersLate_ = false;
    std::uint64_t hostLoads_ = 0;
    std::vector<Question> questions_;
    /// Lives as long as the engine: a question posted to the run loop checks it.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
    bool loading_ = false;
    std::string title_;
    double contentHeight_ = 0;
    bool pageScripts_ = true;
    ui::Size viewport_;
    unsigned stops_ = 0;
    std::vector<Load> loads_;
    std::vector<Navigation> navigations_;
    std::vector<std::string> scripts_;
    std::map<std::string, std::string> answers_;
};

}  // namespace web
