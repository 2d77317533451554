#pragma once
// Ad-timing policies: whether an ad may start at a media time, whether a preroll (an ad
// at time 0, before the content) is still due, whether more ads are wanted after an ad
// break, and the bookkeeping of an ad start. Times are content media times in seconds.
// The base policy allows every ad and wants none after a break; the two real ones are
// made by the factory operations.
#include <rt/Object.h>

#include <vector>

namespace zid {

class QXQuorvexPlayerAdManager : public rt::Object {
    RT_CLASS(QXQuorvexPlayerAdManager, rt::Object)
public:
    QXQuorvexPlayerAdManager() = default;

    /// Ads at the given cue points (seconds, any order). Raises
    /// "QXQuorvexPlayerParameterError" for a cue point that is not a finite number.
    static rt::Ref<QXQuorvexPlayerAdManager> managerWithCuePoints(const std::vector<double>& cuePoints,
                                                                  bool allowPreroll);
    /// Ads at least `interval` seconds apart (from one ad start to the next).
    static rt::Ref<QXQuorvexPlayerAdManager> managerWithMinAdFreeTimeInterval(double interval, bool allowPreroll);

    /// YES once any ad has started.
    bool prerollHandled() const { return prerollHandled_; }
    /// The media time of the last ad start; 0 before the first.
    double lastAdPoint() const { return lastAdPoint_; }

    virtual bool allowAdAtMediaTime(double time);
    virtual void adStartedAtMediaTime(double time);
    virtual bool prerollEnabled() const { return false; }
    virtual bool wantsMoreAd() const { return false; }

private:
    bool prerollHandled_ = false;
    double lastAdPoint_ = 0;
};

class QXQuorvexPlayerAdManagerCuePoints : public QXQuorvexPlayerAdManager {
    RT_CLASS(QXQuorvexPlayerAdManagerCuePoints, QXQuorvexPlayerAdManager)
public:
    /// Keeps a copy of the cue points sorted ascending; see managerWithCuePoints.
    QXQuorvexPlayerAdManagerCuePoints(const std::vector<double>& cuePoints, bool allowPreroll);
    static rt::Ref<QXQuorvexPlayerAdManagerCuePoints> managerWithCuePoints(const std::vector<double>& cuePoints,
                                                                           bool allowPreroll) {
        return rt::make<QXQuorvexPlayerAdManagerCuePoints>(cuePoints, allowPreroll);
    }

    /// The cue points still to come, ascending.
    const std::vector<double>& cuePoints() const { return cuePoints_; }
    bool allowPreroll() const { return allowPreroll_; }

    /// At exactly 0.0 while a preroll is due; otherwise once the media time has reached
    /// the first remaining cue point.
    bool allowAdAtMediaTime(double time) override;
    /// Drops every cue point at or before the ad's time, so one cue point gives one ad
    /// (and a seek past several gives one ad for all of them).
    void adStartedAtMediaTime(double time) override;
    bool prerollEnabled() const override { return allowPreroll_ && !prerollHandled(); }
    bool wantsMoreAd() const override { return prerollEnabled() || !cuePoints_.empty(); }

private:
    std::vector<double> cuePoints_;
    bool allowPreroll_;
};

class QXQuorvexPlayerAdManagerPeriodic : public QXQuorvexPlayerAdManager {
    RT_CLASS(QXQuorvexPlayerAdManagerPeriodic, QXQuorvexPlayerAdManager)
public:
    QXQuorvexPlayerAdManagerPeriodic(double period, bool allowPreroll) : period_(period), allowPreroll_(allowPreroll) {}
    static rt::Ref<QXQuorvexPlayerAdManagerPeriodic> managerWithPeriod(double period, bool allowPreroll) {
        return rt::make<QXQuorvexPlayerAdManagerPeriodic>(period, allowPreroll);
    }

    double period() const { return period_; }
    bool allowPreroll() const { return allowPreroll_; }

    /// At exactly 0.0 while a preroll is due; otherwise once `period` seconds have
    /// passed since the last ad start (or since 0).
    bool allowAdAtMediaTime(double time) override;
    bool prerollEnabled() const override { return allowPreroll_ && !prerollHandled(); }
    bool wantsMoreAd() const override { return true; }

private:
    double period_;
    bool allowPreroll_;
};

}  // namespace zid
