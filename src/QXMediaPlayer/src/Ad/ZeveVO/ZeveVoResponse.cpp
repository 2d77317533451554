#include <QXMediaPlayer/Ad/ZeveVO/ZeveVoResponse.h>

namespace zid {

ZeveVoResponse::ZeveVoResponse(const rt::Ref<VASTAdElement>& element) {
    if (!element) return;
    static_cast<VASTLinearAdFields&>(*this) = *element;
    for (const auto& file : mediaFiles) {
        std::int64_t delivery = static_cast<std::int64_t>(file->delivery);
        if (delivery != 1 && delivery != 2) delivery = 0;
        videoFiles.push_back(CPFetchRequestMediaFile::fetchRequestMediaFileWithIdentification(
            file->identification, delivery, file->type, file->bitrate, file->width, file->height, file->scalable,
            file->maintainAspectRatio, file->apiFramework, file->url));
    }
}

}  // namespace zid
