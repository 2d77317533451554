#pragma once
// What the recorder asks of the deployment settings kept beside the batch functions.

namespace zid {

/// Whether the host's bundle identifier is the one configured to skip the flow-layout
/// invalidation before a replay.
bool batchUpdateSkipsFlowLayoutInvalidation();

}  // namespace zid
