#pragma once
// The chain of sources that plays a media descriptor, the same for the facade and the
// prebuffering controller: a channel is a resolving source (the HLS readiness poll) over
// a media-server connected source over a ChannelSource, and plays without rewinding; a
// recorded video is a connected source over a RecordedSource, rewound at its end. The
// descriptor's password and hash go to the connected source.

#include <QXCorePlayer/Core/Core/CPPlaybackSession.h>
#include <QXCorePlayer/Core/Vexa/CPVexaConnectedSource.h>
#include <QXCorePlayer/Core/Vexa/ICPVexaFactory.h>
#include <QXSDKPlayer/Common/QXMediaDescriptor.h>

namespace zid {

struct QXSourceChain {
    /// What the session plays: the outermost source.
    rt::Ref<ICPMediaSource> source;
    /// The media-server connected source inside it.
    rt::Ref<CPVexaConnectedSource> connectedSource;
    /// NO for a channel, YES for a recorded video.
    bool rewindOnFinish = false;

    /// The chain for a descriptor (not null) with clients from the factory.
    static QXSourceChain forDescriptor(const QXMediaDescriptor& descriptor, const rt::Ref<ICPVexaFactory>& factory);
    /// A new session over the chain, with the player factory, the auto-start flag and
    /// the chain's rewind flag set; not prepared yet.
    rt::Ref<CPPlaybackSession> makeSession(const rt::Ref<ICPPlayerFactory>& playerFactory, bool autoplay) const;
};

}  // namespace zid
