#pragma once
// The log module the ads' messages carry.

namespace zid {

inline constexpr const char* kAdLogModule = "ZIDoredider/QXMediaPlayer/Ad";

}  // namespace zid
