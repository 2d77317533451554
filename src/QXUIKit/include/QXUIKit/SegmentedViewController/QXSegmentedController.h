#pragma once
// A container that shows one of its child controllers at a time below a strip with a
// segmented control; segment i carries the title of child i. Choosing a segment
// selects its child; every selection is announced to the listeners and by two
// notifications on the default centre, before and after the children are switched.
// Children's views are all inside the container's view, hidden unless selected, and
// the container forwards their appearance itself.

#include <vector>

#include <rt/KVO.h>
#include <rt/Property.h>
#include <ui/Slider.h>
#include <ui/ViewController.h>

namespace zid {

class QXSegmentedController;

/// The default height of the strip.
inline constexpr double kQXSegmentedControllerControlHeight = 36.0;
/// Posted with the container as object before and after a selection is carried out.
inline constexpr const char* QXSegmentedControllerWillSelectViewController =
    "QXSegmentedControllerWillSelectViewController";
inline constexpr const char* QXSegmentedControllerDidSelectViewController =
    "QXSegmentedControllerDidSelectViewController";

/// Both optional; the controller is nil for an empty selection.
class ISegmentedControllerListener {
public:
    virtual ~ISegmentedControllerListener() = default;
    virtual void segmentedControllerWillSelectViewController(QXSegmentedController& /*container*/,
                                                             const rt::Ref<ui::ViewController>& /*controller*/) {}
    virtual void segmentedControllerDidSelectViewController(QXSegmentedController& /*container*/,
                                                            const rt::Ref<ui::ViewController>& /*controller*/) {}
};

class QXSegmentedController : public ui::ViewController {
    RT_CLASS(QXSegmentedController, ui::ViewController)
private:
    double controlHeight_ = kQXSegmentedControllerControlHeight;

public:
    static constexpr long kNoSelection = -1;
    static constexpr rt::Stored<&QXSegmentedController::controlHeight_, "controlHeight", rt::writable>
        controlHeightKey{};

    QXSegmentedController();

    void loadView() override;

    /// The strip at the top (no colour of its own) and the control inside it.
    rt::Ref<ui::View> segmentedControlBackgroundView() const { return strip_; }
    rt::Ref<ui::SegmentedControl> segmentedControl() const { return control_; }

    const std::vector<rt::Ref<ui::ViewController>>& viewControllers() const { return children_; }
    /// Removes every child (always the last one) and adds the new ones in order; the
    /// flag has no effect.
    void setViewControllers(const std::vector<rt::Ref<ui::ViewController>>& controllers, bool animated);
    void addViewController(const rt::Ref<ui::ViewController>& controller);
    /// Raises InternalInconsistencyException for a controller that is already a child
    /// and RangeException for an index past the end.
    void insertViewController(const rt::Ref<ui::ViewController>& controller, long index);
    /// Raises InternalInconsistencyException for a controller that is not a child.
    void removeViewController(const rt::Ref<ui::ViewController>& controller);
    void removeViewControllerAtIndex(long index);

    long selectedIndex() const { return selectedIndex_; }
    /// Stores the index only; a selection with its transition is setSelectedViewController.
    void setSelectedIndex(long index) { selectedIndex_ = index; }
    rt::Ref<ui::ViewController> selectedViewController() const;
    /// Announces the selection and, when it changes, switches the visible child. Nil
    /// selects nothing; a controller that is not a child raises as removing it does.
    void setSelectedViewController(const rt::Ref<ui::ViewController>& controller);

    double controlHeight() const { return controlHeight_; }
    /// Re-lays the view out on the next layout pass.
    void setControlHeight(double height) { controlHeightKey.set(*this, height); }
    ui::EdgeInsets controlInsets() const { return controlInsets_; }
    /// Moves the control at once.
    void setControlInsets(const ui::EdgeInsets& insets);

    ui::Rect segmentedControlBackgroundFrame();
    /// The inset strip, one point wider.
    ui::Rect segmentedControlFrame();
    /// The view's bounds below the strip.
    ui::Rect contentFrame();

    void segmentedControlAction(ui::SegmentedControl& control);
    void makeTransitionForViewController(const rt::Ref<ui::ViewController>& controller, bool visible);

    bool shouldAutomaticallyForwardAppearanceMethods() const override { return false; }
    void viewWillAppear(bool animated) override;
    void viewDidAppear(bool animated) override;
    void viewWillDisappear(bool animated) override;
    void viewDidDisappear(bool animated) override;
    void viewWillLayoutSubviews() override;

private:
    long indexOf(const ui::ViewController* controller) const;
    void raiseNotAdded(const ui::ViewController& controller) const;
    void handleTap(ui::GestureRecognizer& tap);

    std::vector<rt::Ref<ui::ViewController>> children_;
    long selectedIndex_ = kNoSelection;
    bool valueChangedByTouch_ = false;
    ui::EdgeInsets controlInsets_{};
    rt::Ref<ui::View> strip_;
    rt::Ref<ui::SegmentedControl> control_;
    rt::ObservationHandle heightObservation_;
    std::vector<std::pair<rt::Weak<ui::ViewController>, rt::Ref<rt::Observation>>> titleObservations_;
};

/// The segmented controller among the controller's ancestors, nil when none.
rt::Ref<QXSegmentedController> segmentedController(const ui::ViewController& controller);

}  // namespace zid
