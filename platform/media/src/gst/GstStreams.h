#pragma once
// A session's streams: the collection the pipeline offers (the tracks and the audio and
// subtitle groups made from it), the choices made in those groups, and the streams the
// decoder bin last reported as selected. Knows nothing of the pipeline's state or of the
// item: the session sends the choice and tells the item. Main thread only.

#include <gst/gst.h>

#include <optional>
#include <string>
#include <vector>

#include <media/AssetTrack.h>
#include <media/MediaSelection.h>

namespace media::gstimpl {

class GstStreams {
public:
    GstStreams() = default;
    ~GstStreams() { close(); }
    GstStreams(const GstStreams&) = delete;
    GstStreams& operator=(const GstStreams&) = delete;

    /// Takes the collection (and the reference passed in) and makes tracks and groups of it.
    void read(GstStreamCollection* collection);
    /// Reads the collection held again: its streams' caps are known by now.
    void readAgain();
    /// Lets the collection go (the pipeline is gone).
    void close();

    const std::vector<rt::Ref<MediaSelectionGroup>>& groups() const { return groups_; }
    const std::vector<rt::Ref<AssetTrack>>& tracks() const { return tracks_; }
    bool hasLegibleGroup() const;

    /// What the decoder bin reports as selected, as options of the groups (nullptr: none).
    struct Selected {
        rt::Ref<MediaSelectionOption> audio, text;
    };
    Selected readSelected(GstMessage* message);

    /// A choice in a group (nullptr: none, where the group allows it). Choices made
    /// together go as one: the selection read next holds every choice so far.
    void choose(const rt::Ref<MediaSelectionGroup>& group, const rt::Ref<MediaSelectionOption>& option);
    /// A choice has been made that is not sent yet.
    bool choiceWaiting() const { return choiceWaiting_; }
    /// The streams to select, as a select-streams event: every choice made, and in a
    /// group nobody has chosen in what plays now (else its default). The choice is then
    /// no longer waiting. nullptr when that is what plays already.
    GstEvent* takeSelection();

private:
    GstStreamCollection* collection_ = nullptr;
    std::vector<rt::Ref<MediaSelectionGroup>> groups_;
    std::vector<rt::Ref<AssetTrack>> tracks_;
    std::string videoStream_;
    /// The stream chosen in each group; for subtitles, nullopt inside when they were
    /// turned off.
    std::optional<std::string> wantedAudio_;
    std::optional<std::optional<std::string>> wantedText_;
    /// The audio and subtitle streams playing now, as the pipeline last said.
    std::string selectedAudio_, selectedText_;
    bool selectionRead_ = false;
    bool choiceWaiting_ = false;
};

}  // namespace media::gstimpl
