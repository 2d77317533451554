#pragma once
// A drawer container: the menu controller lies underneath on the left, the content
// controller on top of it. The content slides right by the menu width to reveal the
// menu and back to hide it, by program or by gesture: a pan from the left screen edge
// reveals, a pan or a tap on the moved content hides.
//
// States: hidden (content at x 0, left pan on), revealing, shown (content at the menu
// width under a transparent tap layer, right pan on), hiding. Every replacement of the
// content ends in the hidden state. It serves presentation styles 3 and 4 through its
// menu controller, closes its menu by hiding it and its content through the menu.

#include <functional>
#include <vector>

#include <ui/GestureRecognizer.h>
#include <ui/ViewController.h>

#include "QXUIKit/Presentation/QXPresentation.h"

namespace zid {

/// Localization keys of the reasons the reveal and hide raise with.
inline constexpr const char* kMenuViewControllerIsNilExceptionReason = "MenuViewControllerIsNilExceptionReason";
inline constexpr const char* kContentViewControllerIsNilExceptionReason = "ContentViewControllerIsNilExceptionReason";

class QXSideMenuController : public ui::ViewController,
                             public ui::GestureRecognizerDelegate,
                             public ForemostViewController,
                             public QXClosingContainer {
    RT_CLASS(QXSideMenuController, ui::ViewController)
public:
    static constexpr double kDefaultMenuWidth = 256;
    static constexpr double kDefaultAnimationDuration = 0.5;
    /// How far the content overshoots the menu width on its way in.
    static constexpr double kRevealOvershoot = 10;

    QXSideMenuController();
    ~QXSideMenuController() override;

    void viewDidLoad() override;

    rt::Ref<ui::ViewController> menuViewController() const { return menu_; }
    void setMenuViewController(const rt::Ref<ui::ViewController>& controller);
    rt::Ref<ui::ViewController> contentViewController() const { return content_; }
    /// Animated on a phone the old content slides off to the right first; without a
    /// previous content the replacement is immediate and the completion runs before
    /// the call returns.
    void setContentViewController(const rt::Ref<ui::ViewController>& controller, bool animated = true,
                                  std::function<void()> completion = {});

    /// Raise InternalInconsistencyException when the menu or the content controller is
    /// missing (the menu is checked first); nothing changes then.
    void revealSideMenu() { revealSideMenuAnimated(true); }
    void revealSideMenuAnimated(bool animated);
    void hideSideMenu() { hideSideMenuAnimated(true); }
    void hideSideMenuAnimated(bool animated);
    void toggleSideMenu() { toggleSideMenuAnimated(true); }
    void toggleSideMenuAnimated(bool animated);

    double menuWidth() const { return menuWidth_; }
    void setMenuWidth(double width) { menuWidth_ = width; }
    double animationDuration() const { return animationDuration_; }
    void setAnimationDuration(double seconds) { animationDuration_ = seconds; }
    /// Whether the pans may begin (a tap on the moved content works regardless).
    bool gesturesEnabled() const { return gesturesEnabled_; }
    void setGesturesEnabled(bool enabled) { gesturesEnabled_ = enabled; }
    bool isMenuHidden() const { return menuHidden_; }
    bool isBeingRevealed() const { return beingRevealed_; }
    bool isBeingClosed() const { return beingClosed_; }

    rt::Ref<ui::View> tapLayerView() const { return tapLayer_; }
    rt::Ref<ui::TapGestureRecognizer> tapGestureRecognizer() const { return tap_; }
    rt::Ref<ui::ScreenEdgePanGestureRecognizer> leftPanGestureRecognizer() const { return leftPan_; }
    rt::Ref<ui::PanGestureRecognizer> rightPanGestureRecognizer() const { return rightPan_; }

    unsigned supportedInterfaceOrientations() const override;
    rt::Ref<ui::ViewController> childViewControllerForStatusBarHidden() const override;
    rt::Ref<ui::ViewController> childViewControllerForStatusBarStyle() const override;
    void presentViewController(const rt::Ref<ui::ViewController>& controller, bool animated,
                               Completion completion = {}) override;
    void closeViewController(const rt::Ref<ui::ViewController>& child, bool animated) override;
    rt::Ref<ui::ViewController> foremostViewController() override;
    bool gestureRecognizerShouldBegin(ui::GestureRecognizer& recognizer) override;

    void handlePanFrom(ui::PanGestureRecognizer& recognizer);
    void handleTapFrom(ui::GestureRecognizer& recognizer);

private:
    void checkControllers() const;
    void replaceContent(const rt::Ref<ui::ViewController>& controller, const std::function<void()>& completion);
    void hide(bool animated);
    void showFinalState();
    void hiddenFinalState();
    void setPansEnabled(bool left, bool right);
    void setMenuTouches(bool on);
    void updateContentShadow();

    rt::Ref<ui::ViewController> menu_;
    rt::Ref<ui::ViewController> content_;
    rt::Ref<ui::View> tapLayer_;
    rt::Ref<ui::TapGestureRecognizer> tap_;
    rt::Ref<ui::ScreenEdgePanGestureRecognizer> leftPan_;
    rt::Ref<ui::PanGestureRecognizer> rightPan_;
    double menuWidth_ = kDefaultMenuWidth;
    double animationDuration_ = kDefaultAnimationDuration;
    bool gesturesEnabled_ = true;
    bool menuHidden_ = true;
    bool beingRevealed_ = false;
    bool beingClosed_ = false;
    /// Presentations of styles 3 and 4 on their way through the menu controller.
    std::vector<const ui::ViewController*> handingOn_;
    /// Controllers whose close ends when the menu is hidden.
    std::vector<rt::Weak<ui::ViewController>> closeOnHide_;
};

}  // namespace zid
