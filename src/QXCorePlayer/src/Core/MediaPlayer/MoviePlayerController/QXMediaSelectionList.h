#pragma once
// One kind of media selection the controller offers (subtitles or audio tracks): the
// options of the asset's group for one media characteristic, the group's default and
// the option the current item plays, each an observable property of the owner under
// the kind's own key. Options come wrapped as QXMediaLayerSelectionOption.
#include <media/Asset.h>
#include <media/MediaSelection.h>
#include <media/PlayerItem.h>
#include <rt/Object.h>

namespace zid {

/// The names one kind of selection goes by.
struct QXMediaSelectionKind {
    const char* characteristic;  ///< the media characteristic of its group
    const char* listKey;         ///< the owner's key of the options
    const char* defaultKey;      ///< the owner's key of the group's default option
    const char* selectedKey;     ///< the owner's key of the selected option
};

inline constexpr QXMediaSelectionKind kSubtitleSelection{media::MediaCharacteristicLegible, "subtitles",
                                                         "defaultSubtitle", "selectedSubtitle"};
inline constexpr QXMediaSelectionKind kAudioTrackSelection{media::MediaCharacteristicAudible, "audioTracks",
                                                           "defaultAudioTrack", "selectedAudioTrack"};

class QXMediaSelectionList {
public:
    /// `owner` announces the kind's keys and outlives the list.
    QXMediaSelectionList(rt::Object& owner, const QXMediaSelectionKind& kind) : owner_(owner), kind_(kind) {}

    /// Lists the options of the asset's group (none without an asset or a group) and
    /// its default option.
    void list(const rt::Ref<media::Asset>& asset);
    /// Selects the option (a wrapped or a plain media layer option; nullptr turns the
    /// kind off) in the item and reads back what the item selected. Nothing without an
    /// item or a listed group.
    void select(const rt::Ref<media::PlayerItem>& item, const rt::Ref<rt::Object>& option);

    /// An ArrayList of the wrapped options, or nullptr without a group.
    const rt::Ref<rt::Object>& options() const { return options_; }
    const rt::Ref<rt::Object>& defaultOption() const { return default_; }
    const rt::Ref<rt::Object>& selectedOption() const { return selected_; }

private:
    rt::Object& owner_;
    const QXMediaSelectionKind& kind_;
    rt::Ref<media::MediaSelectionGroup> group_;
    rt::Ref<rt::Object> options_, default_, selected_;
};

}  // namespace zid
