#pragma once
// The log module the playback core's messages carry.

namespace zid {

inline constexpr const char* kCoreLogModule = "ZIDoredider/QXCorePlayer/Core";

}  // namespace zid
