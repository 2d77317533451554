// The view tree: subview order, hooks, windows, first responder, hit testing, the
// layout pass and key-value observation of view properties.

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <fnd/RunLoop.h>
#include <rt/Exception.h>
#include <ui/Application.h>
#include <ui/ViewController.h>
#include <ui/Window.h>

using namespace ui;

namespace {

std::vector<std::string>* treeJournal = nullptr;

class Probe : public View {
    RT_CLASS(Probe, View)
public:
    explicit Probe(std::string name, Rect frame = Rect(0, 0, 10, 10)) : View(frame), name_(std::move(name)) {}
    void willMoveToSuperview(const rt::Ref<View>& s) override { log(std::string("willMoveToSuperview ") + (s ? "view" : "nil")); }
    void didMoveToSuperview() override { log("didMoveToSuperview"); }
    void willMoveToWindow(const rt::Ref<Window>& w) override { log(std::string("willMoveToWindow ") + (w ? "window" : "nil")); }
    void didMoveToWindow() override { log("didMoveToWindow"); }
    void didAddSubview(const rt::Ref<View>&) override { log("didAddSubview"); }
    void willRemoveSubview(const rt::Ref<View>&) override { log("willRemoveSubview"); }
    void layoutSubviews() override {
        log("layout");
        if (onLayout) onLayout();
    }
    bool canBecomeFirstResponder() const override { return responds; }
    std::function<void()> onLayout;
    bool responds = false;

private:
    void log(const std::string& what) {
        if (treeJournal) treeJournal->push_back(name_ + " " + what);
    }
    std::string name_;
};

class ViewTree : public ::testing::Test {
protected:
    void SetUp() override { treeJournal = &log; }
    void TearDown() override {
        treeJournal = nullptr;
        Application::sharedApplication()->reset();
    }
    std::vector<std::string> log;
};

std::vector<View*> raw(const std::vector<rt::Ref<View>>& v) {
    std::vector<View*> out;
    for (auto& x : v) out.push_back(x.get());
    return out;
}

}  // namespace

TEST_F(ViewTree, SubviewOrderOperations) {
    auto p = rt::make<View>();
    auto a = rt::make<View>(), b = rt::make<View>(), c = rt::make<View>(), d = rt::make<View>();
    p->addSubview(a);
    p->addSubview(b);
    p->insertSubviewAtIndex(c, 0);
    EXPECT_EQ(raw(p->subviews()), (std::vector<View*>{c.get(), a.get(), b.get()}));
    p->insertSubviewAboveSubview(d, c);
    EXPECT_EQ(raw(p->subviews()), (std::vector<View*>{c.get(), d.get(), a.get(), b.get()}));
    p->bringSubviewToFront(c);
    p->sendSubviewToBack(b);
    EXPECT_EQ(raw(p->subviews()), (std::vector<View*>{b.get(), d.get(), a.get(), c.get()}));
    p->exchangeSubviewAtIndex(0, 3);
    EXPECT_EQ(raw(p->subviews()), (std::vector<View*>{c.get(), d.get(), a.get(), b.get()}));
    p->insertSubviewBelowSubview(b, c);  // a subview already there only moves
    EXPECT_EQ(raw(p->subviews()), (std::vector<View*>{b.get(), c.get(), d.get(), a.get()}));
    p->addSubview(b);
    EXPECT_EQ(p->subviews().back(), b);
    EXPECT_THROW(p->exchangeSubviewAtIndex(0, 9), rt::Exception);
    EXPECT_THROW(a->addSubview(p), rt::Exception) << "a view cannot contain its ancestor";

    auto other = rt::make<View>();
    other->addSubview(a);  // moves it
    EXPECT_EQ(a->superview(), other);
    EXPECT_EQ(p->subviews().size(), 3u);
    a->removeFromSuperview();
    EXPECT_EQ(a->superview(), nullptr);
    EXPECT_TRUE(other->subviews().empty());
}

