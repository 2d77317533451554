#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPToolbarItem.h>

#include <cmath>
#include <cstdio>

namespace zid {

std::string CPTimeTextFromSeconds(long seconds) {
    long s = seconds < 0 ? 0 : seconds;
    long m = (s / 60) % 60;
    long r = s % 60;
    char buffer[64];
    if (s < 3600) std::snprintf(buffer, sizeof buffer, "%02ld:%02ld", m, r);
    else std::snprintf(buffer, sizeof buffer, "%02ld:%02ld:%02ld", s / 3600, m, r);
    return buffer;
}

std::string CPTimeTextFromTime(double seconds) {
    if (!std::isfinite(seconds)) return "--:--";
    // Anything below zero shows as the start; far beyond a long's range is no time.
    if (seconds <= 0) return CPTimeTextFromSeconds(0);
    if (seconds >= 9.2e18) return "--:--";
    return CPTimeTextFromSeconds(static_cast<long>(seconds));
}

}  // namespace zid
