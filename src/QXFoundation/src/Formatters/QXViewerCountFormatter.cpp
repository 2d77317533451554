#include <QXFoundation/Formatters/QXViewerCountFormatter.h>

#include <mutex>

#include <QXFoundation/Extensions/BundleExtensions.h>
#include <rt/Format.h>

namespace zid {

namespace {

std::mutex& sharedFormattersMutex() {
    static std::mutex m;
    return m;
}
std::map<std::string, rt::Ref<QXViewerCountFormatter>>& sharedFormatters() {
    static std::map<std::string, rt::Ref<QXViewerCountFormatter>> formatters;
    return formatters;
}

}  // namespace

std::string QXViewerCountFormatter::cacheKeyForType(std::uint64_t type, std::uint64_t style) {
    return rt::format("viewercount-formatter-%lu.%lu", type, style);
}

rt::Ref<QXViewerCountFormatter> QXViewerCountFormatter::formatterFor(std::uint64_t type, std::uint64_t style) {
    std::lock_guard lock(sharedFormattersMutex());
    auto& slot = sharedFormatters()[cacheKeyForType(type, style)];
    if (!slot) slot = rt::make<QXViewerCountFormatter>(type, style);
    return slot;
}

std::map<std::string, rt::Ref<QXViewerCountFormatter>> QXViewerCountFormatter::formatterCache() {
    std::lock_guard lock(sharedFormattersMutex());
    return sharedFormatters();
}

std::optional<std::string> QXViewerCountFormatter::stringFromViewerCount(const rt::Value& count, std::uint64_t type,
                                                                         std::uint64_t style) {
    return formatterFor(type, style)->stringFromViewerCount(count);
}

std::optional<std::string> QXViewerCountFormatter::stringFromViewerCount(const rt::Value& count) const {
    return stringForObjectValue(count);
}

std::optional<std::string> QXViewerCountFormatter::viewerCountFormatForTextRepresentation(bool text) const {
    switch (type_) {
        case Viewers: return text ? "%@ viewers" : "%lu viewers";
        case Views: return text ? "%@ views" : "%lu views";
        case TotalViews: return text ? "%@ total views" : "%lu total views";
        default: return std::nullopt;
    }
}

std::optional<std::string> QXViewerCountFormatter::stringForObjectValue(const rt::Value& object) const {
    if (!object.isNumber()) return std::nullopt;
    // A count cannot be negative; one that arrives so shows as none rather than as a
    // huge unsigned number.
    std::int64_t n = std::max<std::int64_t>(0, object.longLongValue());
    bool shorten = n > 1000 && style_ == 0;
    auto key = viewerCountFormatForTextRepresentation(shorten);
    if (!key) return std::nullopt;
    // Both forms go through the strings tables, so a host can translate them.
    std::string format = localizedStringForKey(*key, QXFoundationBundle());
    if (shorten) return rt::format(format, shortenViewerCount(n));
    return rt::format(format, static_cast<unsigned long long>(n));
}

std::string QXViewerCountFormatter::shortenViewerCount(std::int64_t count) {
    auto n = static_cast<unsigned long long>(std::max<std::int64_t>(0, count));
    if (n <= 9999) return rt::format("%lu", n);
    if (n <= 999999) return rt::format("%lu.%luk", n / 1000, (n % 1000) / 100);
    unsigned long long rest = n % 1000000;
    if (rest >= 10000) return rt::format("%lu.%02luM", n / 1000000, rest / 10000);
    return rt::format("%luM", n / 1000000);
}

}  // namespace zid
