#include <dev/TelephonyNetworkInfo.h>

#include <mutex>

#include <fnd/NotificationCenter.h>

namespace dev {
namespace {
std::mutex mutex;
std::optional<std::string> current;
}  // namespace

std::optional<std::string> TelephonyNetworkInfo::currentRadioAccessTechnology() const {
    std::lock_guard lock(mutex);
    return current;
}

void TelephonyNetworkInfo::reportRadioAccessTechnology(std::optional<std::string> technology) {
    {
        std::lock_guard lock(mutex);
        if (current == technology) return;
        current = std::move(technology);
    }
    fnd::NotificationCenter::defaultCenter()->post(RadioAccessTechnologyDidChangeNotification);
}

}  // namespace dev
