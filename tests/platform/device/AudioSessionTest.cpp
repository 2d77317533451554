// The audio session stand-in: requests, refusals, routes and raised events.

#include <gtest/gtest.h>

#include <dev/AudioSession.h>
#include <fnd/NotificationCenter.h>

namespace {

using dev::AudioSession;

TEST(AudioSessionTest, RequestsAreGrantedOrRefusedWithAnError) {
    auto session = rt::make<AudioSession>();
    EXPECT_FALSE(session->isActive());
    EXPECT_EQ(session->category(), dev::AudioSessionCategorySoloAmbient);
    EXPECT_TRUE(session->setCategory(dev::AudioSessionCategoryPlayback));
    EXPECT_TRUE(session->setMode(dev::AudioSessionModeMoviePlayback));
    EXPECT_TRUE(session->setActive(true));
    EXPECT_TRUE(session->isActive());

    rt::Ref<rt::Error> error;
    EXPECT_FALSE(session->overrideOutputAudioPort(dev::AudioSessionPortOverride::Speaker, &error));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->domain(), dev::AudioSessionErrorDomain);
    EXPECT_FALSE(session->setCategory("no such category", &error));

    session->refuseNext(AudioSession::Operation::Deactivate, nullptr);
    error = nullptr;
    EXPECT_FALSE(session->setActive(false, &error));
    EXPECT_TRUE(error);
    EXPECT_TRUE(session->isActive());
    EXPECT_TRUE(session->setActive(false)) << "a refusal holds for one request";
}

TEST(AudioSessionTest, PreferredInputsAndRoutes) {
    auto session = rt::make<AudioSession>();
    auto builtIn = session->availableInputs().at(0);
    auto headset = rt::make<dev::AudioPortDescription>(dev::AudioSessionPortHeadsetMic, "Headset", "headset");
    auto stranger = rt::make<dev::AudioPortDescription>(dev::AudioSessionPortLineIn, "Line", "line");
    session->setAvailableInputs({builtIn, headset});
    EXPECT_EQ(session->currentRoute().inputs.at(0), builtIn);

    EXPECT_FALSE(session->setPreferredInput(stranger));
    EXPECT_TRUE(session->setPreferredInput(headset));
    EXPECT_EQ(session->preferredInput(), headset);
    EXPECT_EQ(session->currentRoute().inputs.at(0), headset);

    session->setAvailableInputs({builtIn});  // the headset was unplugged
    EXPECT_EQ(session->currentRoute().inputs.at(0), builtIn);
    session->setAvailableInputs({});
    EXPECT_TRUE(session->currentRoute().inputs.empty());
}

TEST(AudioSessionTest, RaisedEventsArriveAsNotificationsFromTheSession) {
    auto session = rt::make<AudioSession>();
    auto other = rt::make<AudioSession>();
    std::vector<std::pair<std::string, long long>> seen;
    auto center = fnd::NotificationCenter::defaultCenter();
    auto a = center->addObserver(std::string(dev::AudioSessionInterruptionNotification), session, nullptr,
                                 [&](const rt::Ref<fnd::Notification>& n) {
                                     seen.emplace_back(n->name(), n->userInfo().get(dev::AudioSessionInterruptionTypeKey).longLongValue());
                                 });
    auto b = center->addObserver(std::string(dev::AudioSessionRouteChangeNotification), session, nullptr,
                                 [&](const rt::Ref<fnd::Notification>& n) {
                                     seen.emplace_back(n->name(), n->userInfo().get(dev::AudioSessionRouteChangeReasonKey).longLongValue());
                                 });
    ASSERT_TRUE(session->setActive(true));
    session->raiseInterruption(dev::AudioSessionInterruptionType::Began);
    EXPECT_FALSE(session->isActive()) << "an interruption takes the audio system away";
    session->raiseInterruption(dev::AudioSessionInterruptionType::Ended);
    session->raiseRouteChange(dev::AudioSessionRouteChangeReason::OldDeviceUnavailable);
    other->raiseRouteChange(dev::AudioSessionRouteChangeReason::NewDeviceAvailable);  // another sender
    center->removeObserver(a);
    center->removeObserver(b);

    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[0], std::make_pair(std::string(dev::AudioSessionInterruptionNotification), 1LL));
    EXPECT_EQ(seen[1], std::make_pair(std::string(dev::AudioSessionInterruptionNotification), 0LL));
    EXPECT_EQ(seen[2], std::make_pair(std::string(dev::AudioSessionRouteChangeNotification), 2LL));
}

}  // namespace
