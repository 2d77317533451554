// The media descriptor and the identity sources the facade plays.

#include <gtest/gtest.h>

#include <map>

#include <QXSDKPlayer/Common/QXIdentitySources.h>
#include <QXSDKPlayer/Common/QXMediaDescriptor.h>
#include <QXSDKPlayer/Common/QXMediaSelectionOption.h>
#include <QXSDKPlayer/Common/QXSubtitle.h>
#include <rt/KVO.h>

namespace zid {
namespace {

TEST(MediaDescriptor, KindsAndLivenessFollowIsChannel) {
    auto live = QXMediaDescriptor::liveDescriptorWithID("c1");
    auto channel = QXMediaDescriptor::channelDescriptorWithID("c2");
    auto recorded = QXMediaDescriptor::recordedDescriptorWithID("v1");
    EXPECT_TRUE(live->isChannel() && live->isLive());
    EXPECT_TRUE(channel->isChannel() && channel->isLive());
    EXPECT_FALSE(recorded->isChannel() || recorded->isLive());
    EXPECT_EQ(recorded->mediaID(), "v1");
    EXPECT_TRUE(recorded->password().empty() && recorded->hashCode().empty());

    std::vector<bool> seen;
    auto token = rt::observe(recorded, "isLive", rt::KVONew,
                             [&](const rt::KVOChange& c) { seen.push_back(c.newValue.boolValue()); });
    recorded->setIsChannel(true);
    EXPECT_EQ(seen, std::vector<bool>{true});
    EXPECT_TRUE(recorded->valueForKey("isLive").boolValue());
}

TEST(MediaDescriptor, ACopyIsTheSameObjectAndKeysByIdentity) {
    auto a = QXMediaDescriptor::liveDescriptorWithID("same");
    auto b = QXMediaDescriptor::liveDescriptorWithID("same");
    EXPECT_EQ(a->copy(), a);
    EXPECT_FALSE(a->isEqual(*b));
    std::map<rt::Ref<QXMediaDescriptor>, int> table{{a, 1}, {b, 2}};
    EXPECT_EQ(table.at(a->copy()), 1);
    EXPECT_EQ(table.size(), 2u);
}

TEST(IdentitySources, CarryTheirIdentifiersAndRealizeAtOnce) {
    auto channel = ChannelSource::sourceWithChannelId("c42");
    auto recorded = RecordedSource::sourceWithRecordId("r7");
    auto highlight = HighlightSource::sourceWithHighlightId("h3", "r7");
    EXPECT_EQ(channel->sourceType(), CPMediaSourceType::LiveChannel);
    EXPECT_EQ(recorded->sourceType(), CPMediaSourceType::Recorded);
    EXPECT_EQ(highlight->sourceType(), CPMediaSourceType::Highlight);
    EXPECT_EQ(channel->contentId(), "c42");
    EXPECT_EQ(recorded->contentId(), "r7");
    EXPECT_EQ(highlight->contentId(), "h3");
    EXPECT_EQ(highlight->recordID(), "r7");
    EXPECT_FALSE(channel->safeToContinue());
    EXPECT_TRUE(recorded->safeToContinue());
    EXPECT_TRUE(highlight->safeToContinue());

    std::vector<long> states;
    auto token = rt::observe(recorded, "state", rt::KVONew,
                             [&](const rt::KVOChange& c) { states.push_back(static_cast<long>(c.newValue.longLongValue())); });
    EXPECT_FALSE(recorded->viewerCountEnabled());
    recorded->realizeWithPlaybackID("ignored");
    EXPECT_EQ(states, (std::vector<long>{1, 3}));  // realizing, realized
    EXPECT_TRUE(recorded->viewerCountEnabled());

    channel->realizeWithPlaybackID("ignored");
    highlight->realizeWithPlaybackID("ignored");
    EXPECT_EQ(channel->state(), CPMediaSourceState::Realized);
    EXPECT_EQ(highlight->state(), CPMediaSourceState::Realized);
    EXPECT_FALSE(channel->viewerCountEnabled());
    channel->dispose();
    EXPECT_EQ(channel->state(), CPMediaSourceState::Realized);
}

TEST(SelectionRecords, HaveOnlyWhatTheyWereMadeFromAndEqualOnlyThemselves) {
    auto subtitle = QXSubtitle::subtitleWithLanguageTag("en", "English");
    EXPECT_EQ(subtitle->languageTag(), "en");
    EXPECT_EQ(subtitle->displayName(), "English");
    EXPECT_EQ(subtitle->title(), "");
    auto option = QXMediaSelectionOption::mediaSelectionOptionWithLanguageTag("de", "Deutsch");
    EXPECT_EQ(option->title(), "Deutsch");
    EXPECT_EQ(option->displayName(), "");
    EXPECT_FALSE(subtitle->isEqual(*QXSubtitle::subtitleWithLanguageTag("en", "English")));
    EXPECT_FALSE(option->isEqual(*QXMediaSelectionOption::mediaSelectionOptionWithLanguageTag("de", "Deutsch")));
    EXPECT_TRUE(option->isEqual(*option));
}

TEST(SelectionRecords, EachNameIsSetOnItsOwnAndReadThroughTheOptionInterface) {
    auto subtitle = QXSubtitle::subtitleWithLanguageTag("en", "English");
    subtitle->setTitle("Commentary");
    subtitle->setLanguageTag("en-GB");
    const ICPMediaSelectionOption& described = *subtitle;
    EXPECT_EQ(described.languageTag(), "en-GB");
    EXPECT_EQ(described.title(), "Commentary");
    EXPECT_EQ(described.displayName(), "English") << "setting the title leaves the display name";
    auto option = QXMediaSelectionOption::mediaSelectionOptionWithLanguageTag("de", "Deutsch");
    option->setDisplayName("German");
    EXPECT_EQ(option->title(), "Deutsch");
    EXPECT_EQ(option->displayName(), "German");
    EXPECT_TRUE(subtitle->isKindOf(QXMediaSelectionRecord::staticClass()));
    EXPECT_FALSE(subtitle->isKindOf(QXMediaSelectionOption::staticClass())) << "a subtitle is no legible option";
}

}  // namespace
}  // namespace zid
