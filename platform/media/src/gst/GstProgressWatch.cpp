#include "GstProgressWatch.h"

#include <cmath>
#include <utility>

namespace media::gstimpl {

namespace {
/// Less than this between two readings a second apart is no movement: the position of a
/// pipeline that waits for data wavers by a few milliseconds.
constexpr double kMoved = 0.02;

bool moved(double before, double now) {
    if (std::isnan(before) != std::isnan(now)) return true;
    return !std::isnan(now) && std::fabs(now - before) >= kMoved;
}
}  // namespace

GstProgressWatch::Verdict GstProgressWatch::check(double now, bool shouldMove, double picture, double position) {
    bool progress = std::exchange(landed_, false) || picture != picture_ || moved(position_, position);
    picture_ = picture;
    position_ = position;
    if (!shouldMove || progress) {
        since_ = now;
        if (!stalled_ || !progress) return Verdict::Moving;
        stalled_ = false;
        return Verdict::Recovered;
    }
    if (stalled_ || now - since_ < kStandStill) return Verdict::Standing;
    stalled_ = true;
    return Verdict::Stalled;
}

}  // namespace media::gstimpl