TEST_F(ViewTree, MovingIntoAndOutOfAWindowCallsTheHooksInOrder) {
    auto window = rt::make<Window>(Rect(0, 0, 100, 100));
    auto parent = rt::make<Probe>("parent");
    auto child = rt::make<Probe>("child");
    parent->addSubview(child);
    log.clear();
    window->addSubview(parent);
    EXPECT_EQ(log, (std::vector<std::string>{"parent willMoveToSuperview view", "parent willMoveToWindow window",
                                             "child willMoveToWindow window", "parent didMoveToWindow",
                                             "child didMoveToWindow", "parent didMoveToSuperview"}));
    EXPECT_EQ(child->window(), window);
    log.clear();
    parent->removeFromSuperview();
    EXPECT_EQ(log, (std::vector<std::string>{"parent willMoveToSuperview nil", "parent willMoveToWindow nil",
                                             "child willMoveToWindow nil", "parent didMoveToWindow",
                                             "child didMoveToWindow", "parent didMoveToSuperview"}));
    EXPECT_EQ(child->window(), nullptr);
}

TEST_F(ViewTree, FirstResponderBelongsToTheWindowAndLeavesWithTheView) {
    auto window = rt::make<Window>(Rect(0, 0, 100, 100));
    auto a = rt::make<Probe>("a"), b = rt::make<Probe>("b"), mute = rt::make<Probe>("mute");
    a->responds = b->responds = true;
    EXPECT_FALSE(a->becomeFirstResponder()) << "outside a window nothing becomes first responder";
    window->addSubview(a);
    window->addSubview(b);
    window->addSubview(mute);
    EXPECT_FALSE(mute->becomeFirstResponder());
    EXPECT_TRUE(a->becomeFirstResponder());
    EXPECT_TRUE(a->isFirstResponder());
    EXPECT_TRUE(b->becomeFirstResponder());
    EXPECT_FALSE(a->isFirstResponder());
    EXPECT_EQ(window->firstResponderView(), b);
    b->removeFromSuperview();
    EXPECT_EQ(window->firstResponderView(), nullptr) << "a removed view no longer responds";
    EXPECT_TRUE(a->becomeFirstResponder());
    EXPECT_TRUE(a->resignFirstResponder());
    EXPECT_EQ(window->firstResponderView(), nullptr);
}

TEST_F(ViewTree, ResponderChainRunsThroughTheControllerToTheSuperview) {
    auto window = rt::make<Window>(Rect(0, 0, 100, 100));
    auto vc = rt::make<ViewController>();
    window->setRootViewController(vc);
    auto child = rt::make<View>();
    vc->view()->addSubview(child);
    EXPECT_EQ(child->nextResponder(), vc->view());
    EXPECT_EQ(vc->view()->nextResponder(), vc);
    EXPECT_EQ(vc->nextResponder(), window);
    EXPECT_EQ(vc->view()->frame(), window->bounds());
}

TEST_F(ViewTree, HitTestingSkipsHiddenFaintAndDisabledViews) {
    auto root = rt::make<View>(Rect(0, 0, 100, 100));
    auto back = rt::make<View>(Rect(0, 0, 100, 100));
    auto front = rt::make<View>(Rect(10, 10, 50, 50));
    auto inner = rt::make<View>(Rect(5, 5, 10, 10));
    root->addSubview(back);
    root->addSubview(front);
    front->addSubview(inner);
    EXPECT_EQ(root->hitTest({20, 20}), inner);
    EXPECT_EQ(root->hitTest({40, 40}), front);
    EXPECT_EQ(root->hitTest({80, 80}), back);
    EXPECT_EQ(root->hitTest({150, 150}), nullptr);

    front->setAlpha(0.01);
    EXPECT_EQ(root->hitTest({20, 20}), back) << "alpha 0.01 counts as invisible, with the subtree";
    front->setAlpha(0.011);
    EXPECT_EQ(root->hitTest({20, 20}), inner);
    front->setHidden(true);
    EXPECT_EQ(root->hitTest({20, 20}), back);
    front->setHidden(false);
    front->setUserInteractionEnabled(false);
    EXPECT_EQ(root->hitTest({20, 20}), back);
    front->setUserInteractionEnabled(true);
    // Through a transform: a point inside the rotated frame reaches the view.
    front->setTransform(transformMakeScale(2, 2));  // now covers (-15, -15) .. (85, 85)
    EXPECT_EQ(root->hitTest({80, 80}), front);
    EXPECT_EQ(front->convertPointFromView({80, 80}, root.get()), (Point{47.5, 47.5}));
}

