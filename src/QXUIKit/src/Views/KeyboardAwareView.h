#pragma once
// A container that keeps its content clear of the on-screen keyboard: the host puts
// its views in contentView; when the keyboard shows, moves or hides, the content is
// either shortened to end where the keyboard begins (resize) or lifted into a larger
// target view (by default the window) and fitted there above the keyboard (overlay).
// Touches that hit no visible interactive subview fall through it.

#include <QXUIKit/Views/QXEventTransparentView.h>
#include <fnd/NotificationCenter.h>

namespace zid {

namespace KeyboardHandlingStrategy {
inline constexpr long Resize = 1;
inline constexpr long Overlay = 2;
}  // namespace KeyboardHandlingStrategy

class KeyboardAwareView : public QXEventTransparentView {
    RT_CLASS(KeyboardAwareView, QXEventTransparentView)
public:
    explicit KeyboardAwareView(const ui::Rect& frame = ui::Rect());

    long keyboardHandlingStrategy() const { return strategy_; }
    /// 1 resize, 2 overlay; any other value ignores keyboard changes.
    void setKeyboardHandlingStrategy(long s) { strategy_ = s; }
    bool isKeyboardVisible() const { return keyboardVisible_; }
    rt::Ref<ui::View> overlayTargetView() const { return overlayTarget_.lock(); }
    void setOverlayTargetView(const rt::Ref<ui::View>& v) { overlayTarget_ = v; }
    const rt::Ref<QXEventTransparentView>& contentView() const { return contentView_; }
    ui::EdgeInsets contentInset() const { return contentInset_; }
    void setContentInset(ui::EdgeInsets e) { contentInset_ = e; }

    /// Reads a keyboard notification and handles its frame in a later turn of the
    /// main loop (duration 0 when not animated).
    void handleKeyboardWillChangeNotification(const fnd::Notification& notification, bool animated);
    /// The keyboard's end frame in the view's own coordinates.
    void handleKeyboardWillChangeFrame(const ui::Rect& keyboard, double duration, long curve);
    void resizeOnKeyboardWillChangeFrame(const ui::Rect& keyboard, double duration, long curve);
    void handleOverlayOnKeyboardWillChangeFrame(const ui::Rect& keyboard, double duration, long curve);

    /// A view removed while its content is lifted out takes its content back first.
    void willMoveToSuperview(const rt::Ref<ui::View>& newSuperview) override;

protected:
    void didInitialize() override;

private:
    long strategy_ = KeyboardHandlingStrategy::Resize;
    bool keyboardVisible_ = false;
    rt::Weak<ui::View> overlayTarget_;
    rt::Ref<QXEventTransparentView> contentView_;
    ui::EdgeInsets contentInset_;
};

}  // namespace zid
