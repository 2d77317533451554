#pragma once
// The selection rules the tab bar and the tab view share, so the two always agree.

#include <algorithm>
#include <cstddef>

#include "QXUIKit/TabView/QXTabItem.h"

namespace zid::tabs {

inline bool validIndex(long index, std::size_t count) {
    return index >= 0 && static_cast<std::size_t>(index) < count;
}

/// The selection after the item at `removed` left, `count` items remaining: the
/// selected item stays selected (its index moves down when the removed one stood in
/// front of it); a removed selection passes to the item taking its place, or to the
/// new last one; nothing is selected in an empty list.
inline long selectionAfterRemoval(long selected, long removed, long count) {
    if (count == 0 || selected == QXTabNotFound) return count == 0 ? QXTabNotFound : selected;
    if (removed < selected) return selected - 1;
    return std::min(selected, count - 1);
}

}  // namespace zid::tabs
