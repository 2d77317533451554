#pragma once
// Start, end and duration of a content item, in seconds.
#include <rt/KVC.h>
#include <rt/Object.h>

namespace zid {

class ICPMediaTiming : public rt::Object {
    RT_CLASS(ICPMediaTiming, rt::Object)
public:
    virtual double duration() const = 0;
    virtual double startTime() const = 0;
    virtual double endTime() const = 0;

    static void describe(rt::ClassBuilder<ICPMediaTiming>& c) {
        c.readonly("duration", &ICPMediaTiming::duration);
        c.readonly("startTime", &ICPMediaTiming::startTime);
        c.readonly("endTime", &ICPMediaTiming::endTime);
    }
};

/// An immutable timing value.
class CPMediaTimingBase : public ICPMediaTiming {
    RT_CLASS(CPMediaTimingBase, ICPMediaTiming)
public:
    CPMediaTimingBase(double mediaDuration, double startTime, double endTime)
        : duration_(mediaDuration), startTime_(startTime), endTime_(endTime) {}
    /// (d, 0, d)
    static rt::Ref<CPMediaTimingBase> timingWithDuration(double duration);
    /// (end - start, start, end)
    static rt::Ref<CPMediaTimingBase> timingWithStartTime(double startTime, double endTime);

    double duration() const override { return duration_; }
    double startTime() const override { return startTime_; }
    double endTime() const override { return endTime_; }

    /// Equal to any timing whose three values are exactly the same.
    bool isEqual(const rt::Object& other) const override;
    std::size_t hash() const override;
    std::string description() const override;

private:
    double duration_;
    double startTime_;
    double endTime_;
};

}  // namespace zid
