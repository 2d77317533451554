#pragma once
// A tracker bound to a media source; close does nothing and no event is implemented.
#include <QXCorePlayer/Core/Core/ICPMediaSource.h>
#include <rt/MainThread.h>

namespace zid {

class CPSourcePlaybackTracker : public ICPPlaybackTracker {
    RT_CLASS(CPSourcePlaybackTracker, ICPPlaybackTracker)
public:
    explicit CPSourcePlaybackTracker(rt::Ref<ICPMediaSource> source = nullptr) : source_(std::move(source)) {}
    rt::Ref<ICPMediaSource> source() const { RT_MAIN_THREAD_ONLY(); return source_.lock(); }
    void close() override { RT_MAIN_THREAD_ONLY();}

private:
    // The source owns its tracker: a strong reference back would keep both alive
    // forever, so the tracker refers to its source weakly.
    rt::Weak<ICPMediaSource> source_;
};

}  // namespace zid
