#include <rt/MainThread.h>
#include <ui/DatePicker.h>

#include <cmath>
#include <cstdio>
#include <ctime>

#include <ui/Color.h>
#include <ui/Font.h>
#include <ui/GestureRecognizer.h>
#include <ui/Touch.h>

namespace ui {

namespace {

// A drag shorter than this is a tap.
constexpr double kTapSlop = 8;

}  // namespace

DatePicker::DatePicker(const Rect& frame) : Control(frame) {}

void DatePicker::didInitialize() {
    Control::didInitialize();
    setClipsToBounds(true);
    selectionBand_ = rt::make<View>();
    selectionBand_->setBackgroundColor(Color::white(0.92, 1));
    selectionBand_->setUserInteractionEnabled(false);
    addSubview(selectionBand_);
    for (int i = -kNeighbourRows; i <= kNeighbourRows; ++i) {
        auto row = rt::make<Label>();
        row->setTextAlignment(TextAlignment::Center);
        row->setBackgroundColor(Color::clearColor());
        row->setUserInteractionEnabled(false);
        row->setFont(Font::systemFontOfSize(i == 0 ? 20 : 16));
        row->setTextColor(i == 0 ? Color::blackColor() : Color::grayColor());
        rows_.push_back(row);
        addSubview(row);
    }
    refreshRows();
}

void DatePicker::setDatePickerMode(DatePickerMode mode) {
    RT_MAIN_THREAD_ONLY();
    mode_ = mode;
    refreshRows();
}

void DatePicker::setMinimumDate(std::optional<rt::Date> date) {
    RT_MAIN_THREAD_ONLY();
    minimumDate_ = date;
    date_ = clamped(date_);
    refreshRows();
}

void DatePicker::setMaximumDate(std::optional<rt::Date> date) {
    RT_MAIN_THREAD_ONLY();
    maximumDate_ = date;
    date_ = clamped(date_);
    refreshRows();
}

void DatePicker::setDate(rt::Date date, bool /*animated*/) {
    RT_MAIN_THREAD_ONLY();
    ++dateSetCount_;
    date_ = clamped(date);
    refreshRows();
}

rt::Date DatePicker::clamped(rt::Date d) const {
    // A maximum below the minimum leaves only the minimum.
    if (maximumDate_ && d > *maximumDate_) d = *maximumDate_;
    if (minimumDate_ && d < *minimumDate_) d = *minimumDate_;
    return d;
}

double DatePicker::stepSeconds() const { RT_MAIN_THREAD_ONLY(); return mode_ == DatePickerMode::Date ? 86400.0 : 60.0; }

std::string DatePicker::textForDate(rt::Date date) const {
    RT_MAIN_THREAD_ONLY();
    std::time_t t = static_cast<std::time_t>(std::floor(date.secondsSince1970));
    std::tm tm{};
    gmtime_r(&t, &tm);
    char buffer[64];
    switch (mode_) {
        case DatePickerMode::Time: std::strftime(buffer, sizeof buffer, "%H:%M", &tm); break;
        case DatePickerMode::Date: std::strftime(buffer, sizeof buffer, "%a %e %b %Y", &tm); break;
        case DatePickerMode::DateAndTime: std::strftime(buffer, sizeof buffer, "%a %e %b  %H:%M", &tm); break;
        case DatePickerMode::CountDownTimer:
            std::snprintf(buffer, sizeof buffer, "%d hours %d min", tm.tm_hour, tm.tm_min);
            break;
    }
    return buffer;
}

void DatePicker::refreshRows() {
    for (int i = -kNeighbourRows; i <= kNeighbourRows; ++i) {
        auto& row = rows_[static_cast<std::size_t>(i + kNeighbourRows)];
        rt::Date shown = date_.addingTimeInterval(i * stepSeconds());
        // Rows beyond the range stay empty, so the range's ends show as ends.
        bool outside = (i < 0 && minimumDate_ && shown < *minimumDate_) ||
                       (i > 0 && maximumDate_ && shown > *maximumDate_);
        row->setText(outside ? "" : textForDate(shown));
    }
}

void DatePicker::layoutSubviews() {
    RT_MAIN_THREAD_ONLY();
    Control::layoutSubviews();
    Rect b = bounds();
    double mid = midY(b);
    selectionBand_->setFrame(Rect(minX(b), mid - kRowHeight / 2, width(b), kRowHeight));
    for (int i = -kNeighbourRows; i <= kNeighbourRows; ++i)
        rows_[static_cast<std::size_t>(i + kNeighbourRows)]->setFrame(
            Rect(minX(b), mid + (i - 0.5) * kRowHeight, width(b), kRowHeight));
}

bool DatePicker::beginTrackingWithTouch(Touch& touch) {
    RT_MAIN_THREAD_ONLY();
    touchStartY_ = touch.locationInView(this).y;
    moved_ = false;
    return Control::beginTrackingWithTouch(touch);
}

bool DatePicker::continueTrackingWithTouch(Touch& touch) {
    RT_MAIN_THREAD_ONLY();
    double dy = touch.locationInView(this).y - touchStartY_;
    if (std::fabs(dy) > kTapSlop) moved_ = true;
    return Control::continueTrackingWithTouch(touch);
}

void DatePicker::endTrackingWithTouch(Touch* touch) {
    RT_MAIN_THREAD_ONLY();
    if (touch) {
        double y = touch->locationInView(this).y;
        double dy = y - touchStartY_;
        if (moved_ || std::fabs(dy) > kTapSlop) {
            // Dragging the column down brings earlier dates into the middle.
            moveBySteps(-std::lround(dy / kRowHeight));
        } else {
            moveBySteps(std::lround((y - midY(bounds())) / kRowHeight));
        }
    }
    Control::endTrackingWithTouch(touch);
}

void DatePicker::moveBySteps(long steps) {
    if (steps == 0) return;
    rt::Date next = clamped(date_.addingTimeInterval(static_cast<double>(steps) * stepSeconds()));
    if (next == date_) return;
    date_ = next;
    refreshRows();
    sendActionsForControlEvents(ControlEvents::ValueChanged);
}

bool DatePicker::takesPrecedenceOver(const GestureRecognizer&) const { RT_MAIN_THREAD_ONLY(); return true; }

}  // namespace ui
