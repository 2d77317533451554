#include "DateUtils/DateExtensions.h"

#include <fnd/DateFormat.h>

namespace zid {

namespace {
constexpr const char* kServicePattern = "yyyy-MM-dd HH:mm:ss";
}

std::optional<rt::Date> dateFromPSTString(const rt::Value& text) {
    if (!text.isString()) return std::nullopt;
    // The formatter serializes its own use, so one parser serves every thread.
    static const rt::Ref<fnd::DateFormatter> parser = [] {
        auto f = rt::make<fnd::DateFormatter>(kServicePattern, fnd::Locale::withIdentifier("en_US_POSIX"));
        f->setTimeZone(fnd::TimeZone::withAbbreviation("PST"));
        return f;
    }();
    return parser->dateFromString(text.string());
}

std::string UTCFormatDate(rt::Date date) {
    auto formatter = rt::make<fnd::DateFormatter>(kServicePattern, fnd::Locale::withIdentifier("en_US_POSIX"));
    formatter->setTimeZone(fnd::TimeZone::utc());
    return formatter->stringFromDate(date);
}

}  // namespace zid
