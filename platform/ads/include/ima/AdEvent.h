#pragma once
// An event of an ads manager, by kind.
#include <rt/Object.h>

#include <string>

namespace ima {

enum class AdEventType : int {
    AdBreakReady = 0,
    AdBreakEnded = 1,
    AdBreakStarted = 2,
    AllAdsCompleted = 3,
    Clicked = 4,
    Complete = 5,
    CuepointsChanged = 6,
    FirstQuartile = 7,
    Loaded = 8,
    Log = 9,
    Midpoint = 10,
    Pause = 11,
    Resume = 12,
    Skipped = 13,
    Started = 14,
    Tapped = 15,
    ThirdQuartile = 16,
};

/// "LOADED", "STARTED", ... ; "UNKNOWN" for a value outside the list.
std::string adEventTypeName(AdEventType type);

class AdEvent : public rt::Object {
    RT_CLASS(AdEvent, rt::Object)
public:
    explicit AdEvent(AdEventType type) : type_(type) {}

    AdEventType type() const { return type_; }
    std::string typeString() const { return adEventTypeName(type_); }

    std::string description() const override { return "<AdEvent " + typeString() + ">"; }

private:
    AdEventType type_;
};

}  // namespace ima
