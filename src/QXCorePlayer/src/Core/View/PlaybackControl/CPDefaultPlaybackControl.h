#pragma once
// What the default live and recorded controls share: 110-point bars with their insets,
// the content-details item across the top bar, and two-finger swipes switching the
// player's debug console (down: on, up: off). The subclasses choose the items.

#include <QXCorePlayer/Core/View/PlaybackControl/CPToolbarPlaybackControl.h>

namespace zid {

class CPDefaultPlaybackControl : public CPToolbarPlaybackControl {
    RT_CLASS(CPDefaultPlaybackControl, CPToolbarPlaybackControl)
public:
    static constexpr double kBarHeight = 110;

    using CPToolbarPlaybackControl::CPToolbarPlaybackControl;

    /// Show or hide the player's debug console; a player without one ignores it.
    void handleDownSwipeFrom(ui::GestureRecognizer& recognizer);
    void handleUpSwipeFrom(ui::GestureRecognizer& recognizer);

protected:
    void didInitialize() override;
    void configureGestures() override;
    /// A double tap here lets the views under it keep their touches, so a button
    /// under the first tap still gets it.
    rt::Ref<ui::TapGestureRecognizer> addDoubleTapRecognizer() override;
    rt::Ref<ui::SwipeGestureRecognizer> addDownSwipeRecognizer();
    rt::Ref<ui::SwipeGestureRecognizer> addUpSwipeRecognizer();

    /// The item across the top bar, and the bottom bar's items in order.
    virtual rt::Ref<QXToolbarItem> contentDetailsItem() = 0;
    virtual QXToolbar::Items bottomItems() = 0;

private:
    rt::Ref<ui::SwipeGestureRecognizer> addSwipeRecognizer(unsigned direction, bool showConsole);
};

}  // namespace zid
