#pragma once
// The one thread that calls into a pipeline where GStreamer may block: state changes,
// seeks, stream choices, volume and, last, the teardown. GStreamer 1.22 can deadlock
// inside such a call (a flushing seek whose flush meets a streaming thread's lock, a
// stream choice that meets a state change), and a call that never returns must cost its
// own item alone: the main loop, which answers the host and runs every bound, never makes
// one. Work runs in the order it was handed over, one piece at a time; each piece's
// follow-up runs on the main loop once it has returned, so the loop always knows whether
// the pipeline's thread is still inside a call (busy()) and the session's bounds can tell
// a slow pipeline from a stuck one. A thread stuck for good is left behind with its
// pipeline; its teardown then outlives its bound, which the process hears of
// (setTeardownOverdueHandler).

#include <gst/gst.h>

#include <functional>
#include <memory>

namespace media::gstimpl {

class GstPipelineThread {
public:
    /// What runs on the pipeline's thread. It is given the pipeline, or nullptr when the
    /// pipeline is torn down before its turn came (it then only frees what it holds).
    using Work = std::function<void(GstElement* pipeline)>;

    /// Takes a reference of its own to the pipeline (main thread).
    explicit GstPipelineThread(GstElement* pipeline);
    /// Ends the thread after the work handed over, without stopping the pipeline; a
    /// session always tears down first.
    ~GstPipelineThread();
    GstPipelineThread(const GstPipelineThread&) = delete;
    GstPipelineThread& operator=(const GstPipelineThread&) = delete;

    /// Runs `work` after everything handed over before; `then`, when given, runs on the
    /// main loop once it has returned (main thread).
    void run(Work work, std::function<void()> then = nullptr);
    /// Whether work handed over has not all returned (main thread).
    bool busy() const;
    /// The last work: `first` (on the pipeline's thread), then the pipeline set to NULL
    /// and released; work still waiting is dropped. Counted and bounded as a teardown
    /// from now on (main thread).
    void tearDown(std::function<void()> first = nullptr);

    /// Called with each pipeline as its thread is made (main thread): a test's stand-in
    /// engine makes a pipeline misbehave through it. Nothing in the library sets one.
    static void setPipelineHook(std::function<void(GstElement* pipeline)> hook);

private:
    struct State;
    std::shared_ptr<State> state_;
};

}  // namespace media::gstimpl
