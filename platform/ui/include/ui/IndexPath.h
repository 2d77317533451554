#pragma once
// The address of one element of a sectioned view: a section and a position in it.
// A collection view calls that position the item, a table view the row; both name
// the same field, so one value type serves both views.

#include <compare>

namespace ui {

struct IndexPath {
    long section = 0;
    long item = 0;

    /// The table view's name for the position in the section.
    long row() const { return item; }
    void setRow(long row) { item = row; }

    static IndexPath forRow(long row, long section) { return IndexPath{section, row}; }
    static IndexPath forItem(long item, long section) { return IndexPath{section, item}; }

    friend bool operator==(const IndexPath&, const IndexPath&) = default;
    friend auto operator<=>(const IndexPath&, const IndexPath&) = default;
};

}  // namespace ui
