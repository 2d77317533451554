#include "GstCommandQueue.h"

#include <algorithm>
#include <cstdio>

#include <fnd/Queue.h>

namespace media::gstimpl {

namespace {
const char* nameOf(GstCommandQueue::Kind kind) {
    switch (kind) {
        case GstCommandQueue::Kind::Seek: return "seek";
        case GstCommandQueue::Kind::Select: return "stream choice";
        case GstCommandQueue::Kind::State: return "state change";
    }
    return "command";
}
}  // namespace

GstCommandQueue::GstCommandQueue(Starter start, Busy busy, Stuck stuck)
    : start_(std::move(start)), busy_(std::move(busy)), stuck_(std::move(stuck)) {}

GstCommandQueue::~GstCommandQueue() {
    if (boundTimer_) boundTimer_->invalidate();
    if (waitingSeek_) answer(*waitingSeek_, false);
    if (runningSeek_) answer(*runningSeek_, false);
}

void GstCommandQueue::answer(GstSeek& seek, bool finished) {
    if (auto done = std::exchange(seek.done, nullptr)) fnd::Queue::main()->async([done, finished] { done(finished); });
}

void GstCommandQueue::seek(GstSeek seek) {
    if (closed_) {
        answer(seek, false);
        return;
    }
    if (waitingSeek_) answer(*waitingSeek_, false);
    // Given up: answered now, and replaced on the pipeline on the next turn unless it
    // has landed (pump()).
    if (runningSeek_) answer(*runningSeek_, false);
    waitingSeek_ = std::move(seek);
    request(Kind::Seek);
}

GstCommandQueue::SeekPhase GstCommandQueue::seekPhase() const {
    if (waitingSeek_) return SeekPhase::Waiting;
    return running_ == Kind::Seek ? runningSeekPhase_ : SeekPhase::None;
}

GstSeek* GstCommandQueue::startSeek() {
    if (running_ != Kind::Seek || !waitingSeek_) return nullptr;
    runningSeek_ = std::move(waitingSeek_);
    waitingSeek_.reset();
    runningSeekPhase_ = SeekPhase::Sent;
    return &*runningSeek_;
}

void GstCommandQueue::seekLanded() {
    if (running_ != Kind::Seek || !runningSeek_ || runningSeekPhase_ != SeekPhase::Sent) return;
    runningSeekPhase_ = SeekPhase::Landed;
    answer(*runningSeek_, true);
}


double GstCommandQueue::bound(Kind kind) {
    switch (kind) {
        // A flushing seek ends with the pipeline prerolled at the target: a segment to
        // download and decode. Well under the time a host gives a seek before it gives up.
        case Kind::Seek: return 5.0;
        // A stream choice the decoder bin never confirms (one that changes nothing).
        case Kind::Select: return 2.0;
        // PAUSED without a picture to preroll on (buffering) waits for data.
        case Kind::State: return 2.0;
    }
    return 2.0;
}

bool GstCommandQueue::waiting(Kind kind) const {
    return std::any_of(waiting_.begin(), waiting_.end(), [kind](const Waiting& w) { return w.kind == kind; });
}

void GstCommandQueue::request(Kind kind) {
    if (closed_ || waiting(kind)) return;
    waiting_.push_back({kind, starts_});
    schedule();
}

void GstCommandQueue::completed(Kind kind) {
    if (running_ != kind || awaitingRelease_) return;
    if (busy_ && busy_(kind)) {
        holdForRelease(kind);
        return;
    }
    finish();
}

void GstCommandQueue::released() {
    // Only once the other thread has come back from everything it was handed.
    if (running_ && busy_ && busy_(*running_)) return;
    if (awaitingRelease_) finish();
    else schedule();
}

void GstCommandQueue::holdForRelease(Kind kind) {
    awaitingRelease_ = true;
    if (boundTimer_) boundTimer_->invalidate();
    std::weak_ptr<GstCommandQueue*> weak = self_;
    boundTimer_ = fnd::RunLoop::main()->after(kStuckBound, [weak, kind] {
        auto self = weak.lock();
        if (!self || (*self)->running_ != kind || !(*self)->awaitingRelease_) return;
        (*self)->boundTimer_ = nullptr;
        // Nothing more is sent to the pipeline: the handler gives it up (and closes the
        // queue), or the command stays, holding the rest.
        if ((*self)->stuck_) (*self)->stuck_(kind);
    });
}

void GstCommandQueue::finish() {
    if (!running_) return;
    Kind kind = *running_;
    awaitingRelease_ = false;
    if (kind == Kind::Seek) {
        // A seek whose landing was never seen (the bound ran out) did not finish.
        if (runningSeek_) answer(*runningSeek_, false);
        runningSeek_.reset();
        runningSeekPhase_ = SeekPhase::None;
    }
    running_.reset();
    if (boundTimer_) boundTimer_->invalidate();
    boundTimer_ = nullptr;
    schedule();
}

void GstCommandQueue::open() {
    if (open_ || closed_) return;
    open_ = true;
    schedule();
}

void GstCommandQueue::close() {
    closed_ = true;
    if (waitingSeek_) answer(*waitingSeek_, false);
    if (runningSeek_) answer(*runningSeek_, false);
    waitingSeek_.reset();
    runningSeek_.reset();
    runningSeekPhase_ = SeekPhase::None;
    waiting_.clear();
    running_.reset();
    awaitingRelease_ = false;
    if (boundTimer_) boundTimer_->invalidate();
    boundTimer_ = nullptr;
}

void GstCommandQueue::schedule() {
    if (scheduled_ || !open_ || closed_ || waiting_.empty()) return;
    if (running_ && !replacesRunningSeek()) return;
    scheduled_ = true;
    std::weak_ptr<GstCommandQueue*> weak = self_;
    fnd::RunLoop::main()->post([weak] {
        if (auto self = weak.lock()) (*self)->pump();
    });
}

bool GstCommandQueue::replacesRunningSeek() const {
    // A seek asked while one has not landed replaces it on the pipeline at once: a
    // flushing seek ends the one before it, so the newest never waits out the older one's
    // download (up to its bound) before its own starts. Only another seek overlaps a seek
    // this way; one that landed settles first (a moment: the pipeline has its picture),
    // and stream choices and state changes still wait for a seek to end.
    // A seek still being handed to the pipeline is not replaced before the call is back:
    // the newest waits for it, and the call's bounds run on.
    return running_ == Kind::Seek && runningSeekPhase_ == SeekPhase::Sent && waitingSeek_ && !(busy_ && busy_(Kind::Seek));
}

void GstCommandQueue::pump() {
    scheduled_ = false;
    if (open_ && !closed_ && replacesRunningSeek()) {
        auto isSeek = [](const Waiting& w) { return w.kind == Kind::Seek; };
        waiting_.erase(std::remove_if(waiting_.begin(), waiting_.end(), isSeek), waiting_.end());
        runningSeek_.reset();
        runningSeekPhase_ = SeekPhase::None;
        begin(Kind::Seek);
    }
    while (open_ && !closed_ && !running_ && !waiting_.empty()) {
        // A seek goes first, then a state change, then stream choices: whatever the order
        // asked, the end is the same (the target reached, the state asked for, the streams
        // chosen), and a choice is applied best on a pipeline that plays on from where it
        // stays: the adaptive demuxer starts a newly chosen rendition at the position it
        // plays, and a flushing seek while it does so can leave the new rendition at the
        // old position.
        auto next = std::min_element(waiting_.begin(), waiting_.end(), [](const Waiting& a, const Waiting& b) {
            return a.since != b.since ? a.since < b.since : a.kind < b.kind;
        });
        Kind kind = next->kind;
        waiting_.erase(next);
        ++starts_;
        begin(kind);
    }
}

void GstCommandQueue::begin(Kind kind) {
    running_ = kind;
    awaitingRelease_ = false;
    if (boundTimer_) boundTimer_->invalidate();
    boundTimer_ = nullptr;
    bool waits = start_(kind);
    // The starter may have closed the queue (the pipeline failed) or been told the
    // command is done already.
    if (closed_ || running_ != kind) return;
    if (!waits) {
        if (kind == Kind::Seek && runningSeek_) {
            answer(*runningSeek_, false);
            runningSeek_.reset();
            runningSeekPhase_ = SeekPhase::None;
        }
        running_.reset();
        return;
    }
    std::weak_ptr<GstCommandQueue*> weak = self_;
    boundTimer_ = fnd::RunLoop::main()->after(bound(kind), [weak, kind] {
        auto self = weak.lock();
        if (!self || (*self)->running_ != kind || (*self)->awaitingRelease_) return;
        (*self)->boundTimer_ = nullptr;
        bool busy = (*self)->busy_ && (*self)->busy_(kind);
        // The decoder bin confirms a choice only when its own streams change: a switch
        // of rendition inside the demuxer ends at the bound, as a matter of course.
        if (kind != Kind::Select && !busy)
            std::fprintf(stderr, "zid media: the pipeline did not confirm a %s within %.0f s; the next command goes ahead\n",
                         nameOf(kind), bound(kind));
        (*self)->completed(kind);
    });
}

}  // namespace media::gstimpl
