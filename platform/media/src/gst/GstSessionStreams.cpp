// A session's streams as the item sees them: the groups made of the pipeline's
// collection, the streams it reports as selected, and choices sent to it one at a time
// through the command queue.

#include "GstSession.h"

#include <cstdio>
#include <thread>

#include <rt/Format.h>

namespace media::gstimpl {

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
    GstEvent* event = streams_.takeSelection();
    if (!event) return false;  // nothing to change
    // The event still waits for locks the streaming threads take while they push: a
    // sender thread delivers it, so the main loop never waits with them. The command is
    // done once the decoder bin says which streams it selected.
    std::lock_guard lock(relay_->mutex);
    if (relay_->pendingSelection) gst_event_unref(relay_->pendingSelection);
    relay_->pendingSelection = event;
    if (relay_->selectionSenderRunning) return true;
    relay_->selectionSenderRunning = true;
    auto relay = relay_;
    auto* pipeline = GST_ELEMENT(gst_object_ref(pipeline_));
    std::thread([relay, pipeline] {
        for (;;) {
            GstEvent* next = nullptr;
            {
                std::lock_guard lock(relay->mutex);
                next = std::exchange(relay->pendingSelection, nullptr);
                if (!next) {
                    relay->selectionSenderRunning = false;
                    relay->senderDone.notify_all();
                    break;
                }
            }
            gst_element_send_event(pipeline, next);
        }
        gst_object_unref(pipeline);
        // A choice confirmed (or past its bound) while this thread was still in the
        // pipeline held the next command: it may go now.
        if (relay->closed.load()) return;
        std::weak_ptr<GstSession> weak = relay->session;
        fnd::RunLoop::main()->post([weak] {
            auto s = weak.lock();
            if (s && !s->relay_->sendingSelection()) s->commands_.released(GstCommandQueue::Kind::Select);
        });
    }).detach();
    return true;
}

void GstSession::selectionStuck() {
    double took = GstCommandQueue::bound(GstCommandQueue::Kind::Select) + GstCommandQueue::kStuckBound;
    std::fprintf(stderr, "zid media: the pipeline did not take a stream choice within %.0f s; it is given up\n", took);
    failWith(makeMediaError(MediaErrorCode::EngineFailed,
                            rt::format("The media pipeline did not apply a change of audio or subtitles within %.0f seconds.", took)));
}

}  // namespace media::gstimpl
