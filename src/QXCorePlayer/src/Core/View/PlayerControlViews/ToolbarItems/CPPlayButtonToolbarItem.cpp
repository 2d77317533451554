#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPPlayButtonToolbarItem.h>

#include <QXCorePlayer/Core/Resources/QXCorePlayerResources.h>
#include <RuzEzo/Binding/FKBindingCategory.h>
#include <RuzEzo/Extensions/KeypathSignalCategory.h>
#include <RuzEzo/Interface/FKActionSignal.h>
#include <RuzEzo/Signal/Dealloc/FKDeallocSignal.h>
#include <RuzEzo/Trigger/OnSignalHelper.h>

namespace zid {

void CPPlayButtonToolbarItem::describe(rt::ClassBuilder<CPPlayButtonToolbarItem>& c) {
    c.property(mediaPlayerKey);
    c.readonly("playButton", &CPPlayButtonToolbarItem::playButton);
}

void CPPlayButtonToolbarItem::didInitialize() {
    CPToolbarItem::didInitialize();
    playButton_ = ui::Button::buttonWithType(ui::ButtonType::Custom);
    playButton_->setFrame(initialFrame_);
    ui::Rect b = bounds();
    playButton_->setCenter(ui::Point(b.origin.x + b.size.width * 0.5, b.origin.y + b.size.height * 0.5));
    playButton_->setAutoresizingMask(ui::Autoresizing::FlexibleTopMargin | ui::Autoresizing::FlexibleBottomMargin);
    addSubview(playButton_);
    configureButton();
    bound();
}

void CPPlayButtonToolbarItem::configureButton() {
    using namespace ui::ControlState;
    playButton_->setImage(qxCorePlayerImageNamed("player_playbutton_normal.png"), Normal);
    playButton_->setImage(qxCorePlayerImageNamed("player_playbutton_highlighted.png"), Highlighted);
    playButton_->setImage(qxCorePlayerImageNamed("player_pausebutton_normal.png"), Selected);
    playButton_->setImage(qxCorePlayerImageNamed("player_pausebutton_highlighted.png"), Selected | Highlighted);
}

void CPPlayButtonToolbarItem::bound() {
    // The pause picture shows exactly when a press would pause: a failed player is not
    // playing, so it offers play.
    bindingWithKeypath(*playButton_, "selected")->setSignal(signalForKeypath(*this, "mediaPlayer.state")->map([](const rt::Value& v) {
        auto state = v.isNumber() ? static_cast<CPPlayerState>(v.longLongValue()) : CPPlayerState::Stopped;
        return rt::Value(CPPlayerStateIsPlaying(state));
    }));
    rt::Weak<CPPlayButtonToolbarItem> weak = selfAs<CPPlayButtonToolbarItem>();
    onSignal(FKActionSignal::signalWithTarget(playButton_, ui::ControlEvents::TouchUpInside), deallocSignal(*this),
             [weak](const rt::Value&) {
                 if (auto self = weak.lock()) self->playButtonPressed();
             });
}

void CPPlayButtonToolbarItem::playButtonPressed() {
    auto player = mediaPlayer_;
    if (!player) return;
    if (player->isPlaying()) player->pause();
    else player->start();
}

}  // namespace zid
