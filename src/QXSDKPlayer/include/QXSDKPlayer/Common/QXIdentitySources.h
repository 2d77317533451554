#pragma once
// The bare sources the facade plays: each names a channel, a recorded video or a
// highlight and realizes itself at once. The media-server connected source that wraps
// one does the real work, asking its client factory for a client by the source's class.

#include <string>

#include <QXCorePlayer/Core/Core/CPAbstractMediaSource.h>

namespace zid {

/// A live channel (source type 4).
class ChannelSource : public CPAbstractMediaSource {
    RT_CLASS(ChannelSource, CPAbstractMediaSource)
public:
    explicit ChannelSource(std::string channelID) : channelID_(std::move(channelID)) {}
    static rt::Ref<ChannelSource> sourceWithChannelId(std::string channelID);
    const std::string& channelID() const { return channelID_; }

    void realizeWithPlaybackID(const std::string& playbackID) override;
    void dispose() override {}

protected:
    void didInitialize() override;

private:
    std::string channelID_;
};

/// A recorded video (source type 1): safe to continue, and it enables viewer counts
/// once realized.
class RecordedSource : public CPAbstractMediaSource {
    RT_CLASS(RecordedSource, CPAbstractMediaSource)
public:
    explicit RecordedSource(std::string recordID) : recordID_(std::move(recordID)) {}
    static rt::Ref<RecordedSource> sourceWithRecordId(std::string recordID);
    const std::string& recordID() const { return recordID_; }

    void realizeWithPlaybackID(const std::string& playbackID) override;
    void dispose() override {}

protected:
    void didInitialize() override;

private:
    std::string recordID_;
};

/// A highlight of a recorded video (source type 2): safe to continue.
class HighlightSource : public CPAbstractMediaSource {
    RT_CLASS(HighlightSource, CPAbstractMediaSource)
public:
    HighlightSource(std::string highlightID, std::string recordID)
        : highlightID_(std::move(highlightID)), recordID_(std::move(recordID)) {}
    static rt::Ref<HighlightSource> sourceWithHighlightId(std::string highlightID, std::string recordID);
    const std::string& highlightID() const { return highlightID_; }
    const std::string& recordID() const { return recordID_; }

    void realizeWithPlaybackID(const std::string& playbackID) override;
    void dispose() override {}

protected:
    void didInitialize() override;

private:
    std::string highlightID_;
    std::string recordID_;
};

}  // namespace zid
