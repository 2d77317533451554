#include <QXMediaPlayer/Ad/IMA/QXQuorvexPlayerAdManager.h>
#include <rt/Exception.h>

#include <algorithm>
#include <cmath>

namespace zid {

rt::Ref<QXQuorvexPlayerAdManager> QXQuorvexPlayerAdManager::managerWithCuePoints(const std::vector<double>& cuePoints,
                                                                                 bool allowPreroll) {
    return QXQuorvexPlayerAdManagerCuePoints::managerWithCuePoints(cuePoints, allowPreroll);
}

rt::Ref<QXQuorvexPlayerAdManager> QXQuorvexPlayerAdManager::managerWithMinAdFreeTimeInterval(double interval,
                                                                                             bool allowPreroll) {
    return QXQuorvexPlayerAdManagerPeriodic::managerWithPeriod(interval, allowPreroll);
}

bool QXQuorvexPlayerAdManager::allowAdAtMediaTime(double) { return true; }

void QXQuorvexPlayerAdManager::adStartedAtMediaTime(double time) {
    prerollHandled_ = true;
    lastAdPoint_ = time;
}

QXQuorvexPlayerAdManagerCuePoints::QXQuorvexPlayerAdManagerCuePoints(const std::vector<double>& cuePoints,
                                                                     bool allowPreroll)
    : cuePoints_(cuePoints), allowPreroll_(allowPreroll) {
    // A NaN has no place in an ascending list (it would break the sort's ordering), and an
    // infinite point could never be reached: both are the caller's mistake.
    for (double point : cuePoints_)
        if (!std::isfinite(point))
            throw rt::Exception("QXQuorvexPlayerParameterError",
                                "Every ad cue point must be a finite number of seconds; got " + std::to_string(point));
    std::sort(cuePoints_.begin(), cuePoints_.end());
}

bool QXQuorvexPlayerAdManagerCuePoints::allowAdAtMediaTime(double time) {
    if (time == 0.0 && prerollEnabled()) return true;
    return !cuePoints_.empty() && cuePoints_.front() <= time;
}

void QXQuorvexPlayerAdManagerCuePoints::adStartedAtMediaTime(double time) {
    while (!cuePoints_.empty() && cuePoints_.front() <= time) cuePoints_.erase(cuePoints_.begin());
    QXQuorvexPlayerAdManager::adStartedAtMediaTime(time);
}

bool QXQuorvexPlayerAdManagerPeriodic::allowAdAtMediaTime(double time) {
    if (time == 0.0 && prerollEnabled()) return true;
    return time - lastAdPoint() >= period_;
}

}  // namespace zid
