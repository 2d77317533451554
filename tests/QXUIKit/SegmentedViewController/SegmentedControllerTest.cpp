// The segmented controller: selection rules on insertion, removal and replacement,
// what listeners and the two notifications hear (once per selection, a tap included),
// appearance calls per child in and out of a window, geometry, renamed children, the
// exceptions, and a picture with three children.

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <GoldenImage.h>
#include <QXFoundation/Listening/IListenable.h>
#include <TestPaths.h>
#include <VirtualTime.h>
#include <fnd/NotificationCenter.h>
#include <rt/Exception.h>
#include <ui/Application.h>
#include <ui/Label.h>
#include <ui/Renderer.h>
#include <ui/ScrollView.h>
#include <ui/TouchInjector.h>
#include <ui/Window.h>

#include "QXUIKit/SegmentedViewController/QXSegmentedController.h"

using namespace ui;
using namespace zid;

namespace segmented_test {

std::vector<std::string> journal;

class Child : public ViewController {
    RT_CLASS(Child, ViewController)
public:
    explicit Child(std::string name = "", bool scrolls = false) : name_(std::move(name)), scrolls_(scrolls) {
        setTitle(name_);
    }
    void loadView() override {
        if (scrolls_) setView(rt::make<ScrollView>(Rect(0, 0, 320, 480)));
        else ViewController::loadView();
    }
    void viewWillAppear(bool) override { journal.push_back(name_ + ":willAppear"); }
    void viewDidAppear(bool) override { journal.push_back(name_ + ":didAppear"); }
    void viewWillDisappear(bool) override { journal.push_back(name_ + ":willDisappear"); }
    void viewDidDisappear(bool) override { journal.push_back(name_ + ":didDisappear"); }

private:
    std::string name_;
    bool scrolls_;
};

class Listener : public rt::Object, public ISegmentedControllerListener {
    RT_CLASS(Listener, rt::Object)
public:
    void segmentedControllerWillSelectViewController(QXSegmentedController&,
                                                     const rt::Ref<ViewController>& c) override {
        journal.push_back("will " + (c ? c->title() : std::string("nil")));
    }
    void segmentedControllerDidSelectViewController(QXSegmentedController&,
                                                    const rt::Ref<ViewController>& c) override {
        journal.push_back("did " + (c ? c->title() : std::string("nil")));
    }
};

using J = std::vector<std::string>;

class Segmented : public zidtest::VirtualTimeTest {
protected:
    void SetUp() override {
        VirtualTimeTest::SetUp();
        Application::sharedApplication()->reset();
        journal.clear();
        container = rt::make<QXSegmentedController>();
        listener = rt::make<Listener>();
        addListener(*container, listener);
        auto center = fnd::NotificationCenter::defaultCenter();
        for (const char* name : {QXSegmentedControllerWillSelectViewController,
                                 QXSegmentedControllerDidSelectViewController}) {
            tokens.push_back(center->addObserver(std::string(name), container, nullptr,
                                                 [name](const rt::Ref<fnd::Notification>&) {
                                                     journal.push_back(std::string("post ") +
                                                                       (name[21] == 'W' ? "will" : "did"));
                                                 }));
        }
    }
    void TearDown() override {
        for (auto& t : tokens) fnd::NotificationCenter::defaultCenter()->removeObserver(t);
        Application::sharedApplication()->reset();
        VirtualTimeTest::TearDown();
    }
    void showInWindow() {
        window = rt::make<Window>(Rect(0, 0, 320, 480));
        window->makeKeyAndVisible();
        window->setRootViewController(container);
    }
    std::vector<bool> visibility() const {
        std::vector<bool> v;
        for (const auto& c : container->viewControllers()) v.push_back(!c->view()->isHidden());
        return v;
    }

