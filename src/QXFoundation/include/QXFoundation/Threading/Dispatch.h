#pragma once
// Running blocks on the main queue or on the one shared serial background queue.

#include <functional>

#include <fnd/Queue.h>

namespace zid {

/// The shared serial background queue (labelled "<maker label>.bg_queue").
rt::Ref<fnd::Queue> dispatch_get_bg_queue();
/// The shared serial background queue; the first call in the process names it, later
/// calls get the same queue whatever name they pass.
rt::Ref<fnd::Queue> dispatch_get_bg_queue_with_name(const char* name);
/// Queues the block on the main queue and returns at once. Any thread.
void performBlockOnMain(std::function<void()> block);
/// Queues the block on the shared background queue and returns at once. Any thread.
void performBlockOnBackground(std::function<void()> block);
/// Always false: the assertion path asks it and carries on whatever it answers.
bool isTesting();

}  // namespace zid
