// The web view on the scripted web engine: script URLs and the navigation policy, and
// the engine a view gets where no real engine can start.

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <ScriptedEngines.h>
#include <web/WebView.h>

using namespace ui;

namespace web_views_test {

using Nav = ui::WebViewNavigationType;
using webtest::FakeEngines;

class Policy : public ui::WebViewDelegate {
public:
    std::vector<std::string> asked;
    bool webViewShouldStartLoad(rt::Object&, const std::string& url, Nav) override {
        asked.push_back(url);
        return false;
    }
};

TEST_F(FakeEngines, ScriptRequestsAskTheDelegateAndWithoutOneAreRefused) {
    auto view = rt::make<web::WebView>(Rect(0, 0, 300, 200));
    const std::vector<std::string> scripts{"javascript:void(document.title='x')", " JavaScript:alert(1)",
                                           "java\tscr\nipt:alert(2)"};
    for (const auto& url : scripts) view->loadRequest(url);
    view->loadRequest("http://127.0.0.1/page");
    ASSERT_EQ(last().navigations().size(), 4u);
    for (std::size_t i = 0; i < scripts.size(); ++i) EXPECT_FALSE(last().navigations()[i].allowed) << scripts[i];
    EXPECT_TRUE(last().navigations()[3].allowed) << "other requests need no delegate";
    ASSERT_EQ(last().loads().size(), 1u);

    auto policy = std::make_shared<Policy>();
    view->setDelegate(policy);
    view->loadRequest(scripts[0]);
    EXPECT_EQ(policy->asked, std::vector<std::string>{scripts[0]});
    EXPECT_EQ(last().loads().size(), 1u);
}

class Failures : public ui::WebViewDelegate {
public:
    std::vector<std::string> errors;
    void webViewDidFailLoad(rt::Object&, const std::string& error) override { errors.push_back(error); }
};

// The default factory in a fresh process without a display: the view's host hears why
// nothing loads, and the reason is logged.
TEST_F(FakeEngines, WithoutADisplayAWebViewFailsItsLoadsAndSaysWhy) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            unsetenv("DISPLAY");
            unsetenv("WAYLAND_DISPLAY");
            web::setWebEngineFactory(nullptr);
            auto view = rt::make<web::WebView>(Rect(0, 0, 300, 200));
            auto failures = std::make_shared<Failures>();
            view->setDelegate(failures);
            view->loadRequest("http://127.0.0.1/page");
            view->loadHTMLString("<p>text</p>");
            bool told = failures->errors.size() == 2 && failures->errors[0].find("web engine") != std::string::npos &&
                        !view->isLoading();
            std::exit(told ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "web: a web view cannot show pages: .*web engine");
}

/// How many times the text occurs in the output.
std::size_t occurrences(const std::string& output, const std::string& text) {
    std::size_t n = 0;
    for (auto at = output.find(text); at != std::string::npos; at = output.find(text, at + text.size())) ++n;
    return n;
}

TEST_F(FakeEngines, WithoutADisplayTheReasonIsLoggedOnceForManyWebViews) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            unsetenv("DISPLAY");
            unsetenv("WAYLAND_DISPLAY");
            web::setWebEngineFactory(nullptr);
            auto failures = std::make_shared<Failures>();
            std::vector<rt::Ref<web::WebView>> views;
            for (int i = 0; i < 3; ++i) {
                views.push_back(rt::make<web::WebView>(Rect(0, 0, 300, 200)));
                views.back()->setDelegate(failures);
                views.back()->loadHTMLString("<p>text</p>");
            }
            std::exit(failures->errors.size() == 3 ? 0 : 1);
        },
        ::testing::ExitedWithCode(0),
        ::testing::Matcher<const std::string&>(::testing::Truly(
            [](const std::string& out) { return occurrences(out, "web: a web view cannot show pages") == 1; })));
}

}  // namespace web_views_test
