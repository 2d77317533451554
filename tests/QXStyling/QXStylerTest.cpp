// The shared styler: inert until installed, the base class answers nothing, a
// subclass receives every request with the item it concerns.

#include <gtest/gtest.h>

#include <map>
#include <vector>

#include "QXStyling/QXStyler.h"

using namespace zid;

namespace {

class RecordingStyler : public QXStyler {
    RT_CLASS(RecordingStyler, QXStyler)
public:
    QXStyleClass styleClassForView(const rt::Ref<ui::View>& v) override {
        auto it = classes.find(v.get());
        return it == classes.end() ? std::nullopt : it->second;
    }
    void setStyleClassForView(const QXStyleClass& c, const rt::Ref<ui::View>& v) override { classes[v.get()] = c; }
    void applyStyleForView(const rt::Ref<ui::View>& v) override { applied.push_back(v.get()); }
    void applyStyleForViewController(const rt::Ref<ui::ViewController>&) override { ++controllerApplies; }
    std::map<const ui::View*, QXStyleClass> classes;
    std::vector<const ui::View*> applied;
    int controllerApplies = 0;
};

}  // namespace

TEST(Styling, WithoutAStylerRequestsDoNothing) {
    ASSERT_EQ(QXStyler::instance(), nullptr) << "this test runs before any setup in its binary";
    auto view = rt::make<ui::View>();
    setStyleClass(view, std::string("title"));
    EXPECT_EQ(styleClass(view), std::nullopt);
    applyStyle(view);
    setNeedsUpdateStylingForSubviews(view);
    auto vc = rt::make<ui::ViewController>();
    setStyleClass(vc, std::string("screen"));
    EXPECT_EQ(styleClass(vc), std::nullopt);
    applyStyle(vc);
}

TEST(Styling, TheBaseStylerAnswersEveryRequestWithNothing) {
    auto base = QXStyler::setup();
    EXPECT_EQ(QXStyler::instance(), base);
    auto view = rt::make<ui::View>();
    setStyleClass(view, std::string("title"));
    EXPECT_EQ(styleClass(view), std::nullopt);
    // The eight operations a bare styler used to lack are answered too.
    applyStyle(view);
    setNeedsUpdateStylingForSubviews(view);
    applyStyle(rt::make<ui::ViewController>());
    applyStyle(rt::Ref<ui::NavigationItem>());
    applyStyle(rt::Ref<ui::BarButtonItem>());
    applyStyle(rt::Ref<ui::TabBarItem>());
    EXPECT_EQ(styleClass(rt::Ref<ui::TabBarItem>()), std::nullopt);
}

TEST(Styling, TheLastSetupWinsAndReceivesTheRequests) {
    auto first = QXStyler::setup<RecordingStyler>();
    auto second = QXStyler::setup<RecordingStyler>();
    EXPECT_EQ(QXStyler::instance(), second);
    auto view = rt::make<ui::View>();
    setStyleClass(view, std::string("badge"));
    EXPECT_EQ(styleClass(view), std::optional<std::string>("badge"));
    applyStyle(view);
    applyStyle(rt::make<ui::ViewController>());
    EXPECT_EQ(second->applied, (std::vector<const ui::View*>{view.get()}));
    EXPECT_EQ(second->controllerApplies, 1);
    EXPECT_TRUE(first->classes.empty());
    QXStyler::setup();  // leave an inert styler behind
}

namespace {

/// Writes down which of its calls each request reached.
class CallLogStyler : public QXStyler {
    RT_CLASS(CallLogStyler, QXStyler)
public:
    std::vector<std::string> calls;
    QXStyleClass styleClassForViewController(const rt::Ref<ui::ViewController>&) override { return note("vc?"); }
    void setStyleClassForViewController(const QXStyleClass& c, const rt::Ref<ui::ViewController>&) override {
        note("vc=" + *c);
    }
    void applyStyleForViewController(const rt::Ref<ui::ViewController>&) override { note("vc!"); }
    QXStyleClass styleClassForNavigationItem(const rt::Ref<ui::NavigationItem>&) override { return note("nav?"); }
    void setStyleClassForNavigationItem(const QXStyleClass& c, const rt::Ref<ui::NavigationItem>&) override {
        note("nav=" + *c);
    }
    void applyStyleForNavigationItem(const rt::Ref<ui::NavigationItem>&) override { note("nav!"); }
    QXStyleClass styleClassForBarButtonItem(const rt::Ref<ui::BarButtonItem>&) override { return note("bar?"); }
    void setStyleClassForBarButtonItem(const QXStyleClass& c, const rt::Ref<ui::BarButtonItem>&) override {
        note("bar=" + *c);
    }
    void applyStyleForBarButtonItem(const rt::Ref<ui::BarButtonItem>&) override { note("bar!"); }
    QXStyleClass styleClassForTabBarItem(const rt::Ref<ui::TabBarItem>&) override { return note("tab?"); }
    void setStyleClassForTabBarItem(const QXStyleClass& c, const rt::Ref<ui::TabBarItem>&) override {
        note("tab=" + *c);
    }
    void applyStyleForTabBarItem(const rt::Ref<ui::TabBarItem>&) override { note("tab!"); }

private:
    QXStyleClass note(std::string call) {
        calls.push_back(call);
        return call;
    }
};

template <class Item>
void styleEachWay(const rt::Ref<Item>& item) {
    setStyleClass(item, std::string("c"));
    EXPECT_TRUE(styleClass(item).has_value());
    applyStyle(item);
}

}  // namespace

TEST(Styling, EachKindOfItemReachesTheStylersCallsForItsKind) {
    auto styler = QXStyler::setup<CallLogStyler>();
    styleEachWay(rt::make<ui::ViewController>());
    styleEachWay(rt::Ref<ui::NavigationItem>());
    styleEachWay(rt::Ref<ui::BarButtonItem>());
    styleEachWay(rt::Ref<ui::TabBarItem>());
    EXPECT_EQ(styler->calls, (std::vector<std::string>{"vc=c", "vc?", "vc!", "nav=c", "nav?", "nav!", "bar=c", "bar?",
                                                       "bar!", "tab=c", "tab?", "tab!"}));
    QXStyler::setup();
}
