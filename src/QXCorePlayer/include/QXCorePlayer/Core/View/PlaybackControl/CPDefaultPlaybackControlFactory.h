#pragma once
// The controls the player shows by default: the recorded control for a recorded video
// or a highlight, the live control for a live channel, none for anything else or for
// a missing source or player.

#include <QXCorePlayer/Core/View/PlayerControlViews/ICPPlaybackControl.h>

namespace zid {

class CPDefaultPlaybackControlFactory : public ICPPlaybackControlFactory {
    RT_CLASS(CPDefaultPlaybackControlFactory, ICPPlaybackControlFactory)
public:
    CPDefaultPlaybackControlFactory() = default;
    rt::Ref<ICPPlaybackControl> controlForMediaSource(const rt::Ref<ICPMediaSource>& source,
                                                     const rt::Ref<ICPMediaPlayer>& player) override;
};

}  // namespace zid
