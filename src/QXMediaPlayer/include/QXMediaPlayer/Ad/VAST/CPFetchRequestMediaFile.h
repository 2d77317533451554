#pragma once
// The value copy of a media file that an ad fetch hands out.
#include <QXMediaPlayer/Ad/VAST/VASTMediaFile.h>

#include <cstdint>
#include <optional>
#include <string>

namespace zid {

class CPFetchRequestMediaFile : public rt::Object {
    RT_CLASS(CPFetchRequestMediaFile, rt::Object)
public:
    CPFetchRequestMediaFile(std::optional<std::string> identification, std::int64_t delivery,
                            std::optional<std::string> type, std::int64_t bitrate, std::int64_t width,
                            std::int64_t height, bool scalable, bool maintainAspectRatio,
                            std::optional<std::string> apiFramework, std::optional<std::string> url);
    static rt::Ref<CPFetchRequestMediaFile> fetchRequestMediaFileWithIdentification(
        std::optional<std::string> identification, std::int64_t delivery, std::optional<std::string> type,
        std::int64_t bitrate, std::int64_t width, std::int64_t height, bool scalable, bool maintainAspectRatio,
        std::optional<std::string> apiFramework, std::optional<std::string> url);

    const std::optional<std::string>& identification() const { return identification_; }
    /// 0 not given or not recognised, 1 streaming, 2 progressive.
    std::int64_t delivery() const { return delivery_; }
    const std::optional<std::string>& type() const { return type_; }
    std::int64_t bitrate() const { return bitrate_; }
    std::int64_t width() const { return width_; }
    std::int64_t height() const { return height_; }
    bool scalable() const { return scalable_; }
    bool maintainAspectRatio() const { return maintainAspectRatio_; }
    const std::optional<std::string>& apiFramework() const { return apiFramework_; }
    const std::optional<std::string>& url() const { return url_; }

    /// Equal when the other is of this class (or a subclass) and all ten fields are
    /// equal; an absent string equals only an absent one.
    bool isEqual(const rt::Object& other) const override;
    /// Consistent with isEqual.
    std::size_t hash() const override;
    std::string description() const override;

private:
    std::optional<std::string> identification_;
    std::int64_t delivery_;
    std::optional<std::string> type_;
    std::int64_t bitrate_;
    std::int64_t width_;
    std::int64_t height_;
    bool scalable_;
    bool maintainAspectRatio_;
    std::optional<std::string> apiFramework_;
    std::optional<std::string> url_;
};

}  // namespace zid
