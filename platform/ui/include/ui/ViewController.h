#pragma once
// A view controller: owns one view (made on first use), sits in the responder chain
// after it, and contains child controllers. This is the containment core that
// container controllers build on; presentation and appearance callbacks come with
// the controls layer.

#include <vector>

#include <ui/View.h>

namespace ui {

class ViewController : public Responder {
    RT_CLASS(ViewController, Responder)
public:
    ViewController() = default;

    /// The controller's view, made by loadView() and announced by viewDidLoad() on
    /// first use.
    rt::Ref<View> view();
    void setView(const rt::Ref<View>& view);
    bool isViewLoaded() const { return bool(view_); }
    /// Makes the view; the default makes a plain view the size of the main screen.
    virtual void loadView();
    virtual void viewDidLoad() {}

    rt::Ref<ViewController> parentViewController() const { return parent_.lock(); }
    const std::vector<rt::Ref<ViewController>>& childViewControllers() const { return children_; }
    /// Adds a child (removing it from a former parent first) and tells it
    /// willMoveToParentViewController with the receiver.
    void addChildViewController(const rt::Ref<ViewController>& child);
    /// Leaves the parent and tells didMoveToParentViewController with nil.
    void removeFromParentViewController();
    virtual void willMoveToParentViewController(const rt::Ref<ViewController>& /*parent*/) {}
    virtual void didMoveToParentViewController(const rt::Ref<ViewController>& /*parent*/) {}

    rt::Ref<Responder> nextResponder() const override;

    /// Asks the interface to follow the device orientation now (the host decides; the
    /// application counts the requests and forwards them to its hook).
    static void attemptRotationToDeviceOrientation();

private:
    rt::Ref<View> view_;
    rt::Weak<ViewController> parent_;
    std::vector<rt::Ref<ViewController>> children_;
};

}  // namespace ui
