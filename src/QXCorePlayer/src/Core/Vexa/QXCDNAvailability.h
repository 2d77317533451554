#pragma once
// What the engine's CDN selection shares: its log module and its task queues.

#include <RudoreVaz/Task/OperationTasks/AKOperationTaskQueue.h>

namespace zid {

/// The log module of the playback engine, which the CDN selection logs under.
inline constexpr const char* kCoreLogModule = "ZIDoredider/QXCorePlayer/Core";

/// A queue of the shared task manager named as given, at most 4 tasks at once.
rt::Ref<AKOperationTaskQueue> cdnTaskQueue(const char* name);

}  // namespace zid
