#pragma once
// The picture button of a button item: made at the item's initial frame, centred on
// the item and kept vertically centred when the bar changes the item's height.

#include <QXCorePlayer/Core/MediaPlayer/ICPMediaPlayer.h>
#include <QXCorePlayer/Core/Resources/QXCorePlayerResources.h>
#include <RuzEzo/Interface/FKActionSignal.h>
#include <RuzEzo/Signal/Dealloc/FKDeallocSignal.h>
#include <RuzEzo/Trigger/OnSignalHelper.h>
#include <ui/Button.h>

#include <array>

namespace zid {

inline rt::Ref<ui::Button> CPAddCentredButton(ui::View& item, const ui::Rect& initialFrame) {
    auto button = ui::Button::buttonWithType(ui::ButtonType::Custom);
    button->setFrame(initialFrame);
    ui::Rect b = item.bounds();
    button->setCenter(ui::Point{b.origin.x + b.size.width * 0.5, b.origin.y + b.size.height * 0.5});
    button->setAutoresizingMask(ui::Autoresizing::FlexibleTopMargin | ui::Autoresizing::FlexibleBottomMargin);
    item.addSubview(button);
    return button;
}

/// The player bundle's images for normal, highlighted, selected and selected
/// highlighted, in that order.
inline void CPSetButtonImages(ui::Button& button, const std::array<const char*, 4>& names) {
    using namespace ui::ControlState;
    const unsigned states[] = {Normal, Highlighted, Selected, Selected | Highlighted};
    for (std::size_t i = 0; i < 4; ++i) button.setImage(qxCorePlayerImageNamed(names[i]), states[i]);
}

/// Runs the item's press handler on each tap of its button (a touch that ends inside),
/// for as long as the item lives; the button does not keep the item alive.
template <class Item>
void CPOnButtonTap(Item& item, const rt::Ref<ui::Button>& button, void (Item::*pressed)()) {
    rt::Weak<Item> weak = item.template selfAs<Item>();
    onSignal(FKActionSignal::signalWithTarget(button, ui::ControlEvents::TouchUpInside), deallocSignal(item),
             [weak, pressed](const rt::Value&) {
                 if (auto self = weak.lock()) ((*self).*pressed)();
             });
}

/// The press of a button that switches something of the player: the player's off action
/// while its flag is on, its on action otherwise; nothing without a player.
inline void CPTogglePlayer(const rt::Ref<ICPMediaPlayer>& player, bool (ICPMediaPlayer::*isOn)() const,
                           void (ICPMediaPlayer::*turnOff)(), void (ICPMediaPlayer::*turnOn)()) {
    if (!player) return;
    if (((*player).*isOn)()) ((*player).*turnOff)();
    else ((*player).*turnOn)();
}

}  // namespace zid
