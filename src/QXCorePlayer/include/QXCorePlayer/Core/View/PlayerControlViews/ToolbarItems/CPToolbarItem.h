#pragma once
// The base of the player's own toolbar items, and the time text they share.

#include <QXUIKit/Toolbar/QXToolbarItem.h>

#include <string>

namespace zid {

class CPToolbarItem : public QXToolbarItem {
    RT_CLASS(CPToolbarItem, QXToolbarItem)
public:
    explicit CPToolbarItem(const ui::Rect& frame = ui::Rect()) : QXToolbarItem(frame) {}
    /// Every item multiplies its font sizes by this.
    static double fontSizeScale() { return 1.0; }
};

/// "mm:ss" below an hour, "hh:mm:ss" from an hour on (hours not wrapped). A negative
/// number of seconds reads as 00:00: a position before the start shows the start.
std::string CPTimeTextFromSeconds(long seconds);
/// The time text of a time in seconds, truncated toward zero; "--:--" for a value that
/// is no finite number.
std::string CPTimeTextFromTime(double seconds);

}  // namespace zid
