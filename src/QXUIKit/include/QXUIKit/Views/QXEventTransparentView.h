#pragma once
// A view that lets touches fall through everywhere except on its own visible,
// interactive subviews.

#include <ui/View.h>

namespace zid {

class QXEventTransparentView : public ui::View {
    RT_CLASS(QXEventTransparentView, ui::View)
public:
    using ui::View::View;
    /// YES only where a direct subview that hit testing would consider (not hidden,
    /// alpha above 0.01, interaction on) contains the point by its own pointInside;
    /// the receiver's own bounds are not consulted.
    bool pointInside(ui::Point point) const override;
};

}  // namespace zid
