#include <QXCorePlayer/Core/View/PlaybackControl/CPDefaultPlaybackControlFactory.h>

#include "CPDefaultLivePlaybackControl.h"
#include "CPDefaultRecordedPlaybackControl.h"

namespace zid {

rt::Ref<ICPPlaybackControl> CPDefaultPlaybackControlFactory::controlForMediaSource(
    const rt::Ref<ICPMediaSource>& source, const rt::Ref<ICPMediaPlayer>& player) {
    if (!source || !player) return nullptr;
    switch (source->sourceType()) {
        case CPMediaSourceType::Recorded:
        case CPMediaSourceType::Highlight:
            return CPDefaultRecordedPlaybackControl::controlForMediaSource(source, player);
        case CPMediaSourceType::LiveChannel:
            return CPDefaultLivePlaybackControl::controlForMediaSource(source, player);
        default:
            return nullptr;
    }
}

}  // namespace zid
