#pragma once
// The broadcaster's logos over the video: one logo view per logo record of the
// session, placed at one of nine anchors with a margin and scaled with the player's
// height. Touches pass through except on the logos themselves. The player view keeps
// it above the video and below the status view and the controls. Main thread only.

#include <QXCorePlayer/Core/Core/CPPlaybackSession.h>
#include <QXUIKit/Views/QXEventTransparentView.h>
#include <rt/MainThread.h>
#include <rt/Property.h>

#include <vector>

namespace zid {

class CPLogoView;

/// Told when a logo view's image arrives or is lost.
class ILogoViewListener {
public:
    virtual ~ILogoViewListener() = default;
    virtual void logoViewDidChange(CPLogoView& logoView) = 0;
};

class CPLogoLayer : public QXEventTransparentView, public ILogoViewListener {
    RT_CLASS(CPLogoLayer, QXEventTransparentView)
private:
    rt::Ref<CPPlaybackSession> session_;

public:
    static constexpr rt::Stored<&CPLogoLayer::session_, "session", rt::writable> sessionKey{};

    /// The player height at which a logo shows at its natural size on a tablet, and
    /// on anything else.
    static constexpr int kTabletLogoScaleReference = 702;
    static constexpr int kLogoScaleReference = 320;

    explicit CPLogoLayer(const ui::Rect& frame = ui::Rect());

    const rt::Ref<CPPlaybackSession>& session() const { RT_MAIN_THREAD_ONLY(); return session_; }
    void setSession(rt::Ref<CPPlaybackSession> session) {
        RT_MAIN_THREAD_ONLY();
        sessionKey.set(*this, std::move(session));
    }
    /// The current logo views, in the order of the records (later ones on top).
    const std::vector<rt::Ref<CPLogoView>>& logoViews() const { RT_MAIN_THREAD_ONLY(); return logoViews_; }
    int logoScaleReference() const { RT_MAIN_THREAD_ONLY(); return logoScaleReference_; }

    /// Places the logos again after the frame is set.
    void setFrame(const ui::Rect& frame);

    /// Replaces every logo view with one per record (a value holding an array of
    /// logo records; nil or anything else removes them all).
    void logosChanged(const rt::Value& logoInfos);
    void removeLogos();
    void layoutLogos();
    /// 2 for a recorded video or a highlight, 1 for a live channel, 0 otherwise.
    static long logoTypeForSource(const rt::Ref<ICPMediaSource>& source);

protected:
    void didInitialize() override;
    /// A size change that does not come through setFrame here (the player view's
    /// autoresizing, a bounds change) places the logos again too.
    void resizeSubviewsWithOldSize(ui::Size oldSize) override;

private:
    // A logo view's class is the library's own: these take what a host cannot name.
    void positionLogo(CPLogoView& logo);
    void logoViewDidChange(CPLogoView& logoView) override;

    std::vector<rt::Ref<CPLogoView>> logoViews_;
    int logoScaleReference_ = kLogoScaleReference;
};

}  // namespace zid
