// Alerts and action sheets with an action per button: the order of action and host
// delegate, buttons without actions, the text accessors per style, error alerts and a
// queue of them answered by taps, a sheet dismissed without a choice, an error shown
// from a worker thread, and the pictures of an alert with a field and of a sheet.

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include <GoldenImage.h>
#include <TestPaths.h>
#include <VirtualTime.h>
#include <rt/Exception.h>
#include <ui/Application.h>
#include <ui/Renderer.h>
#include <ui/TouchInjector.h>
#include <ui/Window.h>

#include "QXUIKit/ActionSheet/QXActionSheet.h"
#include "QXUIKit/AlertView/QXAlertView.h"

using namespace ui;
using namespace zid;

namespace alert_view_test {

class Recorder : public rt::Object, public AlertViewDelegate, public ActionSheetDelegate {
    RT_CLASS(Recorder, rt::Object)
public:
    std::vector<std::string>* log = nullptr;
    void alertViewClickedButtonAtIndex(AlertView&, long i) override { log->push_back("clicked " + std::to_string(i)); }
    void willPresentAlertView(AlertView&) override { log->push_back("will present"); }
    void didPresentAlertView(AlertView&) override { log->push_back("did present"); }
    void alertViewDidDismissWithButtonIndex(AlertView&, long i) override {
        log->push_back("did dismiss " + std::to_string(i));
    }
    void actionSheetClickedButtonAtIndex(ActionSheet&, long i) override {
        log->push_back("sheet clicked " + std::to_string(i));
    }
    void actionSheetDidDismissWithButtonIndex(ActionSheet&, long i) override {
        log->push_back("sheet did dismiss " + std::to_string(i));
    }
};

class Alerts : public zidtest::VirtualTimeTest {
protected:
    void SetUp() override {
        VirtualTimeTest::SetUp();
        Application::sharedApplication()->reset();
        window = rt::make<Window>(Rect(0, 0, 320, 480));
        window->setBackgroundColor(Color::rgba(0.3, 0.6, 0.9));
        window->makeKeyAndVisible();
        touches = std::make_unique<TouchInjector>(window);
        recorder->log = &log;
    }
    void TearDown() override {
        touches.reset();
        Application::sharedApplication()->reset();
        VirtualTimeTest::TearDown();
    }
    void settle() {
        advance(0.3);
        drain();
        window->layoutIfNeeded();
    }
    void tapButton(const ButtonBoxView& box, long index) {
        auto b = box.buttonAtIndex(index);
        ASSERT_TRUE(b) << "no button " << index;
        Rect r = b->convertRectToView(b->bounds(), window.get());
        touches->tap(Point{midX(r), midY(r)});
        settle();
    }
    /// The alerts on screen, bottom to top.
    std::vector<rt::Ref<QXAlertView>> shownAlerts() {
        std::vector<rt::Ref<QXAlertView>> out;
        for (const auto& v : window->subviews())
            if (auto a = rt::cast<QXAlertView>(v)) out.push_back(a);
        return out;
    }
    static rt::Ref<rt::Error> error(const std::string& description, const char* reason, const char* suggestion) {
        rt::Dictionary info;
        info.set(rt::Value(rt::Error::LocalizedDescriptionKey), rt::Value(description));
        if (reason) info.set(rt::Value(rt::Error::LocalizedFailureReasonKey), rt::Value(std::string(reason)));
        if (suggestion)
            info.set(rt::Value(QXAlertView::kLocalizedRecoverySuggestionKey), rt::Value(std::string(suggestion)));
        return rt::Error::make("TestDomain", 1, info);
    }

