#pragma once
// A control factory that always answers its one control, handing it each new source
// and player: how the facade shows its own toolbar control for every session.

#include <QXCorePlayer/Core/View/PlayerControlViews/ICPPlaybackControl.h>

namespace zid {

class ConstPlaybackControlFactory : public ICPPlaybackControlFactory {
    RT_CLASS(ConstPlaybackControlFactory, ICPPlaybackControlFactory)
public:
    explicit ConstPlaybackControlFactory(rt::Ref<ICPPlaybackControl> control) : playbackControl_(std::move(control)) {}
    const rt::Ref<ICPPlaybackControl>& playbackControl() const { return playbackControl_; }
    void setPlaybackControl(rt::Ref<ICPPlaybackControl> control) { playbackControl_ = std::move(control); }

    rt::Ref<ICPPlaybackControl> controlForMediaSource(const rt::Ref<ICPMediaSource>& source,
                                                     const rt::Ref<ICPMediaPlayer>& player) override {
        if (!playbackControl_) return nullptr;
        playbackControl_->setMediaSource(source);
        playbackControl_->setMediaPlayer(player);
        return playbackControl_;
    }

private:
    rt::Ref<ICPPlaybackControl> playbackControl_;
};

}  // namespace zid
