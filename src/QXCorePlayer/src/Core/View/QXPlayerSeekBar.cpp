#include <rt/MainThread.h>
#include <QXCorePlayer/Core/View/QXPlayerSeekBar.h>

#include <ui/Color.h>
#include <ui/ImageContext.h>

#include <cmath>

namespace zid {

QXPlayerSeekBar::QXPlayerSeekBar(const ui::Rect& frame) : ui::View(frame) {}

QXPlayerSeekBar::~QXPlayerSeekBar() {
    // Whoever still holds the recognizer must not reach a freed delegate.
    if (tap_ && tap_->delegate() == this) tap_->setDelegate(nullptr);
}

void QXPlayerSeekBar::didInitialize() {
    ui::View::didInitialize();
    tap_ = rt::make<ui::TapGestureRecognizer>();
    rt::Weak<QXPlayerSeekBar> weak = selfAs<QXPlayerSeekBar>();
    tap_->addTarget(self(), "handleTapFrom", [weak](ui::GestureRecognizer& g) {
        if (auto bar = weak.lock()) bar->handleTapFrom(g);
    });
    tap_->setDelegate(this);
    addGestureRecognizer(tap_);
}

double QXPlayerSeekBar::span() const {
    double s = maxValue.toSeconds() - minValue.toSeconds();
    return std::isfinite(s) && s > 0 ? s : 0;
}

double QXPlayerSeekBar::positionForTime(double seconds) const {
    RT_MAIN_THREAD_ONLY();
    double s = span();
    double w = bounds().size.width;
    if (s == 0 || w <= 0 || !std::isfinite(seconds)) return 0;
    return (seconds - minValue.toSeconds()) / s * w;
}

media::Time QXPlayerSeekBar::timeForTapAt(double x) const {
    RT_MAIN_THREAD_ONLY();
    double w = bounds().size.width;
    double fraction = w > 0 ? x / w : 0;
    double start = minValue.isNumeric() ? minValue.toSeconds() : 0;
    return media::Time::seconds(std::round(start + fraction * span()), 1);
}

void QXPlayerSeekBar::handleTapAtPoint(ui::Point point) {
    RT_MAIN_THREAD_ONLY();
    auto owner = delegate_.lock();
    auto* delegate = dynamic_cast<QXPlayerSeekBarDelegate*>(owner.get());
    if (!delegate) return;
    delegate->playerSeekBarDidSeekToTime(*this, timeForTapAt(point.x));
}

void QXPlayerSeekBar::handleTapFrom(ui::GestureRecognizer& recognizer) {
    RT_MAIN_THREAD_ONLY();
    if (recognizer.state() != ui::GestureRecognized) return;
    handleTapAtPoint(recognizer.locationInView(this));
}

void QXPlayerSeekBar::draw(ui::ImageContext& context, const ui::Rect& /*rect*/) {
    RT_MAIN_THREAD_ONLY();
    const auto b = bounds();
    const double h = b.size.height;
    context.fillRect(b, *ui::Color::blackColor());
    double loadedLeft = positionForTime(progressRange.startSeconds());
    double loadedRight = positionForTime(progressRange.endSeconds());
    context.fillRect(ui::Rect(b.origin.x + loadedLeft, b.origin.y, std::max(0.0, loadedRight - loadedLeft), h),
                     *ui::Color::whiteColor());
    double played = positionForTime(playbackTime.toSeconds());
    context.fillRect(ui::Rect(b.origin.x, b.origin.y, std::max(0.0, played), h), *ui::Color::blueColor());
}

}  // namespace zid