    rt::Ref<Window> window;
    std::unique_ptr<TouchInjector> touches;
    std::vector<std::string> log;
    rt::Ref<Recorder> recorder = rt::make<Recorder>();
};

TEST_F(Alerts, EachButtonRunsItsActionThenTheHostDelegateHearsTheClick) {
    auto alert = rt::make<QXAlertView>();
    alert->setTitle("Delete?");
    alert->addButtonWithTitle("Keep", [&] { log.push_back("keep"); });
    alert->addCancelButtonWithTitle("Cancel", nullptr);
    long plain = alert->AlertView::addButtonWithTitle("Plain");
    EXPECT_EQ(alert->cancelButtonIndex(), 1);
    alert->setDelegate(recorder);
    EXPECT_EQ(alert->realDelegate(), recorder);
    EXPECT_EQ(alert->AlertView::delegate().get(), static_cast<AlertViewDelegate*>(alert.get()));
    alert->show();
    settle();
    tapButton(*alert, 0);
    EXPECT_EQ(log, (std::vector<std::string>{"will present", "did present", "keep", "clicked 0", "did dismiss 0"}));
    EXPECT_FALSE(alert->superview());

    // A button the plain toolkit call added runs nothing, and the host still hears of it.
    log.clear();
    alert->show();
    settle();
    EXPECT_NO_THROW(tapButton(*alert, plain));
    EXPECT_EQ(log, (std::vector<std::string>{"will present", "did present", "clicked 2", "did dismiss 2"}));

    alert->setDelegate(alert);
    EXPECT_EQ(alert->realDelegate(), nullptr) << "the alert as its own delegate leaves no host delegate";
}

TEST_F(Alerts, TextAccessorsFollowTheStyle) {
    auto alert = rt::make<QXAlertView>();
    auto raisesWrongStyle = [&](const std::function<void()>& f) {
        try {
            f();
        } catch (const rt::Exception& e) {
            EXPECT_EQ(e.name(), rt::Exception::InternalInconsistency);
            EXPECT_EQ(e.reason(), QXAlertView::kWrongStyleReason);
            return;
        }
        ADD_FAILURE() << "no exception";
    };
    raisesWrongStyle([&] { (void)alert->inputText(); });
    raisesWrongStyle([&] { alert->setLoginText("x"); });
    for (auto style : {AlertViewStyle::SecureTextInput, AlertViewStyle::PlainTextInput}) {
        alert->setAlertViewStyle(style);
        alert->setInputText("abc");
        EXPECT_EQ(alert->inputText(), "abc");
        EXPECT_EQ(alert->textFieldAtIndex(0)->text(), "abc");
        EXPECT_EQ(alert->textFieldAtIndex(0)->isSecureTextEntry(), style == AlertViewStyle::SecureTextInput);
        raisesWrongStyle([&] { (void)alert->passwordText(); });
    }
    alert->setAlertViewStyle(AlertViewStyle::LoginAndPasswordInput);
    alert->setLoginText("me");
    alert->setPasswordText("secret");
    EXPECT_EQ(alert->loginText(), "me");
    EXPECT_EQ(alert->passwordText(), "secret");
    EXPECT_TRUE(alert->textFieldAtIndex(1)->isSecureTextEntry());
    raisesWrongStyle([&] { alert->setInputText("x"); });
}

TEST_F(Alerts, ErrorAlertsTakeTheReasonAndSuggestionThatAddSomething) {
    EXPECT_EQ(QXAlertView::alertViewForError(nullptr)->title(), "Something went wrong");
    EXPECT_EQ(QXAlertView::alertViewForError(nullptr)->message(), "");

    auto same = QXAlertView::alertViewForError(error("No network", "No network", nullptr));
    EXPECT_EQ(same->title(), "No network");
    EXPECT_EQ(same->message(), "");
    EXPECT_EQ(QXAlertView::alertViewForError(error("No network", "Offline", "Retry later"))->message(),
              "Offline\nRetry later");
    EXPECT_EQ(QXAlertView::alertViewForError(error("No network", "Offline", "No network"))->message(), "Offline");
    EXPECT_EQ(QXAlertView::alertViewForError(error("No network", "No network", "Retry later"))->message(),
              "Retry later");
    EXPECT_EQ(QXAlertView::alertViewForError(error("No network", nullptr, "Retry later"))->message(), "Retry later");
}

TEST_F(Alerts, QueuedErrorsShowOneAfterAnotherAsEachIsDismissed) {
    QXAlertView::showErrors({error("First", nullptr, nullptr), error("Second", nullptr, nullptr),
                             error("Third", nullptr, nullptr)},
                            0);
    settle();
    for (const char* title : {"First", "Second", "Third"}) {
        auto shown = shownAlerts();
        ASSERT_EQ(shown.size(), 1u) << title;
        EXPECT_EQ(shown[0]->title(), title);
        EXPECT_EQ(shown[0]->buttonTitleAtIndex(0), "OK");
        tapButton(*shown[0], 0);
    }
    EXPECT_TRUE(shownAlerts().empty());
}

TEST_F(Alerts, ErrorFromAWorkerThreadIsShownBeforeTheCallReturns) {
    std::atomic<bool> returned{false};
    std::thread worker([&] {
        QXAlertView::showError(error("From a worker", nullptr, nullptr));
        returned = true;
    });
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!returned && std::chrono::steady_clock::now() < until) {
        drain();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    worker.join();
    ASSERT_TRUE(returned);
    auto shown = shownAlerts();
    ASSERT_EQ(shown.size(), 1u) << "on screen when the call came back, with no further turn of the main loop";
    EXPECT_EQ(shown[0]->title(), "From a worker");
}

TEST_F(Alerts, SheetDismissedWithoutAChoiceRunsNothing) {
    auto anchor = rt::make<View>(Rect(100, 100, 40, 30));
    window->addSubview(anchor);
    auto sheet = rt::make<QXActionSheet>();
    sheet->addButtonWithTitle("Share", [&] { log.push_back("share"); });
    sheet->addDestructiveButtonWithTitle("Delete", [&] { log.push_back("delete"); });
    sheet->addCancelButtonWithTitle("Cancel", [&] { log.push_back("cancel"); });
    EXPECT_EQ(sheet->destructiveButtonIndex(), 1);
    sheet->setDelegate(recorder);
    sheet->showFromView(anchor, true);
    settle();
    ASSERT_TRUE(sheet->anchorRect());
    EXPECT_EQ(*sheet->anchorRect(), Rect(92, 92, 56, 46));
    EXPECT_DOUBLE_EQ(minY(sheet->boxView()->frame()), 138) << "right under the grown rectangle";

    touches->tap(Point{10, 470});
    settle();
    EXPECT_FALSE(sheet->superview());
    EXPECT_EQ(log, (std::vector<std::string>{"sheet did dismiss -1"}));

    log.clear();
    sheet->showFromView(anchor, true);
    settle();
    tapButton(*sheet, 1);
    EXPECT_EQ(log, (std::vector<std::string>{"delete", "sheet clicked 1", "sheet did dismiss 1"}));
}

TEST_F(Alerts, AlertWithATextFieldPicture) {
    auto alert = rt::make<QXAlertView>();
    alert->setTitle("Sign in");
    alert->setMessage("Enter the code from the letter.");
    alert->setAlertViewStyle(AlertViewStyle::SecureTextInput);
    alert->setInputText("1234");
    alert->addCancelButtonWithTitle("Cancel", nullptr);
    alert->addButtonWithTitle("Continue", nullptr);
    alert->show();
    settle();
    EXPECT_MATCHES_GOLDEN(*renderToImage(*window, 1), zidtest::testPath("golden"), "alert_view_text_field");
}

TEST_F(Alerts, ActionSheetPicture) {
    auto anchor = rt::make<View>(Rect(20, 40, 120, 40));
    anchor->setBackgroundColor(Color::whiteColor());
    window->addSubview(anchor);
    auto sheet = rt::make<QXActionSheet>();
    sheet->setTitle("Video");
    sheet->addButtonWithTitle("Share", nullptr);
    sheet->addDestructiveButtonWithTitle("Delete", nullptr);
    sheet->addCancelButtonWithTitle("Cancel", nullptr);
    sheet->showFromView(anchor, true);
    settle();
    EXPECT_MATCHES_GOLDEN(*renderToImage(*window, 1), zidtest::testPath("golden"), "action_sheet");
}

}  // namespace alert_view_test
