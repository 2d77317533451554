// A session's commands: the pipeline's state, seeks, rate, volume and position, run one
// at a time through the command queue, and the buffering that holds playback back.

#include "GstSession.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include <fnd/Queue.h>

namespace media::gstimpl {

namespace {

/// Seconds of media held ahead that count as buffered enough to play on.
constexpr double kEnoughBuffered = 4.0;

/// Seconds the pipeline's position may run ahead of a picture before the position reads
/// the clock rather than the picture: more than a picture of a slow video lasts.
constexpr double kPictureLead = 0.5;

/// The furthest a seek can aim, in seconds: its time in nanoseconds must fit 63 bits.
constexpr double kFurthestSeek = static_cast<double>(G_MAXINT64 / GST_SECOND) - 1;
/// Seconds past where a seek landed within which a wait for data is the seek's refill.
constexpr double kRefillSeconds = 1.0;

}  // namespace

void GstSession::applyState() {
    if (!pipeline_ || gone()) return;
    commands_.request(GstCommandQueue::Kind::State);
}

void GstSession::callPipeline(GstPipelineThread::Work work, std::function<void(GstSession&)> then) {
    std::weak_ptr<GstSession> weak = weak_from_this();
    pipelineThread_->run(std::move(work), [weak, then = std::move(then)] {
        auto s = weak.lock();
        if (!s || s->gone()) return;
        if (then) then(*s);
        s->commands_.released();
    });
}

bool GstSession::startCommand(GstCommandQueue::Kind kind) {
    if (!pipeline_ || gone()) return false;
    switch (kind) {
        case GstCommandQueue::Kind::Seek: return startSeek();
        case GstCommandQueue::Kind::Select: return startSelection();
        case GstCommandQueue::Kind::State: return startStateChange();
    }
    return false;
}

GstState GstSession::wantedState() const {
    return wantPlaying_ && !buffering_ && phase_ == Phase::Prerolled && attached_ ? GST_STATE_PLAYING : GST_STATE_PAUSED;
}

bool GstSession::startStateChange() {
    GstState target = wantedState();
    if (target == requested_) return false;
    requested_ = target;
    if (target != GST_STATE_PLAYING) accountWatched();
    // A flushing seek starts the running time again from 0, and the pipeline's start
    // time with it. A pause taken while the pipeline was still on its way back to playing
    // after the seek's flush (the host's, or one for buffering) stores the running time of
    // the timeline before the seek instead - the seconds played since the last base time -
    // and the play after it would put the clock that far ahead of every picture: the late
    // ones dropped, the rest shown in a burst, the position running ahead. Played for the
    // first time since a seek, the pipeline starts from the seek's running time, 0.
    bool fromZero = target == GST_STATE_PLAYING && flushedSincePlaying_;
    // The command waits for the pipeline's thread to come back from the call, and then
    // for the state, unless it was reached at once (or failed, which an error message
    // reports).
    auto result = std::make_shared<GstStateChangeReturn>(GST_STATE_CHANGE_ASYNC);
    callPipeline(
        [target, fromZero, result](GstElement* pipeline) {
            if (!pipeline) return;
            if (fromZero) gst_element_set_start_time(pipeline, 0);
            *result = gst_element_set_state(pipeline, target);
        },
        [target, result](GstSession& s) {
            if (*result != GST_STATE_CHANGE_ASYNC && s.requested_ == target && s.commands_.running(GstCommandQueue::Kind::State))
                s.stateReached();
        });
    return true;
}

void GstSession::stateReached() {
    commands_.completed(GstCommandQueue::Kind::State);
    // A stream choice made while paused goes once the pipeline plays.
    if (requested_ == GST_STATE_PLAYING && streams_.choiceWaiting()) commands_.request(GstCommandQueue::Kind::Select);
}

void GstSession::applyBuffering(int percent) {
    bufferPercent_ = percent;
    auto item = item_.lock();
    if (percent < 100) {
        if (buffering_ || (prerolled() && bufferedEnough())) return;
        buffering_ = true;
        watchBuffering();
        bool wasPlaying = requested_ == GST_STATE_PLAYING;
        applyState();
        if (item && prerolled() && attached_) {
            item->engineBufferingChanged(false, percent == 0 || wasPlaying, false);
            // A seek empties what was held and fills it again from the target: that is
            // the seek's own wait, not the playback stalling, until playback has gone a
            // second past where the seek landed (the refill's buffering message can come
            // just after the seek was answered: a loop that seeks back every second
            // would otherwise be told it stalled).
            bool seeksOwnWait = commands_.running(GstCommandQueue::Kind::Seek) ||
                                (!std::isnan(landedAt_) && !(pipelinePosition() > landedAt_ + kRefillSeconds));
            if (wasPlaying && hasPlayed_ && !seeksOwnWait) item->engineDidStall();
        }
    } else {
        if (!buffering_) return;
        buffering_ = false;
        if (item && prerolled() && attached_) item->engineBufferingChanged(true, false, true);
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
        if (!s || s->gone() || !s->buffering_) {
            timer.invalidate();
            return;
        }
        if (s->bufferedEnough()) s->applyBuffering(100);
    });
}

