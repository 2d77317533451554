#include <fnd/DateFormat.h>

#include "IcuText.h"

#include <unicode/dtfmtsym.h>
#include <unicode/uchar.h>
#include <unicode/smpdtfmt.h>

namespace fnd {

namespace {

using icutext::fromUtf8;
using icutext::toUtf8;

icu::DateFormat::EStyle icuStyle(DateFormatterStyle s) {
    switch (s) {
        case DateFormatterStyle::Short: return icu::DateFormat::kShort;
        case DateFormatterStyle::Medium: return icu::DateFormat::kMedium;
        case DateFormatterStyle::Long: return icu::DateFormat::kLong;
        case DateFormatterStyle::Full: return icu::DateFormat::kFull;
        case DateFormatterStyle::None: break;
    }
    return icu::DateFormat::kNone;
}

/// Whether the pattern has a fraction-of-a-second field ('S' outside quotes).
bool hasFractionField(const icu::UnicodeString& pattern) {
    bool quoted = false;
    for (int32_t i = 0; i < pattern.length(); ++i) {
        const char16_t c = pattern.charAt(i);
        if (c == u'\'') quoted = !quoted;  // '' toggles twice: a literal quote
        else if (!quoted && c == u'S') return true;
    }
    return false;
}

/// The parser divides a fraction of a second by ten to the power of its digit count
/// in 32-bit integers: from some 35 digits on that is zero and the division traps.
/// The fraction's digits are among the text's, so a text with at most this many
/// decimal digits in all is safe; no date needs more.
constexpr int32_t MaxDigitsWithFraction = 32;

int32_t decimalDigits(const icu::UnicodeString& text) {
    int32_t digits = 0;
    for (int32_t i = 0; i < text.length();) {
        const UChar32 c = text.char32At(i);
        if (u_isdigit(c)) ++digits;
        i += U16_LENGTH(c);
    }
    return digits;
}


}  // namespace

DateFormatter::DateFormatter(DateFormatterStyle dateStyle, DateFormatterStyle timeStyle, rt::Ref<Locale> locale)
    : locale_(locale ? std::move(locale) : Locale::current()), dateStyle_(dateStyle), timeStyle_(timeStyle) {
    if (dateStyle == DateFormatterStyle::None && timeStyle == DateFormatterStyle::None) return;
    format_.reset(icu::DateFormat::createDateTimeInstance(icuStyle(dateStyle), icuStyle(timeStyle), locale_->icuLocale()));
}

DateFormatter::DateFormatter(std::string_view pattern, rt::Ref<Locale> locale)
    : locale_(locale ? std::move(locale) : Locale::current()) {
    UErrorCode status = U_ZERO_ERROR;
    auto f = std::make_unique<icu::SimpleDateFormat>(fromUtf8(pattern), locale_->icuLocale(), status);
    if (U_SUCCESS(status)) format_ = std::move(f);
}

DateFormatter::~DateFormatter() = default;

void DateFormatter::setTimeZone(rt::Ref<TimeZone> zone) {
    std::lock_guard lock(mutex_);
    zone_ = std::move(zone);
}

rt::Ref<TimeZone> DateFormatter::timeZone() const {
    std::lock_guard lock(mutex_);
    return zone_ ? zone_ : TimeZone::defaultTimeZone();
}

void DateFormatter::applyZone() const {
    format_->setTimeZone((zone_ ? zone_ : TimeZone::defaultTimeZone())->icuZone());
}

std::string DateFormatter::dateFormat() const {
    std::lock_guard lock(mutex_);
    auto* simple = dynamic_cast<icu::SimpleDateFormat*>(format_.get());
    if (!simple) return {};
    icu::UnicodeString pattern;
    simple->toPattern(pattern);
    return toUtf8(pattern);
}

std::string DateFormatter::stringFromDate(rt::Date date) const {
    std::lock_guard lock(mutex_);
    if (!format_) return {};
    applyZone();
    icu::UnicodeString out;
    format_->format(date.secondsSince1970 * 1000.0, out);
    return toUtf8(out);
}

std::optional<rt::Date> DateFormatter::dateFromString(std::string_view text) const {
    std::lock_guard lock(mutex_);
    if (!format_) return std::nullopt;
    applyZone();
    format_->setLenient(false);
    icu::UnicodeString u = fromUtf8(text);
    icu::UnicodeString pattern;
    const auto* simple = dynamic_cast<const icu::SimpleDateFormat*>(format_.get());
    const bool fraction = !simple || hasFractionField(simple->toPattern(pattern));
    if (fraction && decimalDigits(u) > MaxDigitsWithFraction) return std::nullopt;
    icu::ParsePosition pos(0);
    UDate ms = format_->parse(u, pos);
    if (pos.getErrorIndex() >= 0 || pos.getIndex() != u.length()) return std::nullopt;
    return rt::Date{ms / 1000.0};
}

std::vector<std::string> DateFormatter::symbols(int width) const {
    UErrorCode status = U_ZERO_ERROR;
    icu::DateFormatSymbols syms(locale_->icuLocale(), status);
    std::vector<std::string> out;
    if (U_FAILURE(status)) return out;
    int32_t count = 0;
    const icu::UnicodeString* days =
        syms.getWeekdays(count, icu::DateFormatSymbols::FORMAT, static_cast<icu::DateFormatSymbols::DtWidthType>(width));
    for (int32_t i = UCAL_SUNDAY; i <= UCAL_SATURDAY && i < count; ++i) out.push_back(toUtf8(days[i]));
    return out;
}

std::vector<std::string> DateFormatter::weekdaySymbols() const { return symbols(icu::DateFormatSymbols::WIDE); }
std::vector<std::string> DateFormatter::shortWeekdaySymbols() const { return symbols(icu::DateFormatSymbols::ABBREVIATED); }
std::vector<std::string> DateFormatter::veryShortWeekdaySymbols() const { return symbols(icu::DateFormatSymbols::NARROW); }

}  // namespace fnd
