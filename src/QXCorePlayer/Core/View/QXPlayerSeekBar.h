#pragma once
// A small timeline a host application may place: three flat bars (black background,
// white loaded range, blue played part) between minValue and maxValue, and a tap that
// asks the delegate to seek to the tapped time. Setting the values does not redraw; the
// owner asks for it. A timeline of no length or a bar of no width puts everything at
// its start.
//
// Taps arrive through handleTapAtPoint, which a tap recognizer (or the host) calls with
// the point in the bar's coordinates.
#include <media/Time.h>
#include <ui/View.h>

namespace zid {

class QXPlayerSeekBar;

class QXPlayerSeekBarDelegate {
public:
    virtual ~QXPlayerSeekBarDelegate() = default;
    virtual void playerSeekBarDidSeekToTime(QXPlayerSeekBar& bar, media::Time time) = 0;
};

class QXPlayerSeekBar : public ui::View {
    RT_CLASS(QXPlayerSeekBar, ui::View)
public:
    explicit QXPlayerSeekBar(const ui::Rect& frame = ui::Rect());

    /// An object that adopts QXPlayerSeekBarDelegate, held weakly.
    void setDelegate(const rt::Ref<rt::Object>& delegate) { delegate_ = delegate; }
    rt::Ref<rt::Object> delegate() const { return delegate_.lock(); }

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

    bool drawsContent() const override { return true; }
    void draw(ui::ImageContext& context, const ui::Rect& rect) override;

private:
    double span() const;
    rt::Weak<rt::Object> delegate_;
};

}  // namespace zid
