#include <QXSDKPlayer/Common/QXSourceChain.h>

#include <QXCorePlayer/Core/Core/CPURLResolvingSource.h>
#include <QXCorePlayer/Core/HLSSourceResolver/CPHLSSourceResolver.h>
#include <QXSDKPlayer/Common/QXIdentitySources.h>

namespace zid {

namespace {
std::optional<std::string> orNone(const std::string& text) {
    return text.empty() ? std::nullopt : std::optional<std::string>(text);
}
}  // namespace

QXSourceChain QXSourceChain::forDescriptor(const QXMediaDescriptor& descriptor, const rt::Ref<ICPVexaFactory>& factory) {
    QXSourceChain chain;
    rt::Ref<ICPMediaSource> identity;
    if (descriptor.isChannel())
        identity = ChannelSource::sourceWithChannelId(descriptor.mediaID());
    else
        identity = RecordedSource::sourceWithRecordId(descriptor.mediaID());
    chain.connectedSource = CPVexaConnectedSource::sourceWithSource(identity, factory);
    chain.connectedSource->setPassword(orNone(descriptor.password()));
    chain.connectedSource->setHashLockHash(orNone(descriptor.hashCode()));
    if (descriptor.isChannel()) {
        chain.source = CPURLResolvingSource::sourceWithBaseSource(chain.connectedSource, CPHLSSourceResolver::resolver());
        chain.rewindOnFinish = false;
    } else {
        chain.source = chain.connectedSource;
        chain.rewindOnFinish = true;
    }
    return chain;
}

rt::Ref<CPPlaybackSession> QXSourceChain::makeSession(const rt::Ref<ICPPlayerFactory>& playerFactory,
                                                      bool autoplay) const {
    auto session = CPPlaybackSession::sessionWithMediaSource(source, playerFactory);
    session->setAutoStart(autoplay);
    session->setRewindOnFinish(rewindOnFinish);
    return session;
}

}  // namespace zid
