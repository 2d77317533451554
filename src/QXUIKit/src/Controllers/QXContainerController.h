#pragma once
// A view controller that embeds child view controllers with a subview animation.

#include <ui/ViewController.h>

#include "Extensions/ViewAnimatedSubviews.h"

namespace zid {

class QXContainerController : public ui::ViewController {
    RT_CLASS(QXContainerController, ui::ViewController)
public:
    /// Takes the child from any former parent (and its view from its superview), adds
    /// it and its view (keeping the view's own frame), then lays the container out.
    void embedViewController(const rt::Ref<ui::ViewController>& child, QXSubviewAnimation animation = 0);
    /// Removes a child of the container with the animation; the child leaves the
    /// container when the animation ends (at once for kind 0). Nothing for others.
    void removeEmbededViewController(const rt::Ref<ui::ViewController>& child, QXSubviewAnimation animation = 0);
};

}  // namespace zid
