#pragma once
// An image view that cross-dissolves to a new image over its fade duration (0: at once).

#include <ui/ImageView.h>

namespace zid {

class QXImageView : public ui::ImageView {
    RT_CLASS(QXImageView, ui::ImageView)
public:
    using ui::ImageView::ImageView;

    double fadeAnimationDuration() const { return fadeAnimationDuration_; }
    void setFadeAnimationDuration(double seconds) { fadeAnimationDuration_ = seconds; }

    /// Sets the image inside a cross-dissolve transition of the fade duration.
    void setImage(rt::Ref<ui::Image> image);

private:
    double fadeAnimationDuration_ = 0;
};

}  // namespace zid
