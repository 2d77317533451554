#pragma once
// A slider: a value between a minimum and a maximum picked by dragging a thumb along a
// track. A drag sends value-changed while it moves (or once at the end when not
// continuous), then touch-up inside or outside; a cancelled drag keeps the value.

#include <rt/MainThread.h>
#include <map>

#include <fnd/RunLoop.h>

#include <ui/Control.h>
#include <ui/Image.h>

namespace ui {

class Slider : public Control {
    RT_CLASS(Slider, Control)
private:
    double value_ = 0;
    double minimumValue_ = 0;
    double maximumValue_ = 1;

public:
    static constexpr rt::Key<Slider, double> valueKey{"value", &Slider::value_};
    static constexpr double kThumbSize = 28;

    explicit Slider(const Rect& frame = Rect());
    static void describe(rt::ClassBuilder<Slider>& c);

    double value() const { RT_MAIN_THREAD_ONLY(); return value_; }
    /// Clamped to the range.
    void setValue(double value);
    double minimumValue() const { RT_MAIN_THREAD_ONLY(); return minimumValue_; }
    void setMinimumValue(double v);
    double maximumValue() const { RT_MAIN_THREAD_ONLY(); return maximumValue_; }
    void setMaximumValue(double v);
    bool isContinuous() const { RT_MAIN_THREAD_ONLY(); return continuous_; }
    void setContinuous(bool c) { RT_MAIN_THREAD_ONLY(); continuous_ = c; }

    void setThumbImage(rt::Ref<Image> image, unsigned state) { RT_MAIN_THREAD_ONLY(); put(thumbs_, image, state); }
    rt::Ref<Image> thumbImageForState(unsigned state) const { RT_MAIN_THREAD_ONLY(); return get(thumbs_, state); }
    void setMinimumTrackImage(rt::Ref<Image> image, unsigned state) {
        RT_MAIN_THREAD_ONLY();
        put(minTracks_, image, state);
    }
    rt::Ref<Image> minimumTrackImageForState(unsigned state) const {
        RT_MAIN_THREAD_ONLY();
        return get(minTracks_, state);
    }
    void setMaximumTrackImage(rt::Ref<Image> image, unsigned state) {
        RT_MAIN_THREAD_ONLY();
        put(maxTracks_, image, state);
    }
    rt::Ref<Image> maximumTrackImageForState(unsigned state) const {
        RT_MAIN_THREAD_ONLY();
        return get(maxTracks_, state);
    }

    Rect trackRectForBounds(const Rect& bounds) const;
    Rect thumbRectForBounds(const Rect& bounds, const Rect& track, double value) const;
    /// The value under a point of the bounds.
    double valueAtPoint(Point p) const;

    bool beginTrackingWithTouch(Touch& touch) override;
    bool continueTrackingWithTouch(Touch& touch) override;
    void endTrackingWithTouch(Touch* touch) override;
    void cancelTrackingWithTouch(Touch* touch) override;
    /// A slider keeps its drags from the pans and swipes of its ancestors too.
    bool takesPrecedenceOver(const GestureRecognizer& recognizer) const override;

    /// The minimum track image from the track's start to the thumb's centre, the
    /// maximum track image from there to the end (both stretched by their caps, at
    /// their own height, centred), then the thumb image of the current state centred
    /// on the thumb rectangle. A slider without images draws nothing.
    bool drawsContent() const override { RT_MAIN_THREAD_ONLY(); return true; }
    void draw(ImageContext& context, const Rect& rect) override;
    void setEnabled(bool enabled) override;
    void setHighlighted(bool highlighted) override;

private:
    using Images = std::map<unsigned, rt::Ref<Image>>;
    static void put(Images& m, const rt::Ref<Image>& image, unsigned state) {
        if (image) m[state] = image;
        else m.erase(state);
    }
    static rt::Ref<Image> get(const Images& m, unsigned state) {
        auto it = m.find(state);
        if (it == m.end()) it = m.find(ControlState::Normal);
        return it == m.end() ? nullptr : it->second;
    }
    void track(Touch& touch);

