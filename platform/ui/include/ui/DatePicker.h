#pragma once
// A date picker: a date within an optional range, shown as a column of rows with the
// selected date's text in the middle row and its neighbours (one step earlier and later)
// above and below. A vertical drag moves the date by one step per row travelled, a tap
// on a neighbouring row moves it by that row's distance; a change made by touch sends
// value-changed, one set in code does not.

#include <rt/MainThread.h>
#include <optional>
#include <string>
#include <vector>

#include <ui/Control.h>
#include <ui/Label.h>

namespace ui {

enum class DatePickerMode { Time = 0, Date = 1, DateAndTime = 2, CountDownTimer = 3 };

class DatePicker : public Control {
    RT_CLASS(DatePicker, Control)
public:
    static constexpr double kRowHeight = 36;
    /// Rows shown on each side of the selected one.
    static constexpr int kNeighbourRows = 2;

    explicit DatePicker(const Rect& frame = Rect(0, 0, 320, 216));

    DatePickerMode datePickerMode() const { RT_MAIN_THREAD_ONLY(); return mode_; }
    void setDatePickerMode(DatePickerMode mode);
    const std::optional<rt::Date>& minimumDate() const { RT_MAIN_THREAD_ONLY(); return minimumDate_; }
    /// Sets the lower bound (nil for none); the date is clamped into the new range.
    void setMinimumDate(std::optional<rt::Date> date);
    const std::optional<rt::Date>& maximumDate() const { RT_MAIN_THREAD_ONLY(); return maximumDate_; }
    void setMaximumDate(std::optional<rt::Date> date);
    rt::Date date() const { RT_MAIN_THREAD_ONLY(); return date_; }
    /// Clamped into the range; sends nothing.
    void setDate(rt::Date date, bool animated = false);
    /// How many times the date was set in code (a test's way to see it left alone).
    std::size_t dateSetCount() const { RT_MAIN_THREAD_ONLY(); return dateSetCount_; }

    /// How far one row moves the date in the current mode, in seconds.
    double stepSeconds() const;
    /// The text of a date in the current mode (in UTC, so pictures do not follow the
    /// machine's zone).
    std::string textForDate(rt::Date date) const;
    /// The labels of the rows, top to bottom; the middle one is the selected date.
    const std::vector<rt::Ref<Label>>& rowLabels() const { RT_MAIN_THREAD_ONLY(); return rows_; }

    void layoutSubviews() override;
    bool beginTrackingWithTouch(Touch& touch) override;
    bool continueTrackingWithTouch(Touch& touch) override;
    void endTrackingWithTouch(Touch* touch) override;
    /// The picker keeps its drags from the pans of its ancestors.
    bool takesPrecedenceOver(const GestureRecognizer& recognizer) const override;

protected:
    void didInitialize() override;

private:
    rt::Date clamped(rt::Date d) const;
    void refreshRows();
    /// Moves the date by whole steps as a touch does; sends value-changed on a change.
    void moveBySteps(long steps);

    DatePickerMode mode_ = DatePickerMode::DateAndTime;
    std::optional<rt::Date> minimumDate_, maximumDate_;
    rt::Date date_ = rt::Date::now();
    std::size_t dateSetCount_ = 0;
    std::vector<rt::Ref<Label>> rows_;
    rt::Ref<View> selectionBand_;
    double touchStartY_ = 0;
    bool moved_ = false;
};

}  // namespace ui
