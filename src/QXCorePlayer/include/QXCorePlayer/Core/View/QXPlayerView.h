#pragma once
// The view that shows a player: it hosts the media layer's player layer, draws the
// layer's current picture into the rectangle the video gravity gives, and hands the
// remote-control events that reach it to its delegate, which it does not own.
#include <media/PlayerLayer.h>
#include <media/Presentation.h>
#include <rt/MainThread.h>
#include <rt/KVC.h>
#include <ui/Image.h>
#include <ui/View.h>

namespace zid {

class QXPlayerView;

class QXPlayerViewRemoteControlDelegate {
public:
    virtual ~QXPlayerViewRemoteControlDelegate() = default;
    virtual void playerViewDidReceiveRemoteControlEvent(QXPlayerView& view, const media::RemoteControlEvent& event) = 0;
};

class QXPlayerView : public ui::View, public media::RemoteControlReceiver {
    RT_CLASS(QXPlayerView, ui::View)
public:
    static void describe(rt::ClassBuilder<QXPlayerView>& c);
    explicit QXPlayerView(const ui::Rect& frame = ui::Rect());

    const rt::Ref<media::PlayerLayer>& playerLayer() const { RT_MAIN_THREAD_ONLY(); return playerLayer_; }
    rt::Ref<media::Player> player() const { RT_MAIN_THREAD_ONLY(); return playerLayer_->player(); }
    void setPlayer(const rt::Ref<media::Player>& player);

    /// The delegate is an object that adopts QXPlayerViewRemoteControlDelegate; the view
    /// keeps a weak reference, so a delegate that goes away is simply no longer told.
    void setRemoteControlDelegate(const rt::Ref<rt::Object>& delegate) { RT_MAIN_THREAD_ONLY(); delegate_ = delegate; }
    rt::Ref<rt::Object> remoteControlDelegate() const { RT_MAIN_THREAD_ONLY(); return delegate_.lock(); }

    bool canBecomeFirstResponder() const override { RT_MAIN_THREAD_ONLY(); return true; }
    /// While in a window the view takes the remote-control events the host injects.
    void didMoveToWindow() override;
    void remoteControlReceivedWithEvent(const media::RemoteControlEvent& event) override;

    bool drawsContent() const override { RT_MAIN_THREAD_ONLY(); return true; }
    void draw(ui::ImageContext& context, const ui::Rect& rect) override;
    void layoutSubviews() override;

protected:
    void didInitialize() override;

private:
    rt::Ref<media::PlayerLayer> playerLayer_ = rt::make<media::PlayerLayer>();
    rt::Weak<rt::Object> delegate_;
    // The picture last drawn, over the frame's own bytes, for the redraws between pictures.
    rt::Ref<media::VideoFrame> shownFrame_;
    rt::Ref<ui::Image> shownImage_;
};

}  // namespace zid