TEST_F(ViewTree, LayoutPassRunsOncePerTurnParentsFirst) {
    auto root = rt::make<Probe>("root");
    auto mid = rt::make<Probe>("mid");
    auto leaf = rt::make<Probe>("leaf");
    auto sibling = rt::make<Probe>("sibling");
    root->addSubview(mid);
    mid->addSubview(leaf);
    root->addSubview(sibling);
    fnd::RunLoop::main()->drain();
    log.clear();

    leaf->setNeedsLayout();
    sibling->setNeedsLayout();
    root->setNeedsLayout();
    leaf->setNeedsLayout();
    EXPECT_TRUE(log.empty()) << "nothing is laid out before the turn ends";
    fnd::RunLoop::main()->drain();
    EXPECT_EQ(log, (std::vector<std::string>{"root layout", "leaf layout", "sibling layout"}));

    // The pass runs at the end of the turn, after every block posted in it.
    log.clear();
    fnd::RunLoop::main()->post([&] { root->setNeedsLayout(); });
    fnd::RunLoop::main()->post([&] { log.push_back("posted block"); });
    fnd::RunLoop::main()->drain();
    EXPECT_EQ(log, (std::vector<std::string>{"posted block", "root layout"}));

    // A parent that resizes a child in its layout gets the child laid out in the same pass.
    log.clear();
    mid->onLayout = [&] { leaf->setFrame(Rect(0, 0, 5, 5)); };
    mid->setNeedsLayout();
    fnd::RunLoop::main()->drain();
    EXPECT_EQ(log, (std::vector<std::string>{"mid layout", "leaf layout"}));

    // A marked view taken out of its tree is laid out as a tree of its own.
    auto layouts = [&] {
        std::vector<std::string> out;
        for (auto& e : log)
            if (e.find(" layout") != std::string::npos) out.push_back(e);
        return out;
    };
    log.clear();
    leaf->setNeedsLayout();
    leaf->removeFromSuperview();
    fnd::RunLoop::main()->drain();
    EXPECT_EQ(layouts(), (std::vector<std::string>{"mid layout", "leaf layout"}));
    log.clear();
    leaf->setNeedsLayout();
    fnd::RunLoop::main()->drain();
    EXPECT_EQ(layouts(), (std::vector<std::string>{"leaf layout"}));
    mid->addSubview(leaf);
    fnd::RunLoop::main()->drain();

    // layoutIfNeeded runs the pending layout at once, and only once.
    log.clear();
    mid->onLayout = nullptr;
    mid->setNeedsLayout();
    mid->layoutIfNeeded();
    fnd::RunLoop::main()->drain();
    EXPECT_EQ(log, (std::vector<std::string>{"mid layout"}));
}

