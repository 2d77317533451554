// A session's commands: the pipeline's state, seeks, rate, volume and position, run one
// at a time through the command queue, and the buffering that holds playback back.

#include "GstSession.h"

#include <algorithm>

#include <fnd/Queue.h>

namespace media::gstimpl {

namespace {

/// Seconds of media held ahead that count as buffered enough to play on.
constexpr double kEnoughBuffered = 4.0;

}  // namespace

void GstSession::applyState() {
    if (!pipeline_ || closed_ || failed_) return;
    commands_.request(GstCommandQueue::Kind::State);
}

bool GstSession::startCommand(GstCommandQueue::Kind kind) {
    if (!pipeline_ || closed_ || failed_) return false;
    switch (kind) {
        case GstCommandQueue::Kind::Seek: return startSeek();
        case GstCommandQueue::Kind::Select: return startSelection();
        case GstCommandQueue::Kind::State: return startStateChange();
    }
    return false;
}

bool GstSession::startStateChange() {
    GstState target = (wantPlaying_ && !buffering_ && !ended_ && prerolled_ && attached_) ? GST_STATE_PLAYING : GST_STATE_PAUSED;
    if (target == requested_) return false;
    requested_ = target;
    if (target != GST_STATE_PLAYING) accountWatched();
    if (gst_element_set_state(pipeline_, target) == GST_STATE_CHANGE_ASYNC) return true;
    // Reached at once (or failed, which an error message reports).
    stateReached();
    return false;
}

void GstSession::stateReached() {
    commands_.completed(GstCommandQueue::Kind::State);
    // A stream choice made while paused goes once the pipeline plays.
    if (requested_ == GST_STATE_PLAYING && selectionWanted_) commands_.request(GstCommandQueue::Kind::Select);
}

void GstSession::applyBuffering(int percent) {
    bufferPercent_ = percent;
    auto item = item_.lock();
    if (percent < 100) {
        if (buffering_ || (prerolled_ && bufferedEnough())) return;
        buffering_ = true;
        watchBuffering();
        bool wasPlaying = requested_ == GST_STATE_PLAYING;
        applyState();
        if (item && prerolled_ && attached_) {
            item->engineBufferingChanged(false, percent == 0 || wasPlaying, false);
            // A seek empties what was held and fills it again from the target: that is
            // the seek's own wait, not the playback stalling.
            if (wasPlaying && hasPlayed_ && !seeking_ && !seekSettling_) item->engineDidStall();
        }
    } else {
        if (!buffering_) return;
        buffering_ = false;
        if (item && prerolled_ && attached_) item->engineBufferingChanged(true, false, true);
        applyState();
    }
}

bool GstSession::bufferedEnough() {
    // The adaptive demuxer may report less than 100 % for good once the last segment is
    // in: its level no longer rises. Media held up to the end (or a few seconds of it)
    // is as good as 100 %, so a paused pipeline never waits for a message that will not
    // come, and a playing one is not stopped for nothing.
    GstElement* demuxer = nullptr;
    {
        std::lock_guard lock(relay_->mutex);
        if (relay_->demuxer) demuxer = GST_ELEMENT(gst_object_ref(relay_->demuxer));
    }
    if (!demuxer) return false;
    guint64 video = 0, audio = 0;
    g_object_get(demuxer, "current-level-time-video", &video, "current-level-time-audio", &audio, nullptr);
    gst_object_unref(demuxer);
    double ahead = std::max(video, audio) / 1e9;
    bool toTheEnd = duration_.isNumeric() && currentTime().toSeconds() + ahead >= duration_.toSeconds() - 0.1;
    return toTheEnd || ahead >= kEnoughBuffered;
}

void GstSession::watchBuffering() {
    if (bufferingTimer_) bufferingTimer_->invalidate();
    std::weak_ptr<GstSession> weak = weak_from_this();
    bufferingTimer_ = fnd::RunLoop::main()->schedule(0.25, true, [weak](fnd::Timer& timer) {
        auto s = weak.lock();
        if (!s || s->closed_ || s->failed_ || !s->buffering_) {
            timer.invalidate();
            return;
        }
        if (s->bufferedEnough()) s->applyBuffering(100);
    });
}

void GstSession::setRate(float rate) {
    wantPlaying_ = rate != 0;
    applyState();
}

void GstSession::seek(Time time, Time toleranceBefore, Time toleranceAfter, std::function<void(bool)> done) {
    if (closed_ || failed_) {
        if (done) fnd::Queue::main()->async([done] { done(false); });
        return;
    }
    // The newest target wins: a seek still waiting is replaced and one the pipeline runs
    // is abandoned, each reported as not finished.
    finishSeek(false);
    finishRunningSeek(false);
    seekDone_ = std::move(done);
    seekTarget_ = time;
    // Invalid tolerances are the default: the key frame at or before the time, which needs no
    // decoding up to the target. Loose tolerances on both sides allow the same; a tight
    // one on either side (zero: exact) asks for an accurate seek.
    auto loose = [](Time tolerance) {
        return !tolerance.isValid() || !tolerance.isNumeric() || tolerance.toSeconds() >= 0.5;
    };
    seekAccurate_ = !(loose(toleranceBefore) && loose(toleranceAfter));
    seekPending_ = true;
    commands_.request(GstCommandQueue::Kind::Seek);
}

bool GstSession::startSeek() {
    if (!seekPending_) return false;
    seekPending_ = false;
    runningSeekDone_ = std::exchange(seekDone_, nullptr);
    double target = std::max(0.0, seekTarget_.toSeconds());
    // The demuxer finds no segment at the very end and refuses a seek there (a key-frame
    // one leaves the item unable to seek again), so a seek to the end or past it aims a
    // millisecond before it: the last picture, and the end a moment after playing on.
    if (duration_.isNumeric()) target = std::min(target, std::max(0.0, duration_.toSeconds() - 0.001));
    // A loose seek snaps to the key frame at or before the time, never the nearest: in
    // the last key-frame interval the nearest one after the time is the end of the
    // stream, and the adaptive demuxer refuses that seek after it has flushed, leaving
    // the item unable to seek or play again.
    auto flags = static_cast<GstSeekFlags>(
        GST_SEEK_FLAG_FLUSH |
        (seekAccurate_ ? GST_SEEK_FLAG_ACCURATE : GST_SEEK_FLAG_KEY_UNIT | GST_SEEK_FLAG_SNAP_BEFORE));
    if (!gst_element_seek_simple(pipeline_, GST_FORMAT_TIME, flags, static_cast<gint64>(target * GST_SECOND))) {
        // Reported on a later turn, never inside the caller's seek.
        if (auto done = std::exchange(runningSeekDone_, nullptr)) fnd::Queue::main()->async([done] { done(false); });
        return false;
    }
    seeking_ = true;
    seekSettling_ = false;
    ended_ = false;
    lastPosition_ = target;
    return true;
}

void GstSession::finishSeek(bool finished) {
    if (auto done = std::exchange(seekDone_, nullptr)) done(finished);
}

void GstSession::finishRunningSeek(bool finished) {
    if (auto done = std::exchange(runningSeekDone_, nullptr)) done(finished);
}

Time GstSession::currentTime() {
    // A seek reports its target until the pipeline plays on from there.
    if (seeking_ || seekPending_ || seekSettling_) return seekTarget_;
    if (!ended_ && pipeline_ && !closed_ && !failed_ && prerolled_) {
        gint64 ns = -1;
        if (gst_element_query_position(pipeline_, GST_FORMAT_TIME, &ns) && ns >= 0) lastPosition_ = ns / 1e9;
    }
    double p = lastPosition_;
    // Decoders may report a little past the end; the position never exceeds the duration.
    if (duration_.isNumeric()) p = std::min(p, duration_.toSeconds());
    return Time::seconds(std::max(0.0, p), 1'000'000);
}

void GstSession::setMuted(bool muted) {
    if (pipeline_) g_object_set(pipeline_, "mute", muted ? TRUE : FALSE, nullptr);
}

void GstSession::setVolume(float volume) {
    if (pipeline_) g_object_set(pipeline_, "volume", static_cast<gdouble>(volume), nullptr);
}

}  // namespace media::gstimpl
