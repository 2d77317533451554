#pragma once
// What a media player and the movie player controller under it both offer of what they
// play: its tracks and the choice among them, its sound and picture-in-picture output,
// playing on in the background, and what its transfer measures, with the observable
// properties of those. Each interface adds its own operations and properties.
#include <QXCorePlayer/Core/Core/CPVideoSize.h>
#include <rt/KVC.h>
#include <rt/Object.h>

#include <cstdint>
#include <rt/MainThread.h>

namespace zid {

class ICPMediaPlayback : public rt::Object {
    RT_CLASS(ICPMediaPlayback, rt::Object)
public:
    virtual bool isAudioOnly() const = 0;
    virtual CPVideoSize videoSize() const = 0;
    virtual bool muted() const = 0;
    virtual void setMuted(bool muted) = 0;
    virtual bool continuePlaybackInBackground() const = 0;
    virtual void setContinuePlaybackInBackground(bool flag) = 0;
    virtual void startPictureInPicture() = 0;
    virtual void stopPictureInPicture() = 0;
    virtual double observedBitrate() const = 0;
    virtual std::int64_t numberOfBytesTransferred() const = 0;

    virtual rt::Ref<rt::Object> subtitles() const = 0;
    virtual rt::Ref<rt::Object> defaultSubtitle() const = 0;
    virtual rt::Ref<rt::Object> selectedSubtitle() const = 0;
    virtual rt::Ref<rt::Object> audioTracks() const = 0;
    virtual rt::Ref<rt::Object> defaultAudioTrack() const = 0;
    virtual rt::Ref<rt::Object> selectedAudioTrack() const = 0;
    virtual void selectSubtitle(const rt::Ref<rt::Object>& option) = 0;
    virtual void selectAudioTrack(const rt::Ref<rt::Object>& option) = 0;

    static void describe(rt::ClassBuilder<ICPMediaPlayback>& c) {
        c.mainThreadOnly();
        using Playback = ICPMediaPlayback;
        c.readonly("audioOnly", &Playback::isAudioOnly);
        c.readonly("videoSize", &Playback::videoSize);
        c.property("muted", &Playback::muted, &Playback::setMuted);
        c.property("continuePlaybackInBackground", &Playback::continuePlaybackInBackground,
                   &Playback::setContinuePlaybackInBackground);
        c.readonly("observedBitrate", &Playback::observedBitrate);
        c.readonly("numberOfBytesTransferred", &Playback::numberOfBytesTransferred);
        c.readonly("subtitles", &Playback::subtitles);
        c.readonly("defaultSubtitle", &Playback::defaultSubtitle);
        c.readonly("selectedSubtitle", &Playback::selectedSubtitle);
        c.readonly("audioTracks", &Playback::audioTracks);
        c.readonly("defaultAudioTrack", &Playback::defaultAudioTrack);
        c.readonly("selectedAudioTrack", &Playback::selectedAudioTrack);
    }
};

}  // namespace zid
