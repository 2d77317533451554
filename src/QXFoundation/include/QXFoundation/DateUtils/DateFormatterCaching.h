#pragma once
// A process-wide cache of date formatters, because making one is expensive. Keys name
// the locale by its identifier, so equal locales share formatters. Safe from any
// thread.

#include <map>
#include <string>
#include <string_view>

#include <fnd/DateFormat.h>

namespace zid {

/// The cached formatter for the styles and locale (nullptr: the current locale).
rt::Ref<fnd::DateFormatter> formatterWithDateStyle(fnd::DateFormatterStyle dateStyle, fnd::DateFormatterStyle timeStyle,
                                                   const rt::Ref<fnd::Locale>& locale = nullptr);
/// The cached formatter for the pattern and locale (nullptr: the current locale).
rt::Ref<fnd::DateFormatter> formatterWithDateFormat(std::string_view pattern,
                                                    const rt::Ref<fnd::Locale>& locale = nullptr);

std::string cachedLocalizedStringFromDate(rt::Date date, std::string_view pattern,
                                          const rt::Ref<fnd::Locale>& locale = nullptr);
std::string cachedLocalizedStringFromDate(rt::Date date, fnd::DateFormatterStyle dateStyle,
                                          fnd::DateFormatterStyle timeStyle);

/// "<locale>.<date style>.<time style>"
std::string cacheKeyWithDateStyle(fnd::DateFormatterStyle dateStyle, fnd::DateFormatterStyle timeStyle,
                                  const fnd::Locale& locale);
/// "<locale>.<pattern>"
std::string cacheKeyWithDateFormat(std::string_view pattern, const fnd::Locale& locale);

/// A snapshot of the cache.
std::map<std::string, rt::Ref<fnd::DateFormatter>> dateFormatterCache();

}  // namespace zid
