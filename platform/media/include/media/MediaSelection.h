#pragma once
// Media selection: the alternative renditions of an asset (audio languages, subtitles),
// grouped per characteristic. An option is identified by the engine's stream id.

#include <string>
#include <vector>

#include <rt/Object.h>

namespace media {

inline constexpr const char* MediaCharacteristicAudible = "public.audible";
inline constexpr const char* MediaCharacteristicLegible = "public.legible";
inline constexpr const char* MediaCharacteristicVisual = "public.visual";

inline constexpr const char* MediaTypeVideo = "vide";
inline constexpr const char* MediaTypeAudio = "soun";
inline constexpr const char* MediaTypeSubtitle = "sbtl";
inline constexpr const char* MediaTypeText = "text";

/// Keys of common metadata items.
inline constexpr const char* MetadataCommonKeyTitle = "title";
inline constexpr const char* MetadataKeySpaceCommon = "comn";

struct MetadataItem {
    std::string keySpace;
    std::string key;
    std::string stringValue;
};

class MediaSelectionOption : public rt::Object {
    RT_CLASS(MediaSelectionOption, rt::Object)
public:
    MediaSelectionOption(std::string streamID, std::string mediaType, std::string extendedLanguageTag,
                         std::string displayName, std::vector<MetadataItem> commonMetadata = {});

    /// The engine's identifier of the rendition.
    const std::string& streamID() const { return streamID_; }
    const std::string& mediaType() const { return mediaType_; }
    /// A BCP 47 tag ("en", "fr-CA"), empty when the rendition names none.
    const std::string& extendedLanguageTag() const { return extendedLanguageTag_; }
    const std::string& displayName() const { return displayName_; }
    const std::vector<MetadataItem>& commonMetadata() const { return commonMetadata_; }
    /// The string value of the first common title item, or empty.
    std::string title() const;

    bool isEqual(const rt::Object& other) const override;
    std::size_t hash() const override;
    std::string description() const override;

private:
    std::string streamID_, mediaType_, extendedLanguageTag_, displayName_;
    std::vector<MetadataItem> commonMetadata_;
};

class MediaSelectionGroup : public rt::Object {
    RT_CLASS(MediaSelectionGroup, rt::Object)
public:
    MediaSelectionGroup(std::string characteristic, std::vector<rt::Ref<MediaSelectionOption>> options,
                        rt::Ref<MediaSelectionOption> defaultOption, bool allowsEmptySelection);

    const std::string& characteristic() const { return characteristic_; }
    const std::vector<rt::Ref<MediaSelectionOption>>& options() const { return options_; }
    /// The rendition the stream marks as default, or nullptr.
    const rt::Ref<MediaSelectionOption>& defaultOption() const { return defaultOption_; }
    bool allowsEmptySelection() const { return allowsEmptySelection_; }
    /// The option with this stream id, or nullptr.
    rt::Ref<MediaSelectionOption> optionWithStreamID(const std::string& id) const;
    bool isEqual(const rt::Object& other) const override;
    std::size_t hash() const override;

private:
    std::string characteristic_;
    std::vector<rt::Ref<MediaSelectionOption>> options_;
    rt::Ref<MediaSelectionOption> defaultOption_;
    bool allowsEmptySelection_;
};

}  // namespace media
