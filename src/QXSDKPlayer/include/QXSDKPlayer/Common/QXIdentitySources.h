#pragma once
// The bare sources the facade plays: each names a channel, a recorded video or a
// highlight and realizes itself at once. The media-server connected source that wraps
// one does the real work, asking its client factory for a client by the source's class.

#include <QXCorePlayer/Core/Core/CPAbstractMediaSource.h>

#include <string>

namespace zid {

/// What the bare sources share: a type and a content id known from the start, and a
/// realization that completes at once. A recorded kind is safe to continue.
class IdentitySource : public CPAbstractMediaSource {
    RT_CLASS(IdentitySource, CPAbstractMediaSource)
    void realizeWithPlaybackID(const std::string& playbackID) override;
    void dispose() override {}

protected:
    IdentitySource(CPMediaSourceType type, std::string contentID) : type_(type), contentID_(std::move(contentID)) {}
    void didInitialize() override;
    /// The identifier the source was made with (what each kind names its own).
    const std::string& identifier() const { return contentID_; }

private:
    CPMediaSourceType type_;
    std::string contentID_;
};

/// A live channel (source type 4).
class ChannelSource : public IdentitySource {
    RT_CLASS(ChannelSource, IdentitySource)
    explicit ChannelSource(std::string channelID)
        : IdentitySource(CPMediaSourceType::LiveChannel, std::move(channelID)) {}
    static rt::Ref<ChannelSource> sourceWithChannelId(std::string channelID);
    const std::string& channelID() const { return identifier(); }
};

/// A recorded video (source type 1): safe to continue, and it enables viewer counts
/// once realized.
class RecordedSource : public IdentitySource {
    RT_CLASS(RecordedSource, IdentitySource)
    explicit RecordedSource(std::string recordID) : IdentitySource(CPMediaSourceType::Recorded, std::move(recordID)) {}
    static rt::Ref<RecordedSource> sourceWithRecordId(std::string recordID);
    const std::string& recordID() const { return identifier(); }
};

/// A highlight of a recorded video (source type 2): safe to continue.
class HighlightSource : public IdentitySource {
    RT_CLASS(HighlightSource, IdentitySource)
    HighlightSource(std::string highlightID, std::string recordID)
        : IdentitySource(CPMediaSourceType::Highlight, std::move(highlightID)), recordID_(std::move(recordID)) {}
    static rt::Ref<HighlightSource> sourceWithHighlightId(std::string highlightID, std::string recordID);
    const std::string& highlightID() const { return identifier(); }
    const std::string& recordID() const { return recordID_; }

private:
    std::string recordID_;
};

}  // namespace zid
