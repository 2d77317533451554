// The rich text view and the web view controller on the real web engine, against a
// loopback page server, in real time. They need a display: without one they skip with
// a message, unless ZID_REQUIRE_DISPLAY=1 (set by CI), where a missing display fails.
// Under the sanitizers they are left out: the engine's libraries are not instrumented.

#include <cstdlib>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <set>

#include <sys/types.h>
#include <unistd.h>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <QXFoundation/Listening/IListenable.h>
#include <fnd/RunLoop.h>
#include <peers/WebPagePeer.h>
#include <ui/BarItem.h>
#include <web/RealWebEngine.h>
#include <web/WebView.h>

#include "QXUIKit/RichTextView/RichTextView.h"
#include "QXUIKit/WebView/QXWebViewController.h"

using namespace zid;

namespace real_web_engine_test {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

constexpr double kTimeout = 30;

class Listener : public rt::Object, public RichTextViewListener {
    RT_CLASS(Listener, rt::Object)
public:
    std::vector<double> heights;
    std::vector<std::string> links;
    void richTextViewDidUpdateHeight(RichTextView&, double h) override {
        if (h > 0) heights.push_back(h);
    }
    void richTextViewShouldStartLoadWithRequest(RichTextView&, const std::string& url) override { links.push_back(url); }
};

class Host : public rt::Object, public QXWebViewControllerDelegate {
    RT_CLASS(Host, rt::Object)
public:
    int finished = 0;
    std::vector<std::string> asked;
    bool webViewControllerShouldStartLoadWithRequest(QXWebViewController&, const std::string& url) override {
        asked.push_back(url);
        return url.find("/blocked") == std::string::npos;
    }
    void webViewControllerDidFinishLoad(QXWebViewController&) override { ++finished; }
};

class RealEngine : public ::testing::Test {
protected:
    void SetUp() override {
        if (kSanitized) GTEST_SKIP() << "left out under the sanitizers: the web engine's libraries are not instrumented";
        if (!web::isRealEngineAvailable()) GTEST_SKIP() << "this build has no web engine (libwebkit2gtk-4.1-dev)";
        rt::Ref<rt::Error> error;
        if (!web::canStartRealEngine(&error)) {
            const char* required = std::getenv("ZID_REQUIRE_DISPLAY");
            if (required && std::string(required) == "1") FAIL() << error->localizedDescription();
            GTEST_SKIP() << error->localizedDescription();
        }
        previous = web::setWebEngineFactory([] { return web::makeRealWebEngine(); });
        installed = true;
    }
    void TearDown() override {
        if (installed) web::setWebEngineFactory(previous);
    }
    static bool waitFor(const std::function<bool()>& done, double seconds = kTimeout) {
        return fnd::RunLoop::main()->runUntil(done, seconds);
    }
    /// Measures the text in a fresh view of the width; answers the height heard.
    double measure(const std::string& html, double width) {
        auto view = rt::make<RichTextView>(ui::Rect(0, 0, width, 100));
        auto listener = rt::make<Listener>();
        addListener(*view, listener);
        view->layoutIfNeeded();
        view->setHtml(html);
        EXPECT_TRUE(waitFor([&] { return !listener->heights.empty(); })) << "no height for " << html;
        return listener->heights.empty() ? 0 : listener->heights.back();
    }

