#pragma once
// The drawing properties of a view that are not the view's own: border, corner radius,
// clipping to the bounds, shadow and a mask shape. Every view has exactly one layer,
// made with it; the renderer reads it on every frame. Properties are observable.

#include <rt/KVC.h>
#include <rt/KVO.h>
#include <rt/Object.h>
#include <ui/BezierPath.h>
#include <ui/Color.h>
#include <ui/Geometry.h>

namespace ui {

class View;

class Layer : public rt::Object {
    RT_CLASS(Layer, rt::Object)
public:
    static void describe(rt::ClassBuilder<Layer>& c);

    double borderWidth() const { return borderWidth_; }
    void setBorderWidth(double v) { rt::kvoSet(this, "borderWidth", borderWidth_, v); }
    rt::Ref<Color> borderColor() const { return borderColor_; }
    void setBorderColor(rt::Ref<Color> v) { rt::kvoSet(this, "borderColor", borderColor_, std::move(v)); }
    double cornerRadius() const { return cornerRadius_; }
    void setCornerRadius(double v) { rt::kvoSet(this, "cornerRadius", cornerRadius_, v); }
    bool masksToBounds() const { return masksToBounds_; }
    void setMasksToBounds(bool v) { rt::kvoSet(this, "masksToBounds", masksToBounds_, v); }

    rt::Ref<Color> shadowColor() const { return shadowColor_; }
    void setShadowColor(rt::Ref<Color> v) { rt::kvoSet(this, "shadowColor", shadowColor_, std::move(v)); }
    Size shadowOffset() const { return shadowOffset_; }
    void setShadowOffset(Size v);
    double shadowOpacity() const { return shadowOpacity_; }
    void setShadowOpacity(double v) { rt::kvoSet(this, "shadowOpacity", shadowOpacity_, v); }
    double shadowRadius() const { return shadowRadius_; }
    void setShadowRadius(double v) { rt::kvoSet(this, "shadowRadius", shadowRadius_, v); }
    /// The shape that casts the shadow (in the view's bounds coordinates); nil: the
    /// bounds with the corner radius.
    rt::Ref<BezierPath> shadowPath() const { return shadowPath_; }
    void setShadowPath(rt::Ref<BezierPath> v) { rt::kvoSet(this, "shadowPath", shadowPath_, std::move(v)); }
    /// A mask shape: the view and its subviews show only inside it.
    rt::Ref<BezierPath> maskPath() const { return maskPath_; }
    void setMaskPath(rt::Ref<BezierPath> v) { rt::kvoSet(this, "maskPath", maskPath_, std::move(v)); }

private:
    double borderWidth_ = 0;
    rt::Ref<Color> borderColor_;
    double cornerRadius_ = 0;
    bool masksToBounds_ = false;
    rt::Ref<Color> shadowColor_;
    Size shadowOffset_{0, -3};
    double shadowOpacity_ = 0;
    double shadowRadius_ = 3;
    rt::Ref<BezierPath> shadowPath_;
    rt::Ref<BezierPath> maskPath_;
};

}  // namespace ui
