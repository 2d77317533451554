#include <QXCorePlayer/Core/View/PlayerControlViews/AdView/CPPlayerAdView.h>

#include <QXCorePlayer/Core/Resources/QXCorePlayerResources.h>
#include <QXFoundation/Device/DeviceType.h>
#include <QXUIKit/Extensions/FontSystemFont.h>
#include <QXUIKit/Views/QXEventTransparentView.h>
#include <RuzEzo/Binding/FKBindingCategory.h>
#include <RuzEzo/Extensions/KeypathSignalCategory.h>
#include <RuzEzo/Signal/Dealloc/FKDeallocSignal.h>
#include <dev/Device.h>
#include <rt/MainThread.h>
#include <rt/Format.h>
#include <rt/KVO.h>
#include <ui/GestureRecognizer.h>
#include <ui/ImageView.h>

#include "Core/View/WatchWeakReference.h"

#include <cmath>

namespace zid {

namespace {

const ui::Rect kAdViewMadeFrame(0, 0, 100, 100);


void styleLabel(ui::Label& label) {
    label.setBackgroundColor(ui::Color::clearColor());
    label.setTextColor(ui::Color::rgba(0.725, 0.776, 0.816, 1));
    label.setShadowColor(ui::Color::rgba(0, 0, 0, 0.4));
    label.setShadowOffset(ui::Size{0, 0});
    label.setClipsToBounds(true);
    label.setOpaque(false);
}

}  // namespace

struct CPPlayerAdView::Design {
    double width;
    ui::Rect remaining;
    double remainingSize;
    ui::Rect enjoy;
    double enjoySize;
    int enjoyLines;
    bool tablet;
};

rt::Ref<CPPlayerAdView> CPPlayerAdView::controlForMediaSource(const rt::Ref<ICPMediaSource>& source,
                                                              const rt::Ref<ICPMediaPlayer>& player) {
    return rt::make<CPPlayerAdView>(source, player, kAdViewMadeFrame);
}

CPPlayerAdView::~CPPlayerAdView() {
    if (playerGone_) playerGone_->dispose();
}

void CPPlayerAdView::didInitialize() {
    ICPPlaybackControl::didInitialize();
    if (isIPhone(dev::Device::current())) setupIPhoneLayout();
    else setupIPadLayout();
    configureGestures();
    remainingLabel_->setText("");
    enjoyLabel_->setText(qxCorePlayerLocalizedString("QXPlayer.preroll.premium"));
    rt::Weak<CPPlayerAdView> weak = selfAs<CPPlayerAdView>();
    auto update = [weak](const rt::Value&) {
        if (auto self = weak.lock()) self->remainingLabel_->setText(remainingText(self->mediaPlayer()));
    };
    for (const char* path : {"mediaPlayer.playbackTime", "mediaPlayer.timeInfo"})
        onSignal(signalForKeypath(*this, path), deallocSignal(*this), update);
    watchPlayer();
}

std::string CPPlayerAdView::remainingText(const rt::Ref<ICPMediaPlayer>& player) {
    auto timing = player ? player->timeInfo() : nullptr;
    if (!timing) return "";
    double left = timing->duration() - player->playbackTime();
    if (std::isnan(left)) return "";
    // Past the end (or a duration that ends before the time) reads as nothing left.
    long seconds = left <= 0 ? 0 : left >= 1e9 ? 999999999L : static_cast<long>(left);
    return rt::format(qxCorePlayerLocalizedString("preroll.resuming"), seconds);
}

void CPPlayerAdView::setMediaSource(const rt::Ref<ICPMediaSource>& source) {
    RT_MAIN_THREAD_ONLY();
    rt::kvoChange(this, "mediaSource", [&] { mediaSource_ = source; });
}

void CPPlayerAdView::setMediaPlayer(const rt::Ref<ICPMediaPlayer>& player) {
    RT_MAIN_THREAD_ONLY();
    rt::kvoChange(this, "mediaPlayer", [&] { mediaPlayer_ = player; });
    watchPlayer();
}

void CPPlayerAdView::watchPlayer() {
    // The countdown clears when the player goes.
    watchWeakReference(*this, mediaPlayer(), "mediaPlayer", &CPPlayerAdView::mediaPlayer_, playerGone_);
}

void CPPlayerAdView::setupIPhoneLayout() {
    build(Design{320, ui::Rect(16, 69, 320, 20), 12, ui::Rect(16, 78, 160, 40), 10, 2, false});
}

void CPPlayerAdView::setupIPadLayout() {
    build(Design{768, ui::Rect(49, 70, 300, 26), 18, ui::Rect(49, 89, 300, 20), 14, 1, true});
}

void CPPlayerAdView::build(const Design& d) {
    using namespace ui::Autoresizing;
    setFrame(ui::Rect(frame().origin.x, frame().origin.y, d.width, 210));
    setAutoresizingMask(FlexibleWidth | FlexibleHeight);
    setBackgroundColor(ui::Color::clearColor());

    auto bar = rt::make<QXEventTransparentView>(ui::Rect(0, 100, d.width, 110));
    bar->setAutoresizingMask(FlexibleWidth | FlexibleTopMargin);
    bar->setBackgroundColor(ui::Color::clearColor());
    bar->setOpaque(true);
    auto background = rt::make<ui::ImageView>(ui::Rect(0, 0, d.width, 110));
    background->setImage(qxCorePlayerImageNamed("player_player_bottombg_normal.png"));
    background->setAutoresizingMask(FlexibleWidth | FlexibleHeight);
    background->setOpaque(false);
    bar->addSubview(background);

    // The phone's lines stretch with the bar; the tablet's keep their place at the left.
    unsigned mask = d.tablet ? (FlexibleRightMargin | FlexibleTopMargin) : (FlexibleWidth | FlexibleTopMargin);
    remainingLabel_ = rt::make<ui::Label>(d.remaining);
    styleLabel(*remainingLabel_);
    remainingLabel_->setAutoresizingMask(mask);
    remainingLabel_->setNumberOfLines(1);
    remainingLabel_->setContentMode(ui::ContentMode::Left);
    remainingLabel_->setFont(qx_systemFontOfSize(d.remainingSize, 6));
    remainingLabel_->setText("Resuming in ...");

    enjoyLabel_ = rt::make<ui::Label>(d.enjoy);
    styleLabel(*enjoyLabel_);
    enjoyLabel_->setAutoresizingMask(mask);
    enjoyLabel_->setNumberOfLines(d.enjoyLines);
    enjoyLabel_->setFont(qx_systemFontOfSize(d.enjoySize, 3));
    enjoyLabel_->setText("Enjoy ...");
    if (d.tablet) {
        remainingLabel_->setHighlightedTextColor(ui::Color::whiteColor());
        enjoyLabel_->setHighlightedTextColor(ui::Color::whiteColor());
        enjoyLabel_->setAdjustsFontSizeToFitWidth(true);
    }
    bar->addSubview(remainingLabel_);
    bar->addSubview(enjoyLabel_);
    addSubview(bar);
}

void CPPlayerAdView::configureGestures() {
    // Both recognizers only absorb: a tap on the ad goes nowhere else.
    auto absorb = [](ui::GestureRecognizer&) {};
    auto first = rt::make<ui::TapGestureRecognizer>();
    first->addTarget(nullptr, "handleTap", absorb);
    addGestureRecognizer(first);
    auto second = rt::make<ui::TapGestureRecognizer>();
    second->addTarget(nullptr, "handleTap", absorb);
    second->setAllowedTouchTypes({1, 0});
    second->setAllowedPressTypes({4, 0, 1, 2, 3});
    addGestureRecognizer(second);
}

}  // namespace zid
