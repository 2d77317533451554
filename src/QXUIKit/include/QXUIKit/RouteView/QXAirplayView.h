#pragma once
// A transparent view holding the route button centred in it, hidden whenever no
// wireless route is available, and following the availability notification until the
// view goes. On Linux no route is ever available, so the view stays hidden unless its
// route button view says otherwise.

#include "QXUIKit/RouteView/RouteButtonView.h"
#include <rt/MainThread.h>

namespace zid {

class QXAirplayView : public ui::View {
    RT_CLASS(QXAirplayView, ui::View)
public:
    explicit QXAirplayView(const ui::Rect& frame = ui::Rect()) : ui::View(frame) {}

    const rt::Ref<RouteButtonView>& volumeViewForAirplay() const { RT_MAIN_THREAD_ONLY(); return volumeView_; }
    /// Raises QXQuorvexPlayerParameterError for nil: the view always has a route button.
    void setVolumeViewForAirplay(rt::Ref<RouteButtonView> view);

    /// Gives the route button the image for the control state, then re-centres it.
    void setAirPlayIconImage(rt::Ref<ui::Image> image, unsigned state);
    /// Hides the volume slider, sizes the route button view to fit and centres it in
    /// the receiver's bounds.
    void alignVolumeView();

protected:
    void didInitialize() override;
    virtual void setup();
    /// The route button view the setup installs.
    virtual rt::Ref<RouteButtonView> makeVolumeView();

private:
    rt::Ref<RouteButtonView> volumeView_;
};

}  // namespace zid
