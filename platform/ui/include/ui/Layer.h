#pragma once
// The drawing properties of a view that are not the view's own: border, corner radius,
// clipping to the bounds, shadow and a mask shape. Every view has exactly one layer,
// made with it; the renderer reads it on every frame. Properties are observable.

#include <rt/KVC.h>
#include <rt/KVO.h>
#include <rt/Key.h>
#include <rt/Object.h>
#include <ui/BezierPath.h>
#include <ui/Color.h>
#include <ui/Geometry.h>
#include <ui/GeometryValues.h>

namespace ui {

class View;

class Layer : public rt::Object {
    RT_CLASS(Layer, rt::Object)
private:  // fields first: each key names its field
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

public:
    static constexpr rt::Key<Layer, double> borderWidthKey{"borderWidth", &Layer::borderWidth_};
    static constexpr rt::Key<Layer, rt::Ref<Color>> borderColorKey{"borderColor", &Layer::borderColor_};
    static constexpr rt::Key<Layer, double> cornerRadiusKey{"cornerRadius", &Layer::cornerRadius_};
    static constexpr rt::Key<Layer, bool> masksToBoundsKey{"masksToBounds", &Layer::masksToBounds_};
    static constexpr rt::Key<Layer, rt::Ref<Color>> shadowColorKey{"shadowColor", &Layer::shadowColor_};
    static constexpr rt::Key<Layer, Size> shadowOffsetKey{"shadowOffset", &Layer::shadowOffset_};
    static constexpr rt::Key<Layer, double> shadowOpacityKey{"shadowOpacity", &Layer::shadowOpacity_};
    static constexpr rt::Key<Layer, double> shadowRadiusKey{"shadowRadius", &Layer::shadowRadius_};
    static constexpr rt::Key<Layer, rt::Ref<BezierPath>> shadowPathKey{"shadowPath", &Layer::shadowPath_};
    static constexpr rt::Key<Layer, rt::Ref<BezierPath>> maskPathKey{"maskPath", &Layer::maskPath_};

    static void describe(rt::ClassBuilder<Layer>& c);

    double borderWidth() const { return borderWidth_; }
    void setBorderWidth(double v) { borderWidthKey.set(*this, v); }
    rt::Ref<Color> borderColor() const { return borderColor_; }
    void setBorderColor(rt::Ref<Color> v) { borderColorKey.set(*this, std::move(v)); }
    double cornerRadius() const { return cornerRadius_; }
    void setCornerRadius(double v) { cornerRadiusKey.set(*this, v); }
    bool masksToBounds() const { return masksToBounds_; }
    void setMasksToBounds(bool v) { masksToBoundsKey.set(*this, v); }

    rt::Ref<Color> shadowColor() const { return shadowColor_; }
    void setShadowColor(rt::Ref<Color> v) { shadowColorKey.set(*this, std::move(v)); }
    Size shadowOffset() const { return shadowOffset_; }
    void setShadowOffset(Size v) { shadowOffsetKey.set(*this, v); }
    double shadowOpacity() const { return shadowOpacity_; }
    void setShadowOpacity(double v) { shadowOpacityKey.set(*this, v); }
    double shadowRadius() const { return shadowRadius_; }
    void setShadowRadius(double v) { shadowRadiusKey.set(*this, v); }
    /// The shape that casts the shadow (in the view's bounds coordinates); nil: the
    /// bounds with the corner radius.
    rt::Ref<BezierPath> shadowPath() const { return shadowPath_; }
    void setShadowPath(rt::Ref<BezierPath> v) { shadowPathKey.set(*this, std::move(v)); }
    /// A mask shape: the view and its subviews show only inside it.
    rt::Ref<BezierPath> maskPath() const { return maskPath_; }
    void setMaskPath(rt::Ref<BezierPath> v) { maskPathKey.set(*this, std::move(v)); }

};

}  // namespace ui
