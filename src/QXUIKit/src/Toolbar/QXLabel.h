#pragma once
// A label that can put its text against its top edge (content mode top) or its bottom
// edge (content mode bottom); any other mode centres it vertically.

#include <ui/Label.h>

namespace zid {

class QXLabel : public ui::Label {
    RT_CLASS(QXLabel, ui::Label)
public:
    using ui::Label::Label;

    /// Where the text of the rectangle is drawn: for bottom, (x, y + max(h - th, 0),
    /// w, min(h, th)) with th the fitting height cut to whole points; for top, (x, y, w,
    /// min(h, th)); otherwise the rectangle.
    ui::Rect textRectForDrawing(const ui::Rect& rect) const;

    void draw(ui::ImageContext& context, const ui::Rect& rect) override;
};

}  // namespace zid
