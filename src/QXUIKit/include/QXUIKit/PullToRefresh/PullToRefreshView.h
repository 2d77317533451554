#pragma once
// The pull-to-refresh indicator that sits above a scroll view's content: an icon that
// fades in and turns with the pull and spins while a refresh runs.

#include <rt/MainThread.h>
#include <ui/Image.h>
#include <ui/ImageView.h>
#include <ui/View.h>

namespace zid {

class PullToRefreshView : public ui::View {
    RT_CLASS(PullToRefreshView, ui::View)
public:
    static constexpr double kSpinHalfTurn = 0.2;

    explicit PullToRefreshView(const ui::Rect& frame = ui::Rect());
    /// 320 x 62, flexible width, with the kit's pull-to-refresh icon.
    static rt::Ref<PullToRefreshView> createDefaultPullToRefreshView();

    rt::Ref<ui::Image> actionImage() const { RT_MAIN_THREAD_ONLY(); return actionImage_; }
    /// A new image view shows the image, sized to fit and centred.
    void setActionImage(rt::Ref<ui::Image> image);
    const rt::Ref<ui::ImageView>& actionImageView() const { RT_MAIN_THREAD_ONLY(); return actionImageView_; }
    /// The icon is drawn as a template in the colour (the icon's tint; the view's own
    /// tint through ui::View stays as it is).
    void setTintColor(rt::Ref<ui::Color> color);

    bool isRefreshing() const { RT_MAIN_THREAD_ONLY(); return refreshing_; }
    /// Starts the endless spin (half a turn every 0.2 s) or stops it.
    void setRefreshing(bool refreshing);
    double currentVerticalOffset() const { RT_MAIN_THREAD_ONLY(); return currentVerticalOffset_; }
    /// Follows the scroll view's offset: the icon's alpha grows with the pull, and each
    /// call turns it a step (forward while the content moves down) unless spinning.
    void updateContentOffset(ui::Point offset);

protected:
    void didInitialize() override;

private:
    void alignActionImageView();

    bool refreshing_ = false;
    rt::Ref<ui::Image> actionImage_;
    rt::Ref<ui::ImageView> actionImageView_;
    double currentVerticalOffset_ = 0;
};

}  // namespace zid
