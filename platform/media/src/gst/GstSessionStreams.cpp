// A session's streams as the item sees them: the groups made of the pipeline's
// collection, the streams it reports as selected, and choices sent to it one at a time
// through the command queue.

#include "GstSession.h"

#include <cstdio>

#include <rt/Format.h>

namespace media::gstimpl {

namespace {
/// Seconds before the end within which a stream choice waits (startSelection()): the
/// demuxer's last segment and what the decoder bin's queues hold ahead of the picture.
constexpr double kChoiceEndMargin = 3.0;
}  // namespace

void GstSession::readCollection(GstStreamCollection* collection, bool quiet) {
    streams_.read(collection);
    if (auto item = item_.lock(); item && prerolled() && !quiet) item->engineSelectionGroups(streams_.groups());
}

void GstSession::readSelected(GstMessage* message) {
    auto selected = streams_.readSelected(message);
    auto item = item_.lock();
    if (!item) return;
    if (selected.audio) item->engineSelected(MediaCharacteristicAudible, selected.audio);
    if (streams_.hasLegibleGroup()) item->engineSelected(MediaCharacteristicLegible, selected.text);
}

void GstSession::select(const rt::Ref<MediaSelectionGroup>& group, const rt::Ref<MediaSelectionOption>& option) {
    // Choices made together (an audio and a subtitle option, say) go as one: the
    // command reads every choice made so far when it starts, a turn later at the soonest.
    streams_.choose(group, option);
    commands_.request(GstCommandQueue::Kind::Select);
}

bool GstSession::startSelection() {
    // The demuxer handles the event under locks that prerolled streaming threads hold
    // while the pipeline is paused, so a choice made while paused waits until it plays
    // (the state change that gets there asks for this command again).
    if (!streams_.choiceWaiting() || requested_ != GST_STATE_PLAYING) return false;
    // Asked to play is not playing: a state change past its bound may still be on its
    // way on the pipeline's own threads, the streaming threads prerolled and holding
    // those locks, and a choice sent then waits on them while the change waits on the
    // choice. The choice goes once the pipeline has reached playing (stateChanged()).
    GstState state = GST_STATE_VOID_PENDING, pending = GST_STATE_VOID_PENDING;
    if (gst_element_get_state(pipeline_, &state, &pending, 0) != GST_STATE_CHANGE_SUCCESS || state != GST_STATE_PLAYING)
        return false;
    // GStreamer 1.22's decoder bin can free an input while the demuxer still switches a
    // rendition into it when the stream is at or near its end (a crash on the demuxer's
    // output thread): a choice made there waits until a seek has moved away from the end,
    // and goes once the pipeline plays again.
    if (nearTheEnd()) return false;
    GstEvent* event = streams_.takeSelection();
    if (!event) return false;  // nothing to change
    // The event still waits for locks the streaming threads take while they push: the
    // pipeline's thread delivers it, so the main loop never waits with them. The command
    // is done once the decoder bin says which streams it selected, and the pipeline's
    // thread has come back.
    callPipeline([event](GstElement* pipeline) {
        if (pipeline) gst_element_send_event(pipeline, event);
        else gst_event_unref(event);
    });
    return true;
}

bool GstSession::nearTheEnd() {
    if (phase_ == Phase::Ended) return true;
    return duration_.isNumeric() && currentTime().toSeconds() >= duration_.toSeconds() - kChoiceEndMargin;
}

void GstSession::pipelineStuck(GstCommandQueue::Kind kind) {
    double took = GstCommandQueue::bound(kind) + GstCommandQueue::kStuckBound;
    const char* what = "a change between playing and paused";
    switch (kind) {
        case GstCommandQueue::Kind::Seek: what = "a seek"; break;
        case GstCommandQueue::Kind::Select: what = "a change of audio or subtitles"; break;
        case GstCommandQueue::Kind::State: break;
    }
    std::fprintf(stderr, "zid media: the pipeline did not come back from %s within %.0f s; it is given up\n", what, took);
    failWith(makeMediaError(MediaErrorCode::EngineFailed,
                            rt::format("The media engine did not finish %s within %.0f seconds.", what, took)));
}

}  // namespace media::gstimpl
