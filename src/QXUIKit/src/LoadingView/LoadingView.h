#pragma once
// A white strip with a spinning image in its middle, for a host to show while content
// loads. The image turns half a revolution every 0.3 seconds, without end, from its
// first alignment until the view goes; every re-alignment (a new image, a new frame or
// size) re-centres it and restarts the spin on a later turn of the main loop.

#include <ui/ImageView.h>
#include <ui/View.h>

namespace zid {

class LoadingView : public ui::View {
    RT_CLASS(LoadingView, ui::View)
public:
    /// The name of the default image in the kit's bundle.
    static constexpr const char* kDefaultImageName = "generic_icon_pulltorefresh_normal.png";

    explicit LoadingView(const ui::Rect& frame = ui::Rect()) : ui::View(frame) {}

    /// A loading view of 320 x 62 points.
    static rt::Ref<LoadingView> createDefaultLoadingView();
    /// A loading view (of this class itself, whatever subclass asks) with a zero frame
    /// that stretches in width and height and keeps both margins flexible (mask 58).
    static rt::Ref<LoadingView> createDefaultFullscreenLoadingView();

    rt::Ref<ui::Image> loadingImage() const { return loadingImage_; }
    /// Shows the image, sizes the image view to it, centres it and restarts the spin.
    void setLoadingImage(rt::Ref<ui::Image> image);
    const rt::Ref<ui::ImageView>& loadingImageView() const { return loadingImageView_; }
    void setLoadingImageView(rt::Ref<ui::ImageView> view) { loadingImageView_ = std::move(view); }

    /// Sets the frame, then re-aligns the image.
    void setFrame(const ui::Rect& frame);
    /// Re-renders the image as a template painted in the colour; the view's own tint
    /// colour stays as it was.
    void setTintColor(rt::Ref<ui::Color> color);

    /// Only while the image view has an image: centres it and schedules the spin.
    void alignLoadingImage();
    /// Turns the image view by half a revolution and animates it back to no turn over
    /// 0.3 s, linearly, repeating without end.
    void startAnimation();

protected:
    void didInitialize() override;
    virtual void setup();

private:
    rt::Ref<ui::Image> loadingImage_;
    rt::Ref<ui::ImageView> loadingImageView_;
    bool settingFrame_ = false;
};

/// The full-screen variant; nothing of its own.
class FullscreenLoadingView : public LoadingView {
    RT_CLASS(FullscreenLoadingView, LoadingView)
public:
    using LoadingView::LoadingView;
};

}  // namespace zid
