#pragma once
// A display-only horizontal bar showing where a value lies in a range: a fill from the
// left edge up to the progress value with a thin track marker at its edge, a seek
// marker while a seek value is set (anything but exactly -1), and three labels (the
// progress value, the seek value and the maximum) whose texts come from a value
// mapping. It handles no touches. Value changes show at the next layout pass, or at
// once, animated, through the animated setters.

#include <functional>
#include <string>

#include <ui/Label.h>
#include <rt/MainThread.h>
#include <rt/Property.h>
#include <ui/View.h>

namespace zid {

class QXSeekbar : public ui::View {
    RT_CLASS(QXSeekbar, ui::View)
public:
    using ValueMapping = std::function<std::string(double value)>;

private:  // fields first: each key names its field
    float minValue_ = 0;
    float maxValue_ = 1;
    float progressValue_ = 0;
    float seekValue_ = -1;
    float componentAlpha_ = 0.8f;
    rt::Ref<ui::Color> bgColor_;
    rt::Ref<ui::Color> progressColor_;
    rt::Ref<ui::Color> trackColor_;
    rt::Ref<ui::Color> textColor_;
    float textPadding_ = 10;
    float trackViewWidth_ = 2;
    float seekViewWidth_ = 4;

public:
    static constexpr rt::Key<QXSeekbar, float> minValueKey{"minValue", &QXSeekbar::minValue_};
    static constexpr rt::Key<QXSeekbar, float> maxValueKey{"maxValue", &QXSeekbar::maxValue_};
    static constexpr rt::Key<QXSeekbar, float> progressValueKey{"progressValue", &QXSeekbar::progressValue_};
    static constexpr rt::Key<QXSeekbar, float> seekValueKey{"seekValue", &QXSeekbar::seekValue_};
    static constexpr rt::Stored<&QXSeekbar::componentAlpha_, "componentAlpha", rt::writable> componentAlphaKey{};
    static constexpr rt::Stored<&QXSeekbar::bgColor_, "bgColor", rt::writable> bgColorKey{};
    static constexpr rt::Stored<&QXSeekbar::progressColor_, "progressColor", rt::writable> progressColorKey{};
    static constexpr rt::Stored<&QXSeekbar::trackColor_, "trackColor", rt::writable> trackColorKey{};
    static constexpr rt::Stored<&QXSeekbar::textColor_, "textColor", rt::writable> textColorKey{};
    static constexpr rt::Stored<&QXSeekbar::textPadding_, "textPadding", rt::writable> textPaddingKey{};
    static constexpr rt::Stored<&QXSeekbar::trackViewWidth_, "trackViewWidth", rt::writable> trackViewWidthKey{};
    static constexpr rt::Stored<&QXSeekbar::seekViewWidth_, "seekViewWidth", rt::writable> seekViewWidthKey{};

    /// The seek value that means "no seek under way".
    static constexpr float kNoSeek = -1;

    explicit QXSeekbar(const ui::Rect& frame = ui::Rect());
    static void describe(rt::ClassBuilder<QXSeekbar>& c);

    float minValue() const { RT_MAIN_THREAD_ONLY(); return minValue_; }
    void setMinValue(float v);
    float maxValue() const { RT_MAIN_THREAD_ONLY(); return maxValue_; }
    void setMaxValue(float v);
    float progressValue() const { RT_MAIN_THREAD_ONLY(); return progressValue_; }
    void setProgressValue(float v);
    /// Sets the value; animated, lays the bar out at once inside a 0.3-second animation.
    void setProgressValue(float v, bool animated);
    float seekValue() const { RT_MAIN_THREAD_ONLY(); return seekValue_; }
    void setSeekValue(float v);
    void setSeekValue(float v, bool animated);

