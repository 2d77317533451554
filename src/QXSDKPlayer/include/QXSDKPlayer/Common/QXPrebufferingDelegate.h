#pragma once
// What the prebuffering controller asks its host about the media it prepares. Every
// call is optional: a delegate overrides the ones it wants. Age confirmations are not
// asked here; the host meets them when it plays the facade it was handed.

#include <rt/Error.h>
#include <rt/Object.h>

namespace zid {

class QXMediaDescriptor;
class QXPrebufferingController;

class QXPrebufferingDelegate {
public:
    virtual ~QXPrebufferingDelegate() = default;
    /// The media's session is locked; answer with the controller's continueWith... calls.
    virtual void prebufferingControllerRequiresPasswordForMedia(QXPrebufferingController& controller,
                                                                const rt::Ref<QXMediaDescriptor>& media) {
        (void)controller, (void)media;
    }
    virtual void prebufferingControllerRequiresHashForMedia(QXPrebufferingController& controller,
                                                            const rt::Ref<QXMediaDescriptor>& media) {
        (void)controller, (void)media;
    }
    virtual void prebufferingControllerRequiresBirthdateForMedia(QXPrebufferingController& controller,
                                                                 const rt::Ref<QXMediaDescriptor>& media) {
        (void)controller, (void)media;
    }
    /// The media's session failed with the error. YES resets the session so that it is
    /// prepared again after a back-off; NO (the default) leaves it failed.
    virtual bool prebufferingControllerReportsLoadingErrorForMedia(QXPrebufferingController& controller,
                                                                   const rt::Ref<rt::Error>& error,
                                                                   const rt::Ref<QXMediaDescriptor>& media) {
        (void)controller, (void)error, (void)media;
        return false;
    }
};

}  // namespace zid
