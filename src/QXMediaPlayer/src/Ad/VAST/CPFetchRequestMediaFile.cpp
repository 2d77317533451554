#include <QXMediaPlayer/Ad/VAST/CPFetchRequestMediaFile.h>

#include <rt/Format.h>

#include <functional>

namespace zid {

CPFetchRequestMediaFile::CPFetchRequestMediaFile(std::optional<std::string> identification, std::int64_t delivery,
                                                 std::optional<std::string> type, std::int64_t bitrate,
                                                 std::int64_t width, std::int64_t height, bool scalable,
                                                 bool maintainAspectRatio, std::optional<std::string> apiFramework,
                                                 std::optional<std::string> url)
    : identification_(std::move(identification)),
      delivery_(delivery),
      type_(std::move(type)),
      bitrate_(bitrate),
      width_(width),
      height_(height),
      scalable_(scalable),
      maintainAspectRatio_(maintainAspectRatio),
      apiFramework_(std::move(apiFramework)),
      url_(std::move(url)) {}

rt::Ref<CPFetchRequestMediaFile> CPFetchRequestMediaFile::fetchRequestMediaFileWithIdentification(
    std::optional<std::string> identification, std::int64_t delivery, std::optional<std::string> type,
    std::int64_t bitrate, std::int64_t width, std::int64_t height, bool scalable, bool maintainAspectRatio,
    std::optional<std::string> apiFramework, std::optional<std::string> url) {
    return rt::make<CPFetchRequestMediaFile>(std::move(identification), delivery, std::move(type), bitrate, width,
                                             height, scalable, maintainAspectRatio, std::move(apiFramework),
                                             std::move(url));
}

bool CPFetchRequestMediaFile::isEqual(const rt::Object& other) const {
    if (&other == this) return true;
    const auto* file = dynamic_cast<const CPFetchRequestMediaFile*>(&other);
    if (!file || !other.isKindOf(objectClass())) return false;
    return identification_ == file->identification_ && type_ == file->type_ && delivery_ == file->delivery_ &&
           bitrate_ == file->bitrate_ && width_ == file->width_ && height_ == file->height_ &&
           scalable_ == file->scalable_ && maintainAspectRatio_ == file->maintainAspectRatio_ &&
           apiFramework_ == file->apiFramework_ && url_ == file->url_;
}

std::size_t CPFetchRequestMediaFile::hash() const {
    // The address and the size tell media files apart well enough; equal files agree on
    // all of them.
    std::size_t h = url_ ? std::hash<std::string>{}(*url_) : 0x9e3779b9u;
    h = h * 31 + static_cast<std::size_t>(width_);
    h = h * 31 + static_cast<std::size_t>(height_);
    h = h * 31 + static_cast<std::size_t>(bitrate_);
    return h;
}

std::string CPFetchRequestMediaFile::description() const {
    return rt::format("<CPFetchRequestMediaFile id=%@ type=%@ delivery=%@ bitrate=%@ %@x%@ url=%@>",
                      identification_.value_or("(null)"), type_.value_or("(null)"),
                      static_cast<long long>(delivery_), static_cast<long long>(bitrate_),
                      static_cast<long long>(width_), static_cast<long long>(height_), url_.value_or("(null)"));
}

}  // namespace zid