TEST_F(ViewTree, PropertiesAreObservableThroughKeyPaths) {
    auto holder = rt::make<View>();
    auto background = rt::make<View>();
    holder->addSubview(background);
    holder->setTag(1);
    // Observe "superview.alpha" from the child: a key path through a view property.
    std::vector<double> seen;
    auto token = rt::observe(background, "superview.alpha", rt::KVONew,
                             [&](const rt::KVOChange& change) { seen.push_back(change.newValue.number()->doubleValue()); });
    holder->setAlpha(0.5);
    holder->setAlpha(0.5);
    holder->setAlpha(0.25);
    EXPECT_EQ(seen, (std::vector<double>{0.5, 0.25}));

    std::vector<Rect> frames;
    auto frameToken = rt::observe(background, "frame", rt::KVONew, [&](const rt::KVOChange& change) {
        frames.push_back(rectFromValue(change.newValue));
    });
    background->setCenter({50, 60});
    EXPECT_FALSE(frames.empty()) << "moving the center announces the frame";
    EXPECT_EQ(frames.back(), background->frame());
    EXPECT_EQ(rectFromValue(background->valueForKey("frame")), background->frame());
    background->setValueForKey(toValue(Rect(1, 2, 3, 4)), "frame");
    EXPECT_EQ(background->frame(), Rect(1, 2, 3, 4));
}

TEST_F(ViewTree, TypedObservationsOfViewKeysSeeOldAndNewValues) {
    auto watcher = rt::make<View>();
    auto v = rt::make<View>(Rect(0, 0, 10, 10));
    std::vector<std::pair<Point, Point>> moves;
    rt::observe(v, View::centerKey, watcher, [&](View&, Point old, Point now) { moves.emplace_back(old, now); });
    v->setCenter({20, 30});
    v->setFrame(Rect(0, 0, 10, 10));
    ASSERT_EQ(moves.size(), 2u);
    EXPECT_EQ(moves[0].first, (Point{5, 5}));
    EXPECT_EQ(moves[0].second, (Point{20, 30}));
    EXPECT_EQ(moves[1].second, (Point{5, 5}));
    // Geometry crosses key-value coding as structure values.
    rt::Value center = v->valueForKey("center");
    EXPECT_TRUE(center.isStruct());
    EXPECT_EQ(pointFromValue(center), (Point{5, 5}));
    v->setValueForKey(toValue(AffineTransform{2, 0, 0, 2, 0, 0}), "transform");
    EXPECT_EQ(v->frame(), Rect(-5, -5, 20, 20));
}

// While a host listens, the views asking to be drawn are named, each once, so it can draw
// where they are; past the few it names it is told to take the whole tree. Without a
// host nothing is kept.
TEST_F(ViewTree, ViewsAskingToBeDrawnAreNamedToTheHostEachOnce) {
    auto a = rt::make<View>(), b = rt::make<View>();
    std::vector<rt::Weak<View>> named;
    a->setNeedsDisplay();
    int told = 0;
    setDisplayRequestHandler([&](bool) { ++told; });
    EXPECT_TRUE(takeViewsNeedingDisplay(named));
    EXPECT_TRUE(named.empty()) << "asked before anyone listened";
    a->setNeedsDisplay();
    b->setNeedsDisplay();
    a->setNeedsDisplay();
    EXPECT_EQ(told, 3);
    EXPECT_TRUE(takeViewsNeedingDisplay(named));
    ASSERT_EQ(named.size(), 2u);
    EXPECT_EQ(named[0].lock(), a);
    EXPECT_EQ(named[1].lock(), b);
    EXPECT_TRUE(takeViewsNeedingDisplay(named));
    EXPECT_TRUE(named.empty()) << "taken once";
    std::vector<rt::Ref<View>> many;
    for (int i = 0; i < 100; ++i) many.push_back(rt::make<View>());
    for (auto& v : many) v->setNeedsDisplay();
    EXPECT_FALSE(takeViewsNeedingDisplay(named)) << "more than are named: the whole tree";
    EXPECT_TRUE(takeViewsNeedingDisplay(named));
    setDisplayRequestHandler(nullptr);
    a->setNeedsDisplay();
    EXPECT_TRUE(takeViewsNeedingDisplay(named));
    EXPECT_TRUE(named.empty());
}
