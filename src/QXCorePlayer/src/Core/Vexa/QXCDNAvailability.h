#pragma once
// What the engine's CDN selection shares: its log module and its task queues.

#include <RudoreVaz/Task/OperationTasks/AKOperationTaskQueue.h>

#include "Core/CoreLogModule.h"

namespace zid {

/// A queue of the shared task manager named as given, at most 4 tasks at once.
rt::Ref<AKOperationTaskQueue> cdnTaskQueue(const char* name);

}  // namespace zid
