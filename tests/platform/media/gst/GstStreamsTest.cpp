// A session's streams without a pipeline: groups made of a stream collection, and the
// selection a choice sends - every choice so far, and in the other groups what plays.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <media/GstEngine.h>

#include "gst/GstStreams.h"

namespace {

using media::gstimpl::GstStreams;

GstStream* stream(const char* id, GstStreamType type, const char* caps, const char* language, bool select) {
    GstCaps* c = gst_caps_from_string(caps);
    GstTagList* tags = gst_tag_list_new(GST_TAG_LANGUAGE_CODE, language, nullptr);
    GstStream* s = gst_stream_new(id, c, type, select ? GST_STREAM_FLAG_SELECT : GST_STREAM_FLAG_NONE);
    gst_stream_set_tags(s, tags);
    gst_tag_list_unref(tags);
    gst_caps_unref(c);
    return s;
}

/// A video stream, two audio renditions (English the default) and one subtitle rendition.
GstStreamCollection* collection() {
    GstStreamCollection* c = gst_stream_collection_new("test");
    gst_stream_collection_add_stream(c, stream("video-0", GST_STREAM_TYPE_VIDEO, "video/x-h264,width=320,height=240", "", true));
    gst_stream_collection_add_stream(c, stream("audio-ENG", GST_STREAM_TYPE_AUDIO, "audio/mpeg,mpegversion=4", "en", true));
    gst_stream_collection_add_stream(c, stream("audio-FRA", GST_STREAM_TYPE_AUDIO, "audio/mpeg,mpegversion=4", "fr", false));
    gst_stream_collection_add_stream(c, stream("text-English", GST_STREAM_TYPE_TEXT, "text/x-raw", "en", false));
    return c;
}

std::vector<std::string> selected(GstEvent* event) {
    GList* ids = nullptr;
    gst_event_parse_select_streams(event, &ids);
    std::vector<std::string> out;
    for (GList* l = ids; l; l = l->next) out.emplace_back(static_cast<const char*>(l->data));
    g_list_free_full(ids, g_free);
    gst_event_unref(event);
    return out;
}

class GstStreamsTest : public ::testing::Test {
protected:
    void SetUp() override {
        media::GstEngine::ensureInitialized();
        streams.read(collection());
        ASSERT_EQ(streams.groups().size(), 2u);
        audible = streams.groups()[0];
        legible = streams.groups()[1];
    }
    GstStreams streams;
    rt::Ref<media::MediaSelectionGroup> audible, legible;
};

TEST_F(GstStreamsTest, RenditionsBecomeGroupsNamedByThePlaylistWithTheFlaggedDefault) {
    EXPECT_EQ(streams.tracks().size(), 4u);
    EXPECT_EQ(audible->characteristic(), media::MediaCharacteristicAudible);
    ASSERT_EQ(audible->options().size(), 2u);
    EXPECT_EQ(audible->defaultOption()->streamID(), "audio-ENG");
    EXPECT_EQ(audible->options()[1]->displayName(), "FRA");
    EXPECT_TRUE(streams.hasLegibleGroup());
    EXPECT_FALSE(legible->defaultOption()) << "no subtitle stream is flagged";
    EXPECT_FALSE(streams.choiceWaiting());
}

TEST_F(GstStreamsTest, AChoiceKeepsWhatPlaysInTheOtherGroupsAndSubtitlesTurnOffAndOnAgain) {
    // The pipeline plays French audio and the subtitles (a choice made earlier).
    GstStreamCollection* offered = collection();
    GstMessage* message = gst_message_new_streams_selected(nullptr, offered);
    gst_object_unref(offered);
    for (const char* id : {"audio-FRA", "text-English"}) {
        GstStream* s = stream(id, std::string(id).rfind("audio", 0) == 0 ? GST_STREAM_TYPE_AUDIO : GST_STREAM_TYPE_TEXT,
                              "text/x-raw", "", false);
        gst_message_streams_selected_add(message, s);
        gst_object_unref(s);
    }
    auto now = streams.readSelected(message);
    gst_message_unref(message);
    ASSERT_TRUE(now.audio && now.text);
    EXPECT_EQ(now.audio->streamID(), "audio-FRA");

    streams.choose(legible, nullptr);
    EXPECT_TRUE(streams.choiceWaiting());
    EXPECT_EQ(selected(streams.takeSelection()), (std::vector<std::string>{"video-0", "audio-FRA"}))
        << "subtitles off, the audio as it plays";
    EXPECT_FALSE(streams.choiceWaiting());

    streams.choose(audible, audible->options()[0]);
    EXPECT_EQ(selected(streams.takeSelection()), (std::vector<std::string>{"video-0", "audio-ENG"}))
        << "subtitles stay off";
    streams.choose(legible, legible->options()[0]);
    EXPECT_EQ(selected(streams.takeSelection()), (std::vector<std::string>{"video-0", "audio-ENG", "text-English"}));
}

}  // namespace
