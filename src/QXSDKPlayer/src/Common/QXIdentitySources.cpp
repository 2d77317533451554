#include <QXSDKPlayer/Common/QXIdentitySources.h>

namespace zid {

void IdentitySource::didInitialize() {
    CPAbstractMediaSource::didInitialize();
    setSourceType(type_);
    setContentId(contentID_);
    if (type_ != CPMediaSourceType::LiveChannel) setSafeToContinue(true);
}

void IdentitySource::realizeWithPlaybackID(const std::string&) {
    setRealizing();
    setRealized();
    if (type_ == CPMediaSourceType::Recorded) setViewerCountEnabled(true);
}

rt::Ref<ChannelSource> ChannelSource::sourceWithChannelId(std::string channelID) {
    return rt::make<ChannelSource>(std::move(channelID));
}

rt::Ref<RecordedSource> RecordedSource::sourceWithRecordId(std::string recordID) {
    return rt::make<RecordedSource>(std::move(recordID));
}

rt::Ref<HighlightSource> HighlightSource::sourceWithHighlightId(std::string highlightID, std::string recordID) {
    return rt::make<HighlightSource>(std::move(highlightID), std::move(recordID));
}

}  // namespace zid
