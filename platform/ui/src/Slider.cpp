#include <ui/Slider.h>

#include <algorithm>
#include <cmath>

#include <cairo.h>

#include <rt/MainThread.h>
#include <rt/ChangeScope.h>
#include <ui/BezierPath.h>
#include <ui/Color.h>
#include <ui/Font.h>
#include <ui/GestureRecognizer.h>
#include <ui/ImageContext.h>
#include <ui/Text.h>
#include <ui/Touch.h>
#include "CairoDrawing.h"

namespace ui {

// ---- slider ---------------------------------------------------------------------------------

Slider::Slider(const Rect& frame) : Control(frame) {}

void Slider::describe(rt::ClassBuilder<Slider>& c) { c.property(valueKey, &Slider::setValue); }

void Slider::setValue(double value) {
    RT_MAIN_THREAD_ONLY();
    value = std::clamp(value, minimumValue_, std::max(minimumValue_, maximumValue_));
    if (value == value_) return;
    valueKey.set(*this, value);
    setNeedsDisplay();
}

void Slider::setMinimumValue(double v) {
    RT_MAIN_THREAD_ONLY();
    if (v != minimumValue_) setNeedsDisplay();
    minimumValue_ = v;
    if (maximumValue_ < v) maximumValue_ = v;
    setValue(value_);
}

void Slider::setMaximumValue(double v) {
    RT_MAIN_THREAD_ONLY();
    if (v != maximumValue_) setNeedsDisplay();
    maximumValue_ = v;
    if (minimumValue_ > v) minimumValue_ = v;
    setValue(value_);
}

Rect Slider::trackRectForBounds(const Rect& b) const {
    RT_MAIN_THREAD_ONLY();
    return Rect(minX(b), midY(b) - 1, width(b), 2);
}

Rect Slider::thumbRectForBounds(const Rect& b, const Rect& track, double value) const {
    RT_MAIN_THREAD_ONLY();
    (void)b;
    double span = maximumValue_ - minimumValue_;
    double k = span > 0 ? (value - minimumValue_) / span : 0;
    double travel = std::max(0.0, width(track) - kThumbSize);
    double x = minX(track) + travel * k;
    return Rect(x, midY(track) - kThumbSize / 2, kThumbSize, kThumbSize);
}

double Slider::valueAtPoint(Point p) const {
    RT_MAIN_THREAD_ONLY();
    Rect track = trackRectForBounds(bounds());
    double travel = std::max(0.0, width(track) - kThumbSize);
    if (travel <= 0) return minimumValue_;
    double k = std::clamp((p.x - minX(track) - kThumbSize / 2) / travel, 0.0, 1.0);
    return minimumValue_ + k * (maximumValue_ - minimumValue_);
}

bool Slider::beginTrackingWithTouch(Touch& touch) {
    RT_MAIN_THREAD_ONLY();
    Point p = touch.locationInView(this);
    Rect thumb = thumbRectForBounds(bounds(), trackRectForBounds(bounds()), value_);
    // Grabbing the thumb keeps the finger where it took hold; elsewhere the thumb jumps.
    if (rectContainsPoint(rectInset(thumb, -10, -10), p)) grabOffset_ = p.x - midX(thumb);
    else grabOffset_ = 0;
    dragging_ = true;
    if (grabOffset_ == 0 && !rectContainsPoint(thumb, p)) {
        double before = value_;
        setValue(valueAtPoint(p));
        if (continuous_ && value_ != before) sendActionsForControlEvents(ControlEvents::ValueChanged);
    }
    return true;
}

void Slider::track(Touch& touch) {
    Point p = touch.locationInView(this);
    double before = value_;
    setValue(valueAtPoint(Point{p.x - grabOffset_, p.y}));
    if (continuous_ && value_ != before) sendActionsForControlEvents(ControlEvents::ValueChanged);
}

bool Slider::continueTrackingWithTouch(Touch& touch) {
    RT_MAIN_THREAD_ONLY();
    track(touch);
    return true;
}

void Slider::endTrackingWithTouch(Touch*) {
    RT_MAIN_THREAD_ONLY();
    // The touch-up event itself follows from the control.
    if (!continuous_ && dragging_) sendActionsForControlEvents(ControlEvents::ValueChanged);
    dragging_ = false;
}

void Slider::cancelTrackingWithTouch(Touch* touch) {
    RT_MAIN_THREAD_ONLY();
    dragging_ = false;
    Control::cancelTrackingWithTouch(touch);
}

void Slider::setEnabled(bool enabled) {
    RT_MAIN_THREAD_ONLY();
    Control::setEnabled(enabled);
    setNeedsDisplay();
}

void Slider::setHighlighted(bool highlighted) {
    RT_MAIN_THREAD_ONLY();
    Control::setHighlighted(highlighted);
    setNeedsDisplay();
}

void Slider::draw(ImageContext& context, const Rect&) {
    RT_MAIN_THREAD_ONLY();
    cairo_t* cr = context.cairo();
    unsigned s = state();
    Rect b = bounds();
    Rect track = trackRectForBounds(b);
    Rect thumb = thumbRectForBounds(b, track, value_);
    double split = midX(thumb);
    auto drawTrack = [&](const rt::Ref<Image>& image, double from, double to) {
        if (!image || to <= from) return;
        double h = image->size().height;
        drawImage(cr, *image, Rect(from, midY(track) - h / 2, to - from, h));
    };
    drawTrack(minimumTrackImageForState(s), minX(track), split);
    drawTrack(maximumTrackImageForState(s), split, maxX(track));
    if (auto image = thumbImageForState(s)) {
        Size size = image->size();
        drawImage(cr, *image, Rect(split - size.width / 2, midY(thumb) - size.height / 2, size.width, size.height));
    }
}

bool Slider::takesPrecedenceOver(const GestureRecognizer& recognizer) const {
    RT_MAIN_THREAD_ONLY();
    if (dynamic_cast<const PanGestureRecognizer*>(&recognizer)) return true;
    if (dynamic_cast<const SwipeGestureRecognizer*>(&recognizer)) return true;
    return Control::takesPrecedenceOver(recognizer);
}

// ---- switch ---------------------------------------------------------------------------------

Switch::Switch(const Rect& frame) : Control(frame) {}

void Switch::describe(rt::ClassBuilder<Switch>& c) {
    c.property(onKey, &Switch::setOnByKey);
}

void Switch::setOn(bool on, bool) { RT_MAIN_THREAD_ONLY(); onKey.set(*this, on); }

void Switch::endTrackingWithTouch(Touch* touch) {
    RT_MAIN_THREAD_ONLY();
    if (!touch || !pointInsideTrackingArea(touch->locationInView(this))) return;
    setOn(!on_);
    sendActionsForControlEvents(ControlEvents::ValueChanged);
}

// ---- segmented control ------------------------------------------------------------------------

SegmentedControl::SegmentedControl(std::vector<std::string> items) : titles_(std::move(items)) {}

void SegmentedControl::describe(rt::ClassBuilder<SegmentedControl>& c) {
    c.property(selectedSegmentIndexKey, &SegmentedControl::setSelectedSegmentIndex);
}

void SegmentedControl::setTitle(const std::string& title, std::size_t index) {
    RT_MAIN_THREAD_ONLY();
    if (index < titles_.size()) titles_[index] = title;
}

void SegmentedControl::insertSegmentWithTitle(const std::string& title, std::size_t index) {
    RT_MAIN_THREAD_ONLY();
    index = std::min(index, titles_.size());
    titles_.insert(titles_.begin() + long(index), title);
    if (selectedSegmentIndex_ >= long(index)) setSelectedSegmentIndex(selectedSegmentIndex_ + 1);
}

void SegmentedControl::removeSegmentAtIndex(std::size_t index) {
    RT_MAIN_THREAD_ONLY();
    if (index >= titles_.size()) return;
    titles_.erase(titles_.begin() + long(index));
    if (selectedSegmentIndex_ == long(index)) setSelectedSegmentIndex(kNoSegment);
    else if (selectedSegmentIndex_ > long(index)) setSelectedSegmentIndex(selectedSegmentIndex_ - 1);
}

void SegmentedControl::removeAllSegments() {
    RT_MAIN_THREAD_ONLY();
    titles_.clear();
    setSelectedSegmentIndex(kNoSegment);
}

void SegmentedControl::setSelectedSegmentIndex(long index) {
    RT_MAIN_THREAD_ONLY();
    if (index < kNoSegment || index >= long(titles_.size())) index = kNoSegment;
    selectedSegmentIndexKey.set(*this, index);
}

long SegmentedControl::segmentAtPoint(Point p) const {
    RT_MAIN_THREAD_ONLY();
    if (titles_.empty() || !rectContainsPoint(bounds(), p)) return kNoSegment;
    double w = width(bounds()) / double(titles_.size());
    long i = long((p.x - minX(bounds())) / w);
    return std::clamp(i, 0L, long(titles_.size()) - 1);
}

bool SegmentedControl::beginTrackingWithTouch(Touch& touch) {
    RT_MAIN_THREAD_ONLY();
    long i = segmentAtPoint(touch.locationInView(this));
    if (i != kNoSegment && i != selectedSegmentIndex_) {
        setSelectedSegmentIndex(i);
        sendActionsForControlEvents(ControlEvents::ValueChanged);
    }
    return true;
}

void SegmentedControl::endTrackingWithTouch(Touch*) {
    RT_MAIN_THREAD_ONLY();
    if (momentary_) setSelectedSegmentIndex(kNoSegment);
}

void SegmentedControl::draw(ImageContext& context, const Rect&) {
    RT_MAIN_THREAD_ONLY();
    Rect b = rectInset(bounds(), 0.5, 0.5);
    if (titles_.empty() || width(b) <= 0 || height(b) <= 0) return;
    auto tint = tintColor() ? tintColor() : Color::rgba(0, 0.48, 1);
    constexpr double kRadius = 4;
    double w = width(b) / double(titles_.size());
    context.saveState();
    context.clipToRoundedRect(b, kRadius);
    if (selectedSegmentIndex_ >= 0 && std::size_t(selectedSegmentIndex_) < titles_.size()) {
        context.fillRect(Rect(minX(b) + w * double(selectedSegmentIndex_), minY(b), w, height(b)), *tint);
    }
    context.restoreState();
    context.strokePath(*BezierPath::roundedRect(b, kRadius), *tint, 1);
    for (std::size_t i = 1; i < titles_.size(); ++i) {
        context.fillRect(Rect(std::round(minX(b) + w * double(i)) - 0.5, minY(b), 1, height(b)), *tint);
    }
    for (std::size_t i = 0; i < titles_.size(); ++i) {
        TextLayout layout;
        layout.font = Font::systemFontOfSize(13);
        layout.color = long(i) == selectedSegmentIndex_ ? Color::whiteColor() : tint;
        layout.alignment = TextAlignment::Center;
        layout.lineBreakMode = LineBreakMode::TruncatingTail;
        layout.numberOfLines = 1;
        layout.centerVertically = true;
        context.drawText(AttributedString(titles_[i]), rectInset(Rect(minX(b) + w * double(i), minY(b), w, height(b)), 4, 0),
                         layout);
    }
}

// ---- activity indicator ------------------------------------------------------------------------

ActivityIndicatorView::ActivityIndicatorView(ActivityIndicatorViewStyle style) : style_(style) {
    Size s = sizeThatFits({});
    setBounds(Rect(0, 0, s.width, s.height));
    setHidden(true);
    setUserInteractionEnabled(false);
}

void ActivityIndicatorView::setActivityIndicatorViewStyle(ActivityIndicatorViewStyle style) {
    RT_MAIN_THREAD_ONLY();
    style_ = style;
    Size s = sizeThatFits({});
    setBounds(Rect(bounds().origin, s));
}

Size ActivityIndicatorView::sizeThatFits(Size) const {
    RT_MAIN_THREAD_ONLY();
    return style_ == ActivityIndicatorViewStyle::WhiteLarge ? Size{37, 37} : Size{20, 20};
}

void ActivityIndicatorView::setHidesWhenStopped(bool h) {
    RT_MAIN_THREAD_ONLY();
    hidesWhenStopped_ = h;
    if (!animating_) setHidden(h);
}

ActivityIndicatorView::~ActivityIndicatorView() {
    if (timer_) timer_->invalidate();
}

void ActivityIndicatorView::startAnimating() {
    RT_MAIN_THREAD_ONLY();
    if (animating_) return;
    rt::ChangeScope scope(*this, {"animating"});
    animating_ = true;
    setHidden(false);
    rt::Weak<ActivityIndicatorView> weak = selfAs<ActivityIndicatorView>();
    timer_ = fnd::RunLoop::main()->schedule(kStepInterval, true, [weak](fnd::Timer& timer) {
        auto self = weak.lock();
        if (!self) {
            timer.invalidate();
            return;
        }
        self->phase_ = (self->phase_ + 1) % 12;
        self->setNeedsDisplay();
    });
}

void ActivityIndicatorView::draw(ImageContext& context, const Rect&) {
    RT_MAIN_THREAD_ONLY();
    rt::Ref<Color> color = color_ ? color_ : (style_ == ActivityIndicatorViewStyle::Gray ? Color::grayColor()
                                                                                           : Color::whiteColor());
    Rect b = bounds();
    double radius = std::min(b.size.width, b.size.height) / 2;
    if (radius <= 0) return;
    Point c{b.origin.x + b.size.width / 2, b.origin.y + b.size.height / 2};
    double width = std::max(1.0, radius * 0.2);
    for (int i = 0; i < 12; ++i) {
        double angle = -M_PI / 2 + i * M_PI / 6;
        double dx = std::cos(angle), dy = std::sin(angle);
        // The pattern turns clockwise by one spoke per step.
        int behind = ((i - phase_) % 12 + 12) % 12;
        double alpha = color->alpha() * (1 - behind / 12.0 * 0.85);
        cairo_t* cr = context.cairo();
        cairo_save(cr);
        cairo_set_source_rgba(cr, color->red(), color->green(), color->blue(), alpha);
        cairo_set_line_width(cr, width);
        cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
        cairo_move_to(cr, c.x + dx * radius * 0.5, c.y + dy * radius * 0.5);
        cairo_line_to(cr, c.x + dx * (radius - width / 2), c.y + dy * (radius - width / 2));
        cairo_stroke(cr);
        cairo_restore(cr);
    }
}

void ActivityIndicatorView::stopAnimating() {
    RT_MAIN_THREAD_ONLY();
    if (!animating_) return;
    rt::ChangeScope scope(*this, {"animating"});
    animating_ = false;
    if (timer_) timer_->invalidate();
    timer_ = nullptr;
    if (hidesWhenStopped_) setHidden(true);
}

}  // namespace ui
