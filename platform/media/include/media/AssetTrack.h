#pragma once
// One elementary stream of an asset or item: what kind, whether it plays, its codec
// as a four-character code ("avc1", "mp4a", "wvtt") and, for video, its size and rate.

#include <cstdint>
#include <string>

#include <media/Time.h>
#include <rt/Object.h>

namespace media {

class AssetTrack : public rt::Object {
    RT_CLASS(AssetTrack, rt::Object)
public:
    struct Description {
        std::string trackID;
        std::string mediaType;  // MediaTypeVideo, MediaTypeAudio, MediaTypeSubtitle
        bool enabled = true;
        std::string codec;      // four-character code
        float nominalFrameRate = 0;
        Size naturalSize;
        std::string languageCode;
    };
    explicit AssetTrack(Description d) : d_(std::move(d)) {}

    const std::string& trackID() const { return d_.trackID; }
    const std::string& mediaType() const { return d_.mediaType; }
    bool isEnabled() const { return d_.enabled; }
    const std::string& codec() const { return d_.codec; }
    /// The codec as the platform's 32-bit four-character code (first letter highest).
    std::uint32_t codecFourCC() const;
    float nominalFrameRate() const { return d_.nominalFrameRate; }
    Size naturalSize() const { return d_.naturalSize; }
    const std::string& languageCode() const { return d_.languageCode; }
    const Description& trackDescription() const { return d_; }
    std::string description() const override;

private:
    Description d_;
};

}  // namespace media
