#include "GstTeardown.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <memory>
#include <mutex>
#include <thread>

#include <fnd/RunLoop.h>

namespace media::gstimpl {

namespace {
struct Teardowns {
    std::mutex mutex;
    std::condition_variable finished;
    int running = 0;
};

Teardowns& teardowns() {
    static auto* all = new Teardowns;  // teardown threads may outlive static destruction
    return *all;
}

std::function<void()>& overdueHandler() {
    static auto* handler = new std::function<void()>;
    return *handler;
}
}  // namespace

void setTeardownOverdueHandler(std::function<void()> handler) { overdueHandler() = std::move(handler); }

std::function<void()> beginTeardown() {
    {
        std::lock_guard lock(teardowns().mutex);
        ++teardowns().running;
    }
    auto done = std::make_shared<std::atomic<bool>>(false);
    if (fnd::RunLoop::main()->isCurrent())
        fnd::RunLoop::main()->after(kTeardownBound, [done] {
            if (done->load()) return;
            std::fprintf(stderr, "zid media: a pipeline did not stop within %.0f s; its teardown thread is left behind\n",
                         kTeardownBound);
            if (auto handler = overdueHandler()) handler();
        });
    return [done] {
        if (done->exchange(true)) return;
        std::lock_guard lock(teardowns().mutex);
        --teardowns().running;
        teardowns().finished.notify_all();
    };
}

void stopPipeline(GstElement* pipeline) {
    gst_element_set_state(pipeline, GST_STATE_NULL);
    GstBus* bus = gst_element_get_bus(pipeline);
    gst_bus_set_sync_handler(bus, nullptr, nullptr, nullptr);
    gst_object_unref(bus);
    gst_object_unref(pipeline);
}

void tearDownInBackground(GstElement* pipeline, std::function<void()> untilIdle) {
    if (!pipeline) return;
    auto finished = beginTeardown();
    std::thread([pipeline, finished, untilIdle = std::move(untilIdle)] {
        if (untilIdle) untilIdle();
        stopPipeline(pipeline);
        finished();
    }).detach();
}

int teardownsInProgress() {
    std::lock_guard lock(teardowns().mutex);
    return teardowns().running;
}

bool waitForTeardowns(double seconds) {
    std::unique_lock lock(teardowns().mutex);
    return teardowns().finished.wait_for(lock, std::chrono::duration<double>(seconds),
                                         [] { return teardowns().running == 0; });
}

}  // namespace media::gstimpl
