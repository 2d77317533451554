#pragma once
// Presentation styles for every view controller of the process, a uniform way for a
// controller to close itself, and the lookup of the controller in front.
//
// installQXPresentation() puts the style dispatcher in place of the toolkit's
// presentation, for every controller; the widget library's entry points (the side
// menu, the segmented controller, setting a style) call it, so a host that uses any of
// them gets the styles. Each controller's options live in
// associations of the controller:
//
//   style 0  the toolkit's presentation, after dismissing what the presenter shows
//   style 1  modal: wrapped in a navigation controller with a Cancel button on the
//            left, presented from the top of the presentation chain one turn later
//   style 2  pushed onto the presenter's navigation controller, always animated
//   3 and 4  served by a side menu's menu controller
//   other    handed to the presenter's parent, else to its presenting controller
//
// closeAnimated(c) asks c's container to close it: a presenter dismisses it, a
// navigation controller pops to the level below it (one pop per turn however many
// close), a side menu hides its menu.

#include <cstdint>

#include <ui/NavigationController.h>
#include <ui/ViewController.h>

namespace zid {

class QXSideMenuController;

/// Association keys of the presentation state.
inline constexpr const char* kQXPresentationStyle = "kQXPresentationStyle";
inline constexpr const char* kQXModalPresentationWrapImNavigationController =
    "kQXModalPresentationWrapImNavigationController";
inline constexpr const char* kQXModalPresentationAddDoneButton = "kQXModalPresentationAddDoneButton";
inline constexpr const char* kQXDoneButtonType = "kQXDoneButtonType";

/// Puts the style dispatcher in place for every presentation of the process. Calling
/// it again does nothing.
void installQXPresentation();

// ---- per-controller options ------------------------------------------------------------------
/// 0 when nothing (or something other than a number) is stored.
std::uint64_t presentationStyle(const ui::ViewController& controller);
void setPresentationStyle(ui::ViewController& controller, std::uint64_t style);
/// YES unless stored otherwise, except NO for a navigation controller.
bool modalPresentationWrapInNavigationController(const ui::ViewController& controller);
void setModalPresentationWrapInNavigationController(ui::ViewController& controller, bool wrap);
/// YES unless stored otherwise.
bool modalPresentationAddDoneButton(const ui::ViewController& controller);
void setModalPresentationAddDoneButton(ui::ViewController& controller, bool add);
/// A ui::BarButtonSystemItem kind; 1 (Cancel) unless stored otherwise.
std::int64_t doneButtonType(const ui::ViewController& controller);
void setDoneButtonType(ui::ViewController& controller, std::int64_t type);
/// Whether a close of the controller is under way (set by closeAnimated, cleared
/// once its container has carried the close out).
bool isClosing(const ui::ViewController& controller);
void setClosing(ui::ViewController& controller);

// ---- presenting ------------------------------------------------------------------------------
/// The style dispatcher: what presentViewController runs once installed.
void qxPresentViewController(ui::ViewController& presenter, const rt::Ref<ui::ViewController>& controller,
                             bool animated, ui::ViewController::Completion completion = {});
/// The modal style.
void qxPresentModalViewController(ui::ViewController& presenter, const rt::Ref<ui::ViewController>& controller,
                                  bool animated, ui::ViewController::Completion completion = {});
/// The action of the bar button the modal style adds: closes the controller animated.
void qxPresentationOnCancel(ui::ViewController& controller);

// ---- closing ---------------------------------------------------------------------------------
/// The controller asks its container to close it; nothing while a close of it is
/// under way.
void closeAnimated(ui::ViewController& controller, bool animated);
/// The container's side of closing `child`.
void closeViewController(ui::ViewController& container, const rt::Ref<ui::ViewController>& child, bool animated);

/// The navigation controller's queued, coalesced pop.
void enqueuePopTillViewController(ui::NavigationController& navigation, const rt::Ref<ui::ViewController>& controller,
                                  std::uint64_t index, bool animated);
void commitPop(ui::NavigationController& navigation, bool animated);
/// The lowest stack index whose close is queued (meaningful while a pop is queued).
std::int64_t closeIndex(const ui::NavigationController& navigation);
void setCloseIndex(ui::NavigationController& navigation, std::int64_t index);
bool popQueued(const ui::NavigationController& navigation);
void setPopQueued(ui::NavigationController& navigation, bool queued);

// ---- who is in front -------------------------------------------------------------------------
/// A controller that decides its own foremost controller (the side menu does).
class ForemostViewController {
public:
    virtual ~ForemostViewController() = default;
    virtual rt::Ref<ui::ViewController> foremostViewController() = 0;
};

/// A container that closes its children in its own way (the side menu does).
class QXClosingContainer {
public:
    virtual ~QXClosingContainer() = default;
    virtual void closeViewController(const rt::Ref<ui::ViewController>& child, bool animated) = 0;
};

/// The controller in front: what the receiver presents, else for a navigation
/// controller its top controller, for a tab bar controller its selected one, for a
/// side menu its content or menu; followed to the end. Nil for an empty stack.
rt::Ref<ui::ViewController> foremostViewController(ui::ViewController& controller);
/// The side menu that contains the controller, nil when none does.
rt::Ref<QXSideMenuController> sideMenuController(const ui::ViewController& controller);

}  // namespace zid
