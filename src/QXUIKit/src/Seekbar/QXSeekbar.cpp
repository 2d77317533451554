#include "QXUIKit/Seekbar/QXSeekbar.h"

#include <rt/MainThread.h>
#include <algorithm>
#include <cmath>
#include <cstdio>

#include <RuzEzo/Binding/FKBindingCategory.h>
#include <RuzEzo/Extensions/KeypathSignalCategory.h>
#include <ui/Animation.h>
#include <ui/Font.h>

namespace zid {

namespace {

void bindKeypath(QXSeekbar& bar, const std::string& targetKeypath, const FKSignalRef& signal) {
    bindingWithKeypath(bar, targetKeypath)->setSignal(signal);
}

// The platform's intersection test: empty rectangles never intersect.
bool intersects(const ui::Rect& a, const ui::Rect& b) {
    if (a.size.width <= 0 || a.size.height <= 0 || b.size.width <= 0 || b.size.height <= 0) return false;
    return a.origin.x < b.origin.x + b.size.width && b.origin.x < a.origin.x + a.size.width &&
           a.origin.y < b.origin.y + b.size.height && b.origin.y < a.origin.y + a.size.height;
}

ui::Rect widened(const ui::Rect& r, double by) {
    return ui::Rect(r.origin.x - by, r.origin.y, r.size.width + 2 * by, r.size.height);
}

}  // namespace

QXSeekbar::QXSeekbar(const ui::Rect& frame) : ui::View(frame), initialFrame_(frame) {
    valueMapping_ = &QXSeekbar::defaultMapping;
    bgColor_ = ui::Color::darkGrayColor();
    progressColor_ = ui::Color::grayColor();
    trackColor_ = ui::Color::lightGrayColor();
    textColor_ = ui::Color::whiteColor();
}

void QXSeekbar::describe(rt::ClassBuilder<QXSeekbar>& c) {
    c.property(minValueKey, &QXSeekbar::setMinValue);
    c.property(maxValueKey, &QXSeekbar::setMaxValue);
    c.property(progressValueKey, static_cast<void (QXSeekbar::*)(float)>(&QXSeekbar::setProgressValue));
    c.property(seekValueKey, static_cast<void (QXSeekbar::*)(float)>(&QXSeekbar::setSeekValue));
    c.readonly("backgroundView", [](const QXSeekbar& s) { return s.backgroundView_; });
    c.readonly("progressView", [](const QXSeekbar& s) { return s.progressView_; });
    c.readonly("trackView", [](const QXSeekbar& s) { return s.trackView_; });
    c.readonly("seekView", [](const QXSeekbar& s) { return s.seekView_; });
    c.readonly("maxValueLabel", [](const QXSeekbar& s) { return s.maxValueLabel_; });
    c.readonly("progressValueLabel", [](const QXSeekbar& s) { return s.progressValueLabel_; });
    c.readonly("seekValueLabel", [](const QXSeekbar& s) { return s.seekValueLabel_; });
}

void QXSeekbar::didInitialize() {
    ui::View::didInitialize();
    const ui::Rect frame = initialFrame_;
    const double h = frame.size.height;

    backgroundView_ = rt::make<ui::View>(frame);
    progressView_ = rt::make<ui::View>(frame);
    trackView_ = rt::make<ui::View>(ui::Rect(0, 0, trackViewWidth_, h));
    seekView_ = rt::make<ui::View>(ui::Rect(0, 0, seekViewWidth_, h));
    for (const auto& v : {backgroundView_, progressView_, trackView_, seekView_}) addSubview(v);

    auto alpha = signalForKeypath(*this, "componentAlpha");
    auto trackColor = signalForKeypath(*this, "trackColor");
    bindKeypath(*this, "backgroundView.backgroundColor", signalForKeypath(*this, "bgColor"));
    bindKeypath(*this, "backgroundView.alpha", alpha);
    bindKeypath(*this, "progressView.backgroundColor", signalForKeypath(*this, "progressColor"));
    bindKeypath(*this, "progressView.alpha", alpha);
    bindKeypath(*this, "trackView.backgroundColor", trackColor);
    bindKeypath(*this, "trackView.alpha", alpha);
    bindKeypath(*this, "seekView.backgroundColor", trackColor);

    // The mapped texts read the mapping when a value changes, so a mapping set later
    // applies to every later change; the blocks hold the bar weakly.
    rt::Weak<QXSeekbar> weak = selfAs<QXSeekbar>();
    auto mapped = [weak](const char* keypath, QXSeekbar& bar) {
        return signalForKeypath(bar, keypath)->map([weak](const rt::Value& v) -> rt::Value {
            auto self = weak.lock();
            if (!self) return rt::Value();
            return rt::Value(self->textForValue(v.numberValue().doubleValue()));
        });
    };
    auto textColor = signalForKeypath(*this, "textColor");

    // One label a value, see-through, in the text colour; the seek value's stands out in
    // bold and stays opaque while the other parts fade.
    struct ValueLabel {
        rt::Ref<ui::Label>* label;
        std::string name;
        const char* value;
        bool fades;
    };
    const ValueLabel labels[] = {{&maxValueLabel_, "maxValueLabel", "maxValue", true},
                                 {&progressValueLabel_, "progressValueLabel", "progressValue", true},
                                 {&seekValueLabel_, "seekValueLabel", "seekValue", false}};
    for (const auto& l : labels) {
        auto& label = *l.label;
        label = rt::make<ui::Label>(frame);
        label->setBackgroundColor(ui::Color::clearColor());
        if (!l.fades) label->setFont(ui::Font::boldSystemFontOfSize(17));
        addSubview(label);
        if (l.fades) bindKeypath(*this, l.name + ".alpha", alpha);
        bindKeypath(*this, l.name + ".textColor", textColor);
        bindKeypath(*this, l.name + ".text", mapped(l.value, *this));
    }
    // The initial values count as set: the first pass places every part.
    setNeedsLayout();
}

void QXSeekbar::setMinValue(float v) { RT_MAIN_THREAD_ONLY(); storeAndLayOut(minValueKey, v); }

void QXSeekbar::setMaxValue(float v) { RT_MAIN_THREAD_ONLY(); storeAndLayOut(maxValueKey, v); }

void QXSeekbar::setProgressValue(float v) { RT_MAIN_THREAD_ONLY(); storeAndLayOut(progressValueKey, v); }

void QXSeekbar::setProgressValue(float v, bool animated) {
    RT_MAIN_THREAD_ONLY();
    setProgressValue(v);
    if (animated) layOutAnimated();
}

void QXSeekbar::setSeekValue(float v) { RT_MAIN_THREAD_ONLY(); storeAndLayOut(seekValueKey, v); }

void QXSeekbar::setSeekValue(float v, bool animated) {
    RT_MAIN_THREAD_ONLY();
    setSeekValue(v);
    if (animated) layOutAnimated();
}

void QXSeekbar::layOutAnimated() {
    ui::animate(0.3, [this] { layoutElements(); });
}

std::string QXSeekbar::defaultMapping(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%2.02f", static_cast<double>(static_cast<float>(value)));
    return text;
}

std::string QXSeekbar::textForValue(double value) const {
    RT_MAIN_THREAD_ONLY();
    return valueMapping_ ? valueMapping_(value) : defaultMapping(value);
}

void QXSeekbar::setValueMapping(ValueMapping mapping) {
    RT_MAIN_THREAD_ONLY();
    valueMapping_ = std::move(mapping);
    if (!progressValueLabel_) return;  // during construction nothing shows yet
    progressValueLabel_->setText(textForValue(progressValue_));
    seekValueLabel_->setText(textForValue(seekValue_));
    maxValueLabel_->setText(textForValue(maxValue_));
}

double QXSeekbar::positionForValue(double value) const {
    RT_MAIN_THREAD_ONLY();
    double span = static_cast<double>(maxValue_) - static_cast<double>(minValue_);
    // Before the timing is known both ends read 0: an empty range puts everything at
    // the left edge instead of dividing by zero.
    if (span == 0) return 0;
    double position = std::trunc(bounds().size.width * (value - minValue_) / span);
    return std::isfinite(position) ? position : 0;
}

ui::Rect QXSeekbar::fittedLabelFrame(ui::Label& label, double x) const {
    label.sizeToFit();
    ui::Size size = label.bounds().size;
    return ui::Rect(x, (bounds().size.height - size.height) * 0.5, size.width, size.height);
}

void QXSeekbar::layoutSubviews() {
    RT_MAIN_THREAD_ONLY();
    ui::View::layoutSubviews();
    layoutElements();
}

void QXSeekbar::layoutElements() {
    RT_MAIN_THREAD_ONLY();
    if (!backgroundView_) return;
    const double W = bounds().size.width;
    const double H = bounds().size.height;
    const double padding = textPadding_;

    backgroundView_->setFrame(bounds());
    const double xp = positionForValue(progressValue_);
    progressView_->setFrame(ui::Rect(0, 0, xp, H));
    trackView_->setFrame(ui::Rect(std::max(xp - trackViewWidth_, 0.0), 0, trackViewWidth_, H));

    const bool seeking = seekValue_ != kNoSeek;
    if (seeking) {
        seekView_->setAlpha(1);
        seekValueLabel_->setAlpha(1);
        const double xs = positionForValue(seekValue_);
        seekValueLabel_->sizeToFit();
        double w = seekValueLabel_->bounds().size.width;
        double x = xs - w - padding;
        if (x < 0) x = xs + padding;
        seekValueLabel_->setFrame(fittedLabelFrame(*seekValueLabel_, x));
        seekView_->setFrame(ui::Rect(std::max(xs - seekViewWidth_, 0.0), 0, seekViewWidth_, H));
    } else {
        seekView_->setAlpha(0);
        seekValueLabel_->setAlpha(0);
    }

    progressValueLabel_->sizeToFit();
    double pw = progressValueLabel_->bounds().size.width;
    double px = xp - pw - padding;
    if (px < 0) px = xp + padding;
    progressValueLabel_->setFrame(fittedLabelFrame(*progressValueLabel_, px));
    const ui::Rect progressFrame = progressValueLabel_->frame();
    const ui::Rect seekFrame = seekValueLabel_->frame();
    const bool progressHidden = seeking && intersects(widened(seekFrame, padding), widened(progressFrame, padding));
    progressValueLabel_->setAlpha(progressHidden ? 0 : 1);

    maxValueLabel_->sizeToFit();
    double mw = maxValueLabel_->bounds().size.width;
    maxValueLabel_->setFrame(fittedLabelFrame(*maxValueLabel_, W - mw - padding));
    const ui::Rect maxFrame = maxValueLabel_->frame();
    const bool maxHidden = (seeking && intersects(widened(seekFrame, padding), widened(maxFrame, padding))) ||
                           intersects(progressFrame, maxFrame);
    maxValueLabel_->setAlpha(maxHidden ? 0 : 1);
}

}  // namespace zid
