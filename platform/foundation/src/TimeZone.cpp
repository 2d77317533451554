#include <fnd/TimeZone.h>

#include "IcuText.h"

#include <functional>
#include <mutex>
#include <utility>

#include <unicode/timezone.h>
#include <unicode/ucal.h>

namespace fnd {

namespace {

std::mutex& defaultMutex() {
    static std::mutex m;
    return m;
}
rt::Ref<TimeZone>& installedDefault() {
    static rt::Ref<TimeZone> zone;
    return zone;
}

}  // namespace

TimeZone::TimeZone(std::unique_ptr<icu::TimeZone> zone) : zone_(std::move(zone)) {
    icu::UnicodeString id;
    zone_->getID(id);
    id.toUTF8String(identifier_);
}

TimeZone::~TimeZone() = default;

rt::Ref<TimeZone> TimeZone::named(std::string_view identifier) {
    std::unique_ptr<icu::TimeZone> zone(icu::TimeZone::createTimeZone(icutext::fromUtf8(identifier)));
    if (!zone) return nullptr;
    icu::UnicodeString got;
    zone->getID(got);
    if (got == icu::UnicodeString(UCAL_UNKNOWN_ZONE_ID)) return nullptr;
    return rt::make<TimeZone>(std::move(zone));
}

rt::Ref<TimeZone> TimeZone::withAbbreviation(std::string_view abbreviation) {
    static const std::pair<std::string_view, std::string_view> table[] = {
        {"UTC", "UTC"},  {"GMT", "GMT"},
        {"PST", "America/Los_Angeles"}, {"PDT", "America/Los_Angeles"},
        {"MST", "America/Denver"},      {"MDT", "America/Denver"},
        {"CST", "America/Chicago"},     {"CDT", "America/Chicago"},
        {"EST", "America/New_York"},    {"EDT", "America/New_York"},
        {"AKST", "America/Anchorage"},  {"AKDT", "America/Anchorage"},
        {"HST", "Pacific/Honolulu"},    {"BST", "Europe/London"},
        {"WET", "Europe/Lisbon"},       {"CET", "Europe/Paris"},
        {"CEST", "Europe/Paris"},       {"EET", "Europe/Helsinki"},
        {"EEST", "Europe/Helsinki"},    {"MSK", "Europe/Moscow"},
        {"IST", "Asia/Kolkata"},        {"JST", "Asia/Tokyo"},
        {"KST", "Asia/Seoul"},          {"HKT", "Asia/Hong_Kong"},
    };
    for (const auto& [abbr, id] : table)
        if (abbr == abbreviation) return named(id);
    return nullptr;
}

rt::Ref<TimeZone> TimeZone::utc() { return named("UTC"); }

rt::Ref<TimeZone> TimeZone::defaultTimeZone() {
    {
        std::lock_guard lock(defaultMutex());
        if (installedDefault()) return installedDefault();
    }
    // The host's zone is read once: finding it means reading the system's configuration.
    static const rt::Ref<TimeZone> host =
        rt::make<TimeZone>(std::unique_ptr<icu::TimeZone>(icu::TimeZone::detectHostTimeZone()));
    return host;
}

void TimeZone::setDefault(rt::Ref<TimeZone> zone) {
    std::lock_guard lock(defaultMutex());
    installedDefault() = std::move(zone);
}

int TimeZone::secondsFromGMT(rt::Date date) const {
    int32_t raw = 0, dst = 0;
    UErrorCode status = U_ZERO_ERROR;
    zone_->getOffset(date.secondsSince1970 * 1000.0, false, raw, dst, status);
    return U_SUCCESS(status) ? (raw + dst) / 1000 : 0;
}

bool TimeZone::isEqual(const rt::Object& other) const {
    auto* o = dynamic_cast<const TimeZone*>(&other);
    return o && o->identifier_ == identifier_;
}

std::size_t TimeZone::hash() const { return std::hash<std::string>()(identifier_); }

}  // namespace fnd