    peers::WebPagePeer pages;
    web::WebEngineFactory previous;
    bool installed = false;
};

TEST_F(RealEngine, RichTextIsMeasuredAndMoreLinesAreTaller) {
    double one = measure("<p>One line of text.</p>", 300);
    double five = measure("<p>One</p><p>Two</p><p>Three</p><p>Four</p><p>Five, the last line.</p>", 300);
    EXPECT_GT(one, 10);
    EXPECT_LT(one, 200);
    EXPECT_GT(five, one + 40);
    EXPECT_DOUBLE_EQ(RichTextView::heightForHtml("<p>One line of text.</p>", 300), static_cast<float>(one));
}

TEST_F(RealEngine, TheTextsScriptsRefreshesAndLinksDoNotReplaceIt) {
    pages.addPage("/elsewhere", "<html><head><title>elsewhere</title></head><body>elsewhere</body></html>");
    const std::string elsewhere = pages.url("/elsewhere");
    auto view = rt::make<RichTextView>(ui::Rect(0, 0, 300, 400));
    auto listener = rt::make<Listener>();
    addListener(*view, listener);
    view->layoutIfNeeded();
    view->setHtml("<meta http-equiv='refresh' content='0;url=" + elsewhere + "'>" +
                  "<p id='t'>original</p><a id='l' href='" + elsewhere + "?link'>more</a>" +
                  "<script>document.getElementById('t').textContent = 'changed'; location.href = '" + elsewhere +
                  "?script';</script>");
    ASSERT_TRUE(waitFor([&] { return !view->isLoading() && !listener->heights.empty(); }));
    // Time for a refresh or a script to have gone anywhere.
    fnd::RunLoop::main()->runFor(1.0);
    EXPECT_EQ(view->webView()->stringByEvaluatingJavaScript("document.getElementById('t').textContent"), "original");
    EXPECT_EQ(pages.requests("/elsewhere"), 0);

    view->webView()->stringByEvaluatingJavaScript("document.getElementById('l').click()");
    ASSERT_TRUE(waitFor([&] { return !listener->links.empty(); }));
    EXPECT_EQ(listener->links[0], elsewhere + "?link");
    fnd::RunLoop::main()->runFor(0.5);
    EXPECT_EQ(pages.requests("/elsewhere"), 0);
    EXPECT_EQ(view->webView()->stringByEvaluatingJavaScript("document.getElementById('t').textContent"), "original");
}

TEST_F(RealEngine, WebViewControllerLoadsVetoesAndClearsWebsiteData) {
    pages.addPage("/page", "<html><head><title>Loopback page</title></head><body>hello</body></html>");
    pages.addPage("/blocked", "<html><head><title>blocked</title></head></html>");
    auto controller = rt::make<QXWebViewController>();
    auto host = rt::make<Host>();
    controller->setDelegate(host);
    controller->loadRequest(pages.url("/page"));
    controller->view();
    ASSERT_TRUE(waitFor([&] { return host->finished == 1; }));
    EXPECT_EQ(controller->title(), "Loopback page");

    controller->loadRequest(pages.url("/blocked"));
    fnd::RunLoop::main()->runFor(0.5);
    EXPECT_EQ(pages.requests("/blocked"), 0);
    EXPECT_EQ(host->asked.back(), pages.url("/blocked"));

    controller->loadRequest(pages.url(peers::WebPagePeer::kSetCookiePath));
    ASSERT_TRUE(waitFor([&] { return host->finished == 2; }));
    controller->loadRequest(pages.url(peers::WebPagePeer::kShowCookiesPath));
    ASSERT_TRUE(waitFor([&] { return host->finished == 3; }));
    EXPECT_EQ(controller->webView()->title(), std::string("cookies:") + peers::WebPagePeer::kCookie);

    QXWebViewController::clearWebsiteData();
    ASSERT_TRUE(waitFor([] { return web::pendingWebsiteDataClears() == 0; }));
    controller->loadRequest(pages.url(peers::WebPagePeer::kShowCookiesPath));
    ASSERT_TRUE(waitFor([&] { return host->finished == 4; }));
    EXPECT_EQ(controller->webView()->title(), "cookies:");
    EXPECT_EQ(controller->title(), "Loopback page") << "the first page's title stays";
}

/// A web view's delegate that allows every request but script URLs (unless told to)
/// and records what it hears.
class Policy : public ui::WebViewDelegate {
public:
    bool allowScripts = false;
    int finished = 0;
    std::vector<std::string> asked;
    std::vector<std::string> failures;
    bool webViewShouldStartLoad(rt::Object&, const std::string& url, ui::WebViewNavigationType) override {
        asked.push_back(url);
        return allowScripts || url.rfind("javascript:", 0) != 0;
    }
    void webViewDidFinishLoad(rt::Object&) override { ++finished; }
    void webViewDidFailLoad(rt::Object&, const std::string& error) override { failures.push_back(error); }
};

/// A web view with the delegate, once it shows a page of the title (nil if it never does).
rt::Ref<web::WebView> viewShowing(const std::shared_ptr<Policy>& policy, const std::string& title) {
    auto view = rt::make<web::WebView>(ui::Rect(0, 0, 300, 200));
    view->setDelegate(policy);
    int before = policy->finished;
    view->loadHTMLString("<html><head><title>" + title + "</title></head><body>text</body></html>");
    if (!fnd::RunLoop::main()->runUntil([&] { return policy->finished > before; }, kTimeout)) return nullptr;
    return view;
}

TEST_F(RealEngine, ScriptRequestsRunOnlyWhenTheDelegateAllowsThem) {
    auto policy = std::make_shared<Policy>();
    auto view = viewShowing(policy, "page");
    ASSERT_TRUE(view);
    auto title = [&] { return view->stringByEvaluatingJavaScript("document.title"); };

    const std::string refused = "javascript:void(document.title='refused')";
    view->loadRequest(refused);
    fnd::RunLoop::main()->runFor(0.5);
    EXPECT_EQ(title(), "page");
    ASSERT_FALSE(policy->asked.empty());
    EXPECT_EQ(policy->asked.back(), refused);

    policy->allowScripts = true;
    view->loadRequest("javascript:void(document.title='allowed')");
    EXPECT_TRUE(waitFor([&] { return title() == "allowed"; }, 5));

    view->setDelegate(nullptr);
    view->loadRequest("javascript:void(document.title='no delegate')");
    fnd::RunLoop::main()->runFor(0.5);
    EXPECT_EQ(title(), "allowed");
}

/// Kills every web process below this one (the engine does not tell its pid): answers
/// how many were killed.
int killWebProcesses() {
    std::map<pid_t, pid_t> parents;
    std::map<pid_t, std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        pid_t pid = static_cast<pid_t>(std::atoi(entry.path().filename().c_str()));
        if (pid <= 0) continue;
        std::ifstream stat(entry.path() / "stat");
        std::string line;
        if (!std::getline(stat, line)) continue;
        auto open = line.find('('), close = line.rfind(')');
        if (open == std::string::npos || close == std::string::npos) continue;
        names[pid] = line.substr(open + 1, close - open - 1);
        parents[pid] = static_cast<pid_t>(std::atoi(line.c_str() + close + 4));
    }
    int killed = 0;
    for (const auto& [pid, name] : names) {
        if (name.rfind("WebKitWebProces", 0) != 0) continue;
        bool mine = false;
        for (pid_t p = parents[pid]; p > 1 && !mine; p = parents.count(p) ? parents[p] : 0) mine = p == getpid();
        if (mine && ::kill(pid, SIGKILL) == 0) ++killed;
    }
    return killed;
}

TEST_F(RealEngine, ACrashedWebProcessIsAFailedLoadAndTheNextLoadWorks) {
    auto ends = std::make_shared<Policy>();
    auto view = viewShowing(ends, "first");
    ASSERT_TRUE(view);
    ASSERT_GT(killWebProcesses(), 0);
    ASSERT_TRUE(waitFor([&] { return !ends->failures.empty(); }, 10)) << "the crash was not told";
    EXPECT_NE(ends->failures[0].find("The web content ended"), std::string::npos) << ends->failures[0];
    EXPECT_FALSE(view->isLoading());

    view->loadHTMLString("<html><head><title>second</title></head><body>text</body></html>");
    ASSERT_TRUE(waitFor([&] { return ends->finished == 2; }));
    EXPECT_EQ(view->title(), "second");
}

}  // namespace real_web_engine_test
