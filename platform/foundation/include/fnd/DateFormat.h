#pragma once
// Date formatters over ICU: by date and time styles or by a pattern, for a locale and a
// time zone. A formatter may be shared between threads: each use is serialized.

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <fnd/Locale.h>
#include <fnd/TimeZone.h>
#include <rt/Object.h>
#include <rt/Value.h>

#include <fnd/IcuTypes.h>

namespace fnd {

enum class DateFormatterStyle : unsigned { None = 0, Short = 1, Medium = 2, Long = 3, Full = 4 };

class DateFormatter : public rt::Object {
    RT_CLASS(DateFormatter, rt::Object)
public:
    /// A formatter by styles; None for both formats nothing (an empty text).
    DateFormatter(DateFormatterStyle dateStyle, DateFormatterStyle timeStyle, rt::Ref<Locale> locale = nullptr);
    /// A formatter by pattern ("yyyy-MM-dd HH:mm:ss", ICU pattern syntax).
    explicit DateFormatter(std::string_view pattern, rt::Ref<Locale> locale = nullptr);
    ~DateFormatter() override;

    /// The zone texts are written and read in; nullptr (the default) means the default
    /// time zone at the moment of each call.
    void setTimeZone(rt::Ref<TimeZone> zone);
    rt::Ref<TimeZone> timeZone() const;
    rt::Ref<Locale> locale() const { return locale_; }
    /// The pattern in use (for styled formatters, the locale's pattern for the styles).
    std::string dateFormat() const;
    DateFormatterStyle dateStyle() const { return dateStyle_; }
    DateFormatterStyle timeStyle() const { return timeStyle_; }

    std::string stringFromDate(rt::Date date) const;
    /// Strict parsing: the whole text must match the pattern; nothing otherwise.
    std::optional<rt::Date> dateFromString(std::string_view text) const;

    /// The locale's weekday names, Sunday first (seven each).
    std::vector<std::string> weekdaySymbols() const;
    std::vector<std::string> shortWeekdaySymbols() const;
    std::vector<std::string> veryShortWeekdaySymbols() const;

private:
    std::vector<std::string> symbols(int width) const;
    void applyZone() const;

    rt::Ref<Locale> locale_;
    DateFormatterStyle dateStyle_ = DateFormatterStyle::None;
    DateFormatterStyle timeStyle_ = DateFormatterStyle::None;
    rt::Ref<TimeZone> zone_;
    std::unique_ptr<icu::DateFormat> format_;  // null when nothing is to be formatted
    mutable std::mutex mutex_;
};

}  // namespace fnd
