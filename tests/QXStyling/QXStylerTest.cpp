// The shared styler: inert until installed, the base class answers nothing, a
// subclass receives every request with the item it concerns.

#include <map>
#include <vector>

#include <gtest/gtest.h>

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
