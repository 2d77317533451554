#pragma once
// The default controls of a live channel: play, the live badge and the viewer count
// at the left of the bottom bar, AirPlay and picture in picture at its right edge.

#include "CPDefaultPlaybackControl.h"

namespace zid {

class CPDefaultLivePlaybackControl : public CPDefaultPlaybackControl {
    RT_CLASS(CPDefaultLivePlaybackControl, CPDefaultPlaybackControl)
public:
    using CPDefaultPlaybackControl::CPDefaultPlaybackControl;
    static rt::Ref<CPDefaultLivePlaybackControl> controlForMediaSource(const rt::Ref<ICPMediaSource>& source,
                                                                       const rt::Ref<ICPMediaPlayer>& player);

protected:
    rt::Ref<QXToolbarItem> contentDetailsItem() override;
    QXToolbar::Items bottomItems() override;
};

}  // namespace zid
