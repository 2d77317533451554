#pragma once
// Making any view fill its window, turned with the device, and putting it back. While
// fullscreen the view is a subview of its window and a hidden placeholder keeps its
// old place (resizing with the old superview). "fullscreen" is observable on views.

#include <functional>

#include <fnd/NotificationCenter.h>
#include <ui/View.h>

namespace zid {

/// Enters or leaves fullscreen; nothing when the value is unchanged, and nothing when
/// entering a view that has no superview or no window.
void setFullscreen(const rt::Ref<ui::View>& view, bool fullscreen, bool animated = true);
bool isFullscreen(const ui::View& view);
void toggleFullscreenAnimated(const rt::Ref<ui::View>& view, bool animated);
rt::Ref<ui::View> placeholderView(const ui::View& view);
void setPlaceholderView(ui::View& view, const rt::Ref<ui::View>& placeholder);
long fullscreenPlaceholderViewTag(const ui::View& view);
/// Turns the fullscreen view with the device (orientations 1 to 4; upside down is
/// ignored on a phone).
void deviceOrientationDidChangeNotification(const rt::Ref<ui::View>& view, const rt::Ref<fnd::Notification>& n);
/// Animated: animates the block over the duration; otherwise runs it and then the
/// completion (if any) with true.
void performTransition(const std::function<void()>& transition, const std::function<void(bool)>& completion,
                       double duration, bool animated);

/// The fullscreen transform for a device orientation: absolute rotations for 1 to 4,
/// the given default for any other value.
ui::AffineTransform QXTranformForDeviceOrientation(long orientation, const ui::AffineTransform& defaultTransform);

}  // namespace zid
