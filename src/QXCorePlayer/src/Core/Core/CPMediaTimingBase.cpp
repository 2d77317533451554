#include <QXCorePlayer/Core/Core/ICPMediaTiming.h>
#include <rt/Format.h>

#include <functional>

namespace zid {

rt::Ref<CPMediaTimingBase> CPMediaTimingBase::timingWithDuration(double duration) {
    return rt::make<CPMediaTimingBase>(duration, 0.0, duration);
}

rt::Ref<CPMediaTimingBase> CPMediaTimingBase::timingWithStartTime(double startTime, double endTime) {
    return rt::make<CPMediaTimingBase>(endTime - startTime, startTime, endTime);
}

bool CPMediaTimingBase::isEqual(const rt::Object& other) const {
    auto* timing = dynamic_cast<const ICPMediaTiming*>(&other);
    if (!timing) return false;
    return timing->duration() == duration_ && timing->startTime() == startTime_ && timing->endTime() == endTime_;
}

std::size_t CPMediaTimingBase::hash() const {
    std::hash<double> h;
    return h(duration_) ^ (h(startTime_) << 1) ^ (h(endTime_) << 2);
}

std::string CPMediaTimingBase::description() const {
    return rt::format("%@ duration = %g, startTime = %g, endTime = %g", rt::Value(rt::Object::description()), duration_,
                      startTime_, endTime_);
}

}  // namespace zid
