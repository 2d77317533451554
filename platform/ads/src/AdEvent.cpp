#include <ima/AdEvent.h>

#include <array>

namespace ima {

std::string adEventTypeName(AdEventType type) {
    static constexpr std::array<const char*, 17> names = {"AD_BREAK_READY",
                                                          "AD_BREAK_ENDED",
                                                          "AD_BREAK_STARTED",
                                                          "ALL_ADS_COMPLETED",
                                                          "CLICKED",
                                                          "COMPLETE",
                                                          "CUEPOINTS_CHANGED",
                                                          "FIRST_QUARTILE",
                                                          "LOADED",
                                                          "LOG",
                                                          "MIDPOINT",
                                                          "PAUSE",
                                                          "RESUME",
                                                          "SKIPPED",
                                                          "STARTED",
                                                          "TAPPED",
                                                          "THIRD_QUARTILE"};
    auto index = static_cast<std::size_t>(type);
    return index < names.size() ? names[index] : "UNKNOWN";
}

}  // namespace ima
