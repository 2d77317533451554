#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPPlaybackSliderToolbarItem.h>

#include <QXCorePlayer/Core/Core/ICPMediaSource.h>
#include <QXCorePlayer/Core/MediaPlayer/ICPMediaPlayer.h>
#include <QXCorePlayer/Core/Resources/QXCorePlayerResources.h>
#include <RuzEzo/Binding/FKBindingCategory.h>
#include <RuzEzo/Extensions/KeypathSignalCategory.h>
#include <RuzEzo/Interface/FKActionSignal.h>
#include <RuzEzo/Signal/Dealloc/FKDeallocSignal.h>
#include <RuzEzo/Trigger/OnSignalHelper.h>
#include <rt/MainThread.h>
#include <ui/Slider.h>

namespace zid {

void CPPlaybackSliderToolbarItem::describe(rt::ClassBuilder<CPPlaybackSliderToolbarItem>& c) {
    c.readonly("slider", &CPPlaybackSliderToolbarItem::slider);
}

void CPPlaybackSliderToolbarItem::didInitialize() {
    CPPlayerToolbarItem::didInitialize();
    slider_ = rt::make<ui::Slider>(bounds());
    slider_->setAutoresizingMask(ui::Autoresizing::FlexibleWidth | ui::Autoresizing::FlexibleHeight);
    addSubview(slider_);
    configureSlider();
    bound();
}

void CPPlaybackSliderToolbarItem::configureSlider() {
    using namespace ui::ControlState;
    auto thumb = qxCorePlayerImageNamed("player_seekbarknob_normal.png");
    slider_->setThumbImage(thumb, Normal);
    slider_->setThumbImage(thumb, Highlighted);
    const ui::EdgeInsets caps{0, 15, 0, 15};
    if (auto played = qxCorePlayerImageNamed("player_seekbar_w15h0_normal.png"))
        slider_->setMinimumTrackImage(played->resizableImageWithCapInsets(caps), Normal);
    if (auto rest = qxCorePlayerImageNamed("player_seekbarbg_w15h0_normal.png"))
        slider_->setMaximumTrackImage(rest->resizableImageWithCapInsets(caps), Normal);
}

void CPPlaybackSliderToolbarItem::bound() {
    bindingWithKeypath(*slider_, "enabled")->setSignal(signalForKeypath(*this, "mediaPlayer.timeInfo")->toBool());
    rt::Weak<CPPlaybackSliderToolbarItem> weak = selfAs<CPPlaybackSliderToolbarItem>();
    auto dealloc = deallocSignal(*this);
    // The slider reads the player itself: the changes are observed without their values.
    for (const char* path : {"mediaPlayer.timeInfo", "mediaPlayer.playbackTime"})
        observations_.push_back(rt::observe(self(), path, 0, [weak](const rt::KVOChange&) {
            if (auto self = weak.lock()) self->followPlayer();
        }));
    followPlayer();
    using namespace ui::ControlEvents;
    onSignal(FKActionSignal::signalWithTarget(slider_, TouchUpInside | TouchUpOutside), dealloc,
             [weak](const rt::Value&) {
                 if (auto self = weak.lock()) self->endSeek();
             });
    onSignal(FKActionSignal::signalWithTarget(slider_, TouchDown), dealloc, [weak](const rt::Value&) {
        if (auto self = weak.lock()) self->beginSeek();
    });
    onSignal(FKActionSignal::signalWithTarget(slider_, ValueChanged), dealloc, [weak](const rt::Value&) {
        if (auto self = weak.lock()) self->valueChanged();
    });
    onSignal(FKActionSignal::signalWithTarget(slider_, TouchCancel), dealloc, [weak](const rt::Value&) {
        if (auto self = weak.lock()) self->cancelSeek();
    });
}

void CPPlaybackSliderToolbarItem::followPlayer() {
    auto player = mediaPlayer();
    auto timing = player ? player->timeInfo() : nullptr;
    slider_->setMinimumValue(timing ? float(timing->startTime()) : 0.0f);
    slider_->setMaximumValue(timing ? float(timing->endTime()) : 0.0f);
    if (!seeking_) slider_->setValue(player ? float(player->playbackTime()) : 0.0f);
}

void CPPlaybackSliderToolbarItem::beginSeek() {
    RT_MAIN_THREAD_ONLY();
    rt::MainThread::require(*this, "beginSeek");
    seeking_ = true;
    playOnSeekEnd_ = mediaPlayer() && mediaPlayer()->state() == CPPlayerState::Playing;
    if (playOnSeekEnd_) mediaPlayer()->pause();
}

void CPPlaybackSliderToolbarItem::valueChanged() {
    RT_MAIN_THREAD_ONLY();
    rt::MainThread::require(*this, "valueChanged");
    if (!seeking_ || !mediaPlayer()) return;
    mediaPlayer()->setSeekPosition(rt::Value(slider_->value()));
}

void CPPlaybackSliderToolbarItem::endSeek() {
    RT_MAIN_THREAD_ONLY();
    rt::MainThread::require(*this, "endSeek");
    seeking_ = false;
    auto player = mediaPlayer();
    if (!player) return;
    player->seekTo(slider_->value());
    player->setSeekPosition(rt::Value());
    if (playOnSeekEnd_) player->start();
}

void CPPlaybackSliderToolbarItem::cancelSeek() {
    RT_MAIN_THREAD_ONLY();
    rt::MainThread::require(*this, "cancelSeek");
    if (!seeking_) return;
    seeking_ = false;
    auto player = mediaPlayer();
    if (!player) return;
    player->setSeekPosition(rt::Value());
    if (playOnSeekEnd_) player->start();
    // Back to where the player is.
    followPlayer();
}

}  // namespace zid
