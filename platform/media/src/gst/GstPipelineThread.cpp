#include "GstPipelineThread.h"
#include "GstTeardown.h"

#include <pthread.h>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <utility>

#include <fnd/RunLoop.h>

namespace media::gstimpl {

namespace {
std::function<void(GstElement*)>& pipelineHook() {
    static auto* hook = new std::function<void(GstElement*)>;
    return *hook;
}
}  // namespace

void GstPipelineThread::setPipelineHook(std::function<void(GstElement*)> hook) { pipelineHook() = std::move(hook); }

/// Shared by the session's side and the thread, which may outlive it (stuck in a call).
struct GstPipelineThread::State {
    struct Piece {
        Work work;
        /// Runs on the main loop once the work has returned (main-thread counter below).
        std::function<void()> then;
        bool last = false;  // the teardown: the thread ends after it
    };
    std::mutex mutex;
    std::condition_variable wake;
    std::deque<Piece> pieces;
    GstElement* pipeline = nullptr;
    /// Work handed over whose follow-up has not run yet (main thread only).
    int outstanding = 0;
    bool ended = false;  // the teardown, or the end, was handed over

    void serve() {
        for (;;) {
            Piece piece;
            {
                std::unique_lock lock(mutex);
                wake.wait(lock, [this] { return !pieces.empty(); });
                piece = std::move(pieces.front());
                pieces.pop_front();
            }
            if (piece.work) piece.work(piece.last ? nullptr : pipeline);
            if (piece.last) {
                // The teardown (or the end) drops what waited behind it unrun; there is
                // none: nothing is handed over after it.
                if (pipeline) gst_object_unref(std::exchange(pipeline, nullptr));
                return;
            }
            finished(std::move(piece.then));
        }
    }

    void finished(std::function<void()> then) {
        // A weak way back: the loop may run this after the session (and its side of the
        // state) went.
        fnd::RunLoop::main()->post([weak = weakSelf, then = std::move(then)] {
            auto self = weak.lock();
            if (!self) return;
            --self->outstanding;
            if (then) then();
        });
    }

    std::weak_ptr<State> weakSelf;
};

GstPipelineThread::GstPipelineThread(GstElement* pipeline) : state_(std::make_shared<State>()) {
    state_->weakSelf = state_;
    state_->pipeline = GST_ELEMENT(gst_object_ref(pipeline));
    if (auto& hook = pipelineHook()) hook(pipeline);
    std::thread([state = state_] {
        pthread_setname_np(pthread_self(), "zid-pipeline");
        state->serve();
    }).detach();
}

GstPipelineThread::~GstPipelineThread() {
    std::lock_guard lock(state_->mutex);
    if (state_->ended) return;
    state_->ended = true;
    state_->pieces.push_back({nullptr, nullptr, true});
    state_->wake.notify_one();
}

void GstPipelineThread::run(Work work, std::function<void()> then) {
    {
        std::lock_guard lock(state_->mutex);
        if (!state_->ended) {
            ++state_->outstanding;
            state_->pieces.push_back({std::move(work), std::move(then), false});
            state_->wake.notify_one();
            return;
        }
    }
    // After the teardown: the work is told there is no pipeline, here and now.
    if (work) work(nullptr);
}

bool GstPipelineThread::busy() const { return state_->outstanding > 0; }

void GstPipelineThread::tearDown(std::function<void()> first) {
    auto finishedTeardown = beginTeardown();
    std::deque<State::Piece> dropped;
    {
        std::lock_guard lock(state_->mutex);
        if (state_->ended) {
            finishedTeardown();
            return;
        }
        state_->ended = true;
        // What has not started yet never reaches a pipeline on its way out; the piece
        // under way (a call that may never return) is waited for.
        dropped.swap(state_->pieces);
        state_->pieces.push_back({[first = std::move(first), finishedTeardown, state = state_](GstElement*) {
                                      if (first) first();
                                      GstElement* pipeline = std::exchange(state->pipeline, nullptr);
                                      if (pipeline) stopPipeline(pipeline);
                                      finishedTeardown();
                                  },
                                  nullptr, true});
        state_->wake.notify_one();
    }
    // Outside the lock: each dropped piece frees what it holds.
    for (auto& piece : dropped) {
        if (piece.work) piece.work(nullptr);
        --state_->outstanding;
    }
}

}  // namespace media::gstimpl
