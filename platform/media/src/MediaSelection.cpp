#include <media/AssetTrack.h>
#include <media/MediaErrors.h>
#include <media/MediaSelection.h>

#include <functional>

#include <rt/Format.h>

namespace media {

rt::Ref<rt::Error> makeMediaError(MediaErrorCode code, const std::string& description, const std::string& reason) {
    rt::Dictionary info{{rt::Value(rt::Error::LocalizedDescriptionKey), rt::Value(description)}};
    if (!reason.empty()) info.set(rt::Value(rt::Error::LocalizedFailureReasonKey), rt::Value(reason));
    return rt::Error::make(MediaErrorDomain, static_cast<long long>(code), info);
}

MediaSelectionOption::MediaSelectionOption(std::string streamID, std::string mediaType, std::string extendedLanguageTag,
                                           std::string displayName, std::vector<MetadataItem> commonMetadata)
    : streamID_(std::move(streamID)),
      mediaType_(std::move(mediaType)),
      extendedLanguageTag_(std::move(extendedLanguageTag)),
      displayName_(std::move(displayName)),
      commonMetadata_(std::move(commonMetadata)) {}

std::string MediaSelectionOption::title() const {
    for (const auto& item : commonMetadata_)
        if (item.keySpace == MetadataKeySpaceCommon && item.key == MetadataCommonKeyTitle) return item.stringValue;
    return {};
}

bool MediaSelectionOption::isEqual(const rt::Object& other) const {
    auto* o = dynamic_cast<const MediaSelectionOption*>(&other);
    return o && o->streamID_ == streamID_ && o->mediaType_ == mediaType_;
}

std::size_t MediaSelectionOption::hash() const { return std::hash<std::string>{}(streamID_); }

std::string MediaSelectionOption::description() const {
    return rt::format("<MediaSelectionOption %s %s \"%s\">", mediaType_, extendedLanguageTag_, displayName_);
}

MediaSelectionGroup::MediaSelectionGroup(std::string characteristic, std::vector<rt::Ref<MediaSelectionOption>> options,
                                         rt::Ref<MediaSelectionOption> defaultOption, bool allowsEmptySelection)
    : characteristic_(std::move(characteristic)),
      options_(std::move(options)),
      defaultOption_(std::move(defaultOption)),
      allowsEmptySelection_(allowsEmptySelection) {}

rt::Ref<MediaSelectionOption> MediaSelectionGroup::optionWithStreamID(const std::string& id) const {
    for (const auto& option : options_)
        if (option->streamID() == id) return option;
    return nullptr;
}

bool MediaSelectionGroup::isEqual(const rt::Object& other) const {
    auto* o = dynamic_cast<const MediaSelectionGroup*>(&other);
    if (!o || o->characteristic_ != characteristic_ || o->options_.size() != options_.size()) return false;
    for (std::size_t i = 0; i < options_.size(); ++i)
        if (!options_[i]->isEqual(*o->options_[i])) return false;
    return true;
}

std::size_t MediaSelectionGroup::hash() const { return std::hash<std::string>{}(characteristic_) ^ options_.size(); }

std::uint32_t AssetTrack::codecFourCC() const {
    std::uint32_t code = 0;
    for (std::size_t i = 0; i < 4; ++i)
        code = (code << 8) | static_cast<unsigned char>(i < d_.codec.size() ? d_.codec[i] : ' ');
    return code;
}

std::string AssetTrack::description() const {
    return rt::format("<AssetTrack %s %s %s %.0fx%.0f @%.2f>", d_.trackID, d_.mediaType, d_.codec, d_.naturalSize.width,
                      d_.naturalSize.height, static_cast<double>(d_.nominalFrameRate));
}

}  // namespace media
