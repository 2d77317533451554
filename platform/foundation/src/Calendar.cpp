#include <fnd/Calendar.h>

#include <memory>

#include <unicode/gregocal.h>

namespace fnd {

namespace {

std::unique_ptr<icu::Calendar> makeCalendar(const TimeZone& zone, const Locale& locale) {
    UErrorCode status = U_ZERO_ERROR;
    auto cal = std::make_unique<icu::GregorianCalendar>(zone.icuZone(), locale.icuLocale(), status);
    if (U_FAILURE(status)) return nullptr;
    return cal;
}

UDate toUDate(rt::Date d) { return d.secondsSince1970 * 1000.0; }

}  // namespace

Calendar::Calendar(rt::Ref<TimeZone> zone, rt::Ref<Locale> locale) : zone_(std::move(zone)), locale_(std::move(locale)) {}

rt::Ref<Calendar> Calendar::current() { return rt::make<Calendar>(); }

rt::Ref<TimeZone> Calendar::timeZone() const { return zone_ ? zone_ : TimeZone::defaultTimeZone(); }
rt::Ref<Locale> Calendar::locale() const { return locale_ ? locale_ : Locale::current(); }

DateComponents Calendar::components(unsigned units, rt::Date date) const {
    DateComponents out;
    auto cal = makeCalendar(*timeZone(), *locale());
    if (!cal) return out;
    UErrorCode status = U_ZERO_ERROR;
    cal->setTime(toUDate(date), status);
    auto field = [&](UCalendarDateFields f) -> long { return cal->get(f, status); };
    if (units & CalendarUnitYear) out.year = field(UCAL_EXTENDED_YEAR);
    if (units & CalendarUnitMonth) out.month = field(UCAL_MONTH) + 1;
    if (units & CalendarUnitWeekOfYear) out.weekOfYear = field(UCAL_WEEK_OF_YEAR);
    if (units & CalendarUnitDay) out.day = field(UCAL_DATE);
    if (units & CalendarUnitHour) out.hour = field(UCAL_HOUR_OF_DAY);
    if (units & CalendarUnitMinute) out.minute = field(UCAL_MINUTE);
    if (units & CalendarUnitSecond) out.second = field(UCAL_SECOND);
    if (units & CalendarUnitWeekday) out.weekday = field(UCAL_DAY_OF_WEEK);
    if (U_FAILURE(status)) return DateComponents{};
    return out;
}

DateComponents Calendar::components(unsigned units, rt::Date from, rt::Date to) const {
    DateComponents out;
    auto cal = makeCalendar(*timeZone(), *locale());
    if (!cal) return out;
    UErrorCode status = U_ZERO_ERROR;
    cal->setTime(toUDate(from), status);
    const UDate target = toUDate(to);
    // fieldDifference moves the calendar forward by what it counts, so the smaller
    // units see only the rest.
    auto diff = [&](UCalendarDateFields f) -> long { return cal->fieldDifference(target, f, status); };
    if (units & CalendarUnitYear) out.year = diff(UCAL_YEAR);
    if (units & CalendarUnitMonth) out.month = diff(UCAL_MONTH);
    if (units & CalendarUnitWeekOfYear) out.weekOfYear = diff(UCAL_WEEK_OF_YEAR);
    if (units & CalendarUnitDay) out.day = diff(UCAL_DATE);
    if (units & CalendarUnitHour) out.hour = diff(UCAL_HOUR_OF_DAY);
    if (units & CalendarUnitMinute) out.minute = diff(UCAL_MINUTE);
    if (units & CalendarUnitSecond) out.second = diff(UCAL_SECOND);
    if (U_FAILURE(status)) return DateComponents{};
    return out;
}

std::optional<rt::Date> Calendar::dateFromComponents(int year, int month, int day, int hour, int minute,
                                                     int second) const {
    if (month < 1 || month > 12 || day < 1 || day > 31 || hour < 0 || hour > 23 || minute < 0 || minute > 59 ||
        second < 0 || second > 59)
        return std::nullopt;
    auto cal = makeCalendar(*timeZone(), *locale());
    if (!cal) return std::nullopt;
    cal->setLenient(false);
    cal->clear();
    cal->set(year, month - 1, day, hour, minute, second);
    UErrorCode status = U_ZERO_ERROR;
    UDate ms = cal->getTime(status);
    if (U_FAILURE(status)) return std::nullopt;
    return rt::Date{ms / 1000.0};
}

}  // namespace fnd
