// Text fields, text views, search bars, scroll views and alerts driven by injected
// touches and typing: editing events and delegates, positions and granularities,
// offsets moved by drags and animations, and alert actions.

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <VirtualTime.h>
#include <fnd/NotificationCenter.h>
#include <ui/AlertController.h>
#include <ui/Application.h>
#include <ui/ScrollView.h>
#include <ui/SearchBar.h>
#include <ui/TextView.h>
#include <ui/TouchInjector.h>
#include <ui/Window.h>

using namespace ui;

namespace {

class TextInputTest : public zidtest::VirtualTimeTest {
protected:
    void SetUp() override {
        VirtualTimeTest::SetUp();
        window = rt::make<Window>(Rect(0, 0, 320, 480));
    }
    rt::Ref<Window> window;
};

struct FieldDelegate : TextFieldDelegate {
    std::vector<std::string> log;
    bool allowReturn = true;
    bool textFieldShouldBeginEditing(TextField&) override { log.push_back("shouldBegin"); return true; }
    void textFieldDidBeginEditing(TextField&) override { log.push_back("didBegin"); }
    void textFieldDidEndEditing(TextField&) override { log.push_back("didEnd"); }
    bool textFieldShouldChangeCharacters(TextField&, TextRange, const std::string& s) override {
        log.push_back("change " + s);
        return s != "!";
    }
    bool textFieldShouldReturn(TextField&) override { log.push_back("return"); return allowReturn; }
};

TEST_F(TextInputTest, TappedFieldEditsWithEventsDelegateAndReturn) {
    auto f = rt::make<TextField>(Rect(10, 10, 200, 30));
    window->addSubview(f);
    FieldDelegate d;
    f->setDelegate(&d);
    std::vector<unsigned> events;
    for (unsigned e : {ControlEvents::EditingDidBegin, ControlEvents::EditingChanged, ControlEvents::EditingDidEnd,
                       ControlEvents::EditingDidEndOnExit}) {
        f->addTarget(nullptr, "e" + std::to_string(e), e, [&events, e](const rt::Ref<Control>&) { events.push_back(e); });
    }
    int notes = 0;
    auto observer = fnd::NotificationCenter::defaultCenter()->addObserver(
        TextFieldTextDidChangeNotification, f, nullptr, [&](const rt::Ref<fnd::Notification>&) { ++notes; });
    TouchInjector(window).tap(Point{50, 25});
    EXPECT_TRUE(f->isFirstResponder());
    EXPECT_TRUE(f->isEditing());
    f->insertText("ab");
    f->insertText("!");  // refused by the delegate
    f->deleteBackward();
    f->setText("code");  // by code: no events, no notification
    EXPECT_EQ(f->text(), "code");
    f->returnKey();
    EXPECT_FALSE(f->isFirstResponder());  // end-on-exit has an action: editing ends
    EXPECT_EQ(events, (std::vector<unsigned>{ControlEvents::EditingDidBegin, ControlEvents::EditingChanged,
                                             ControlEvents::EditingChanged, ControlEvents::EditingDidEndOnExit,
                                             ControlEvents::EditingDidEnd}));
    EXPECT_EQ(notes, 2);
    EXPECT_EQ(d.log, (std::vector<std::string>{"shouldBegin", "didBegin", "change ab", "change !", "change ",
                                               "return", "didEnd"}));
    fnd::NotificationCenter::defaultCenter()->removeObserver(observer);
    f->setDelegate(nullptr);
}

TEST_F(TextInputTest, ReturnRefusedByTheDelegateSendsNothing) {
    auto f = rt::make<TextField>(Rect(10, 10, 200, 30));
    window->addSubview(f);
    FieldDelegate d;
    d.allowReturn = false;
    f->setDelegate(&d);
    int exits = 0;
    f->addTarget(nullptr, "exit", ControlEvents::EditingDidEndOnExit, [&](const rt::Ref<Control>&) { ++exits; });
    f->becomeFirstResponder();
    f->returnKey();
    EXPECT_EQ(exits, 0);
    EXPECT_TRUE(f->isEditing());
    f->setDelegate(nullptr);
}

TEST_F(TextInputTest, FieldRectanglesFollowTheBorderStyleAndPlaceholders) {
    auto f = rt::make<TextField>(Rect(0, 0, 100, 30));
    EXPECT_EQ(f->textRectForBounds(f->bounds()), f->bounds());
    f->setBorderStyle(TextBorderStyle::RoundedRect);
    EXPECT_EQ(f->textRectForBounds(f->bounds()), Rect(7, 2, 86, 26));
    f->setAttributedPlaceholder(AttributedString("Search"));
    EXPECT_EQ(f->placeholder(), "Search");
    f->setPlaceholder("Find");
    EXPECT_FALSE(f->attributedPlaceholder());
}

// A field and a view show the attributed text they were given, or else their plain text
// in their own font and colour, whichever was set last.
template <class Text> void expectShownTextFollowsTheLastSetter(const rt::Ref<Text>& t) {
    auto red = Color::rgba(1, 0, 0);
    t->setTextColor(red);
    t->setText("plain");
    auto shown = t->attributedText();
    ASSERT_TRUE(shown);
    EXPECT_EQ(shown->text, "plain");
    EXPECT_EQ(shown->firstAttributes().font, t->font());
    EXPECT_EQ(shown->firstAttributes().foregroundColor, red);

    TextAttributes given;
    given.foregroundColor = Color::whiteColor();
    t->setAttributedText(AttributedString("styled", given));
    EXPECT_EQ(t->text(), "styled");
    EXPECT_EQ(t->attributedText()->firstAttributes().foregroundColor, given.foregroundColor);
    EXPECT_FALSE(t->attributedText()->firstAttributes().font) << "given attributes are shown as given";

    t->setText("again");
    EXPECT_EQ(t->attributedText()->firstAttributes().foregroundColor, red) << "plain text drops the given attributes";
}

TEST_F(TextInputTest, FieldsAndViewsShowGivenAttributesOrTheirPlainTextInTheirFont) {
    {
        SCOPED_TRACE("text field");
        expectShownTextFollowsTheLastSetter(rt::make<TextField>(Rect(0, 0, 100, 30)));
    }
    {
        SCOPED_TRACE("text view");
        expectShownTextFollowsTheLastSetter(rt::make<TextView>(Rect(0, 0, 100, 60)));
    }
}

TEST_F(TextInputTest, TextViewTypingPostsAndPositionsMapToGranularities) {
    auto v = rt::make<TextView>(Rect(0, 0, 300, 200));
    window->addSubview(v);
    v->setText("Hello brave world. Next one.\nSecond para");
    int notes = 0;
    auto observer = fnd::NotificationCenter::defaultCenter()->addObserver(
        TextViewTextDidChangeNotification, v, nullptr, [&](const rt::Ref<fnd::Notification>&) { ++notes; });
    auto word = v->rangeEnclosingPosition(8, TextGranularity::Word);
    ASSERT_TRUE(word);
    EXPECT_EQ(v->textInRange(*word), "brave");
    EXPECT_EQ(v->textInRange(*v->rangeEnclosingPosition(20, TextGranularity::Sentence)), "Next one.");
    EXPECT_EQ(v->textInRange(*v->rangeEnclosingPosition(31, TextGranularity::Paragraph)), "Second para");
    EXPECT_EQ(v->textInRange(*v->rangeEnclosingPosition(2, TextGranularity::Line)), "Hello brave world. Next one.");
    EXPECT_EQ(v->textInRange(*v->rangeEnclosingPosition(1, TextGranularity::Character)), "e");
    // A point over the first characters maps near the start.
    Rect c = v->textContainerRect();
    EXPECT_LE(v->closestPositionToPoint(Point{minX(c) + 1, minY(c) + 3}), 1u);
    TouchInjector(window).tap(Point{150, 150});
    EXPECT_TRUE(v->isEditing());
    v->insertText("!");
    EXPECT_EQ(notes, 1);
    v->setText("set by code");
    EXPECT_EQ(notes, 1);
    fnd::NotificationCenter::defaultCenter()->removeObserver(observer);
}

struct LinkDelegate : TextViewDelegate {
    bool allow = true;
    std::string asked;
    bool textViewShouldInteractWithURL(TextView&, const std::string& url, TextRange) override {
        asked = url;
        return allow;
    }
};

TEST_F(TextInputTest, TappingALinkAsksTheDelegateBeforeOpening) {
    auto v = rt::make<TextView>(Rect(0, 0, 300, 200));
    v->setEditable(false);
    window->addSubview(v);
    v->setText("see site");
    v->addLink(TextRange{4, 4}, "https://example.invalid/");
    std::string opened;
    Application::sharedApplication()->setOpenURLHandler([&](const std::string& u) { opened = u; return true; });
    LinkDelegate d;
    v->setDelegate(&d);
    d.allow = false;
    EXPECT_FALSE(v->interactWithLinkAt(5));
    EXPECT_EQ(d.asked, "https://example.invalid/");
    EXPECT_TRUE(opened.empty());
    d.allow = true;
    EXPECT_TRUE(v->interactWithLinkAt(5));
    EXPECT_EQ(opened, "https://example.invalid/");
    EXPECT_FALSE(v->interactWithLinkAt(1));
    v->setDelegate(nullptr);
    Application::sharedApplication()->setOpenURLHandler({});
}

struct BarDelegate : SearchBarDelegate {
    std::vector<std::string> log;
    void searchBarTextDidBeginEditing(SearchBar&) override { log.push_back("begin"); }
    void searchBarTextDidChange(SearchBar&, const std::string& t) override { log.push_back("change " + t); }
    void searchBarSearchButtonClicked(SearchBar&) override { log.push_back("search"); }
    void searchBarCancelButtonClicked(SearchBar&) override { log.push_back("cancel"); }
    void searchBarSelectedScopeButtonIndexDidChange(SearchBar&, long i) override {
        log.push_back("scope " + std::to_string(i));
    }
};

TEST_F(TextInputTest, SearchBarReportsToItsDelegateAndTheHookTakesTheSetter) {
    auto bar = rt::make<SearchBar>(Rect(0, 0, 320, 80));
    window->addSubview(bar);
    bar->setShowsCancelButton(true);
    bar->setScopeButtonTitles({"All", "Live"});
    bar->layoutIfNeeded();
    BarDelegate d;
    bar->setDelegate(&d);
    TouchInjector in(window);
    in.tap(Point{40, 22});
    bar->searchField()->insertText("x");
    bar->searchField()->returnKey();
    Rect c = bar->cancelButton()->frame();
    in.wait(1);
    in.tap(Point{midX(c), midY(c)});
    in.wait(1);
    in.tap(Point{250, 58});
    EXPECT_EQ(d.log, (std::vector<std::string>{"begin", "change x", "search", "cancel", "scope 1"}));
    BarDelegate other;
    SearchBarDelegate* hooked = nullptr;
    bar->setDelegateHook([&](SearchBar&, SearchBarDelegate* x) { hooked = x; });
    bar->setDelegate(&other);
    EXPECT_EQ(hooked, &other);
    EXPECT_EQ(bar->delegate(), &d);
    bar->setDelegateHook({});
    bar->setDelegate(nullptr);
}

struct BarButtonLog : SearchBarDelegate {
    std::vector<std::string> log;
    void searchBarCancelButtonClicked(SearchBar&) override { log.push_back("cancel"); }
    void searchBarBookmarkButtonClicked(SearchBar&) override { log.push_back("bookmarks"); }
    void searchBarResultsListButtonClicked(SearchBar&) override { log.push_back("results"); }
};

TEST_F(TextInputTest, SearchBarButtonsAreMadeOnceAndEachTellsTheDelegateItsOwnTap) {
    auto bar = rt::make<SearchBar>(Rect(0, 0, 320, 44));
    EXPECT_FALSE(bar->cancelButton());
    EXPECT_FALSE(bar->bookmarkButton());
    EXPECT_FALSE(bar->resultsButton());
    bar->setShowsBookmarkButton(false);
    EXPECT_FALSE(bar->bookmarkButton()) << "hiding a button never shown makes none";

    bar->setShowsCancelButton(true);
    bar->setShowsBookmarkButton(true);
    bar->setShowsSearchResultsButton(true);
    BarButtonLog d;
    bar->setDelegate(&d);
    const std::vector<std::pair<rt::Ref<Button>, std::string>> buttons = {
        {bar->cancelButton(), "Cancel"}, {bar->bookmarkButton(), "Bookmarks"}, {bar->resultsButton(), "Results"}};
    for (const auto& [button, title] : buttons) {
        ASSERT_TRUE(button);
        EXPECT_EQ(button->superview().get(), bar.get());
        EXPECT_EQ(button->titleForState(ControlState::Normal), title);
        button->sendActionsForControlEvents(ControlEvents::TouchUpInside);
    }
    EXPECT_EQ(d.log, (std::vector<std::string>{"cancel", "bookmarks", "results"}));

    auto cancel = bar->cancelButton();
    bar->setShowsCancelButton(false);
    EXPECT_FALSE(bar->showsCancelButton());
    EXPECT_TRUE(cancel->isHidden());
    bar->setShowsCancelButton(true);
    EXPECT_EQ(bar->cancelButton(), cancel) << "shown again, the same button";
    EXPECT_FALSE(cancel->isHidden());

    bar->setDelegate(nullptr);
    cancel->sendActionsForControlEvents(ControlEvents::TouchUpInside);
    EXPECT_EQ(d.log.size(), 3u) << "without a delegate a tap tells no one";
}

struct ScrollLog : ScrollViewDelegate {
    std::vector<std::string> log;
    void scrollViewWillBeginDragging(ScrollView&) override { log.push_back("willDrag"); }
    void scrollViewDidEndDragging(ScrollView&, bool d) override { log.push_back(d ? "endDrag+" : "endDrag"); }
    void scrollViewDidEndDecelerating(ScrollView&) override { log.push_back("endDecel"); }
    void scrollViewDidEndScrollingAnimation(ScrollView&) override { log.push_back("endAnim"); }
};

TEST_F(TextInputTest, ScrollViewDragMovesTheOffsetWithinTheContent) {
    auto s = rt::make<ScrollView>(Rect(0, 0, 200, 200));
    window->addSubview(s);
    s->setContentSize(Size{200, 1000});
    ScrollLog d;
    s->setDelegate(&d);
    TouchInjector in(window);
    in.drag(Point{100, 150}, Point{100, 50});
    EXPECT_DOUBLE_EQ(s->contentOffset().y, 100);
    EXPECT_FALSE(s->isDragging());
    in.wait(1);
    in.drag(Point{100, 50}, Point{100, 190});  // past the top: held at the edge
    EXPECT_DOUBLE_EQ(s->contentOffset().y, 0);
    EXPECT_EQ(d.log, (std::vector<std::string>{"willDrag", "endDrag", "willDrag", "endDrag"}));
    s->setDelegate(nullptr);
}

TEST_F(TextInputTest, ScrollViewAnimatedOffsetsAndPaging) {
    auto s = rt::make<ScrollView>(Rect(0, 0, 200, 200));
    window->addSubview(s);
    s->setContentSize(Size{600, 200});
    ScrollLog d;
    s->setDelegate(&d);
    s->scrollRectToVisible(Rect(350, 0, 50, 50), true);
    EXPECT_DOUBLE_EQ(s->contentOffset().x, 200);
    advance(0.31);
    drain();
    EXPECT_EQ(d.log, (std::vector<std::string>{"endAnim"}));
    d.log.clear();
    s->setContentOffset(Point{0, 0});
    s->setPagingEnabled(true);
    s->setDirectionalLockEnabled(true);
    TouchInjector(window).drag(Point{180, 100}, Point{60, 110}, 0.5, 10);
    EXPECT_DOUBLE_EQ(s->contentOffset().x, 200);  // snapped to the next page
    EXPECT_DOUBLE_EQ(s->contentOffset().y, 0);    // locked to the horizontal axis
    EXPECT_TRUE(s->isDecelerating());
    advance(0.31);
    drain();
    EXPECT_FALSE(s->isDecelerating());
    EXPECT_EQ(d.log, (std::vector<std::string>{"willDrag", "endDrag+", "endDecel"}));
    s->setDelegate(nullptr);
}

TEST_F(TextInputTest, AlertActionDismissesThenRunsItsHandler) {
    auto root = rt::make<ViewController>();
    window->setRootViewController(root);
    root->beginAppearanceTransition(true, false);
    root->endAppearanceTransition();
    auto alert = AlertController::alertControllerWithTitle("Stream ended", "Try again?", AlertControllerStyle::Alert);
    std::vector<std::string> log;
    auto ok = AlertAction::actionWithTitle("OK", AlertActionStyle::Default, [&](AlertAction& a) {
        log.push_back(a.title() + (root->presentedViewController() ? " presented" : " dismissed"));
    });
    EXPECT_TRUE(alert->addAction(AlertAction::actionWithTitle("Cancel", AlertActionStyle::Cancel)));
    EXPECT_FALSE(alert->addAction(AlertAction::actionWithTitle("Again", AlertActionStyle::Cancel)));
    alert->addAction(ok);
    alert->addTextFieldWithConfigurationHandler([](TextField& f) { f.setPlaceholder("Name"); });
    EXPECT_EQ(alert->textFields().front()->placeholder(), "Name");
    root->presentViewController(alert, false);
    EXPECT_TRUE(root->isAppeared());  // presented over the screen
    runLayoutPass();
    auto button = alert->buttonForAction(ok);
    Rect f = button->convertRectToView(button->bounds(), nullptr);
    TouchInjector(window).tap(Point{midX(f), midY(f)});
    EXPECT_TRUE(log.empty());
    advance(0.31);
    drain();
    EXPECT_EQ(log, (std::vector<std::string>{"OK dismissed"}));
    auto sheet = AlertController::alertControllerWithTitle("", "", AlertControllerStyle::ActionSheet);
    sheet->addTextFieldWithConfigurationHandler({});
    EXPECT_TRUE(sheet->textFields().empty());  // sheets take no text fields
}

}  // namespace
