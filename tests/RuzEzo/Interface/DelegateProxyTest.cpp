// Delegate proxies and text signals: proxies pass calls to the wrapped delegate and
// publish them; with nobody to answer, the protocol's defaults keep links, loads and
// editing working; search bar, text view and text field signals under injected touches
// and typing.

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <RuzEzo/Interface/FKTextSignals.h>
#include <VirtualTime.h>
#include <rt/StandIn.h>
#include <ui/Application.h>
#include <ui/DelegateProtocols.h>
#include <ui/TouchInjector.h>
#include <ui/Window.h>

using namespace zid;
using namespace ui;

namespace {

class DelegateProxyTest : public zidtest::VirtualTimeTest {
protected:
    void SetUp() override {
        VirtualTimeTest::SetUp();
        describeDelegateProtocols();
        window = rt::make<Window>(Rect(0, 0, 320, 480));
    }
    rt::Ref<Window> window;
};

class RealTextViewDelegate : public rt::Object, public TextViewDelegate {
    RT_CLASS(RealTextViewDelegate, rt::Object)
public:
    bool answer = false;
    int asked = 0;
    bool textViewShouldInteractWithURL(TextView&, const std::string&, TextRange) override {
        ++asked;
        return answer;
    }
};

const rt::Protocol& textViewProtocol() { return rt::Protocol::describe(DelegateProtocol::TextView); }

TEST_F(DelegateProxyTest, ProxyIsMadeOnceAndAnswersOnlyWhatItIsAskedFor) {
    auto view = rt::make<TextView>(Rect(0, 0, 300, 200));
    auto proxy = proxyDelegateWithProtocol(*view, textViewProtocol());
    EXPECT_EQ(proxyDelegateWithProtocol(*view, textViewProtocol()), proxy);
    ASSERT_TRUE(view->delegate());
    EXPECT_FALSE(proxy->respondsToSelector(rt::sel("textViewDidChange:")));
    auto s = proxy->signalForSelector(rt::sel("textViewDidChange:"));
    EXPECT_TRUE(proxy->respondsToSelector(rt::sel("textViewDidChange:")));
    EXPECT_TRUE(proxy->conformsToProtocol(DelegateProtocol::TextView));
    EXPECT_FALSE(proxy->conformsToProtocol(DelegateProtocol::SearchBar));
    auto other = proxyDelegateWithProtocol(*view, rt::Protocol::describe(DelegateProtocol::WebView));
    EXPECT_FALSE(proxy->conformsToProtocol(DelegateProtocol::WebView));  // one proxy's protocol is its own
    (void)other;
}

TEST_F(DelegateProxyTest, WrappedDelegateRunsFirstAndItsResultIsPublished) {
    auto view = rt::make<TextView>(Rect(0, 0, 300, 200));
    view->setText("open site now");
    view->addLink(TextRange{5, 4}, "https://example.invalid/");
    auto proxy = proxyDelegateWithProtocol(*view, textViewProtocol());
    auto real = rt::make<RealTextViewDelegate>();
    proxy->setWrappedDelegate(real);
    auto calls = proxy->signalForSelector(rt::sel("textView:shouldInteractWithURL:inRange:"));
    rt::Value last;
    calls->addValueHandler([&](const rt::Value& v) { last = v; });
    EXPECT_FALSE(view->interactWithLinkAt(6));
    EXPECT_EQ(real->asked, 1);
    auto call = last.as<FKInvocationValue>();
    ASSERT_TRUE(call);
    EXPECT_EQ(call->arguments().size(), 3u);
    EXPECT_FALSE(call->returnValue().boolValue());
    auto urls = linkSignal(*view);
    std::vector<std::string> seen;
    urls->addValueHandler([&](const rt::Value& v) { seen.push_back(v.string()); });
    EXPECT_EQ(seen.size(), 1u);  // the last call is kept and replayed
    real->answer = true;
    EXPECT_TRUE(view->interactWithLinkAt(6));
    EXPECT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen.back(), "https://example.invalid/");
}

TEST_F(DelegateProxyTest, WithoutAWrappedDelegateLinksAndLoadsKeepWorking) {
    auto view = rt::make<TextView>(Rect(0, 0, 300, 200));
    view->setText("open site now");
    view->addLink(TextRange{5, 4}, "https://example.invalid/");
    auto links = linkSignal(*view);  // the proxy now claims the call, with nobody behind it
    std::string opened;
    Application::sharedApplication()->setOpenURLHandler([&](const std::string& u) { opened = u; return true; });
    EXPECT_TRUE(view->interactWithLinkAt(6));
    EXPECT_EQ(opened, "https://example.invalid/");
    Application::sharedApplication()->setOpenURLHandler({});

    auto webView = rt::make<rt::Object>();
    auto requests = requestSignal(*webView);
    std::vector<std::string> seen;
    requests->addValueHandler([&](const rt::Value& v) { seen.push_back(v.string()); });
    rt::Ref<rt::Object> holder;
    auto* d = rt::asProtocol<WebViewDelegate>(*webViewProxyDelegate(*webView), holder);
    ASSERT_TRUE(d);
    EXPECT_TRUE(d->webViewShouldStartLoad(*webView, "https://example.invalid/page", WebViewNavigationType::LinkClicked));
    EXPECT_EQ(seen, (std::vector<std::string>{"https://example.invalid/page"}));
}

