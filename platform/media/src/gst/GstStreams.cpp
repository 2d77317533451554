// A session's streams: the collection the pipeline offers, the choices made in it and
// the streams the decoder bin reports as selected.

#include "GstStreams.h"

#include <algorithm>

namespace media::gstimpl {

namespace {

/// "ENG" of the stream id "audio-ENG" (and "English" of "text-English"): the name the
/// HLS demuxer gives an alternative rendition's stream; empty for any other id.
std::string renditionNameOfStreamID(const std::string& id) {
    for (std::string_view prefix : {"audio-", "text-"})
        if (id.size() > prefix.size() && id.compare(0, prefix.size(), prefix) == 0 &&
            id.find('/') == std::string::npos)
            return id.substr(prefix.size());
    return {};
}

std::string codecOf(const GstCaps* caps) {
    if (!caps || gst_caps_get_size(caps) == 0) return {};
    const GstStructure* s = gst_caps_get_structure(caps, 0);
    std::string name = gst_structure_get_name(s);
    if (name == "video/x-h264") return "avc1";
    if (name == "video/x-h265") return "hvc1";
    if (name == "video/x-vp9") return "vp09";
    if (name == "audio/mpeg") {
        int version = 0;
        gst_structure_get_int(s, "mpegversion", &version);
        return version == 1 ? ".mp3" : "mp4a";
    }
    if (name == "audio/x-ac3") return "ac-3";
    if (name == "audio/x-eac3") return "ec-3";
    if (name == "application/x-subtitle-vtt" || name == "text/vtt") return "wvtt";
    if (name == "text/x-raw") return "text";
    return name;
}

}  // namespace

void GstStreams::read(GstStreamCollection* collection) {
    // Takes the reference passed in.
    if (collection_) gst_object_unref(collection_);
    collection_ = collection;
    std::vector<rt::Ref<MediaSelectionOption>> audio, text;
    rt::Ref<MediaSelectionOption> audioDefault, textDefault;
    tracks_.clear();
    videoStream_.clear();
    guint n = gst_stream_collection_get_size(collection);
    for (guint i = 0; i < n; ++i) {
        GstStream* stream = gst_stream_collection_get_stream(collection, i);
        const gchar* sid = gst_stream_get_stream_id(stream);
        std::string id = sid ? sid : "";
        GstStreamType type = gst_stream_get_stream_type(stream);
        GstTagList* tags = gst_stream_get_tags(stream);
        GstCaps* caps = gst_stream_get_caps(stream);
        gchar* language = nullptr;
        gchar* title = nullptr;
        if (tags) {
            gst_tag_list_get_string(tags, GST_TAG_LANGUAGE_CODE, &language);
            if (!gst_tag_list_get_string(tags, GST_TAG_TITLE, &title)) gst_tag_list_get_string(tags, GST_TAG_LANGUAGE_NAME, &title);
        }
        std::string lang = language ? language : "";
        // The HLS demuxer names a rendition's stream after the playlist's NAME
        // ("audio-ENG", "text-English") and tags only its language: that NAME is the
        // rendition's title when no title tag says otherwise.
        if (!title) {
            auto named = renditionNameOfStreamID(id);
            if (!named.empty()) title = g_strdup(named.c_str());
        }
        std::string name = title ? title : lang;
        bool isDefault = (gst_stream_get_stream_flags(stream) & GST_STREAM_FLAG_SELECT) != 0;
        AssetTrack::Description d;
        d.trackID = id;
        d.codec = codecOf(caps);
        d.languageCode = lang;
        // An audio or subtitle stream is an option of its group; the first one flagged
        // for selection is the group's default.
        auto addOption = [&](const char* mediaType, std::vector<rt::Ref<MediaSelectionOption>>& options,
                             rt::Ref<MediaSelectionOption>& groupDefault) {
            d.mediaType = mediaType;
            std::vector<MetadataItem> meta;
            if (title) meta.push_back({MetadataKeySpaceCommon, MetadataCommonKeyTitle, title});
            auto option = rt::make<MediaSelectionOption>(id, mediaType, lang, name, meta);
            options.push_back(option);
            if (isDefault && !groupDefault) groupDefault = option;
        };
        if (type & GST_STREAM_TYPE_VIDEO) {
            d.mediaType = MediaTypeVideo;
            if (caps && gst_caps_get_size(caps) > 0) {
                const GstStructure* s = gst_caps_get_structure(caps, 0);
                int w = 0, h = 0, num = 0, den = 1;
                gst_structure_get_int(s, "width", &w);
                gst_structure_get_int(s, "height", &h);
                if (gst_structure_get_fraction(s, "framerate", &num, &den) && den) d.nominalFrameRate = float(num) / den;
                d.naturalSize = {double(w), double(h)};
            }
            if (videoStream_.empty()) videoStream_ = id;
        } else if (type & GST_STREAM_TYPE_AUDIO) {
            addOption(MediaTypeAudio, audio, audioDefault);
        } else if (type & GST_STREAM_TYPE_TEXT) {
            addOption(MediaTypeSubtitle, text, textDefault);
        }
        if (!d.mediaType.empty()) tracks_.push_back(rt::make<AssetTrack>(d));
        g_free(language);
        g_free(title);
        if (tags) gst_tag_list_unref(tags);
        if (caps) gst_caps_unref(caps);
    }
    groups_.clear();
    if (!audio.empty())
        groups_.push_back(rt::make<MediaSelectionGroup>(MediaCharacteristicAudible, audio, audioDefault ? audioDefault : audio.front(), false));
    if (!text.empty()) groups_.push_back(rt::make<MediaSelectionGroup>(MediaCharacteristicLegible, text, textDefault, true));
}

void GstStreams::readAgain() {
    if (collection_) read(GST_STREAM_COLLECTION(gst_object_ref(collection_)));
}

void GstStreams::close() {
    if (collection_) gst_object_unref(collection_);
    collection_ = nullptr;
}

bool GstStreams::hasLegibleGroup() const {
    return std::any_of(groups_.begin(), groups_.end(),
                       [](const auto& g) { return g->characteristic() == MediaCharacteristicLegible; });
}

GstStreams::Selected GstStreams::readSelected(GstMessage* message) {
    Selected selected;
    guint n = gst_message_streams_selected_get_size(message);
    for (guint i = 0; i < n; ++i) {
        GstStream* stream = gst_message_streams_selected_get_stream(message, i);
        if (!stream) continue;
        std::string id = gst_stream_get_stream_id(stream) ? gst_stream_get_stream_id(stream) : "";
        for (const auto& group : groups_) {
            if (auto option = group->optionWithStreamID(id)) {
                if (group->characteristic() == MediaCharacteristicAudible) selected.audio = option;
                else selected.text = option;
            }
        }
        gst_object_unref(stream);
    }
    selectedAudio_ = selected.audio ? selected.audio->streamID() : std::string();
    selectedText_ = selected.text ? selected.text->streamID() : std::string();
    selectionRead_ = true;
    return selected;
}

void GstStreams::choose(const rt::Ref<MediaSelectionGroup>& group, const rt::Ref<MediaSelectionOption>& option) {
    if (group->characteristic() == MediaCharacteristicAudible) {
        if (option) wantedAudio_ = option->streamID();
    } else if (group->characteristic() == MediaCharacteristicLegible) {
        // Outside: a choice was made; inside: which (none, when subtitles were turned off).
        wantedText_ = option ? std::optional<std::string>(option->streamID()) : std::optional<std::string>();
    }
    choiceWaiting_ = true;
}

GstEvent* GstStreams::takeSelection() {
    choiceWaiting_ = false;
    GList* streams = nullptr;
    // A group nobody has chosen in keeps what plays now (dropping a stream and asking
    // for it again later does not bring it back), else its default.
    auto untouched = [&](const char* characteristic, const std::string& playing) -> std::string {
        if (!playing.empty()) return playing;
        for (const auto& g : groups_)
            if (g->characteristic() == characteristic && g->defaultOption()) return g->defaultOption()->streamID();
        return {};
    };
    if (!videoStream_.empty()) streams = g_list_append(streams, g_strdup(videoStream_.c_str()));
    std::string audio = wantedAudio_ ? *wantedAudio_ : untouched(MediaCharacteristicAudible, selectedAudio_);
    if (!audio.empty()) streams = g_list_append(streams, g_strdup(audio.c_str()));
    // Subtitles turned off select no subtitle stream.
    std::string text = wantedText_ ? wantedText_->value_or(std::string()) : untouched(MediaCharacteristicLegible, selectedText_);
    if (!text.empty()) streams = g_list_append(streams, g_strdup(text.c_str()));
    // What plays already is not asked for again: the decoder bin confirms only a change,
    // and a choice it never confirms holds every command after it (a seek, say) for the
    // choice's whole bound.
    if (selectionRead_ && audio == selectedAudio_ && text == selectedText_) {
        g_list_free_full(streams, g_free);
        return nullptr;
    }
    GstEvent* event = gst_event_new_select_streams(streams);
    g_list_free_full(streams, g_free);
    return event;
}

}  // namespace media::gstimpl
