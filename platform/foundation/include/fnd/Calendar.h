#pragma once
// The Gregorian calendar over ICU: fields of a date and differences between dates in
// a time zone.

#include <optional>

#include <fnd/Locale.h>
#include <fnd/TimeZone.h>
#include <rt/Object.h>
#include <rt/Value.h>

namespace fnd {

enum CalendarUnit : unsigned {
    CalendarUnitYear = 1u << 0,
    CalendarUnitMonth = 1u << 1,
    CalendarUnitWeekOfYear = 1u << 2,
    CalendarUnitDay = 1u << 3,
    CalendarUnitHour = 1u << 4,
    CalendarUnitMinute = 1u << 5,
    CalendarUnitSecond = 1u << 6,
    CalendarUnitWeekday = 1u << 7,  // 1 Sunday ... 7 Saturday, fields only
};

/// Calendar fields or differences; only the units asked for are set.
struct DateComponents {
    std::optional<long> year, month, weekOfYear, day, hour, minute, second, weekday;
};

class Calendar : public rt::Object {
    RT_CLASS(Calendar, rt::Object)
public:
    /// A Gregorian calendar; a nullptr zone or locale means the default zone and the
    /// current locale at the moment of each call.
    explicit Calendar(rt::Ref<TimeZone> zone = nullptr, rt::Ref<Locale> locale = nullptr);
    /// The user's calendar: default zone, current locale, both followed as they change.
    static rt::Ref<Calendar> current();

    rt::Ref<TimeZone> timeZone() const;
    rt::Ref<Locale> locale() const;

    /// The fields of a date (month 1-12, day of month, weekday 1 Sunday-7 Saturday).
    DateComponents components(unsigned units, rt::Date date) const;
    /// The difference from one date to another in the units asked for, largest unit
    /// first: each unit takes as much as fits, the rest goes to the smaller ones. Later
    /// dates give positive values, earlier ones negative.
    DateComponents components(unsigned units, rt::Date from, rt::Date to) const;
    /// The moment of a wall-clock time in this calendar's zone; nothing for fields out
    /// of range (month 1-12, day 1-31, hour 0-23, minute and second 0-59).
    std::optional<rt::Date> dateFromComponents(int year, int month, int day, int hour = 0, int minute = 0,
                                               int second = 0) const;

private:
    rt::Ref<TimeZone> zone_;
    rt::Ref<Locale> locale_;
};

}  // namespace fnd
