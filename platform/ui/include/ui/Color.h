#pragma once
// An immutable RGBA colour (components 0..1, not premultiplied). Colours compare by
// their components, so a key-value observation of a colour property reports a change
// only when the colour really changes.

#include <string>

#include <rt/Object.h>

namespace ui {

class Color : public rt::Object {
    RT_CLASS(Color, rt::Object)
public:
    Color(double red, double green, double blue, double alpha);

    static rt::Ref<Color> rgba(double red, double green, double blue, double alpha = 1.0);
    /// A grey: red, green and blue all `white`.
    static rt::Ref<Color> white(double white, double alpha);
    static rt::Ref<Color> whiteColor();
    static rt::Ref<Color> blackColor();
    static rt::Ref<Color> clearColor();
    static rt::Ref<Color> grayColor();       // white 0.5
    static rt::Ref<Color> lightGrayColor();  // white 2/3
    static rt::Ref<Color> darkGrayColor();   // white 1/3
    static rt::Ref<Color> redColor();
    static rt::Ref<Color> greenColor();
    static rt::Ref<Color> blueColor();
    static rt::Ref<Color> yellowColor();
    static rt::Ref<Color> orangeColor();     // 1, 0.5, 0

    double red() const { return r_; }
    double green() const { return g_; }
    double blue() const { return b_; }
    double alpha() const { return a_; }
    /// Whether the colour was made as a grey (it then has two components: white, alpha).
    bool isGray() const { return r_ == g_ && g_ == b_ && gray_; }
    rt::Ref<Color> withAlpha(double alpha) const;

    bool isEqual(const rt::Object& other) const override;
    std::size_t hash() const override;
    std::string description() const override;

private:
    double r_, g_, b_, a_;
    bool gray_ = false;
};

}  // namespace ui