void GstSession::watchProgress() {
    if (progressTimer_) progressTimer_->invalidate();
    std::weak_ptr<GstSession> weak = weak_from_this();
    progressTimer_ = fnd::RunLoop::main()->schedule(1.0, true, [weak](fnd::Timer& timer) {
        auto s = weak.lock();
        if (!s || s->gone()) {
            timer.invalidate();
            return;
        }
        s->checkProgress();
    });
}

bool GstSession::playingOn() const {
    return phase_ == Phase::Prerolled && wantedState() == GST_STATE_PLAYING && requested_ == GST_STATE_PLAYING &&
           commands_.seekPhase() == GstCommandQueue::SeekPhase::None;
}

double GstSession::pipelinePosition() const {
    gint64 ns = -1;
    if (!pipeline_ || !gst_element_query_position(pipeline_, GST_FORMAT_TIME, &ns) || ns < 0) return std::nan("");
    return static_cast<double>(ns) / GST_SECOND;
}

void GstSession::checkProgress() {
    double now = nowSeconds();
    double at = currentTime().toSeconds();
    // Standing is what the item was asked for, or what it waits for and has said: paused,
    // ended, buffering, a seek under way.
    bool shouldMove = attached_ && playingOn() && !(duration_.isNumeric() && at >= duration_.toSeconds() - 0.1);
    double picture = shownAt_.isNumeric() ? shownAt_.toSeconds() : -1;
    double position = shouldMove ? pipelinePosition() : std::nan("");
    auto item = item_.lock();
    switch (progress_.check(now, shouldMove, picture, position)) {
        case GstProgressWatch::Verdict::Moving:
        case GstProgressWatch::Verdict::Standing: return;
        case GstProgressWatch::Verdict::Recovered:
            if (item && !buffering_) item->engineBufferingChanged(true, false, false);
            return;
        case GstProgressWatch::Verdict::Stalled: break;
    }
    GstState state = GST_STATE_VOID_PENDING, pending = GST_STATE_VOID_PENDING;
    gst_element_get_state(pipeline_, &state, &pending, 0);
    std::fprintf(stderr, "zid media: neither the picture (at %.3f s) nor the position (at %.3f s) has moved for %.0f s while "
                         "the pipeline should play (%s, pending %s); the item is told it stalled\n",
                 picture, position, now - progress_.stoodSince(), gst_element_state_get_name(state),
                 gst_element_state_get_name(pending));
    if (!item) return;
    item->engineBufferingChanged(false, true, false);
    item->engineDidStall();
}

void GstSession::setRate(float rate) {
    wantPlaying_ = rate != 0;
    applyState();
}

void GstSession::seek(Time time, Time toleranceBefore, Time toleranceAfter, std::function<void(bool)> done) {
    // Invalid tolerances are the default: the key frame at or before the time, which needs no
    // decoding up to the target. Loose tolerances on both sides allow the same; a tight
    // one on either side (zero: exact) asks for an accurate seek.
    auto loose = [](Time tolerance) {
        return !tolerance.isValid() || !tolerance.isNumeric() || tolerance.toSeconds() >= 0.5;
    };
    GstSeek seek;
    seek.target = time;
    seek.tolerance = loose(toleranceBefore) && loose(toleranceAfter) ? GstSeek::Tolerance::KeyFrame : GstSeek::Tolerance::Exact;
    seek.done = std::move(done);
    // The queue answers: NO at once (on the next turn) once the pipeline is gone.
    commands_.seek(std::move(seek));
}

bool GstSession::startSeek() {
    if (!commands_.startSeek()) return false;
    if (phase_ == Phase::Ended) phase_ = Phase::Prerolled;
    // A pause asked with the seek (it waits behind it) takes effect first: a playing
    // pipeline would otherwise play on from where the seek lands until the pause came.
    if (requested_ == GST_STATE_PLAYING && wantedState() != GST_STATE_PLAYING) {
        requested_ = GST_STATE_PAUSED;
        accountWatched();
        callPipeline([](GstElement* pipeline) {
            if (pipeline) gst_element_set_state(pipeline, GST_STATE_PAUSED);
        });
    }
    sendSeek();
    return true;
}

