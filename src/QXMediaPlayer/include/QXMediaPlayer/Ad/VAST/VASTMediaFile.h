#pragma once
// One media file of a linear ad as the document describes it. String fields are absent
// (not empty) when the document does not give them.
#include <rt/Object.h>

#include <cstdint>
#include <optional>
#include <string>

namespace zid {

/// How a media file is delivered: 0 not given or not recognised.
enum class VASTDelivery : std::int32_t { Unknown = 0, Streaming = 1, Progressive = 2 };

class VASTMediaFile : public rt::Object {
    RT_CLASS(VASTMediaFile, rt::Object)
public:
    VASTMediaFile() = default;

    std::optional<std::string> identification;
    VASTDelivery delivery = VASTDelivery::Unknown;
    /// The MIME type as written ("video/mp4").
    std::optional<std::string> type;
    std::int64_t bitrate = 0;
    std::int64_t width = 0;
    std::int64_t height = 0;
    bool scalable = false;
    bool maintainAspectRatio = false;
    std::optional<std::string> apiFramework;
    /// The address as text, not yet a parsed URL.
    std::optional<std::string> url;

    std::string description() const override;
};

}  // namespace zid
