#pragma once
// A media source for a fixed URL, realized as soon as it is asked to be.
#include <QXCorePlayer/Core/Core/CPAbstractMediaSource.h>
#include <rt/MainThread.h>

namespace zid {

class CPURLMediaSource : public CPAbstractMediaSource, public ICPURLMediaSource {
    RT_CLASS(CPURLMediaSource, CPAbstractMediaSource)
    std::string mediaUrl_;

public:
    static constexpr rt::Stored<&CPURLMediaSource::mediaUrl_, "mediaUrl"> mediaUrlKey{};

    explicit CPURLMediaSource(std::string mediaUrl);
    static rt::Ref<CPURLMediaSource> sourceWithMediaURL(std::string mediaUrl) {
        return rt::make<CPURLMediaSource>(std::move(mediaUrl));
    }

    void realizeWithPlaybackID(const std::string& playbackID) override;
    void dispose() override;
    bool safeToContinue() const override { RT_MAIN_THREAD_ONLY(); return true; }
    std::string mediaUrl() const override { RT_MAIN_THREAD_ONLY(); return mediaUrlKey.get(*this); }
    std::string description() const override;

    static void describe(rt::ClassBuilder<CPURLMediaSource>& c) {
        c.readonly("safeToContinue", &CPURLMediaSource::safeToContinue);
    }
};

}  // namespace zid
