// The web view on the real web engine, in real time (see RealEngineTest.h for the
// display it needs): script URLs and the navigation policy, a web process that ends, a
// page that keeps its process busy.

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <sys/types.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <LoopbackTcpServer.h>
#include <RealEngineTest.h>
#include <fnd/RunLoop.h>
#include <web/WebView.h>

namespace real_web_engine_test {

using webtest::kTimeout;
using RealEngine = webtest::RealEngineTest;

/// A web view's delegate that allows every request but script URLs (unless told to)
/// and records what it hears.
class Policy : public ui::WebViewDelegate {
public:
    bool allowScripts = false;
    std::vector<std::string> refused;
    int finished = 0;
    std::vector<std::string> asked;
    std::vector<std::string> failures;
    bool webViewShouldStartLoad(rt::Object&, const std::string& url, ui::WebViewNavigationType) override {
        asked.push_back(url);
        if (std::find(refused.begin(), refused.end(), url) != refused.end()) return false;
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

/// Puts the page's process to work for ever, from a timer of the page's, so the call
/// that starts it still answers; the page's timer has gone off when this returns (a web
/// process among a dozen test processes on a few cores may take most of a second to run
/// it: a load given before it does replaces the page, timer and all).
void keepThePageBusy(web::WebView& view) {
    view.stringByEvaluatingJavaScript("setTimeout(function () { for (;;) {} }, 0)");
    fnd::RunLoop::main()->runFor(1.0);
}

/// The seconds a call takes.
template <typename F>
double secondsTaken(F&& f) {
    auto start = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

/// Sets how long a script waits for the page, for one test.
struct ScriptTimeOut {
    explicit ScriptTimeOut(double seconds) { web::setScriptTimeout(seconds); }
    ~ScriptTimeOut() { web::setScriptTimeout(0); }
};

TEST_F(RealEngine, ABusyPageIsStoppedAtTheScriptTimeOutAndTheHostsLoopKeepsTurning) {
    ScriptTimeOut shortTimeOut(1);
    auto policy = std::make_shared<Policy>();
    auto view = viewShowing(policy, "busy");
    ASSERT_TRUE(view);
    auto ticks = std::make_shared<int>(0);
    rt::Ref<fnd::Timer> ticker = fnd::RunLoop::main()->schedule(0.05, true, [ticks](fnd::Timer&) { ++*ticks; });
    auto loopTurns = [&] {
        int before = *ticks;
        fnd::RunLoop::main()->runFor(0.3);
        return *ticks > before;
    };

    keepThePageBusy(*view);
    view->loadHTMLString("<html><head><title>waiting</title></head><body>text</body></html>");
    EXPECT_TRUE(loopTurns()) << "a load waiting on the busy page held the host's loop";
    std::string answer = "not asked";
    EXPECT_LT(secondsTaken([&] { answer = view->stringByEvaluatingJavaScript("document.title"); }), 3.0);
    EXPECT_EQ(answer, "");
    EXPECT_TRUE(waitFor([&] { return policy->failures.size() == 1; }, 5)) << "the stopped page was not told";
    EXPECT_TRUE(loopTurns());
    EXPECT_FALSE(view->isLoading());
    if (!policy->failures.empty()) {
        EXPECT_NE(policy->failures[0].find("Domain=web.engine Code=3"), std::string::npos) << policy->failures[0];
        EXPECT_NE(policy->failures[0].find("did not answer a script within 1 s"), std::string::npos);
    }

    // The next load starts a new process; reading the height is bounded the same way.
    view->loadHTMLString("<html><head><title>busy again</title></head><body>text</body></html>");
    EXPECT_TRUE(waitFor([&] { return !view->isLoading() && view->title() == "busy again"; }));
    keepThePageBusy(*view);
    EXPECT_LT(secondsTaken([&] { view->contentHeight(); }), 3.0);
    EXPECT_TRUE(waitFor([&] { return policy->failures.size() == 2; }, 5));
    EXPECT_TRUE(loopTurns());
    ticker->invalidate();
}

/// The longest wait between two turns of the host's loop, seen by a 10-ms timer of it
/// while it runs.
class LoopGaps {
public:
    LoopGaps() {
        auto last = last_;
        auto worst = worst_;
        *last = std::chrono::steady_clock::now();
        ticker_ = fnd::RunLoop::main()->schedule(0.01, true, [last, worst](fnd::Timer&) {
            auto now = std::chrono::steady_clock::now();
            *worst = std::max(*worst, std::chrono::duration<double>(now - *last).count());
            *last = now;
        });
    }
    ~LoopGaps() { ticker_->invalidate(); }
    double worst() const { return *worst_; }

private:
    std::shared_ptr<std::chrono::steady_clock::time_point> last_ =
        std::make_shared<std::chrono::steady_clock::time_point>();
    std::shared_ptr<double> worst_ = std::make_shared<double>(0);
    rt::Ref<fnd::Timer> ticker_;
};

TEST_F(RealEngine, ScriptCallsOnABusyPageHoldTheHostsLoopBrieflyAndOnlyOnceUntilItLoadsAgain) {
    auto policy = std::make_shared<Policy>();
    auto view = viewShowing(policy, "busy");
    ASSERT_TRUE(view);
    keepThePageBusy(*view);
    LoopGaps gaps;
    fnd::RunLoop::main()->runFor(0.1);

    // The default wait: the first call waits for the page a little, then the page is
    // stopped and told as a failed load; every later call answers at once.
    std::vector<double> taken;
    std::string answer = "not asked";
    taken.push_back(secondsTaken([&] { answer = view->stringByEvaluatingJavaScript("document.title"); }));
    EXPECT_EQ(answer, "");
    fnd::RunLoop::main()->runFor(0.1);
    taken.push_back(secondsTaken([&] { view->contentHeight(); }));
    fnd::RunLoop::main()->runFor(0.1);
    taken.push_back(secondsTaken([&] { answer = view->stringByEvaluatingJavaScript("1 + 1"); }));
    EXPECT_EQ(answer, "");
    fnd::RunLoop::main()->runFor(0.5);
    // The default wait is 2 s; waiting again would take as long. Room for a loaded machine.
    EXPECT_LE(taken[0], 3.5) << "the default wait for a page's answer is too long";
    EXPECT_LT(taken[1], 0.5) << "a page already stopped was waited for again";
    EXPECT_LT(taken[2], 0.5) << "a page already stopped was waited for again";
    EXPECT_LE(gaps.worst(), 3.6) << "the host's loop stood still that long";
    ASSERT_EQ(policy->failures.size(), 1u) << "the stopped page is told once";
    EXPECT_NE(policy->failures[0].find("Domain=web.engine Code=3"), std::string::npos) << policy->failures[0];

    // Loaded again, the page answers again.
    view->loadHTMLString("<html><head><title>again</title></head><body>text</body></html>");
    ASSERT_TRUE(waitFor([&] { return policy->finished == 2; }));
    EXPECT_EQ(view->stringByEvaluatingJavaScript("1 + 1"), "2");
    EXPECT_EQ(view->title(), "again");
}

/// Sets how long a load may make no progress, for one test.
struct LoadStallBound {
    explicit LoadStallBound(double seconds) { web::setLoadStallTimeout(seconds); }
    ~LoadStallBound() { web::setLoadStallTimeout(0); }
};

/// The busy-page tests' load stall bound, and how long they wait for a busy page's load
/// to be told: the wait ends well before the bound, and leaves a loaded machine starting
/// a web process for every load all the room it needs.
constexpr double kBusyLoadWait = kTimeout;
constexpr double kFarStallBound = 2 * kBusyLoadWait;

TEST_F(RealEngine, ALoadThatMakesNoProgressIsStoppedAndToldAndTheNextLoadWorks) {
    auto policy = std::make_shared<Policy>();
    auto view = viewShowing(policy, "first");
    ASSERT_TRUE(view);
    LoopGaps gaps;
    {
        LoadStallBound bound(1);
        // The page's own script keeps its process busy in the middle of the load.
        view->loadHTMLString(
            "<html><head><title>stuck</title></head><body>before<script>for (;;) {}</script>"
            "after</body></html>");
        ASSERT_TRUE(waitFor([&] { return !policy->failures.empty(); }, 10)) << "the stuck load was never told";
    }
    EXPECT_FALSE(view->isLoading());
    EXPECT_EQ(policy->finished, 1);
    EXPECT_NE(policy->failures[0].find("Domain=web.engine Code=4"), std::string::npos) << policy->failures[0];
    EXPECT_NE(policy->failures[0].find("made no progress for 1 s"), std::string::npos) << policy->failures[0];
    EXPECT_LT(gaps.worst(), 1.0) << "the host's loop stood still while the load was stuck";
    EXPECT_LT(secondsTaken([&] { view->stringByEvaluatingJavaScript("document.title"); }), 0.5)
        << "a stopped page is not waited for";

    view->loadHTMLString("<html><head><title>next</title></head><body>text</body></html>");
    ASSERT_TRUE(waitFor([&] { return policy->finished == 2; }));
    EXPECT_EQ(view->title(), "next");
    fnd::RunLoop::main()->runFor(0.3);
    EXPECT_EQ(policy->failures.size(), 1u) << policy->failures.back();

    // Busy from the end of its load on, the page is most often busy before it is
    // measured: the load still ends, measured or stopped.
    {
        LoadStallBound bound(1);
        view->loadHTMLString(
            "<html><head><title>busy after</title></head><body onload='setTimeout(function () { for (;;) {} }, 0)'>"
            "text</body></html>");
        EXPECT_TRUE(waitFor([&] { return policy->finished + policy->failures.size() == 4; }, 10))
            << "the load busy once loaded never ended";
    }
    EXPECT_FALSE(view->isLoading());
}

TEST_F(RealEngine, APageBusyFromTheEndOfItsLoadIsToldAsLoadedAtTheScriptTimeOut) {
    ScriptTimeOut shortTimeOut(1);
    // Far past any wait below: a load that waited for it would end only there, stopped
    // and told as failed, so a load told as loaded within the wait ended at the script
    // time-out, however long a loaded machine took to get there.
    LoadStallBound farStallBound(kFarStallBound);
    auto policy = std::make_shared<Policy>();
    auto view = viewShowing(policy, "first");
    ASSERT_TRUE(view);
    LoopGaps gaps;
    // The page's loop starts as its load ends: most often before the engine measures
    // it, sometimes after. Either way each load is told as loaded, at the script time-out
    // (1 s) rather than at the load stall bound, and the next load gets a page that
    // answers. A round beside other builds took 10 s (each busy page holds a core, and
    // every round starts a web process).
    for (int round = 1; round <= 3; ++round) {
        const std::string title = "busy after " + std::to_string(round);
        const double taken = secondsTaken([&] {
            view->loadHTMLString("<html><head><title>" + title +
                                 "</title></head><body onload='setTimeout(function () { for (;;) {} }, 0)'>"
                                 "text</body></html>");
            EXPECT_TRUE(waitFor([&] { return policy->finished == round + 1 || !policy->failures.empty(); },
                                kBusyLoadWait))
                << "round " << round << ": the load busy once loaded was not told before the load stall bound";
        });
        std::printf("busy from the end of its load: round %d told after %.2f s\n", round, taken);
        ASSERT_TRUE(policy->failures.empty()) << policy->failures.front();
        EXPECT_EQ(policy->finished, round + 1);
        EXPECT_FALSE(view->isLoading());
        EXPECT_EQ(view->title(), title);
    }
    std::printf("busy from the end of its load: the host's loop stood still for %.3f s at most\n", gaps.worst());
    EXPECT_LT(gaps.worst(), 1.0) << "the host's loop stood still while the page was measured";

    view->loadHTMLString("<html><head><title>next</title></head><body>text</body></html>");
    ASSERT_TRUE(waitFor([&] { return policy->finished == 5; }, 10));
    EXPECT_EQ(view->stringByEvaluatingJavaScript("document.title"), "next");
    EXPECT_GT(view->contentHeight(), 0);
    EXPECT_TRUE(policy->failures.empty()) << policy->failures.front();
}

TEST_F(RealEngine, APageBusyAfterItWasMeasuredGivesTheNextLoadANewProcessAndARefusedLoadKeepsThePage) {
    ScriptTimeOut shortTimeOut(1);
    // As above: a load that waited for the busy process would be stopped at this bound,
    // and told as failed.
    LoadStallBound farStallBound(kFarStallBound);
    auto policy = std::make_shared<Policy>();
    auto view = viewShowing(policy, "measured");
    ASSERT_TRUE(view);
    // Busy from a timer of its own, long after it was measured: nothing tells the engine
    // that the page holds its process until the next load does not start there.
    keepThePageBusy(*view);
    const double taken = secondsTaken([&] {
        view->loadHTMLString("<html><head><title>next</title></head><body>text</body></html>");
        EXPECT_TRUE(waitFor([&] { return policy->finished == 2 || !policy->failures.empty(); }, kBusyLoadWait))
            << "the load given to the busy page's process was not told before the load stall bound";
    });
    // About the script time-out (1 s) and a new process's start.
    std::printf("busy after it was measured: the next load told after %.2f s\n", taken);
    ASSERT_TRUE(policy->failures.empty()) << policy->failures.front();
    EXPECT_EQ(view->stringByEvaluatingJavaScript("document.title"), "next");

    // A load the host's policy refuses never starts, and that is no busy process: the
    // page shown stays, and answers, past the script time-out.
    policy->refused.push_back("http://127.0.0.1:9/refused");
    view->loadRequest("http://127.0.0.1:9/refused");
    fnd::RunLoop::main()->runFor(1.5);
    EXPECT_EQ(policy->asked.back(), "http://127.0.0.1:9/refused");
    EXPECT_EQ(view->stringByEvaluatingJavaScript("document.title"), "next") << "the shown page's process was stopped";
    EXPECT_TRUE(policy->failures.empty()) << policy->failures.front();
}

TEST_F(RealEngine, ASlowLoadThatStillAnswersIsStoppedAndWhatItShowsStays) {
    // Takes every request and never answers one.
    zidtest::LoopbackTcpServer silent;
    const std::string origin = "http://127.0.0.1:" + std::to_string(silent.port());
    auto policy = std::make_shared<Policy>();
    auto view = viewShowing(policy, "first");
    ASSERT_TRUE(view);
    {
        // The page's text is in; its one image never comes.
        LoadStallBound bound(1);
        view->loadHTMLString("<html><head><title>slow</title></head><body><p>the text</p>"
                             "<img src='/picture.png'></body></html>",
                             origin + "/");
        ASSERT_TRUE(waitFor([&] { return policy->finished + policy->failures.size() > 1; }, 10))
            << "the load waiting on the image was never told";
    }
    EXPECT_GT(silent.connectionsAccepted(), 0) << "the image was never asked for";
    EXPECT_EQ(policy->finished, 2) << "the page with its text in is told as loaded";
    EXPECT_TRUE(policy->failures.empty()) << policy->failures.front();
    EXPECT_FALSE(view->isLoading());
    EXPECT_EQ(view->stringByEvaluatingJavaScript("document.body.innerText.trim()"), "the text")
        << "what the page showed is gone";
    EXPECT_EQ(view->title(), "slow");
    EXPECT_GT(view->contentHeight(), 0);
    fnd::RunLoop::main()->runFor(1.5);
    EXPECT_EQ(policy->finished, 2) << "the stopped load was told again";
    EXPECT_TRUE(policy->failures.empty());

    // A document that never comes: the load fails, and the page shown before stays.
    {
        LoadStallBound bound(1);
        view->loadRequest(origin + "/never");
        ASSERT_TRUE(waitFor([&] { return !policy->failures.empty(); }, 10)) << "the stuck load was never told";
    }
    EXPECT_NE(policy->failures[0].find("Domain=web.engine Code=4"), std::string::npos) << policy->failures[0];
    EXPECT_NE(policy->failures[0].find("before its document came"), std::string::npos) << policy->failures[0];
    EXPECT_FALSE(view->isLoading());
    EXPECT_EQ(view->stringByEvaluatingJavaScript("document.title"), "slow");
    fnd::RunLoop::main()->runFor(1.5);
    EXPECT_EQ(policy->failures.size(), 1u) << policy->failures.back();
    EXPECT_EQ(policy->finished, 2);

    view->loadHTMLString("<html><head><title>next</title></head><body>text</body></html>");
    ASSERT_TRUE(waitFor([&] { return policy->finished == 3; }));
    EXPECT_EQ(view->title(), "next");
}

}  // namespace real_web_engine_test
