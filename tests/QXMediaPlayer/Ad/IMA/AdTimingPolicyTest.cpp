#include <QXMediaPlayer/Ad/IMA/QXQuorvexPlayerAdManager.h>
#include <gtest/gtest.h>
#include <rt/Exception.h>

#include <cmath>
#include <limits>

namespace zid {
namespace {

rt::Ref<QXQuorvexPlayerAdManagerCuePoints> cuePolicy(std::vector<double> points, bool preroll) {
    auto policy = std::dynamic_pointer_cast<QXQuorvexPlayerAdManagerCuePoints>(
        QXQuorvexPlayerAdManager::managerWithCuePoints(points, preroll));
    EXPECT_TRUE(policy);
    return policy;
}

TEST(AdTimingCuePoints, SortedAndConsumedUpToTheAdStart) {
    auto policy = cuePolicy({300, 60, 120}, false);
    EXPECT_EQ(policy->cuePoints(), (std::vector<double>{60, 120, 300}));
    EXPECT_FALSE(policy->allowAdAtMediaTime(0.0));
    EXPECT_FALSE(policy->allowAdAtMediaTime(59.9));
    EXPECT_TRUE(policy->allowAdAtMediaTime(60.0));
    policy->adStartedAtMediaTime(60.05);
    EXPECT_EQ(policy->cuePoints(), (std::vector<double>{120, 300}));
    EXPECT_TRUE(policy->prerollHandled());
    EXPECT_DOUBLE_EQ(policy->lastAdPoint(), 60.05);
    EXPECT_FALSE(policy->allowAdAtMediaTime(61));
}

TEST(AdTimingCuePoints, AnAdStartingExactlyAtACuePointUsesIt) {
    auto policy = cuePolicy({60, 120}, false);
    ASSERT_TRUE(policy->allowAdAtMediaTime(60.0));
    policy->adStartedAtMediaTime(60.0);
    EXPECT_EQ(policy->cuePoints(), (std::vector<double>{120}));
    EXPECT_FALSE(policy->allowAdAtMediaTime(60.0)) << "one cue point gives one ad";
    EXPECT_TRUE(policy->wantsMoreAd());
    policy->adStartedAtMediaTime(120.0);
    EXPECT_FALSE(policy->wantsMoreAd());
}

TEST(AdTimingCuePoints, ASeekPastSeveralPointsGivesOneAd) {
    auto policy = cuePolicy({60, 120, 300, 600}, false);
    EXPECT_TRUE(policy->allowAdAtMediaTime(500));
    policy->adStartedAtMediaTime(500);
    EXPECT_EQ(policy->cuePoints(), (std::vector<double>{600}));
    EXPECT_FALSE(policy->allowAdAtMediaTime(500));
}

TEST(AdTimingCuePoints, PrerollOnlyAtExactlyZeroAndOnlyOnce) {
    auto policy = cuePolicy({}, true);
    EXPECT_TRUE(policy->prerollEnabled());
    EXPECT_TRUE(policy->wantsMoreAd());
    EXPECT_FALSE(policy->allowAdAtMediaTime(0.001));
    EXPECT_TRUE(policy->allowAdAtMediaTime(0.0));
    policy->adStartedAtMediaTime(0.0);
    EXPECT_FALSE(policy->prerollEnabled());
    EXPECT_FALSE(policy->wantsMoreAd());
    EXPECT_FALSE(policy->allowAdAtMediaTime(0.0));

    EXPECT_FALSE(cuePolicy({}, false)->wantsMoreAd());
    EXPECT_FALSE(cuePolicy({}, false)->allowAdAtMediaTime(0.0));
}

TEST(AdTimingCuePoints, ACuePointThatIsNotAFiniteNumberIsRefused) {
    for (double bad : {std::nan(""), std::numeric_limits<double>::infinity()}) {
        try {
            QXQuorvexPlayerAdManager::managerWithCuePoints({60, bad}, false);
            ADD_FAILURE() << "accepted " << bad;
        } catch (const rt::Exception& e) {
            EXPECT_EQ(e.name(), "QXQuorvexPlayerParameterError");
        }
    }
}

TEST(AdTimingPeriodic, PeriodFromTheLastAdStartWithAndWithoutPreroll) {
    auto plain = QXQuorvexPlayerAdManager::managerWithMinAdFreeTimeInterval(120, false);
    EXPECT_FALSE(plain->prerollEnabled());
    EXPECT_FALSE(plain->allowAdAtMediaTime(0.0));
    EXPECT_FALSE(plain->allowAdAtMediaTime(119.9));
    EXPECT_TRUE(plain->allowAdAtMediaTime(120));
    plain->adStartedAtMediaTime(130);
    EXPECT_FALSE(plain->allowAdAtMediaTime(249.9));
    EXPECT_TRUE(plain->allowAdAtMediaTime(250));
    EXPECT_TRUE(plain->wantsMoreAd());

    auto preroll = QXQuorvexPlayerAdManager::managerWithMinAdFreeTimeInterval(120, true);
    EXPECT_TRUE(preroll->allowAdAtMediaTime(0.0));
    preroll->adStartedAtMediaTime(0.0);
    EXPECT_FALSE(preroll->allowAdAtMediaTime(0.0));
    EXPECT_TRUE(preroll->allowAdAtMediaTime(120.0));
    EXPECT_TRUE(preroll->wantsMoreAd());
}

TEST(AdTimingBase, AllowsEveryAdAndWantsNone) {
    auto base = rt::make<QXQuorvexPlayerAdManager>();
    EXPECT_TRUE(base->allowAdAtMediaTime(12));
    EXPECT_FALSE(base->prerollEnabled());
    EXPECT_FALSE(base->wantsMoreAd());
    base->adStartedAtMediaTime(12);
    EXPECT_TRUE(base->prerollHandled());
    EXPECT_EQ(base->lastAdPoint(), 12);
}

}  // namespace
}  // namespace zid