class RealBarDelegate : public rt::Object, public SearchBarDelegate {
    RT_CLASS(RealBarDelegate, rt::Object)
public:
    std::vector<std::string> log;
    void searchBarSearchButtonClicked(SearchBar&) override { log.push_back("search"); }
    void searchBarTextDidChange(SearchBar&, const std::string& t) override { log.push_back("change " + t); }
};

TEST_F(DelegateProxyTest, SearchBarSignalsSendTheBarAndSurviveANewDelegate) {
    auto bar = rt::make<SearchBar>(Rect(0, 0, 320, 44));
    window->addSubview(bar);
    bar->layoutIfNeeded();
    auto first = rt::make<RealBarDelegate>();
    bar->setDelegate(first.get());
    auto changed = didChangeTextSignal(*bar);
    auto search = searchButtonClickedSignal(*bar);
    auto begin = didBeginEditingSignal(*bar);
    std::vector<rt::Ref<rt::Object>> sent;
    int searches = 0, begins = 0;
    changed->addValueHandler([&](const rt::Value& v) { sent.push_back(v.object()); });
    search->addValueHandler([&](const rt::Value&) { ++searches; });
    begin->addValueHandler([&](const rt::Value&) { ++begins; });
    TouchInjector(window).tap(Point{40, 22});
    EXPECT_EQ(begins, 1);  // editing began: the proxy's defaults let it
    bar->searchField()->insertText("a");
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent.front(), bar);  // the bar, not the text
    auto second = rt::make<RealBarDelegate>();
    bar->setDelegate(second.get());
    bar->searchField()->insertText("b");
    bar->searchField()->returnKey();
    EXPECT_EQ(first->log, (std::vector<std::string>{"change a"}));
    EXPECT_EQ(second->log, (std::vector<std::string>{"change ab", "search"}));
    EXPECT_EQ(sent.size(), 2u);
    EXPECT_EQ(searches, 1);
}

TEST_F(DelegateProxyTest, TextViewTextSignalSendsTypedAndCodeText) {
    auto view = rt::make<TextView>(Rect(0, 0, 300, 200));
    window->addSubview(view);
    view->setText("a");
    auto text = textSignal(*view);
    EXPECT_EQ(textSignal(*view), text);
    std::vector<std::string> seen;
    text->addValueHandler([&](const rt::Value& v) { seen.push_back(v.string()); });
    TouchInjector(window).tap(Point{150, 150});
    view->insertText("b");
    view->setText("code");
    EXPECT_EQ(seen.front(), "a");
    EXPECT_EQ(seen.back(), "code");
    EXPECT_NE(std::find(seen.begin(), seen.end(), "ab"), seen.end());
}

TEST_F(DelegateProxyTest, TappedWordAndLineOfATextView) {
    auto view = rt::make<TextView>(Rect(0, 0, 300, 200));
    view->setEditable(false);
    window->addSubview(view);
    view->setText("alpha beta gamma");
    auto words = touchedWordSignal(*view);
    auto lines = touchedLineSignal(*view);
    std::string word, line;
    words->addValueHandler([&](const rt::Value& v) { word = v.string(); });
    lines->addValueHandler([&](const rt::Value& v) { line = v.string(); });
    Rect c = view->textContainerRect();
    TouchInjector(window).tap(Point{minX(c) + 2, minY(c) + 5});
    EXPECT_EQ(word, "alpha");
    EXPECT_EQ(line, "alpha beta gamma");
}

TEST_F(DelegateProxyTest, TextFieldTextReturnAndEndSignals) {
    auto field = rt::make<TextField>(Rect(10, 10, 200, 30));
    window->addSubview(field);
    field->setText("x");
    auto text = textSignal(*field);
    std::vector<std::string> seen;
    text->addValueHandler([&](const rt::Value& v) { seen.push_back(v.string()); });
    int returns = 0, ends = 0;
    auto r = returnSignal(*field);
    auto e = endSignal(*field);
    r->addValueHandler([&](const rt::Value&) { ++returns; });
    e->addValueHandler([&](const rt::Value&) { ++ends; });
    TouchInjector(window).tap(Point{50, 25});
    field->insertText("y");
    field->returnKey();
    EXPECT_EQ(seen, (std::vector<std::string>{"x", "xy"}));
    EXPECT_EQ(returns, 1);
    EXPECT_EQ(ends, 1);
}

}  // namespace
