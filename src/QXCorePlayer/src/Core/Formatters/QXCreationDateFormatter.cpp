#include "Core/Formatters/QXCreationDateFormatter.h"

#include <QXCorePlayer/Core/Resources/QXCorePlayerResources.h>
#include <QXFoundation/DateUtils/DateFormatterCaching.h>
#include <fnd/Calendar.h>
#include <rt/Format.h>

#include <cmath>

namespace zid {

namespace {
/// Whole minutes from date to now, never negative.
long long totalMinutes(rt::Date date, rt::Date now) {
    return static_cast<long long>(std::trunc(std::fabs(now.timeIntervalSince(date)) / 60.0));
}
}  // namespace

std::optional<std::string> QXCreationDateFormatter::creationDateToText(std::optional<rt::Date> date,
                                                                       const std::string& channelTitle) {
    return creationDateToText(date, &channelTitle, rt::Date::now());
}

std::optional<std::string> QXCreationDateFormatter::creationDateToText(std::optional<rt::Date> date) {
    return creationDateToText(date, nullptr, rt::Date::now());
}

std::optional<std::string> QXCreationDateFormatter::creationDateToText(std::optional<rt::Date> date,
                                                                       const std::string* channelTitle, rt::Date now) {
    if (!date) return std::nullopt;
    // A date in the future (clock skew) counts as now: no negative spans.
    rt::Date from = date->secondsSince1970 > now.secondsSince1970 ? now : *date;
    auto c = fnd::Calendar::current()->components(
        fnd::CalendarUnitYear | fnd::CalendarUnitMonth | fnd::CalendarUnitDay | fnd::CalendarUnitHour | fnd::CalendarUnitMinute,
        from, now);
    long years = c.year.value_or(0), months = c.month.value_or(0), days = c.day.value_or(0);
    long hours = c.hour.value_or(0), minutes = c.minute.value_or(0);
    long long total = totalMinutes(from, now);
    const std::string suffix = channelTitle ? ".on" : "";
    auto text = [&](const std::string& key, const rt::Value& arg) {
        auto format = qxCorePlayerLocalizedString("QXPlayer.player.created." + key + suffix);
        return channelTitle ? rt::format(format, arg, *channelTitle) : rt::format(format, arg);
    };
    if (years >= 1) return text(years == 1 ? "year" : "years", static_cast<long long>(years));
    if (months >= 1) return text(months == 1 ? "month" : "months", static_cast<long long>(months));
    if (total >= 10080) {
        long long weeks = total / 10080;
        return text(weeks == 1 ? "week" : "weeks", weeks);
    }
    if (days >= 2) return text("days", static_cast<long long>(days));
    if (days == 1)
        return text("yesterday", cachedLocalizedStringFromDate(*date, fnd::DateFormatterStyle::None,
                                                               fnd::DateFormatterStyle::Short));
    if (hours < 1) return text(minutes <= 1 ? "minute" : "minutes", static_cast<long long>(minutes));
    return text(hours == 1 ? "hour" : "hours", static_cast<long long>(hours));
}

std::optional<std::string> QXStartedDateFormatter::startDateToText(std::optional<rt::Date> date) {
    return startDateToText(date, rt::Date::now());
}

std::optional<std::string> QXStartedDateFormatter::startDateToText(std::optional<rt::Date> date, rt::Date now) {
    if (!date) return std::nullopt;
    long long total = totalMinutes(*date, now);
    auto text = [](const char* key) { return qxCorePlayerLocalizedString(std::string("QXPlayer.player.started.") + key); };
    if (total >= 525660) return text("years");
    if (total >= 43260) return text("months");
    if (total >= 10140) return text("weeks");
    if (total >= 1500) return text("days");
    if (total >= 60) return rt::format(text("hours"), total / 60, total % 60);
    if (total >= 1) return rt::format(text("minutes"), total);
    return text("justNow");
}

}  // namespace zid
