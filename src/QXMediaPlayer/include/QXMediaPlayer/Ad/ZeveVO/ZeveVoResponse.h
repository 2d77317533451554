#pragma once
// The ad an ad fetch found, with its media files as values.
#include <QXMediaPlayer/Ad/VAST/CPFetchRequestMediaFile.h>
#include <QXMediaPlayer/Ad/VAST/VASTAdElement.h>

namespace zid {

class ZeveVoResponse : public rt::Object, public VASTLinearAdFields {
    RT_CLASS(ZeveVoResponse, rt::Object)
public:
    /// The ad's properties; an absent element gives an empty response.
    explicit ZeveVoResponse(const rt::Ref<VASTAdElement>& element);

    /// One value per media file, in order; deliveries other than 1 and 2 become 0.
    std::vector<rt::Ref<CPFetchRequestMediaFile>> videoFiles;
};

}  // namespace zid
