#pragma once
// Settings an ads loader is made with.
#include <rt/Object.h>

namespace ima {

class Settings : public rt::Object {
    RT_CLASS(Settings, rt::Object)
public:
    Settings() = default;

    /// Whether an ad break starts by itself once loaded (YES) or waits for the ads
    /// manager's start (NO).
    bool autoPlayAdBreaks() const { return autoPlayAdBreaks_; }
    void setAutoPlayAdBreaks(bool value) { autoPlayAdBreaks_ = value; }
    /// Whether ads keep playing while the host is in the background.
    bool enableBackgroundPlayback() const { return enableBackgroundPlayback_; }
    void setEnableBackgroundPlayback(bool value) { enableBackgroundPlayback_ = value; }

private:
    bool autoPlayAdBreaks_ = true;
    bool enableBackgroundPlayback_ = false;
};

}  // namespace ima
