#pragma once
// The button that picks an external playback route, as a view. Linux offers no
// wireless playback routes, so areWirelessRoutesAvailable() answers NO; the view still
// keeps the images of the route button per control state, sizes itself to the normal
// image, and names the notification that announces a change of availability.

#include <rt/MainThread.h>
#include <ui/Button.h>
#include <ui/View.h>

namespace zid {

class RouteButtonView : public ui::View {
    RT_CLASS(RouteButtonView, ui::View)
public:
    /// Posted (by whatever tracks routes) when the availability of wireless routes changes.
    static constexpr const char* WirelessRoutesAvailableDidChangeNotification =
        "WirelessRoutesAvailableDidChangeNotification";

    explicit RouteButtonView(const ui::Rect& frame = ui::Rect()) : ui::View(frame) {}

    /// Whether a wireless route could take the playback: never on Linux.
    virtual bool areWirelessRoutesAvailable() const { RT_MAIN_THREAD_ONLY(); return false; }

    bool showsRouteButton() const { RT_MAIN_THREAD_ONLY(); return showsRouteButton_; }
    void setShowsRouteButton(bool v);
    bool showsVolumeSlider() const { RT_MAIN_THREAD_ONLY(); return showsVolumeSlider_; }
    void setShowsVolumeSlider(bool v) { RT_MAIN_THREAD_ONLY(); showsVolumeSlider_ = v; }

    /// The route button's image for a control state (ui::ControlState bits; nil
    /// removes it).
    void setRouteButtonImage(rt::Ref<ui::Image> image, unsigned state);
    /// The image for the state, else the normal one.
    rt::Ref<ui::Image> routeButtonImageForState(unsigned state) const;
    /// The route button itself.
    const rt::Ref<ui::Button>& routeButton() const { RT_MAIN_THREAD_ONLY(); return button_; }

    /// The normal image's size while the route button shows, else zero.
    ui::Size sizeThatFits(ui::Size size) const override;

protected:
    void didInitialize() override;

private:
    bool showsRouteButton_ = true;
    bool showsVolumeSlider_ = true;
    rt::Ref<ui::Button> button_;
};

}  // namespace zid
