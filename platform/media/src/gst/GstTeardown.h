#pragma once
// Stopping a pipeline for good, away from the thread that asks. Setting a pipeline to
// NULL joins its streaming and download threads; one of them can be stuck for ever (the
// adaptive demuxer's download of a URI it cannot fetch), and the host's main thread must
// never wait for that. A pipeline handed over here is stopped and released on a thread of
// its own; its session no longer touches it.

#include <gst/gst.h>

#include <functional>

namespace media::gstimpl {

/// Sets the pipeline to NULL, removes its bus handler and drops the reference passed in,
/// on a thread of its own, once `untilIdle` (when given) has returned there: it waits for
/// any other thread still changing the pipeline, which a state change must never race. A
/// teardown still running after kTeardownBound seconds (the main loop's clock) is reported
/// on the standard error and to the overdue handler: its thread and its pipeline are left
/// behind, and nothing waits for them.
void tearDownInBackground(GstElement* pipeline, std::function<void()> untilIdle = nullptr);

/// Counts a teardown from now on and starts its bound (when called on the main loop);
/// the function answered, called once from any thread, says it finished.
std::function<void()> beginTeardown();
/// Sets the pipeline to NULL, removes its bus handler and drops the reference passed in,
/// where it is called (a thread that may block).
void stopPipeline(GstElement* pipeline);

inline constexpr double kTeardownBound = 2.0;

/// Called on the main loop for each teardown that outlives its bound (main thread).
void setTeardownOverdueHandler(std::function<void()> handler);

/// Teardowns started in this process and not finished.
int teardownsInProgress();
/// Waits up to `seconds` (real time) for every teardown to finish; whether they all did.
bool waitForTeardowns(double seconds);

}  // namespace media::gstimpl
