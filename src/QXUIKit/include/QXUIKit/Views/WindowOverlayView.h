#pragma once
// A transparent view added straight to a window that covers it, turned with the
// interface orientation, leaving the status bar uncovered unless told otherwise.

#include <rt/MainThread.h>
#include <fnd/NotificationCenter.h>
#include <ui/View.h>

namespace zid {

class WindowOverlayView : public ui::View {
    RT_CLASS(WindowOverlayView, ui::View)
public:
    explicit WindowOverlayView(const ui::Rect& frame = ui::Rect());

    bool coverStatusBar() const { RT_MAIN_THREAD_ONLY(); return coverStatusBar_; }
    /// Stores the value and lays the view out again at once.
    virtual void setCoverStatusBar(bool cover);

    virtual void setup();
    virtual void statusBarChanged(const rt::Ref<fnd::Notification>& notification);
    void didMoveToWindow() override;
    virtual void adjustLayout();
    virtual double rotationAngleForOrientation(long orientation) const;
    virtual ui::Rect frameInWindow() const;
    virtual double statusBarHeight() const;

protected:
    void didInitialize() override;
    void willDestroy() override;

private:
    bool coverStatusBar_ = false;
    rt::Ref<rt::Object> orientationToken_;
    rt::Ref<rt::Object> frameToken_;
};

}  // namespace zid