    bool continuous_ = true;
    bool dragging_ = false;
    double grabOffset_ = 0;
    Images thumbs_, minTracks_, maxTracks_;
};

/// An on/off switch: a tap flips it and sends value-changed.
class Switch : public Control {
    RT_CLASS(Switch, Control)
private:
    bool on_ = false;

public:
    static constexpr rt::Key<Switch, bool> onKey{"on", &Switch::on_};
    explicit Switch(const Rect& frame = Rect(0, 0, 51, 31));
    static void describe(rt::ClassBuilder<Switch>& c);
    bool isOn() const { RT_MAIN_THREAD_ONLY(); return on_; }
    void setOn(bool on, bool animated = false);
    void setOnByKey(bool on) { RT_MAIN_THREAD_ONLY(); setOn(on); }
    void endTrackingWithTouch(Touch* touch) override;
    Size sizeThatFits(Size) const override { RT_MAIN_THREAD_ONLY(); return Size{51, 31}; }
};

/// A row of segments; touching one selects it and sends value-changed.
class SegmentedControl : public Control {
    RT_CLASS(SegmentedControl, Control)
private:
    long selectedSegmentIndex_ = -1;

public:
    static constexpr long kNoSegment = -1;
    static constexpr rt::Key<SegmentedControl, long> selectedSegmentIndexKey{"selectedSegmentIndex",
                                                                             &SegmentedControl::selectedSegmentIndex_};
    explicit SegmentedControl(std::vector<std::string> items = {});
    static void describe(rt::ClassBuilder<SegmentedControl>& c);

    std::size_t numberOfSegments() const { RT_MAIN_THREAD_ONLY(); return titles_.size(); }
    std::string titleForSegmentAtIndex(std::size_t i) const {
        RT_MAIN_THREAD_ONLY();
        return i < titles_.size() ? titles_[i] : "";
    }
    void setTitle(const std::string& title, std::size_t index);
    void insertSegmentWithTitle(const std::string& title, std::size_t index);
    void removeSegmentAtIndex(std::size_t index);
    void removeAllSegments();
    long selectedSegmentIndex() const { RT_MAIN_THREAD_ONLY(); return selectedSegmentIndex_; }
    void setSelectedSegmentIndex(long index);
    /// Momentary controls do not keep the selection after the touch.
    bool isMomentary() const { RT_MAIN_THREAD_ONLY(); return momentary_; }
    void setMomentary(bool m) { RT_MAIN_THREAD_ONLY(); momentary_ = m; }
    /// The segment under a point of the bounds (kNoSegment outside).
    long segmentAtPoint(Point p) const;

    bool beginTrackingWithTouch(Touch& touch) override;
    void endTrackingWithTouch(Touch* touch) override;
    /// Equal segments in the tint colour: an outlined rounded bar with dividers, the
    /// selected segment filled, titles centred.
    void draw(ImageContext& context, const Rect& rect) override;
    bool drawsContent() const override { RT_MAIN_THREAD_ONLY(); return true; }

private:
    std::vector<std::string> titles_;
    bool momentary_ = false;
};

enum class ActivityIndicatorViewStyle { WhiteLarge = 0, White = 1, Gray = 2 };

/// A spinner shown while work goes on.
class ActivityIndicatorView : public View {
    RT_CLASS(ActivityIndicatorView, View)
public:
    explicit ActivityIndicatorView(ActivityIndicatorViewStyle style = ActivityIndicatorViewStyle::White);
    ActivityIndicatorViewStyle activityIndicatorViewStyle() const { RT_MAIN_THREAD_ONLY(); return style_; }
    void setActivityIndicatorViewStyle(ActivityIndicatorViewStyle style);
    rt::Ref<Color> color() const { RT_MAIN_THREAD_ONLY(); return color_; }
    void setColor(rt::Ref<Color> c) { RT_MAIN_THREAD_ONLY(); color_ = std::move(c); }
    bool hidesWhenStopped() const { RT_MAIN_THREAD_ONLY(); return hidesWhenStopped_; }
    void setHidesWhenStopped(bool h);
    void startAnimating();
    void stopAnimating();
    bool isAnimating() const { RT_MAIN_THREAD_ONLY(); return animating_; }
    Size sizeThatFits(Size) const override;
    /// Twelve spokes fading round the circle, in the colour (the style's when none).
    bool drawsContent() const override { RT_MAIN_THREAD_ONLY(); return true; }
    void draw(ImageContext& context, const Rect& rect) override;

private:
    ActivityIndicatorViewStyle style_;
    rt::Ref<Color> color_;
    bool hidesWhenStopped_ = true;
    bool animating_ = false;
    // The spoke drawn brightest; a timer on the main loop's clock moves it on by one
    // twelve times a second while animating.
    int phase_ = 0;
    rt::Ref<fnd::Timer> timer_;

public:
    ~ActivityIndicatorView() override;
    static constexpr double kStepInterval = 1.0 / 12;
    int phase() const { RT_MAIN_THREAD_ONLY(); return phase_; }
};

}  // namespace ui
