#include <ima/AdsRequest.h>

namespace ima {

AdsRequest::AdsRequest(std::string adTagUrl, rt::Ref<AdDisplayContainer> adDisplayContainer,
                       const rt::Ref<rt::Object>& contentPlayhead, rt::Value userContext)
    : adTagUrl_(std::move(adTagUrl)),
      adDisplayContainer_(std::move(adDisplayContainer)),
      playheadObject_(contentPlayhead),
      playhead_(dynamic_cast<ContentPlayhead*>(contentPlayhead.get())),
      userContext_(std::move(userContext)) {}

ContentPlayhead* AdsRequest::contentPlayhead() const { return playheadObject_.expired() ? nullptr : playhead_; }

}  // namespace ima
