#pragma once
// A text field with content insets, its own placeholder font and colour (drawn by the
// field, centred in the inset placeholder rectangle), an optional thin line under the
// text, and a focus signal (YES on becoming first responder, NO on resigning).

#include <ui/TextField.h>

#include "Views/QXFocusSignalling.h"

namespace zid {

class QXTextField : public QXFocusSignalling<ui::TextField, "QXTextField::focusSignal"> {
    RT_CLASS(QXTextField, ui::TextField)
public:
    explicit QXTextField(const ui::Rect& frame = ui::Rect());

    /// Placeholder font = the field's font, colour = light grey, without redisplay.
    void setDefaultPlaceholderAttributes();
    rt::Ref<ui::Color> placeholderTextColor() const { return placeholderColor_; }
    void setPlaceholderTextColor(rt::Ref<ui::Color> c);
    rt::Ref<ui::Font> placeholderFont() const { return placeholderFont_; }
    void setPlaceholderFont(rt::Ref<ui::Font> f);
    /// Made on first read: a 1-point line 8 points above the bottom of the bounds of
    /// that moment, kept at that frame afterwards.
    rt::Ref<ui::View> bottomBorderLine();
    rt::Ref<ui::Color> bottomBorderLineColor() const { return lineColor_; }
    void setBottomBorderLineColor(rt::Ref<ui::Color> c);
    ui::EdgeInsets contentInsents() const { return insets_; }
    void setContentInsents(ui::EdgeInsets e);

    ui::Rect textRectForBounds(const ui::Rect& bounds) const override;
    ui::Rect placeholderRectForBounds(const ui::Rect& bounds) const override;
    void drawPlaceholderInRect(ui::ImageContext& context, const ui::Rect& rect) override;

protected:
    /// The text goes back to its resting place before the resignation is announced.
    void didResignFocus() override;

private:
    rt::Ref<ui::Color> placeholderColor_;
    rt::Ref<ui::Font> placeholderFont_;
    rt::Ref<ui::View> line_;
    rt::Ref<ui::Color> lineColor_;
    ui::EdgeInsets insets_;
};

}  // namespace zid
