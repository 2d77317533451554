#include <QXSDKPlayer/Common/QXIdentitySources.h>

namespace zid {

rt::Ref<ChannelSource> ChannelSource::sourceWithChannelId(std::string channelID) {
    return rt::make<ChannelSource>(std::move(channelID));
}

void ChannelSource::didInitialize() {
    CPAbstractMediaSource::didInitialize();
    setSourceType(CPMediaSourceType::LiveChannel);
    setContentId(channelID_);
}

void ChannelSource::realizeWithPlaybackID(const std::string&) {
    setRealizing();
    setRealized();
}

rt::Ref<RecordedSource> RecordedSource::sourceWithRecordId(std::string recordID) {
    return rt::make<RecordedSource>(std::move(recordID));
}

void RecordedSource::didInitialize() {
    CPAbstractMediaSource::didInitialize();
    setSourceType(CPMediaSourceType::Recorded);
    setContentId(recordID_);
    setSafeToContinue(true);
}

void RecordedSource::realizeWithPlaybackID(const std::string&) {
    setRealizing();
    setRealized();
    setViewerCountEnabled(true);
}

rt::Ref<HighlightSource> HighlightSource::sourceWithHighlightId(std::string highlightID, std::string recordID) {
    return rt::make<HighlightSource>(std::move(highlightID), std::move(recordID));
}

void HighlightSource::didInitialize() {
    CPAbstractMediaSource::didInitialize();
    setSourceType(CPMediaSourceType::Highlight);
    setContentId(highlightID_);
    setSafeToContinue(true);
}

void HighlightSource::realizeWithPlaybackID(const std::string&) {
    setRealizing();
    setRealized();
}

}  // namespace zid
