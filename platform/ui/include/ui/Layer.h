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
#include <rt/MainThread.h>

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

    double borderWidth() const { RT_MAIN_THREAD_ONLY(); return borderWidth_; }
    void setBorderWidth(double v) { RT_MAIN_THREAD_ONLY(); borderWidthKey.set(*this, v); }
    rt::Ref<Color> borderColor() const { RT_MAIN_THREAD_ONLY(); return borderColor_; }
    void setBorderColor(rt::Ref<Color> v) { RT_MAIN_THREAD_ONLY(); borderColorKey.set(*this, std::move(v)); }
    double cornerRadius() const { RT_MAIN_THREAD_ONLY(); return cornerRadius_; }
    void setCornerRadius(double v) { RT_MAIN_THREAD_ONLY(); cornerRadiusKey.set(*this, v); }
    bool masksToBounds() const { RT_MAIN_THREAD_ONLY(); return masksToBounds_; }
    void setMasksToBounds(bool v) { RT_MAIN_THREAD_ONLY(); masksToBoundsKey.set(*this, v); }

    rt::Ref<Color> shadowColor() const { RT_MAIN_THREAD_ONLY(); return shadowColor_; }
    void setShadowColor(rt::Ref<Color> v) { RT_MAIN_THREAD_ONLY(); shadowColorKey.set(*this, std::move(v)); }
    Size shadowOffset() const { RT_MAIN_THREAD_ONLY(); return shadowOffset_; }
    void setShadowOffset(Size v) { RT_MAIN_THREAD_ONLY(); shadowOffsetKey.set(*this, v); }
    double shadowOpacity() const { RT_MAIN_THREAD_ONLY(); return shadowOpacity_; }
    void setShadowOpacity(double v) { RT_MAIN_THREAD_ONLY(); shadowOpacityKey.set(*this, v); }
    double shadowRadius() const { RT_MAIN_THREAD_ONLY(); return shadowRadius_; }
    void setShadowRadius(double v) { RT_MAIN_THREAD_ONLY(); shadowRadiusKey.set(*this, v); }
    /// The shape that casts the shadow (in the view's bounds coordinates); nil: the
    /// bounds with the corner radius.
    rt::Ref<BezierPath> shadowPath() const { RT_MAIN_THREAD_ONLY(); return shadowPath_; }
    void setShadowPath(rt::Ref<BezierPath> v) { RT_MAIN_THREAD_ONLY(); shadowPathKey.set(*this, std::move(v)); }
    /// A mask shape: the view and its subviews show only inside it.
    rt::Ref<BezierPath> maskPath() const { RT_MAIN_THREAD_ONLY(); return maskPath_; }
    void setMaskPath(rt::Ref<BezierPath> v) { RT_MAIN_THREAD_ONLY(); maskPathKey.set(*this, std::move(v)); }

};

}  // namespace ui
