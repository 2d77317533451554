#pragma once
// An image view that shows its image clipped to the ellipse inscribed in its bounds
// (a circle for square bounds), renewed whenever the bounds change.

#include <rt/KVO.h>
#include <ui/ImageView.h>

namespace zid {

class RoundedImageView : public ui::ImageView {
    RT_CLASS(RoundedImageView, ui::ImageView)
public:
    explicit RoundedImageView(const ui::Rect& frame = ui::Rect());

protected:
    void didInitialize() override;

private:
    void renewMask();
    rt::ObservationHandle boundsObservation_;
};

}  // namespace zid
