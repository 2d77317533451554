#pragma once
// The default controls of a recorded video or highlight: play, then the seek slider
// between the elapsed time and the duration, then AirPlay and picture in picture.

#include "CPDefaultPlaybackControl.h"

namespace zid {

class CPDefaultRecordedPlaybackControl : public CPDefaultPlaybackControl {
    RT_CLASS(CPDefaultRecordedPlaybackControl, CPDefaultPlaybackControl)
public:
    using CPDefaultPlaybackControl::CPDefaultPlaybackControl;
    static rt::Ref<CPDefaultRecordedPlaybackControl> controlForMediaSource(const rt::Ref<ICPMediaSource>& source,
                                                                           const rt::Ref<ICPMediaPlayer>& player);

protected:
    rt::Ref<QXToolbarItem> contentDetailsItem() override;
    QXToolbar::Items bottomItems() override;
};

}  // namespace zid
