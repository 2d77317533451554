// The movie player controller's time: seeks, initial and end times, resume
// positions, access-log statistics and media selection, on the scripted engine.

#include "MoviePlayerFixture.h"

#include <QXCorePlayer/Core/MediaPlayer/ICPMediaSelectionOption.h>
#include <QXFoundation/Lists/IList.h>
#include <media/Presentation.h>
#include <ui/Application.h>

namespace {

using namespace zidtest;
using zid::QXMoviePlaybackState;
using Strings = std::vector<std::string>;

double position(const zid::QXMoviePlayerController& c) { return c.player()->currentTime().toSeconds(); }

TEST_F(MoviePlayerTest, SeeksWhileOneIsInFlightKeepOnlyTheLatest) {
    make();
    controller->prepareToPlay();
    advance(1);
    ASSERT_EQ(state(), QXMoviePlaybackState::Playing);
    controller->player()->pause();
    controller->setCurrentPlaybackTime(10);
    controller->setCurrentPlaybackTime(20);
    EXPECT_DOUBLE_EQ(controller->currentPlaybackTime(), 20);
    controller->setCurrentPlaybackTime(30);
    EXPECT_DOUBLE_EQ(controller->currentPlaybackTime(), 30) << "a pending target is reported at once";
    EXPECT_TRUE(controller->player()->isSeeking());
    advance(0.1);  // the engine keeps the newest: 10 and 20 were replaced, 30 lands
    EXPECT_FALSE(controller->player()->isSeeking());
    EXPECT_DOUBLE_EQ(position(*controller), 30) << "10 and 20 were dropped";
    EXPECT_DOUBLE_EQ(controller->currentPlaybackTime(), 30);
}

TEST_F(MoviePlayerTest, ADefaultSeekReadsTheKeyFrameItLandedOnAndThatIsTheResumePosition) {
    media::ScriptedMedia keyFrames;
    keyFrames.keyFrameInterval = 2;
    keyFrames.seekTime = 0.3;
    engine->setScript(kVodURL, keyFrames);
    make();
    std::vector<double> announced;
    auto observation = rt::observe(controller, "currentPlaybackTime", rt::KVONew,
                                   [&](const rt::KVOChange&) { announced.push_back(controller->currentPlaybackTime()); });
    controller->prepareToPlay();
    advance(1);
    controller->pause();
    advance(1);
    controller->setCurrentPlaybackTime(7.5);
    EXPECT_DOUBLE_EQ(controller->currentPlaybackTime(), 7.5) << "the target until the seek is answered";
    advance(1.5);  // the answer after 0.3 s, the next tick of the time observer after 1.3 s
    EXPECT_DOUBLE_EQ(controller->currentPlaybackTime(), 6.0) << "where the picture is: the key frame before 7.5";
    EXPECT_EQ(announced, std::vector<double>{6.0}) << "the answer is announced with the landed position";
    positions->flush();
    EXPECT_NEAR(positions->resumePositionForURL(kVodURL).toSeconds(), 6.0, 0.001) << "stored from where it landed";
    // A seek the engine never finishes stores nothing from its target.
    controller->setCurrentPlaybackTime(12.5);
    controller->setCurrentPlaybackTime(17.0);
    advance(0.2);
    positions->flush();
    EXPECT_NEAR(positions->resumePositionForURL(kVodURL).toSeconds(), 6.0, 0.001) << "no target stored meanwhile";
    advance(1.0);
    EXPECT_DOUBLE_EQ(controller->currentPlaybackTime(), 16.0);
    positions->flush();
    EXPECT_NEAR(positions->resumePositionForURL(kVodURL).toSeconds(), 16.0, 0.001);
    observation->remove();
}

TEST_F(MoviePlayerTest, ATimeSetWhileStoppedIsWhereTheNextPlaybackStarts) {
    make();
    controller->setCurrentPlaybackTime(12);
    EXPECT_DOUBLE_EQ(controller->currentPlaybackTime(), 12);
    controller->prepareToPlay();
    EXPECT_DOUBLE_EQ(controller->currentPlaybackTime(), 12) << "before playback the requested start is reported";
    advance(0.3 + 0.1);
    EXPECT_TRUE(std::isnan(controller->initialPlaybackTime())) << "consumed by the preparation";
    EXPECT_NEAR(position(*controller), 12, 0.01);
}

TEST_F(MoviePlayerTest, TheEndTimeStopsAtTheFirstTickPastItThenTellsTheFinish) {
    make();
    controller->setEndPlaybackTime(5);
    controller->prepareToPlay();
    advance(5.2);
    EXPECT_EQ(state(), QXMoviePlaybackState::Playing) << "the tick at 4.9 s of media is short of 5";
    auto before = posted.size();
    advance(0.1);  // tick at 5.3 s of the clock: 5.0 s of media
    EXPECT_EQ(state(), QXMoviePlaybackState::Stopped);
    auto tail = since(before);
    auto stopped = std::find(tail.begin(), tail.end(), "state:0");
    ASSERT_NE(stopped, tail.end());
    ASSERT_NE(stopped + 1, tail.end());
    EXPECT_EQ(*(stopped + 1), "PlaybackDidFinish") << "stopped first, then the finish";

    make();
    controller->setEndPlaybackTime(0);
    controller->prepareToPlay();
    advance(20);
    EXPECT_EQ(state(), QXMoviePlaybackState::Playing) << "an end time of 0 never ends playback";
}

TEST_F(MoviePlayerTest, StatisticsComeFromTheLastAccessLogEventAndPostOnlyChanges) {
    make();
    controller->prepareToPlay();
    advance(3.3);
    EXPECT_EQ(controller->accessURI(), kVodURL);
    EXPECT_GT(controller->observedBitrate(), 0);
    EXPECT_GT(controller->numberOfBytesTransferred(), 0);
    EXPECT_EQ(std::count(posted.begin(), posted.end(), "ObservedBitrateDidChange"), 1)
        << "the same bitrate on later ticks posts nothing";
    EXPECT_EQ(std::count(posted.begin(), posted.end(), "AccessURIDidChange"), 1);
    auto event = controller->playerItem()->accessLog()->lastEvent();
    EXPECT_EQ(controller->numberOfBytesTransferred(), event->numberOfBytesTransferred);
    EXPECT_DOUBLE_EQ(controller->indicatedBitrate(), event->indicatedBitrate);
    EXPECT_EQ(controller->numberOfDroppedVideoFrames(), event->numberOfDroppedVideoFrames);
    EXPECT_GT(controller->loadedDuration(), 0) << "the loaded range follows the item";

    event->URI.clear();
    event->observedBitrate = 1;
    auto before = posted.size();
    advance(1);
    EXPECT_NE(controller->observedBitrate(), 1) << "an event without a URI changes nothing";
    EXPECT_EQ(std::count(posted.begin() + static_cast<long>(before), posted.end(), "ObservedBitrateDidChange"), 0);
}

TEST_F(MoviePlayerTest, ALiveStreamHasNoDurationAndStoresNoResumePosition) {
    make(kLiveURL);
    controller->prepareToPlay();
    advance(0.3);
    EXPECT_EQ(posted[1], "MovieDurationAvailable");
    EXPECT_DOUBLE_EQ(controller->duration(), 0);
    advance(5);
    EXPECT_EQ(state(), QXMoviePlaybackState::Playing);
    positions->flush();
    EXPECT_FALSE(positions->resumePositionForURL(kLiveURL).isValid());
}

TEST_F(MoviePlayerTest, ResumePositionsAreWrittenOnceASecondAndReadAfterAFailure) {
    make();
    controller->prepareToPlay();
    advance(6.35);
    auto stored = positions->resumePositionForURL(kVodURL);
    ASSERT_TRUE(stored.isValid());
    EXPECT_NEAR(stored.toSeconds(), 6.0, 0.01) << "the last tick's time";
    EXPECT_LE(positions->writeCount(), 6) << "at most one write a second";
    auto file = rt::make<fnd::UserDefaults>(scratch / "defaults.json")->objectForKey(zid::QXPlayerResumePositions::kDefaultsKey);
    EXPECT_TRUE(file.isDictionary()) << "the position reached the defaults file";

    playback()->failNow(rt::Error::withDescription("TestEngine", 7, "gone"));
    ASSERT_EQ(state(), QXMoviePlaybackState::Error) << "the engine's failure fails the controller";
    ASSERT_TRUE(controller->resumeFromLastPosition());
    advance(3);  // the player stays, without an item: its ticks store nothing
    positions->flush();
    EXPECT_NEAR(positions->resumePositionForURL(kVodURL).toSeconds(), 6.0, 0.01);
    controller->play();
    advance(0.3);
    advance(0.1);
    EXPECT_NEAR(position(*controller), 6.0, 0.05) << "the new attempt continues where the last one stopped";
}

TEST_F(MoviePlayerTest, AStoppedRecordingPreparedAgainResumesWhereItStopped) {
    media::ScriptedMedia recording;
    recording.duration = 120;
    engine->setScript(kVodURL, recording);
    make();
    controller->setResumeFromLastPosition(true);  // a host that brings viewers back
    controller->prepareToPlay();
    advance(0.3 + 40.05);
    ASSERT_NEAR(position(*controller), 40.05, 0.01);
    controller->stop();
    advance(5);  // the stopped player keeps its rate and its time observer
    positions->flush();
    EXPECT_NEAR(positions->resumePositionForURL(kVodURL).toSeconds(), 40.0, 0.01) << "the stop kept the position";
    controller->prepareToPlay();
    advance(0.3 + 0.1);
    EXPECT_NEAR(position(*controller), 40.0, 0.05) << "prepared again, it resumes at 40 s";
}

TEST_F(MoviePlayerTest, AStallTimeoutRetriesFromWhereThePlaybackStalled) {
    media::ScriptedMedia stalling;
    stalling.stalls = {{5.5, 100}};
    engine->setScript(kVodURL, stalling);
    make();
    controller->prepareToPlay();
    advance(0.3 + 5.5 + 20);
    ASSERT_EQ(state(), QXMoviePlaybackState::Error);
    advance(4);
    positions->flush();
    EXPECT_NEAR(positions->resumePositionForURL(kVodURL).toSeconds(), 5.5, 0.01);
    engine->setScript(kVodURL, {});
    controller->play();
    advance(0.3 + 0.1);
    EXPECT_NEAR(position(*controller), 5.5, 0.05) << "the retry continues at 5.5 s";
}

TEST_F(MoviePlayerTest, SubtitlesAndAudioTracksAreListedAndSelectionsReadBack) {
    auto en = rt::make<media::MediaSelectionOption>("audio-en", media::MediaTypeAudio, "en", "ENG",
                                                    std::vector<media::MetadataItem>{{media::MetadataKeySpaceCommon,
                                                                                      media::MetadataCommonKeyTitle, "English"}});
    auto fr = rt::make<media::MediaSelectionOption>("audio-fr", media::MediaTypeAudio, "fr", "FRA");
    auto sub = rt::make<media::MediaSelectionOption>("text-de", media::MediaTypeSubtitle, "de", "Deutsch");
    media::ScriptedMedia script;
    script.groups = {rt::make<media::MediaSelectionGroup>(media::MediaCharacteristicAudible,
                                                          std::vector<rt::Ref<media::MediaSelectionOption>>{en, fr}, en, false),
                     rt::make<media::MediaSelectionGroup>(media::MediaCharacteristicLegible,
                                                          std::vector<rt::Ref<media::MediaSelectionOption>>{sub}, nullptr, true)};
    engine->setScript(kVodURL, script);
    make();
    controller->prepareToPlay();
    advance(1);
    auto tracks = std::dynamic_pointer_cast<zid::IList>(controller->audioTracks());
    ASSERT_TRUE(tracks);
    ASSERT_EQ(tracks->count(), 2u);
    auto english = std::dynamic_pointer_cast<zid::ICPMediaSelectionOption>(controller->defaultAudioTrack());
    ASSERT_TRUE(english);
    EXPECT_EQ(english->title(), "English");
    EXPECT_EQ(english->languageTag(), "en");
    auto subtitles = std::dynamic_pointer_cast<zid::IList>(controller->subtitles());
    ASSERT_TRUE(subtitles);
    EXPECT_EQ(subtitles->count(), 1u);
    EXPECT_FALSE(controller->defaultSubtitle());

    controller->selectAudioTrack(tracks->objectAtIndex(1).object());
    auto selected = std::dynamic_pointer_cast<zid::ICPMediaSelectionOption>(controller->selectedAudioTrack());
    ASSERT_TRUE(selected);
    EXPECT_EQ(selected->languageTag(), "fr") << "read back from the item";
    controller->selectSubtitle(subtitles->objectAtIndex(0).object());
    auto german = std::dynamic_pointer_cast<zid::ICPMediaSelectionOption>(controller->selectedSubtitle());
    ASSERT_TRUE(german);
    EXPECT_EQ(german->displayName(), "Deutsch");
    controller->selectSubtitle(nullptr);
    EXPECT_FALSE(controller->selectedSubtitle()) << "subtitles off";
    EXPECT_NE(std::find(engine->selections().begin(), engine->selections().end(), "public.audible=audio-fr"),
              engine->selections().end());
}

TEST_F(MoviePlayerTest, NewSelectionGroupsOfTheAssetListTheSubtitlesAgain) {
    make();
    controller->prepareToPlay();
    advance(1);
    ASSERT_FALSE(controller->subtitles());
    auto en = rt::make<media::MediaSelectionOption>("text-en", media::MediaTypeSubtitle, "en", "English");
    controller->asset()->updateMediaSelectionGroups({rt::make<media::MediaSelectionGroup>(
        media::MediaCharacteristicLegible, std::vector<rt::Ref<media::MediaSelectionOption>>{en}, en, true)});
    auto subtitles = std::dynamic_pointer_cast<zid::IList>(controller->subtitles());
    ASSERT_TRUE(subtitles);
    EXPECT_EQ(subtitles->count(), 1u);
    EXPECT_TRUE(controller->defaultSubtitle());
    EXPECT_FALSE(controller->audioTracks()) << "audio tracks are not listed again";
}

TEST_F(MoviePlayerTest, AnAssetWithoutGroupsListsNothing) {
    make();
    controller->prepareToPlay();
    advance(1);
    EXPECT_FALSE(controller->subtitles());
    EXPECT_FALSE(controller->defaultSubtitle());
    controller->selectSubtitle(nullptr);
    EXPECT_FALSE(controller->selectedSubtitle());
}

TEST_F(MoviePlayerTest, ScalingModesMuteAudioOnlyAndNowPlaying) {
    media::ScriptedMedia audio;
    audio.presentationSize = {0, 0};
    engine->setScript(kVodURL, audio);
    make();
    controller->setScalingMode(2);
    controller->setScalingMode(2);
    EXPECT_EQ(controller->playerView()->playerLayer()->videoGravity(), media::VideoGravity::ResizeAspectFill);
    controller->setScalingMode(3);
    EXPECT_EQ(controller->playerView()->playerLayer()->videoGravity(), media::VideoGravity::ResizeAspectFill);
    EXPECT_EQ(std::count(posted.begin(), posted.end(), "ScalingModeDidChange"), 2);

    EXPECT_FALSE(controller->isAudioOnly()) << "nothing prepared yet";
    controller->setMuted(true);
    controller->prepareToPlay();
    advance(1.5);
    EXPECT_TRUE(controller->player()->isMuted()) << "every new player takes the stored mute";
    EXPECT_TRUE(controller->isAudioOnly());
    EXPECT_EQ(std::count(posted.begin(), posted.end(), "AudioOnlyModeDidChange"), 1);

    auto center = media::NowPlayingInfoCenter::defaultCenter();
    center->setNowPlayingInfo({});
    controller->setActive(true);  // no autoswitch: nothing moves to another screen
    controller->setTitle("Evening news");
    EXPECT_EQ(center->nowPlayingInfo().get(media::MediaItemPropertyTitle).string(), "Evening news");
    controller->setTitle("");
    EXPECT_EQ(controller->playingInfo().get(media::MediaItemPropertyTitle).string(), "Evening news")
        << "an empty title leaves the information as it was";
    controller->setActive(false);
}

TEST_F(MoviePlayerTest, BackgroundPlaybackDetachesThePictureAndTheForegroundBringsItBack) {
    make();
    controller->prepareToPlay();
    advance(1);
    auto center = fnd::NotificationCenter::defaultCenter();
    center->post(ui::ApplicationDidEnterBackgroundNotification);
    EXPECT_EQ(controller->playerView()->player(), controller->player()) << "no background playback: attached";
    controller->setContinuePlaybackInBackground(true);
    center->post(ui::ApplicationDidEnterBackgroundNotification);
    EXPECT_FALSE(controller->playerView()->player());
    EXPECT_EQ(state(), QXMoviePlaybackState::Playing) << "the sound goes on";
    center->post(ui::ApplicationWillEnterForegroundNotification);
    EXPECT_EQ(controller->playerView()->player(), controller->player());
}

}  // namespace