    rt::Ref<QXSegmentedController> container;
    rt::Ref<Listener> listener;
    std::vector<rt::Ref<rt::Object>> tokens;
    rt::Ref<Window> window;
};

TEST_F(Segmented, FirstChildIsSelectedOnceAndInsertionsKeepTheSelection) {
    EXPECT_EQ(container->selectedIndex(), -1);
    EXPECT_FALSE(container->selectedViewController());
    auto a = rt::make<Child>("a");
    container->addViewController(a);
    EXPECT_EQ(journal, (J{"will a", "post will", "did a", "post did"}));
    EXPECT_EQ(container->selectedViewController(), a);
    EXPECT_FALSE(a->view()->isHidden());
    EXPECT_EQ(a->parentViewController(), container);

    journal.clear();
    auto b = rt::make<Child>("b");
    auto c = rt::make<Child>("c");
    container->insertViewController(b, 0);
    container->insertViewController(c, 2);
    EXPECT_TRUE(journal.empty()) << "no selection, no notification";
    EXPECT_EQ(container->selectedIndex(), 1);
    EXPECT_EQ(container->selectedViewController(), a);
    EXPECT_EQ(visibility(), (std::vector<bool>{false, true, false}));
    auto control = container->segmentedControl();
    ASSERT_EQ(control->numberOfSegments(), 3u);
    EXPECT_EQ(control->titleForSegmentAtIndex(0), "b");
    EXPECT_EQ(control->titleForSegmentAtIndex(2), "c");
    EXPECT_EQ(control->selectedSegmentIndex(), 1);

    // A child that changes its title renames its segment, wherever it is by then.
    container->removeViewController(b);
    c->setTitle("clips");
    EXPECT_EQ(control->titleForSegmentAtIndex(1), "clips");
    b->setTitle("gone");
    EXPECT_EQ(control->numberOfSegments(), 2u);
}

TEST_F(Segmented, RemovingTheSelectedChildSelectsItsNeighbour) {
    std::vector<rt::Ref<ViewController>> kids;
    for (auto n : {"a", "b", "c"}) kids.push_back(rt::make<Child>(n));
    container->setViewControllers(kids, true);
    container->setSelectedViewController(kids[1]);
    journal.clear();
    container->removeViewController(kids[1]);  // the middle: its successor
    EXPECT_EQ(journal, (J{"will c", "post will", "did c", "post did"}));
    EXPECT_EQ(container->selectedViewController(), kids[2]);
    EXPECT_EQ(container->selectedIndex(), 1);
    EXPECT_FALSE(kids[1]->parentViewController());
    EXPECT_FALSE(kids[1]->view()->superview());

    journal.clear();
    container->removeViewControllerAtIndex(1);  // the last: its predecessor
    EXPECT_EQ(journal, (J{"will a", "post will", "did a", "post did"}));
    EXPECT_EQ(container->selectedIndex(), 0);

    journal.clear();
    container->removeViewController(kids[0]);  // alone: nothing
    EXPECT_EQ(journal, (J{"will nil", "post will", "did nil", "post did"}));
    EXPECT_EQ(container->selectedIndex(), -1);
    EXPECT_EQ(container->segmentedControl()->numberOfSegments(), 0u);
}

TEST_F(Segmented, ReplacingChildrenWhileTheLastIsSelected) {
    std::vector<rt::Ref<ViewController>> kids;
    for (auto n : {"a", "b", "c"}) kids.push_back(rt::make<Child>(n));
    container->setViewControllers(kids, false);
    container->setSelectedViewController(kids[2]);
    journal.clear();
    auto x = rt::make<Child>("x");
    auto y = rt::make<Child>("y");
    container->setViewControllers({x, y}, true);
    EXPECT_EQ(journal, (J{"will b", "post will", "did b", "post did", "will a", "post will", "did a", "post did",
                          "will nil", "post will", "did nil", "post did", "will x", "post will", "did x", "post did"}));
    EXPECT_EQ(container->viewControllers().size(), 2u);
    EXPECT_EQ(container->selectedViewController(), x);
}

TEST_F(Segmented, ReselectingAnnouncesWithoutSwitchingAndStrangersAreRefused) {
    showInWindow();
    auto a = rt::make<Child>("a");
    auto b = rt::make<Child>("b");
    container->addViewController(a);
    container->addViewController(b);
    journal.clear();
    container->setSelectedViewController(a);
    EXPECT_EQ(journal, (J{"will a", "post will", "did a", "post did"})) << "no appearance calls";
    EXPECT_EQ(visibility(), (std::vector<bool>{true, false}));

    journal.clear();
    auto stranger = rt::make<Child>("s");
    try {
        container->setSelectedViewController(stranger);
        ADD_FAILURE() << "selecting a stranger raises";
    } catch (const rt::Exception& e) {
        EXPECT_EQ(e.name(), rt::Exception::InternalInconsistency);
        EXPECT_NE(e.reason().find("isn't added"), std::string::npos) << e.reason();
    }
    EXPECT_TRUE(journal.empty()) << "refused before anyone hears of it";
    EXPECT_EQ(container->selectedViewController(), a);
    EXPECT_THROW(container->removeViewController(stranger), rt::Exception);
    try {
        container->addViewController(a);
        ADD_FAILURE() << "adding twice raises";
    } catch (const rt::Exception& e) {
        EXPECT_NE(e.reason().find("is already added"), std::string::npos) << e.reason();
    }
    EXPECT_EQ(container->viewControllers().size(), 2u);
    EXPECT_THROW(container->insertViewController(stranger, 5), rt::Exception);
}

TEST_F(Segmented, AppearanceIsForwardedOnlyInAWindowAndOnlyToTheSelectedChild) {
    auto a = rt::make<Child>("a", true);
    auto b = rt::make<Child>("b", true);
    container->addViewController(a);
    container->addViewController(b);
    container->setSelectedViewController(b);
    EXPECT_TRUE(std::find(journal.begin(), journal.end(), "a:willAppear") == journal.end())
        << "not in a window: no appearance calls";
    auto scrollA = rt::cast<ScrollView>(a->view());
    auto scrollB = rt::cast<ScrollView>(b->view());
    EXPECT_FALSE(scrollA->scrollsToTop());
    EXPECT_TRUE(scrollB->scrollsToTop());

    journal.clear();
    showInWindow();
    EXPECT_EQ(journal, (J{"b:willAppear", "b:didAppear"}));
    journal.clear();
    container->setSelectedViewController(a);
    EXPECT_EQ(journal, (J{"will a", "post will", "b:willDisappear", "b:didDisappear", "a:willAppear", "a:didAppear",
                          "did a", "post did"}));
    EXPECT_TRUE(scrollA->scrollsToTop());
    EXPECT_FALSE(scrollB->scrollsToTop());

    journal.clear();
    window->setRootViewController(nullptr);
    EXPECT_EQ(journal, (J{"a:willDisappear", "a:didDisappear"}));
}

TEST_F(Segmented, OneTapSelectsOnce) {
    showInWindow();
    std::vector<rt::Ref<ViewController>> kids;
    for (auto n : {"a", "b", "c"}) kids.push_back(rt::make<Child>(n));
    container->setViewControllers(kids, false);
    container->view()->layoutIfNeeded();
    TouchInjector touches(window);
    Rect control = container->segmentedControl()->frame();
    double w = control.size.width;  // 321 wide: segments of 107
    journal.clear();
    touches.tap(Point{215, 18});  // floor(215 / 107) = 2
    TouchInjector::wait(0.5);
    EXPECT_EQ(journal, (J{"will c", "post will", "a:willDisappear", "a:didDisappear", "c:willAppear", "c:didAppear",
                          "did c", "post did"}));
    EXPECT_EQ(container->selectedIndex(), 2);
    journal.clear();
    touches.tap(Point{w / 3 * 2 + 1, 18});  // the selected segment again
    TouchInjector::wait(0.5);
    EXPECT_EQ(journal, (J{"will c", "post will", "did c", "post did"}));
}

TEST_F(Segmented, GeometryFollowsHeightAndInsets) {
    showInWindow();
    EXPECT_EQ(kQXSegmentedControllerControlHeight, 36.0);
    EXPECT_EQ(container->controlHeight(), 36.0);
    auto a = rt::make<Child>("a");
    container->addViewController(a);
    container->view()->layoutIfNeeded();
    EXPECT_EQ(container->segmentedControlBackgroundView()->frame(), Rect(0, 0, 320, 36));
    EXPECT_EQ(container->segmentedControl()->frame(), Rect(0, 0, 321, 36)) << "one point wider";
    EXPECT_EQ(a->view()->frame(), Rect(0, 36, 320, 444));
    EXPECT_EQ(container->edgesForExtendedLayout(), RectEdges::None);

    container->setControlInsets(EdgeInsets{4, 8, 4, 8});
    EXPECT_EQ(container->segmentedControl()->frame(), Rect(8, 4, 305, 28)) << "at once";
    container->setControlHeight(50);
    EXPECT_EQ(container->segmentedControlBackgroundView()->frame(), Rect(0, 0, 320, 36)) << "on the next pass";
    drain();
    container->view()->layoutIfNeeded();
    EXPECT_EQ(container->segmentedControlBackgroundView()->frame(), Rect(0, 0, 320, 50));
    EXPECT_EQ(container->segmentedControl()->frame(), Rect(8, 4, 305, 42));
    EXPECT_EQ(a->view()->frame(), Rect(0, 50, 320, 430));
    EXPECT_EQ(segmentedController(*a), container);
    auto nested = rt::make<Child>("n");
    a->addChildViewController(nested);
    EXPECT_EQ(segmentedController(*nested), container);
    EXPECT_FALSE(segmentedController(*container));
}

TEST_F(Segmented, Picture) {
    auto small = rt::make<Window>(Rect(0, 0, 320, 160));
    container->view()->setBackgroundColor(Color::whiteColor());
    small->setRootViewController(container);
    container->segmentedControlBackgroundView()->setBackgroundColor(Color::rgba(0.93, 0.93, 0.95, 1));
    container->setControlInsets(EdgeInsets{4, 8, 4, 8});
    for (auto n : {"Live", "Recent", "Popular"}) {
        auto c = rt::make<Child>(n);
        auto label = rt::make<Label>(Rect(16, 16, 280, 24));
        label->setText(std::string(n) + " channels");
        c->view()->addSubview(label);
        container->addViewController(c);
    }
    container->setSelectedViewController(container->viewControllers()[1]);
    small->layoutIfNeeded();
    container->view()->layoutIfNeeded();
    auto picture = renderToImage(*small, 1);
    EXPECT_MATCHES_GOLDEN(*picture, zidtest::testPath("golden"), "segmented_controller");
}

}  // namespace segmented_test
