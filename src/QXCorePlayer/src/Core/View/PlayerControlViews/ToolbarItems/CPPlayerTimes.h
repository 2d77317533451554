#pragma once
// What the time items read from a player: the elapsed time from the start of its time
// information, and its duration, as time texts.

#include <QXCorePlayer/Core/MediaPlayer/ICPMediaPlayer.h>
#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPToolbarItem.h>
#include <ui/Font.h>

namespace zid {

inline constexpr const char* kCPNoTimeText = "--:--";

/// The elapsed time text, from the seek position while there is one when asked;
/// "--:--" without a player or time information.
inline std::string CPElapsedTimeText(const rt::Ref<ICPMediaPlayer>& player, bool seekPositionWins) {
    auto timing = player ? player->timeInfo() : nullptr;
    if (!timing) return kCPNoTimeText;
    rt::Value seek = seekPositionWins ? player->seekPosition() : rt::Value();
    double at = seek.isNumber() ? seek.doubleValue() : player->playbackTime();
    return CPTimeTextFromTime(double(float(at)) - timing->startTime());
}

inline std::string CPDurationText(const rt::Ref<ICPMediaTiming>& timing) {
    return timing ? CPTimeTextFromTime(timing->duration()) : kCPNoTimeText;
}

/// The time items' font: bold, 10 points scaled.
inline rt::Ref<ui::Font> CPTimeFont() { return ui::Font::boldSystemFontOfSize(10 * CPToolbarItem::fontSizeScale()); }

/// A time label that fits its width, centred.
inline void CPConfigureCenteredTimeLabel(ui::Label& label) {
    label.setAdjustsFontSizeToFitWidth(true);
    label.setFont(CPTimeFont());
    label.setTextAlignment(ui::TextAlignment::Center);
}

}  // namespace zid
