#include <QXFoundation/DateUtils/DateFormatterCaching.h>

#include <mutex>

#include <rt/Format.h>

namespace zid {

namespace {

std::mutex& cacheMutex() {
    static std::mutex m;
    return m;
}
std::map<std::string, rt::Ref<fnd::DateFormatter>>& cache() {
    static std::map<std::string, rt::Ref<fnd::DateFormatter>> formatters;
    return formatters;
}

template <class Make>
rt::Ref<fnd::DateFormatter> cached(const std::string& key, Make make) {
    std::lock_guard lock(cacheMutex());
    auto& slot = cache()[key];
    if (!slot) slot = make();
    return slot;
}

}  // namespace

std::string cacheKeyWithDateStyle(fnd::DateFormatterStyle dateStyle, fnd::DateFormatterStyle timeStyle,
                                  const fnd::Locale& locale) {
    return rt::format("%@.%lu.%lu", locale.identifier(), static_cast<unsigned>(dateStyle),
                      static_cast<unsigned>(timeStyle));
}

std::string cacheKeyWithDateFormat(std::string_view pattern, const fnd::Locale& locale) {
    return rt::format("%@.%@", locale.identifier(), std::string(pattern));
}

rt::Ref<fnd::DateFormatter> formatterWithDateStyle(fnd::DateFormatterStyle dateStyle, fnd::DateFormatterStyle timeStyle,
                                                   const rt::Ref<fnd::Locale>& locale) {
    auto loc = locale ? locale : fnd::Locale::current();
    return cached(cacheKeyWithDateStyle(dateStyle, timeStyle, *loc),
                  [&] { return rt::make<fnd::DateFormatter>(dateStyle, timeStyle, loc); });
}

rt::Ref<fnd::DateFormatter> formatterWithDateFormat(std::string_view pattern, const rt::Ref<fnd::Locale>& locale) {
    auto loc = locale ? locale : fnd::Locale::current();
    return cached(cacheKeyWithDateFormat(pattern, *loc), [&] { return rt::make<fnd::DateFormatter>(pattern, loc); });
}

std::string cachedLocalizedStringFromDate(rt::Date date, std::string_view pattern, const rt::Ref<fnd::Locale>& locale) {
    return formatterWithDateFormat(pattern, locale)->stringFromDate(date);
}

std::string cachedLocalizedStringFromDate(rt::Date date, fnd::DateFormatterStyle dateStyle,
                                          fnd::DateFormatterStyle timeStyle) {
    return formatterWithDateStyle(dateStyle, timeStyle)->stringFromDate(date);
}

std::map<std::string, rt::Ref<fnd::DateFormatter>> dateFormatterCache() {
    std::lock_guard lock(cacheMutex());
    return cache();
}

}  // namespace zid
