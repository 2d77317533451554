#pragma once
// A media source for a fixed URL, realized as soon as it is asked to be.
#include <QXCorePlayer/Core/Core/CPAbstractMediaSource.h>

namespace zid {

class CPURLMediaSource : public CPAbstractMediaSource, public ICPURLMediaSource {
    RT_CLASS(CPURLMediaSource, CPAbstractMediaSource)
public:
    explicit CPURLMediaSource(std::string mediaUrl);
    static rt::Ref<CPURLMediaSource> sourceWithMediaURL(std::string mediaUrl) {
        return rt::make<CPURLMediaSource>(std::move(mediaUrl));
    }

    void realizeWithPlaybackID(const std::string& playbackID) override;
    void dispose() override;
    bool safeToContinue() const override { return true; }
    std::string mediaUrl() const override { return mediaUrl_; }
    std::string description() const override;

    static void describe(rt::ClassBuilder<CPURLMediaSource>& c) { c.readonly("mediaUrl", &CPURLMediaSource::mediaUrl); }

private:
    std::string mediaUrl_;
};

}  // namespace zid
