#pragma once
// Moves one view (the movie player's video view) onto a second screen and back. While a
// second screen is connected the manager keeps a full-screen window on it; a shown view
// leaves a black placeholder with its frame where it stood. When the second screen goes
// away, a shown view comes back to its placeholder's place. Main thread only.
#include <ui/View.h>
#include <ui/Window.h>

#include <fnd/NotificationCenter.h>

namespace zid {

class QXExternalScreenManager : public rt::Object {
    RT_CLASS(QXExternalScreenManager, rt::Object)
public:
    static rt::Ref<QXExternalScreenManager> sharedManager();

    /// Shows the view on the external screen; nullptr takes the current view back.
    void showView(const rt::Ref<ui::View>& view);

    const rt::Ref<ui::Window>& externalWindow() const { return externalWindow_; }
    const rt::Ref<ui::View>& sourceView() const { return sourceView_; }
    const rt::Ref<ui::View>& placeholderView() const { return placeholder_; }

    QXExternalScreenManager();
    ~QXExternalScreenManager() override;

protected:
    void didInitialize() override;

private:
    void screenDidConnect();
    void screenDidDisconnect();
    void takeBack();

    rt::Ref<ui::Window> externalWindow_;
    rt::Ref<ui::View> sourceView_;
    rt::Ref<ui::View> placeholder_;
    std::vector<rt::Ref<fnd::NotificationObserver>> tokens_;
};

}  // namespace zid