    float componentAlpha() const { RT_MAIN_THREAD_ONLY(); return componentAlpha_; }
    void setComponentAlpha(float v) { RT_MAIN_THREAD_ONLY(); componentAlphaKey.set(*this, v); }
    rt::Ref<ui::Color> bgColor() const { RT_MAIN_THREAD_ONLY(); return bgColor_; }
    void setBgColor(rt::Ref<ui::Color> c) { RT_MAIN_THREAD_ONLY(); bgColorKey.set(*this, std::move(c)); }
    rt::Ref<ui::Color> progressColor() const { RT_MAIN_THREAD_ONLY(); return progressColor_; }
    void setProgressColor(rt::Ref<ui::Color> c) { RT_MAIN_THREAD_ONLY(); progressColorKey.set(*this, std::move(c)); }
    rt::Ref<ui::Color> trackColor() const { RT_MAIN_THREAD_ONLY(); return trackColor_; }
    void setTrackColor(rt::Ref<ui::Color> c) { RT_MAIN_THREAD_ONLY(); trackColorKey.set(*this, std::move(c)); }
    rt::Ref<ui::Color> textColor() const { RT_MAIN_THREAD_ONLY(); return textColor_; }
    void setTextColor(rt::Ref<ui::Color> c) { RT_MAIN_THREAD_ONLY(); textColorKey.set(*this, std::move(c)); }
    /// The following three take effect at the next layout pass, which setting them does
    /// not request.
    float textPadding() const { RT_MAIN_THREAD_ONLY(); return textPadding_; }
    void setTextPadding(float v) { RT_MAIN_THREAD_ONLY(); textPaddingKey.set(*this, v); }
    float trackViewWidth() const { RT_MAIN_THREAD_ONLY(); return trackViewWidth_; }
    void setTrackViewWidth(float v) { RT_MAIN_THREAD_ONLY(); trackViewWidthKey.set(*this, v); }
    float seekViewWidth() const { RT_MAIN_THREAD_ONLY(); return seekViewWidth_; }
    void setSeekViewWidth(float v) { RT_MAIN_THREAD_ONLY(); seekViewWidthKey.set(*this, v); }

    const ValueMapping& valueMapping() const { RT_MAIN_THREAD_ONLY(); return valueMapping_; }
    /// Stores the mapping and re-renders the three labels from the current values. An
    /// empty mapping reads as the default one ("%2.02f").
    void setValueMapping(ValueMapping mapping);
    /// The text of a value under the current mapping.
    std::string textForValue(double value) const;
    static std::string defaultMapping(double value);

    /// Where a value lies on the bar: bounds width x (value - min) / (max - min),
    /// truncated toward zero; 0 when the range is empty (max equals min) or the result is
    /// not a finite number.
    double positionForValue(double value) const;

    const rt::Ref<ui::View>& backgroundView() const { RT_MAIN_THREAD_ONLY(); return backgroundView_; }
    const rt::Ref<ui::View>& progressView() const { RT_MAIN_THREAD_ONLY(); return progressView_; }
    const rt::Ref<ui::View>& trackView() const { RT_MAIN_THREAD_ONLY(); return trackView_; }
    const rt::Ref<ui::View>& seekView() const { RT_MAIN_THREAD_ONLY(); return seekView_; }
    const rt::Ref<ui::Label>& maxValueLabel() const { RT_MAIN_THREAD_ONLY(); return maxValueLabel_; }
    const rt::Ref<ui::Label>& progressValueLabel() const { RT_MAIN_THREAD_ONLY(); return progressValueLabel_; }
    const rt::Ref<ui::Label>& seekValueLabel() const { RT_MAIN_THREAD_ONLY(); return seekValueLabel_; }

    void layoutSubviews() override;
    /// Places every part for the current values.
    void layoutElements();

protected:
    void didInitialize() override;

private:
    ui::Rect fittedLabelFrame(ui::Label& label, double x) const;
    /// Stores a value and asks for a layout pass (one for every write, changed or not).
    template <class K> void storeAndLayOut(const K& key, float v) {
        key.set(*this, v);
        setNeedsLayout();
    }
    /// Lays the bar out at once inside a 0.3-second animation.
    void layOutAnimated();

    ValueMapping valueMapping_;
    ui::Rect initialFrame_;
    rt::Ref<ui::View> backgroundView_;
    rt::Ref<ui::View> progressView_;
    rt::Ref<ui::View> trackView_;
    rt::Ref<ui::View> seekView_;
    rt::Ref<ui::Label> maxValueLabel_;
    rt::Ref<ui::Label> progressValueLabel_;
    rt::Ref<ui::Label> seekValueLabel_;
};

}  // namespace zid
