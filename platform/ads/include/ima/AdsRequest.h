#pragma once
// One ad request: the ad tag URL, the container the ads show in, the content's playhead
// (read while ads are timed against the content) and a context the caller gets back.
#include <ima/AdDisplayContainer.h>

#include <string>

namespace ima {

/// The content's time, as the host knows it.
class ContentPlayhead {
public:
    virtual ~ContentPlayhead() = default;
    virtual double contentCurrentTime() = 0;
};

class AdsRequest : public rt::Object {
    RT_CLASS(AdsRequest, rt::Object)
public:
    /// The playhead is held weakly: it must be an rt::Object too (or nullptr).
    AdsRequest(std::string adTagUrl, rt::Ref<AdDisplayContainer> adDisplayContainer,
               const rt::Ref<rt::Object>& contentPlayhead, rt::Value userContext = {});

    const std::string& adTagUrl() const { return adTagUrl_; }
    const rt::Ref<AdDisplayContainer>& adDisplayContainer() const { return adDisplayContainer_; }
    /// nullptr once the playhead is gone or when there was none.
    ContentPlayhead* contentPlayhead() const;
    const rt::Value& userContext() const { return userContext_; }

private:
    std::string adTagUrl_;
    rt::Ref<AdDisplayContainer> adDisplayContainer_;
    rt::Weak<rt::Object> playheadObject_;
    ContentPlayhead* playhead_ = nullptr;
    rt::Value userContext_;
};

}  // namespace ima
