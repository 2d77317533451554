// Date patterns and dates come from the service's answers and from settings.
// Input: one byte picking the locale, the pattern, NUL, the text to read.

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include <fnd/DateFormat.h>
#include <fnd/Locale.h>
#include <fnd/TimeZone.h>

#include "FuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const char* const locales[] = {"en_US_POSIX", "en_US", "de_DE", "ja_JP", "ar_EG", "xx_YY"};
    zidfuzz::FuzzInput input(data, size);
    const std::uint8_t choice = input.byte();
    const std::string pattern(input.field());
    const std::string text(input.rest());
    if (pattern.size() > 256 || text.size() > 1024) return 0;  // longer adds nothing but time
    input.reached();

    auto locale = fnd::Locale::withIdentifier(locales[choice % 6]);
    auto formatter = rt::make<fnd::DateFormatter>(pattern, locale);
    if (choice & 0x80) formatter->setTimeZone(fnd::TimeZone::utc());
    (void)formatter->dateFormat();
    auto date = formatter->dateFromString(text);
    const double seconds = date ? date->secondsSince1970 : static_cast<double>(static_cast<std::int8_t>(choice)) * 1e7;
    std::string written = formatter->stringFromDate(rt::Date{seconds});
    (void)formatter->dateFromString(written);
    // Extreme instants are written without harm too.
    (void)formatter->stringFromDate(rt::Date{1e300});
    (void)formatter->stringFromDate(rt::Date{-1e300});
    return 0;
}