void GstSession::sendSeek() {
    GstSeek* seek = commands_.runningSeek();
    if (!seek || !pipeline_ || gone() || commands_.runningSeekPhase() != GstCommandQueue::SeekPhase::Sent) return;
    double target = std::min(std::max(0.0, seek->target.toSeconds()), kFurthestSeek);
    // The demuxer finds no segment at the very end and refuses a seek there (a key-frame
    // one leaves the item unable to seek again), so a seek to the end or past it aims a
    // millisecond before it: the last picture, and the end a moment after playing on.
    if (duration_.isNumeric()) target = std::min(target, std::max(0.0, duration_.toSeconds() - 0.001));
    // A loose seek snaps to the key frame at or before the time, never the nearest: in
    // the last key-frame interval the nearest one after the time is the end of the
    // stream, and the adaptive demuxer refuses that seek after it has flushed, leaving
    // the item unable to seek or play again.
    auto flags = static_cast<GstSeekFlags>(
        GST_SEEK_FLAG_FLUSH | (seek->tolerance == GstSeek::Tolerance::Exact ? GST_SEEK_FLAG_ACCURATE
                                                                             : GST_SEEK_FLAG_KEY_UNIT | GST_SEEK_FLAG_SNAP_BEFORE));
    GstEvent* event = gst_event_new_seek(1.0, GST_FORMAT_TIME, flags, GST_SEEK_TYPE_SET, static_cast<gint64>(target * GST_SECOND),
                                         GST_SEEK_TYPE_NONE, GST_CLOCK_TIME_NONE);
    // The flush, the new segment and so the first picture after it carry the seek's
    // number: that picture, and no other, is where the seek landed.
    seek->seqnum = gst_event_get_seqnum(event);
    clockLed_ = -1;
    {
        std::lock_guard lock(relay_->mutex);
        relay_->awaitedSeek = seek->seqnum;
        relay_->landing = Time::invalid();
        // The seek's pictures come through the loop, which follows where it lands.
        absorbDirectPictures(true);
    }
    // The call can block for good (GStreamer 1.22's demuxer flushing into a queue whose
    // thread holds the lock the flush waits for): it is the pipeline's thread that
    // waits, and the command's bounds that hear of it.
    auto sent = std::make_shared<bool>(false);
    std::uint32_t seqnum = seek->seqnum;
    callPipeline(
        [event, sent](GstElement* pipeline) {
            if (pipeline) *sent = gst_element_send_event(pipeline, event);
            else gst_event_unref(event);
        },
        [sent, seqnum, target](GstSession& s) { s.seekSent(seqnum, target, *sent); });
}

void GstSession::seekSent(std::uint32_t seqnum, double target, bool sent) {
    if (sent) {
        lastPosition_ = target;
        flushedSincePlaying_ = true;
        return;
    }
    GstSeek* running = commands_.runningSeek();
    if (!running || running->seqnum != seqnum) return;
    // Refused: the pipeline may still be finishing the seek before. Sent again shortly,
    // within the command's bound, whose end answers NO.
    std::fprintf(stderr, "zid media: the pipeline refused a seek to %.3f s; trying again\n", target);
    std::weak_ptr<GstSession> weak = weak_from_this();
    fnd::RunLoop::main()->after(0.1, [weak, seqnum] {
        auto s = weak.lock();
        if (!s) return;
        if (GstSeek* again = s->commands_.runningSeek(); again && again->seqnum == seqnum) s->sendSeek();
    });
}

bool GstSession::settled() {
    // The pipeline's thread still in a call: what the pipeline reports may predate it.
    if (!pipeline_ || pipelineThread_->busy()) return false;
    GstState state = GST_STATE_VOID_PENDING, pending = GST_STATE_VOID_PENDING;
    GstStateChangeReturn result = gst_element_get_state(pipeline_, &state, &pending, 0);
    if (result == GST_STATE_CHANGE_FAILURE) return false;
    // A flushing seek while playing prerolls at the target and then plays again with a
    // new base time. A pause that came before that would keep the old one: the pictures
    // would then be late and dropped, the position ahead of them. So a seek asked while
    // playing is settled once the pipeline plays again - unless a pause waits behind it:
    // then playing on first would only move the picture away from where the seek landed.
    if (requested_ == GST_STATE_PLAYING && wantedState() != GST_STATE_PLAYING) return true;
    if (result == GST_STATE_CHANGE_ASYNC) return false;
    return pending == GST_STATE_VOID_PENDING && (requested_ != GST_STATE_PLAYING || state == GST_STATE_PLAYING);
}

