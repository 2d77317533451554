#include "ValueTransformer/LocalizedDateValueTransformer.h"

#include <cstdlib>

#include <QXFoundation/DateUtils/DateFormatterCaching.h>
#include <QXFoundation/Extensions/BundleExtensions.h>
#include <fnd/RunLoop.h>
#include <rt/Format.h>

namespace zid {

namespace {

constexpr unsigned kAllUnits = fnd::CalendarUnitYear | fnd::CalendarUnitMonth | fnd::CalendarUnitWeekOfYear |
                               fnd::CalendarUnitDay | fnd::CalendarUnitHour | fnd::CalendarUnitMinute |
                               fnd::CalendarUnitSecond;

rt::Date mainClockDate() { return fnd::RunLoop::main()->clock().date(); }

std::string text(const char* key) { return localizedStringForKey(key, QXFoundationBundle()); }

std::string counted(const char* one, const char* many, long count) {
    return rt::format(text(count == 1 ? one : many), static_cast<int>(count));
}

}  // namespace

rt::Ref<LocalizedDateValueTransformer> LocalizedDateValueTransformer::localizedDateValueTransformerWithType(
    std::uint64_t type) {
    return rt::make<LocalizedDateValueTransformer>(nullptr, type);
}

rt::Ref<LocalizedDateValueTransformer> LocalizedDateValueTransformer::localizedDateValueTransformerWithLocale(
    rt::Ref<fnd::Locale> locale, std::uint64_t type) {
    return rt::make<LocalizedDateValueTransformer>(std::move(locale), type);
}

rt::Value LocalizedDateValueTransformer::transformedValue(const rt::Value& value) const {
    if (value.isNil()) return {};
    auto type = localizedDateType_.load();
    if (type > Absolute || !value.isDate()) return value;
    rt::Date date = value.date();
    switch (type) {
        case Relative: return relativeDateString(date);
        case TinyRelative: return tinyRelativeDateStringFromDate(date);
        default: return absoluteDateString(date);
    }
}

fnd::DateComponents LocalizedDateValueTransformer::dateComponentsFromDate(rt::Date from, rt::Date to) {
    return fnd::Calendar::current()->components(kAllUnits, from, to);
}

fnd::DateComponents LocalizedDateValueTransformer::dateComponentsFromDate(rt::Date from) {
    return dateComponentsFromDate(from, mainClockDate());
}

std::string LocalizedDateValueTransformer::formatDate(rt::Date date, const char* pattern) const {
    return cachedLocalizedStringFromDate(date, pattern, locale());
}

std::string LocalizedDateValueTransformer::relativeDateString(rt::Date date) const {
    if (date.timeIntervalSince(mainClockDate()) < 0) return relativePastDateStringFromDate(date);
    return relativeFutureDateStringFromDate(date);
}

std::string LocalizedDateValueTransformer::relativePastDateStringFromDate(rt::Date date) const {
    auto c = dateComponentsFromDate(date, mainClockDate());
    if (c.year.value_or(0) >= 1) return counted("app.date.relative.year", "app.date.relative.years", *c.year);
    if (c.month.value_or(0) >= 1) return counted("app.date.relative.month", "app.date.relative.months", *c.month);
    if (c.weekOfYear.value_or(0) >= 1)
        return counted("app.date.relative.week", "app.date.relative.weeks", *c.weekOfYear);
    if (c.day.value_or(0) >= 1) return counted("app.date.relative.day", "app.date.relative.days", *c.day);
    if (c.hour.value_or(0) >= 1) return counted("app.date.relative.hour", "app.date.relative.hours", *c.hour);
    if (c.minute.value_or(0) >= 1) return counted("app.date.relative.minute", "app.date.relative.minutes", *c.minute);
    return text("app.date.justnow");
}

std::string LocalizedDateValueTransformer::relativeFutureDateStringFromDate(rt::Date date) const {
    auto c = dateComponentsFromDate(mainClockDate(), date);
    // Within the next two days the weekday says enough; a date a year (or a month, or a
    // week) and a day ahead is not "Friday".
    if (c.year.value_or(0) <= 0 && c.month.value_or(0) <= 0 && c.weekOfYear.value_or(0) <= 0 && c.day.value_or(0) <= 2)
        return formatDate(date, "EEEE 'at' h:mma");
    return absoluteDateString(date);
}

std::string LocalizedDateValueTransformer::absoluteDateString(rt::Date date) const {
    auto calendar = fnd::Calendar::current();
    auto year = calendar->components(fnd::CalendarUnitYear, date).year;
    auto thisYear = calendar->components(fnd::CalendarUnitYear, mainClockDate()).year;
    return formatDate(date, year == thisYear ? "MMM d 'at' h:mma" : "MMM d, yyyy 'at' h:mma");
}

std::string LocalizedDateValueTransformer::tinyRelativeDateStringFromDate(rt::Date date) const {
    constexpr unsigned units = fnd::CalendarUnitYear | fnd::CalendarUnitWeekOfYear | fnd::CalendarUnitDay |
                               fnd::CalendarUnitHour | fnd::CalendarUnitMinute | fnd::CalendarUnitSecond;
    auto c = fnd::Calendar::current()->components(units, date, mainClockDate());
    const std::pair<std::optional<long>, const char*> order[] = {
        {c.year, "%dy"}, {c.weekOfYear, "%dw"}, {c.day, "%dd"}, {c.hour, "%dh"}, {c.minute, "%dm"}};
    for (const auto& [value, format] : order) {
        long v = std::labs(value.value_or(0));
        if (v >= 1) return rt::format(format, static_cast<int>(v));
    }
    return rt::format("%ds", static_cast<int>(std::labs(c.second.value_or(0))));
}

}  // namespace zid
