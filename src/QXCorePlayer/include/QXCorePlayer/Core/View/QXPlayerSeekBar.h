#pragma once
// A small timeline a host application may place: three flat bars (black background,
// white loaded range, blue played part) between minValue and maxValue, and a tap that
// asks the delegate to seek to the tapped time. Setting the values does not redraw; the
// owner asks for it. A timeline of no length or a bar of no width puts everything at
// its start.
//
// The bar carries one tap recognizer of its own (it is also that recognizer's
// delegate); a recognized tap goes through handleTapFrom to handleTapAtPoint, which a
// host forwarding its own input may also call with a point in the bar's coordinates.
#include <rt/MainThread.h>
#include <media/Time.h>
#include <ui/GestureRecognizer.h>
#include <ui/View.h>

namespace zid {

class QXPlayerSeekBar;

class QXPlayerSeekBarDelegate {
public:
    virtual ~QXPlayerSeekBarDelegate() = default;
    virtual void playerSeekBarDidSeekToTime(QXPlayerSeekBar& bar, media::Time time) = 0;
};

class QXPlayerSeekBar : public ui::View, public ui::GestureRecognizerDelegate {
    RT_CLASS(QXPlayerSeekBar, ui::View)
public:
    explicit QXPlayerSeekBar(const ui::Rect& frame = ui::Rect());
    ~QXPlayerSeekBar() override;

    /// An object that adopts QXPlayerSeekBarDelegate, held weakly.
    void setDelegate(const rt::Ref<rt::Object>& delegate) { RT_MAIN_THREAD_ONLY(); delegate_ = delegate; }
    rt::Ref<rt::Object> delegate() const { RT_MAIN_THREAD_ONLY(); return delegate_.lock(); }

    media::Time minValue;
    media::Time maxValue;
    media::Time playbackTime;
    media::TimeRange progressRange;

    /// The time a tap at x (bar coordinates) asks for, in whole seconds.
    media::Time timeForTapAt(double x) const;
    /// Where a time lies along the bar, in points from its left edge.
    double positionForTime(double seconds) const;
    /// The tap hook: tells the delegate (when there is one) the tapped time.
    void handleTapAtPoint(ui::Point point);
    /// The tap recognizer's action: a recognized tap at its location in the bar.
    void handleTapFrom(ui::GestureRecognizer& recognizer);
    /// The recognizer installed when the bar was made.
    const rt::Ref<ui::TapGestureRecognizer>& tapRecognizer() const { RT_MAIN_THREAD_ONLY(); return tap_; }

    bool drawsContent() const override { RT_MAIN_THREAD_ONLY(); return true; }
    void draw(ui::ImageContext& context, const ui::Rect& rect) override;

protected:
    void didInitialize() override;

private:
    double span() const;
    rt::Weak<rt::Object> delegate_;
    rt::Ref<ui::TapGestureRecognizer> tap_;
};

}  // namespace zid