void GstSession::followSeek() {
    GstSeek* seek = commands_.runningSeek();
    if (!seek || !pipeline_ || gone()) return;
    if (commands_.runningSeekPhase() == GstCommandQueue::SeekPhase::Sent) {
        // The picture waiting in the mailbox goes to the item first (a state change or
        // an end of a preroll may reach the loop before it): whoever hears the seek is
        // done finds its picture shown, and the position where that picture is.
        deliverFrame();
        Time landing = Time::invalid();
        bool endedWithoutPicture = false;
        {
            std::lock_guard lock(relay_->mutex);
            if (relay_->awaitedSeek == seek->seqnum) landing = relay_->landing;
            endedWithoutPicture = relay_->videoEnded == seek->seqnum;
        }
        if (landing.isValid()) {
            // The mailbox held that picture or a later one, and has just been emptied.
            if (!shownAt_.isNumeric()) shownAt_ = landing;
            // A seek lands on its target or on the key frame before it, never a second
            // past it: said when it does, as the demuxer's own mistake.
            if (landing.isNumeric() && landing.toSeconds() > seek->target.toSeconds() + 1.0)
                std::fprintf(stderr, "zid media: a seek to %.3f s landed at %.3f s\n", seek->target.toSeconds(),
                             landing.toSeconds());
        } else {
            // Without a picture of its own: media without pictures, or a seek after
            // which the video ended at once. The end of a preroll alone says nothing (an
            // earlier one's may come after the seek was sent, while the pipeline looks
            // settled for a moment), so media with pictures lands without one only once
            // the video sink has seen its end after the seek's flush.
            bool pictures = shownAt_.isValid();
            if ((pictures && !endedWithoutPicture) || !settled()) return;
            // Media with pictures whose video ends at once after a seek well before its
            // end: the demuxer took the seek for the end. Said, so that a still picture
            // that follows has its cause in the log.
            if (endedWithoutPicture && duration_.isNumeric() && seek->target.toSeconds() < duration_.toSeconds() - 1.0)
                std::fprintf(stderr, "zid media: a seek to %.3f s of %.3f s ended the video without a picture\n",
                             seek->target.toSeconds(), duration_.toSeconds());
            shownAt_ = Time::invalid();
            gint64 ns = -1;
            if (gst_element_query_position(pipeline_, GST_FORMAT_TIME, &ns) && ns >= 0) lastPosition_ = ns / 1e9;
        }
        commands_.seekLanded();
        progress_.seekLanded();
        landedAt_ = landing.isNumeric() ? landing.toSeconds() : lastPosition_;
    }
    if (commands_.runningSeekPhase() == GstCommandQueue::SeekPhase::Landed && settled())
        commands_.completed(GstCommandQueue::Kind::Seek);
}

Time GstSession::currentTime() {
    {
        std::lock_guard lock(relay_->mutex);
        absorbDirectPictures(false);
    }
    double p = lastPosition_;
    switch (phase_) {
        case Phase::Ended:
            break;
        case Phase::Prerolled:
            // The picture's own time: what the viewer sees, and after a seek where it
            // landed (a key frame before the target, say), whatever the position query
            // of a pipeline still settling says.
            // Yet a picture that stands while the pipeline plays on (a still scene, a
            // video that ended before its audio) is no longer where playback is: the
            // position then follows the pipeline's clock, and reads no less until a seek.
            if (shownAt_.isNumeric()) {
                p = shownAt_.toSeconds();
                // A picture that has stood for a while, the clock well ahead of it, is a
                // still scene: the position follows the clock. Pictures that keep coming
                // late (a loaded machine) still say where playback is; one older than
                // where the clock has led (held back by the decoder) is no new picture.
                if (p != pictureSeen_ && p > clockLed_) {
                    pictureSeen_ = p;
                    pictureSeenAt_ = nowSeconds();
                }
                if (playingOn() && nowSeconds() - pictureSeenAt_ >= kPictureLead) {
                    if (double clock = pipelinePosition(); clock > p + kPictureLead) clockLed_ = std::max(clockLed_, clock);
                }
                p = std::max(p, clockLed_);
                break;
            }
            if (gint64 ns = -1; pipeline_ && gst_element_query_position(pipeline_, GST_FORMAT_TIME, &ns) && ns >= 0)
                lastPosition_ = p = ns / 1e9;
            break;
        case Phase::Loading:
        case Phase::Failed:
        case Phase::Closed:
            if (shownAt_.isNumeric()) p = shownAt_.toSeconds();
            break;
    }
    // Decoders may report a little past the end; the position never exceeds the duration.
    if (duration_.isNumeric()) p = std::min(p, duration_.toSeconds());
    return Time::seconds(std::max(0.0, p), 1'000'000);
}

// The sink bin takes its own lock for these, which a state change under way holds.
void GstSession::setMuted(bool muted) {
    if (!pipeline_) return;
    callPipeline([muted](GstElement* pipeline) {
        if (pipeline) g_object_set(pipeline, "mute", muted ? TRUE : FALSE, nullptr);
    });
}

void GstSession::setVolume(float volume) {
    if (!pipeline_) return;
    callPipeline([volume](GstElement* pipeline) {
        if (pipeline) g_object_set(pipeline, "volume", static_cast<gdouble>(volume), nullptr);
    });
}

}  // namespace media::gstimpl
