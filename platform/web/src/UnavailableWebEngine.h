#pragma once
// The engine of a web view when no real engine can start (none in the build, or no
// display): nothing renders, and every load fails at once with the reason, so the host
// hears why instead of waiting for a page that never comes.

#include <string>

#include <web/WebEngine.h>

namespace web {

class UnavailableWebEngine : public WebEngine {
public:
    explicit UnavailableWebEngine(std::string reason);

    void loadHTMLString(const std::string& html, const std::string& baseURL) override;
    void loadRequest(const std::string& url) override;
    void stopLoading() override {}
    bool isLoading() const override { return false; }
    std::string title() const override { return ""; }
    std::string evaluateScript(const std::string&) override { return ""; }
    double contentHeight() const override { return 0; }
    void setViewportSize(ui::Size) override {}
    void setPageScriptsEnabled(bool) override {}

private:
    void fail();
    std::string reason_;
};

}  // namespace web
