#pragma once
// A per-view stack of overlays that fill the view, kept under the association
// "Overlays". Listeners of the view hear "view:willPresentOverlay:",
// "view:didPresentOverlay:", "view:willRemoveOverlay:" and "view:didRemoveOverlay:"
// (each with the view and the overlay) when they implement them.

#include <optional>
#include <vector>

#include "Extensions/ViewAnimatedSubviews.h"

namespace zid {

void addOverlay(const rt::Ref<ui::View>& view, const rt::Ref<ui::View>& overlay, QXSubviewAnimation animation = 0);
/// Shows the overlay over the view without putting it on the list.
void presentOverlay(const rt::Ref<ui::View>& view, const rt::Ref<ui::View>& overlay, QXSubviewAnimation animation);
/// Removes every occurrence of the overlay when the list holds it; nothing otherwise.
void removeOverlay(const rt::Ref<ui::View>& view, const rt::Ref<ui::View>& overlay, QXSubviewAnimation animation = 0);
void removeOverlays(const rt::Ref<ui::View>& view, const std::vector<rt::Ref<ui::View>>& overlays,
                    QXSubviewAnimation animation = 0);
void removeAllOverlaysWithAnimation(const rt::Ref<ui::View>& view, QXSubviewAnimation animation);
void removeAllOverlays(const rt::Ref<ui::View>& view);
/// A copy of the list, or nothing when it was never created.
std::optional<std::vector<rt::Ref<ui::View>>> overlays(const ui::View& view);

}  // namespace zid
