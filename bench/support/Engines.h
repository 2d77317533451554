#pragma once
// The media engine a playback benchmark plays with. A row measures what a host gets, the
// engine in a child process of its own (the default), unless its name ends in InProcess:
// those rows play with the engine in the benchmark's own process. Both with null outputs.

#include <chrono>
#include <cstdlib>

#include <fnd/RunLoop.h>
#include <media/Engine.h>
#include <media/GstEngine.h>

#include "ProcessCpu.h"

namespace zidbench {

/// The default engine (in a child process), with null outputs, for assets made from now on.
inline void useDefaultEngine() {
    ::setenv("ZID_MEDIA_NULL_OUTPUT", "1", 1);
    media::Engine::setShared(nullptr);
}

/// The engine in this process, with null outputs, for assets made from now on.
inline void useInProcessEngine() {
    media::GstEngine::Options options;
    options.nullOutput = true;
    media::Engine::setShared(rt::make<media::GstEngine>(options));
}

/// Runs the main loop until the engine's work of a round is over, so that the next round
/// runs neither beside it nor while it tears down: the pipelines stopping in this process,
/// then the engine processes' (an item given back tears its pipeline down there) until
/// their CPU time stops growing, for at most `limit` seconds.
inline void settleEngines(double limit = 3) {
    media::GstEngine::finishTeardowns(limit);
    auto loop = fnd::RunLoop::main();
    auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(limit);
    double before = -1;
    for (;;) {
        double children = 0;
        for (pid_t pid : livingChildren()) children += childCpu(pid);
        // Under a clock tick (10 ms) in 50 ms: idle.
        if (before >= 0 && children - before < 0.005) return;
        if (std::chrono::steady_clock::now() >= deadline) return;
        before = children;
        loop->runFor(0.05);
    }
}

}  // namespace zidbench
