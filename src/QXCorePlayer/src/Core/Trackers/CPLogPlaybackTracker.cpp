#include "Core/Trackers/CPLogPlaybackTracker.h"
#include "Core/CoreLogModule.h"
#include <QXFoundation/Log/QXLogger.h>

namespace zid {

#define CP_LOG(...) QXLog(kCoreLogModule, staticClass(), 5, __VA_ARGS__)

void CPLogPlaybackTracker::onStart() { CP_LOG("onStart [%@]", rt::Value(source())); }
void CPLogPlaybackTracker::onFinish() { CP_LOG("onFinish [%@]", rt::Value(source())); }
void CPLogPlaybackTracker::onKill() { CP_LOG("onKill [%@]", rt::Value(source())); }
void CPLogPlaybackTracker::onResume() { CP_LOG("onResume [%@]", rt::Value(source())); }
void CPLogPlaybackTracker::onPause() { CP_LOG("onPause [%@]", rt::Value(source())); }
void CPLogPlaybackTracker::onRewind() { CP_LOG("onRewind [%@]", rt::Value(source())); }
void CPLogPlaybackTracker::onClick() { CP_LOG("onClick [%@]", rt::Value(source())); }
void CPLogPlaybackTracker::onMute(bool muted) { CP_LOG("onMute(%d) [%@]", muted ? 1 : 0, rt::Value(source())); }
void CPLogPlaybackTracker::onFullscreen(bool fullscreen) {
    CP_LOG("onFullscreen(%d) [%@]", fullscreen ? 1 : 0, rt::Value(source()));
}
void CPLogPlaybackTracker::onProgress(double seconds) { CP_LOG("onProgress(%g) [%@]", seconds, rt::Value(source())); }
void CPLogPlaybackTracker::onBytesTransferred(std::int64_t bytes) {
    CP_LOG("onBytesTransferred(%lld) [%@]", static_cast<long long>(bytes), rt::Value(source()));
}
void CPLogPlaybackTracker::onBitrate(double bitrate) { CP_LOG("onBitrate(%g) [%@]", bitrate, rt::Value(source())); }

#undef CP_LOG

}  // namespace zid
