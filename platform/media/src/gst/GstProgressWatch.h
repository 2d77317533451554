#pragma once
// Tells a stall from a still picture. Checked once a second while an item should play,
// it reads two things: the time of the picture shown and the pipeline's running
// position (its clock, which the audio sink holds to the audio it has played). Either
// moving is progress: a picture that stands while the clock and the audio go on is a
// still scene (a slide, a video that ended before its audio), not a stall. A seek that
// landed is progress too, whatever either reads: a loop that seeks back as far as it
// played reads the same place at every check, and moves all the while. Only when
// nothing moved for the bound is the item stalled. Main thread only; no GStreamer.

namespace media::gstimpl {

class GstProgressWatch {
public:
    /// Seconds nothing may move while the pipeline should play before the item is told
    /// it stalled: past a seek's bound and a stuck stream choice's, well within the 20 s
    /// a host gives a stall.
    static constexpr double kStandStill = 10.0;

    /// What one check finds.
    enum class Verdict {
        Moving,     // progress, or nothing was expected to move
        Standing,   // nothing moved, within the bound (or already reported)
        Stalled,    // nothing moved for the bound: tell the item, once
        Recovered,  // progress again after a stall was reported
    };

    /// One check at `now` (seconds of the run loop's clock): whether the item should
    /// move, where its picture is and where the pipeline's position is (NaN: none read).
    Verdict check(double now, bool shouldMove, double picture, double position);
    /// A seek landed: the item moved, whatever the next readings say.
    void seekLanded() { landed_ = true; }
    bool stalled() const { return stalled_; }
    /// Where the picture and the position stood, and since when.
    double stoodPicture() const { return picture_; }
    double stoodPosition() const { return position_; }
    double stoodSince() const { return since_; }

private:
    double picture_ = -1, position_ = -1, since_ = 0;
    bool stalled_ = false, landed_ = false;
};

}  // namespace media::gstimpl
