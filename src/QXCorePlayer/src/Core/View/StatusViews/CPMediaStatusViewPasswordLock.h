#pragma once
// The screen of a password lock. While the on-screen keyboard would cover its message
// it moves up out of the way, and it comes back when the keyboard goes.

#include <fnd/NotificationCenter.h>

#include "CPMediaStatusView.h"

namespace zid {

class CPMediaStatusViewPasswordLock : public CPMessageStatusView<CPMediaStatusViewPasswordLock> {
    RT_CLASS(CPMediaStatusViewPasswordLock, CPMediaStatusView)
public:
    using CPMessageStatusView::CPMessageStatusView;

    const rt::Ref<ui::Label>& message() const { return mainLabel(); }
    const rt::Ref<QXEventTransparentView>& contentView() const { return contentView_; }
    void setContentView(rt::Ref<QXEventTransparentView> view) { contentView_ = std::move(view); }
    ui::Rect originContentFrame() const { return originContentFrame_; }
    void setOriginContentFrame(const ui::Rect& frame) { originContentFrame_ = frame; }

    /// Moves the view so that the content clears the keyboard rectangle (in the view's
    /// own coordinates), inside one animation of the given duration. The covered height
    /// is measured from the view's resting place (y 0), so a keyboard that is announced
    /// again (a size change sends another will-show) leaves the view where one
    /// announcement puts it: at rest while the keyboard stays below the content, else
    /// up by the free space below the content, as far as the centred content can go.
    void moveContentFromCoveredAreaRect(const ui::Rect& keyboard, double animationDuration);

protected:
    void didInitialize() override;

private:
    void setup();
    void keyboardWillShown(const fnd::Notification& notification);
    void keyboardWillHide(const fnd::Notification& notification);

    ui::Rect originContentFrame_;
    rt::Ref<QXEventTransparentView> contentView_;
};

}  // namespace zid
