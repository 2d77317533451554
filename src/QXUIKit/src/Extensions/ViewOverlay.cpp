#include "Extensions/ViewOverlay.h"

#include <algorithm>

#include "QXFoundation/Listening/IListenable.h"
#include "QXFoundation/Listening/ListenerProxy.h"

namespace zid {

namespace {

constexpr const char* kOverlaysKey = "Overlays";

/// The list lives in a small object under the association, so it can change in place.
class OverlayList : public rt::Object {
    RT_CLASS(OverlayList, rt::Object)
public:
    std::vector<rt::Ref<ui::View>> items;
};

rt::Ref<OverlayList> privateOverlays(const ui::View& view, bool create) {
    rt::Value v = view.associatedObject(kOverlaysKey);
    if (v.isObject()) return std::dynamic_pointer_cast<OverlayList>(v.object());
    if (!create) return nullptr;
    auto list = rt::make<OverlayList>();
    const_cast<ui::View&>(view).setAssociatedObject(rt::Value(list), kOverlaysKey);
    return list;
}

void tell(const rt::Ref<ui::View>& view, const char* selector, const rt::Ref<ui::View>& overlay) {
    notifyListeners(*view, [&](ListenerProxy& p) { p.send(rt::sel(selector), view, overlay); });
}

}  // namespace

void addOverlay(const rt::Ref<ui::View>& view, const rt::Ref<ui::View>& overlay, QXSubviewAnimation animation) {
    privateOverlays(*view, true)->items.push_back(overlay);
    presentOverlay(view, overlay, animation);
}

void presentOverlay(const rt::Ref<ui::View>& view, const rt::Ref<ui::View>& overlay, QXSubviewAnimation animation) {
    tell(view, "view:willPresentOverlay:", overlay);
    overlay->setFrame(view->bounds());
    overlay->setAutoresizingMask(ui::Autoresizing::FlexibleWidth | ui::Autoresizing::FlexibleHeight);
    addSubview(view, overlay, animation);
    tell(view, "view:didPresentOverlay:", overlay);
}

void removeOverlay(const rt::Ref<ui::View>& view, const rt::Ref<ui::View>& overlay, QXSubviewAnimation animation) {
    auto list = privateOverlays(*view, true);
    if (std::find(list->items.begin(), list->items.end(), overlay) == list->items.end()) return;
    tell(view, "view:willRemoveOverlay:", overlay);
    removeSubview(view, overlay, animation);
    list->items.erase(std::remove(list->items.begin(), list->items.end(), overlay), list->items.end());
    tell(view, "view:didRemoveOverlay:", overlay);
}

void removeOverlays(const rt::Ref<ui::View>& view, const std::vector<rt::Ref<ui::View>>& list,
                    QXSubviewAnimation animation) {
    for (const auto& o : list) removeOverlay(view, o, animation);
}

void removeAllOverlaysWithAnimation(const rt::Ref<ui::View>& view, QXSubviewAnimation animation) {
    removeOverlays(view, overlays(*view).value_or(std::vector<rt::Ref<ui::View>>{}), animation);
}

void removeAllOverlays(const rt::Ref<ui::View>& view) { removeAllOverlaysWithAnimation(view, 0); }

std::optional<std::vector<rt::Ref<ui::View>>> overlays(const ui::View& view) {
    auto list = privateOverlays(view, false);
    if (!list) return std::nullopt;
    return list->items;
}

}  // namespace zid
