// The zoom transition through the toolkit's custom transitions (presentation and
// dismissal, with a duration and without, cancelled either way) and the rounded image
// view's mask and pictures.

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <GoldenImage.h>
#include <TestPaths.h>
#include <VirtualTime.h>
#include <ui/Application.h>
#include <ui/ImageContext.h>
#include <ui/Renderer.h>
#include <ui/Window.h>

#include "QXUIKit/Presentation/QXPresentation.h"
#include "QXUIKit/Transitions/QXZoomTransitionAnimator.h"
#include "QXUIKit/Transitions/RoundedImageView.h"

using namespace ui;
using namespace zid;

namespace transitions_test {

/// Hands out one zoom animator for presenting and one for dismissing.
class ZoomDelegate : public rt::Object, public ViewControllerTransitioningDelegate {
    RT_CLASS(ZoomDelegate, rt::Object)
public:
    explicit ZoomDelegate(double duration) {
        in->setAppearing(true);
        in->setDuration(duration);
        out->setDuration(duration);
    }
    std::shared_ptr<ViewControllerAnimatedTransitioning> animationControllerForPresentedController(
        ViewController&, ViewController&) override {
        return in;
    }
    std::shared_ptr<ViewControllerAnimatedTransitioning> animationControllerForDismissedController(
        ViewController&) override {
        return out;
    }
    rt::Ref<QXZoomTransitionAnimator> in = rt::make<QXZoomTransitionAnimator>();
    rt::Ref<QXZoomTransitionAnimator> out = rt::make<QXZoomTransitionAnimator>();
};

/// An animator that gives up: the transition is cancelled at once.
class GivingUp : public rt::Object, public ViewControllerAnimatedTransitioning, public ViewControllerTransitioningDelegate {
    RT_CLASS(GivingUp, rt::Object)
public:
    double transitionDuration(ViewControllerContextTransitioning&) override { return 0; }
    void animateTransition(ViewControllerContextTransitioning& context) override {
        context.cancelInteractiveTransition();
        context.completeTransition(!context.transitionWasCancelled());
    }
    std::shared_ptr<ViewControllerAnimatedTransitioning> animationControllerForPresentedController(
        ViewController&, ViewController&) override {
        return selfAs<GivingUp>();
    }
    std::shared_ptr<ViewControllerAnimatedTransitioning> animationControllerForDismissedController(
        ViewController&) override {
        return selfAs<GivingUp>();
    }
};

class Transitions : public zidtest::VirtualTimeTest {
protected:
    void SetUp() override {
        VirtualTimeTest::SetUp();
        Application::sharedApplication()->reset();
        window = rt::make<Window>(Rect(0, 0, 320, 480));
        window->makeKeyAndVisible();
        root = rt::make<ViewController>();
        window->setRootViewController(root);
        shown = rt::make<ViewController>();
    }
    void TearDown() override {
        Application::sharedApplication()->reset();
        VirtualTimeTest::TearDown();
    }
    rt::Ref<Window> window;
    rt::Ref<ViewController> root;
    rt::Ref<ViewController> shown;
};

TEST_F(Transitions, ZoomPresentsAndDismissesOverTheDuration) {
    auto delegate = rt::make<ZoomDelegate>(0.3);
    shown->setTransitioningDelegate(delegate);
    bool presented = false;
    root->presentViewController(shown, true, [&] { presented = true; });
    auto from = root->view();
    auto to = shown->view();
    EXPECT_EQ(to->superview(), window);
    EXPECT_FALSE(from->isUserInteractionEnabled());
    EXPECT_NEAR(to->presentedAlpha(), 0, 1e-9);
    EXPECT_NEAR(to->presentedTransform().a, 1.26, 1e-9);
    advance(0.15);
    EXPECT_GT(to->presentedAlpha(), 0.1);
    EXPECT_LT(to->presentedTransform().a, 1.26);
    EXPECT_FALSE(presented);
    advance(0.16);
    drain();
    EXPECT_TRUE(presented);
    EXPECT_EQ(root->presentedViewController(), shown);
    EXPECT_FALSE(shown->isBeingPresented());
    EXPECT_DOUBLE_EQ(from->alpha(), 0.3) << "dimmed while covered";
    EXPECT_FALSE(from->isUserInteractionEnabled());
    EXPECT_TRUE(transformIsIdentity(to->transform()));

    bool dismissed = false;
    root->dismissViewControllerAnimated(true, [&] { dismissed = true; });
    advance(0.15);
    EXPECT_LT(to->presentedAlpha(), 0.9);
    EXPECT_EQ(to->superview(), window);
    advance(0.16);
    drain();
    EXPECT_TRUE(dismissed);
    EXPECT_FALSE(to->superview());
    EXPECT_FALSE(root->presentedViewController());
    EXPECT_TRUE(from->isUserInteractionEnabled());
    EXPECT_DOUBLE_EQ(from->alpha(), 1);
}

TEST_F(Transitions, ZoomWithoutDurationCompletesAtOnce) {
    auto delegate = rt::make<ZoomDelegate>(0);
    shown->setTransitioningDelegate(delegate);
    EXPECT_EQ(delegate->in->duration(), 0);
    EXPECT_FALSE(rt::make<QXZoomTransitionAnimator>()->isAppearing());
    bool presented = false;
    root->presentViewController(shown, true, [&] { presented = true; });
    EXPECT_TRUE(presented);
    EXPECT_DOUBLE_EQ(shown->view()->presentedAlpha(), 1);
    EXPECT_DOUBLE_EQ(root->view()->presentedAlpha(), 0.3);
    bool dismissed = false;
    root->dismissViewControllerAnimated(true, [&] { dismissed = true; });
    EXPECT_TRUE(dismissed);
    EXPECT_FALSE(shown->view()->superview());
}

TEST_F(Transitions, CancelledZoomPresentationGivesTheScreenBack) {
    auto animator = rt::make<QXZoomTransitionAnimator>();
    animator->setAppearing(true);
    animator->setDuration(0.3);
    std::vector<bool> outcomes;
    auto context = rt::make<ViewControllerContextTransitioning>(root, shown, window, true,
                                                                [&](bool ok) { outcomes.push_back(ok); });
    root->view()->setAlpha(0.9);
    animator->animateTransition(*context);
    context->cancelInteractiveTransition();
    advance(0.31);
    drain();
    EXPECT_EQ(outcomes, std::vector<bool>{false});
    EXPECT_FALSE(shown->view()->superview()) << "the presented view leaves the container";
    EXPECT_TRUE(root->view()->isUserInteractionEnabled());
    EXPECT_DOUBLE_EQ(root->view()->alpha(), 0.9) << "the alpha from before";
    context->completeTransition(true);  // only the first completion counts
    EXPECT_EQ(outcomes.size(), 1u);

}

TEST_F(Transitions, CancelledZoomDismissalKeepsThePresentedViewShown) {
    std::vector<bool> outcomes;
    auto out = rt::make<QXZoomTransitionAnimator>();
    out->setDuration(0.3);
    window->addSubview(shown->view());
    root->view()->setAlpha(0.3);
    root->view()->setUserInteractionEnabled(false);
    auto back = rt::make<ViewControllerContextTransitioning>(shown, root, window, true,
                                                             [&](bool ok) { outcomes.push_back(ok); });
    out->animateTransition(*back);
    advance(0.15);
    back->cancelInteractiveTransition();
    advance(0.16);
    drain();
    EXPECT_EQ(outcomes, std::vector<bool>{false});
    EXPECT_EQ(shown->view()->superview(), window) << "still presented";
    EXPECT_DOUBLE_EQ(shown->view()->alpha(), 1);
    EXPECT_EQ(shown->view()->transform(), ui::transformIdentity());
    EXPECT_DOUBLE_EQ(shown->view()->presentedAlpha(), 1) << "visible on screen too";
    EXPECT_DOUBLE_EQ(root->view()->alpha(), 0.3) << "the presenter stays dimmed";
    EXPECT_FALSE(root->view()->isUserInteractionEnabled()) << "and takes no touches";
}

TEST_F(Transitions, CancelledTransitionsLeaveTheControllersAsBefore) {
    auto quitter = rt::make<GivingUp>();
    shown->setTransitioningDelegate(quitter);
    bool ran = false;
    root->presentViewController(shown, true, [&] { ran = true; });
    EXPECT_FALSE(ran);
    EXPECT_FALSE(root->presentedViewController());
    EXPECT_FALSE(shown->presentingViewController());
    EXPECT_FALSE(shown->view()->superview());
    EXPECT_TRUE(root->isAppeared());
    EXPECT_FALSE(shown->isAppeared());

    // Presented plainly, then a dismissal that gives up keeps it presented.
    shown->setTransitioningDelegate(nullptr);
    root->presentViewController(shown, false);
    shown->setTransitioningDelegate(quitter);
    root->dismissViewControllerAnimated(true, [&] { ran = true; });
    EXPECT_FALSE(ran);
    EXPECT_EQ(root->presentedViewController(), shown);
    EXPECT_FALSE(shown->isBeingDismissed());
    EXPECT_EQ(shown->view()->superview(), window);
    EXPECT_TRUE(shown->isAppeared());
    EXPECT_FALSE(root->isAppeared());
}

TEST_F(Transitions, RoundedImageViewMasksToTheInscribedEllipse) {
    auto view = rt::make<RoundedImageView>(Rect(10, 10, 40, 40));
    ASSERT_TRUE(view->layer()->maskPath());
    EXPECT_EQ(view->layer()->maskPath()->bounds(), Rect(0, 0, 40, 40));
    auto first = view->layer()->maskPath();
    view->setFrame(Rect(0, 0, 60, 40));
    EXPECT_EQ(view->layer()->maskPath()->bounds(), Rect(0, 0, 60, 40));
    EXPECT_NE(view->layer()->maskPath(), first) << "a new mask for new bounds";
    auto kept = view->layer()->maskPath();
    view->setCenter(Point{100, 100});
    EXPECT_EQ(view->layer()->maskPath(), kept) << "only bounds changes renew it";

    auto canvas = rt::make<View>(Rect(0, 0, 120, 50));
    canvas->setBackgroundColor(Color::whiteColor());
    auto drawing = rt::make<ImageContext>(Size{60, 40}, true, 1);
    drawing->fillRect(Rect(0, 0, 60, 20), *Color::rgba(0.85, 0.2, 0.2));
    drawing->fillRect(Rect(0, 20, 60, 20), *Color::rgba(0.2, 0.35, 0.85));
    auto image = drawing->image();
    auto circle = rt::make<RoundedImageView>(Rect(5, 5, 40, 40));
    auto ellipse = rt::make<RoundedImageView>(Rect(55, 5, 60, 40));
    for (const auto& v : {circle, ellipse}) {
        v->setImage(image);
        v->setContentMode(ContentMode::ScaleToFill);
        canvas->addSubview(v);
    }
    auto picture = renderToImage(*canvas, 2);
    EXPECT_MATCHES_GOLDEN(*picture, zidtest::testPath("golden"), "rounded_image_views");
}

}  // namespace transitions_test
