// The rich text view and the web view controller on the real web engine, against a
// loopback page server, in real time (see RealEngineTest.h for the display they need).

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <QXFoundation/Listening/IListenable.h>
#include <RealEngineTest.h>
#include <fnd/RunLoop.h>
#include <peers/WebPagePeer.h>
#include <ui/BarItem.h>
#include <web/WebView.h>

#include "QXUIKit/RichTextView/RichTextView.h"
#include "QXUIKit/WebView/QXWebViewController.h"

using namespace zid;

namespace real_web_engine_test {

using webtest::kTimeout;

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

class RealEngine : public webtest::RealEngineTest {
protected:
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
};

TEST_F(RealEngine, RichTextIsMeasuredAndMoreLinesAreTaller) {
    double one = measure("<p>One line of text.</p>", 300);
    double five = measure("<p>One</p><p>Two</p><p>Three</p><p>Four</p><p>Five, the last line.</p>", 300);
    EXPECT_GT(one, 10);
    EXPECT_LT(one, 200);
    EXPECT_GT(five, one + 40);
    EXPECT_DOUBLE_EQ(RichTextView::heightForHtml("<p>One line of text.</p>", 300), static_cast<float>(one));
}

TEST_F(RealEngine, TwoTextsInOneTurnShowAndMeasureTheLatest) {
    const std::string replaced = "<p>Replaced in the same turn.</p>";
    const std::string latest = "<p>One</p><p>Two</p><p>The text that stays.</p>";
    auto view = rt::make<RichTextView>(ui::Rect(0, 0, 300, 400));
    auto listener = rt::make<Listener>();
    addListener(*view, listener);
    view->layoutIfNeeded();
    view->setHtml(replaced);
    view->setHtml(latest);
    ASSERT_TRUE(waitFor([&] { return !listener->heights.empty(); }, 10)) << "no height: the view stays loading";
    EXPECT_FALSE(view->isLoading());
    EXPECT_EQ(view->webView()->stringByEvaluatingJavaScript("document.body.textContent"), "OneTwoThe text that stays.");
    EXPECT_DOUBLE_EQ(RichTextView::heightForHtml(latest, 300), static_cast<float>(listener->heights.back()));
    EXPECT_DOUBLE_EQ(RichTextView::heightForHtml(replaced, 300), 1.0);
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

TEST_F(RealEngine, WebViewControllerPageBusyInItsLoadIsStoppedAndTheNextPageLoads) {
    pages.addPage("/busy", "<html><head><title>busy</title></head><body><script>for (;;) {}</script></body></html>");
    pages.addPage("/page", "<html><head><title>Loopback page</title></head><body>hello</body></html>");
    auto controller = rt::make<QXWebViewController>();
    auto host = rt::make<Host>();
    controller->setDelegate(host);
    controller->view();
    {
        struct Bound {
            Bound() { web::setLoadStallTimeout(3); }
            ~Bound() { web::setLoadStallTimeout(0); }
        } bound;
        controller->loadRequest(pages.url("/busy"));
        ASSERT_TRUE(waitFor([&] { return pages.requests("/busy") == 1; }));
        ASSERT_TRUE(waitFor([&] { return !controller->webView()->isLoading(); }, 15)) << "the busy load never ended";
    }
    EXPECT_EQ(host->finished, 0);

    controller->loadRequest(pages.url("/page"));
    ASSERT_TRUE(waitFor([&] { return host->finished == 1; }));
    EXPECT_EQ(controller->title(), "Loopback page");
}

}  // namespace real_web_engine_test
