#pragma once
// What the presentation rules share with the side menu, which takes part in them.

#include <ui/ViewController.h>

namespace zid {

/// The rule every presenter applies first: a presenter that shows a controller not
/// being dismissed dismisses it (animated as asked) and sends the request again in the
/// dismissal's completion, unless the new controller's style is the modal one.
/// Answers whether the request was deferred that way.
bool dismissFirst(ui::ViewController& presenter, const rt::Ref<ui::ViewController>& controller, bool animated,
                  const ui::ViewController::Completion& completion);
/// Notes a presentation request that reached no presenter.
void logUnhandledPresentation(const ui::ViewController& presenter, const ui::ViewController& controller);
/// The close rules of navigation and plain controllers, whatever the container
/// overrides.
void closeViewControllerPlainly(ui::ViewController& container, const rt::Ref<ui::ViewController>& child,
                                bool animated);
/// Ends the close of the controller (and of those whose close waited for it).
void finishClosing(ui::ViewController& controller);
/// The close of `waiter` is carried out by the close of `container`.
void closeAfter(ui::ViewController& container, const ui::ViewController& waiter);

}  // namespace zid
