#include "Extensions/ViewRelocate.h"

#include <ui/Window.h>

namespace zid {

namespace {
ui::AffineTransform linearPart(ui::AffineTransform t) {
    t.tx = 0;
    t.ty = 0;
    return t;
}
}  // namespace

ui::AffineTransform totalTransform(const ui::View& view) {
    ui::AffineTransform t = view.transform();
    for (auto s = view.superview(); s; s = s->superview()) t = ui::transformConcat(t, s->transform());
    return t;
}

void relocateGeometry(const rt::Ref<ui::View>& receiver, const rt::Ref<ui::View>& view) {
    auto window = view->window();
    if (window.get() != receiver.get() && (!window || receiver->window() != window)) return;
    // Where the view's bounds center is now, in the receiver's coordinates.
    ui::Rect b = view->bounds();
    ui::Point middle{b.origin.x + b.size.width / 2, b.origin.y + b.size.height / 2};
    ui::Point center = view->convertPointToView(middle, receiver.get());
    // The turn and scale the view shows now, less what the receiver's chain adds.
    ui::AffineTransform t = ui::transformConcat(linearPart(totalTransform(*view)),
                                                ui::transformInvert(linearPart(totalTransform(*receiver))));
    view->setTransform(t);
    view->setCenter(center);
}

void relocateSubview(const rt::Ref<ui::View>& receiver, const rt::Ref<ui::View>& view) {
    relocateGeometry(receiver, view);
    receiver->addSubview(view);
}
void relocateSubviewToIndex(const rt::Ref<ui::View>& receiver, const rt::Ref<ui::View>& view, long index) {
    relocateGeometry(receiver, view);
    receiver->insertSubviewAtIndex(view, index);
}
void relocateSubviewBelowSubview(const rt::Ref<ui::View>& receiver, const rt::Ref<ui::View>& view,
                                 const rt::Ref<ui::View>& sibling) {
    relocateGeometry(receiver, view);
    receiver->insertSubviewBelowSubview(view, sibling);
}
void relocateSubviewAboveSubview(const rt::Ref<ui::View>& receiver, const rt::Ref<ui::View>& view,
                                 const rt::Ref<ui::View>& sibling) {
    relocateGeometry(receiver, view);
    receiver->insertSubviewAboveSubview(view, sibling);
}

void placeView(ui::View& view, const ui::Rect& frame) {
    // The toolkit's frame setter works by center and bounds and is defined under any
    // transform, which is what placing needs.
    view.setFrame(frame);
}

}  // namespace zid
