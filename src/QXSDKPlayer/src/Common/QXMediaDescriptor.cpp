#include <QXSDKPlayer/Common/QXMediaDescriptor.h>

namespace zid {

rt::Ref<QXMediaDescriptor> QXMediaDescriptor::liveDescriptorWithID(std::string mediaID) {
    return rt::make<QXMediaDescriptor>(std::move(mediaID), true);
}

rt::Ref<QXMediaDescriptor> QXMediaDescriptor::channelDescriptorWithID(std::string mediaID) {
    return liveDescriptorWithID(std::move(mediaID));
}

rt::Ref<QXMediaDescriptor> QXMediaDescriptor::recordedDescriptorWithID(std::string mediaID) {
    return rt::make<QXMediaDescriptor>(std::move(mediaID), false);
}

void QXMediaDescriptor::describe(rt::ClassBuilder<QXMediaDescriptor>& c) {
    // A host's object, given to the facade and the prebuffering controller: its setters
    // keep their thread.
    c.mainThreadOnly();
    c.readonly("isLive", &QXMediaDescriptor::isLive);
    c.dependent("isLive", {"isChannel"});
}

}  // namespace zid
