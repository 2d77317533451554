#pragma once
// A date as a relative text ("3 hours ago", "Friday at 9:15PM"), a tiny relative text
// ("3h") or an absolute text ("Mar 4 at 9:15PM"). "Now" is the main run loop's clock;
// calendar fields are read in the default time zone.

#include <atomic>
#include <cstdint>
#include <string>

#include "ValueTransformer/ValueTransformer.h"
#include <fnd/Calendar.h>
#include <rt/Locked.h>
#include <fnd/Locale.h>

namespace zid {

class LocalizedDateValueTransformer : public ValueTransformer {
    RT_CLASS(LocalizedDateValueTransformer, ValueTransformer)
public:
    enum Type : std::uint64_t { Relative = 0, TinyRelative = 1, Absolute = 2 };

    /// A nullptr locale means the current locale at each use.
    explicit LocalizedDateValueTransformer(rt::Ref<fnd::Locale> locale = nullptr, std::uint64_t localizedDateType = Relative)
        : locale_(std::move(locale)), localizedDateType_(localizedDateType) {}

    static rt::Ref<LocalizedDateValueTransformer> localizedDateValueTransformerWithType(std::uint64_t type);
    static rt::Ref<LocalizedDateValueTransformer> localizedDateValueTransformerWithLocale(rt::Ref<fnd::Locale> locale,
                                                                                         std::uint64_t type);

    std::uint64_t localizedDateType() const { return localizedDateType_; }
    void setLocalizedDateType(std::uint64_t type) { localizedDateType_ = type; }
    /// The locale the date texts are written in (nullptr: the current locale).
    rt::Ref<fnd::Locale> locale() const { return locale_.get(); }
    void setLocale(rt::Ref<fnd::Locale> locale) { locale_.set(std::move(locale)); }

    /// Text by type for a date; nil for nil; any other type returns the value itself.
    rt::Value transformedValue(const rt::Value& value) const override;

    std::string relativeDateString(rt::Date date) const;
    std::string absoluteDateString(rt::Date date) const;
    std::string relativeFutureDateStringFromDate(rt::Date date) const;
    std::string relativePastDateStringFromDate(rt::Date date) const;
    std::string tinyRelativeDateStringFromDate(rt::Date date) const;

    /// The difference between the dates in years, months, weeks, days, hours, minutes
    /// and seconds.
    static fnd::DateComponents dateComponentsFromDate(rt::Date from, rt::Date to);
    /// The difference from the date to now.
    static fnd::DateComponents dateComponentsFromDate(rt::Date from);

private:
    std::string formatDate(rt::Date date, const char* pattern) const;

    rt::Locked<rt::Ref<fnd::Locale>> locale_;
    std::atomic<std::uint64_t> localizedDateType_;
};

}  // namespace zid
