#pragma once
// A view that shows one or more lines of plain or attributed text, vertically centred
// in its bounds, sized from real text metrics.

#include <optional>

#include <ui/Font.h>
#include <ui/Text.h>
#include <ui/View.h>

namespace ui {

class Label : public View {
    RT_CLASS(Label, View)
public:
    explicit Label(const Rect& frame = Rect());
    static void describe(rt::ClassBuilder<Label>& c);

    std::string text() const { return attributed_ ? attributed_->text : text_; }
    /// Plain text (drops the attributed text).
    void setText(std::string text);
    std::optional<AttributedString> attributedText() const { return attributed_; }
    void setAttributedText(std::optional<AttributedString> text);

    rt::Ref<Font> font() const { return font_; }
    void setFont(rt::Ref<Font> font);
    rt::Ref<Color> textColor() const { return textColor_; }
    void setTextColor(rt::Ref<Color> color) { rt::kvoSet(this, "textColor", textColor_, std::move(color)); }
    rt::Ref<Color> highlightedTextColor() const { return highlightedTextColor_; }
    void setHighlightedTextColor(rt::Ref<Color> c) { rt::kvoSet(this, "highlightedTextColor", highlightedTextColor_, std::move(c)); }
    bool isHighlighted() const { return highlighted_; }
    void setHighlighted(bool v) { rt::kvoSet(this, "highlighted", highlighted_, v); }
    bool isEnabled() const { return enabled_; }
    void setEnabled(bool v) { rt::kvoSet(this, "enabled", enabled_, v); }
    TextAlignment textAlignment() const { return alignment_; }
    void setTextAlignment(TextAlignment a) { rt::kvoSet(this, "textAlignment", alignment_, a); }
    int numberOfLines() const { return numberOfLines_; }
    void setNumberOfLines(int n) { rt::kvoSet(this, "numberOfLines", numberOfLines_, n); }
    LineBreakMode lineBreakMode() const { return lineBreakMode_; }
    void setLineBreakMode(LineBreakMode m) { rt::kvoSet(this, "lineBreakMode", lineBreakMode_, m); }
    bool adjustsFontSizeToFitWidth() const { return adjustsFontSize_; }
    void setAdjustsFontSizeToFitWidth(bool v) { rt::kvoSet(this, "adjustsFontSizeToFitWidth", adjustsFontSize_, v); }
    double minimumScaleFactor() const { return minimumScaleFactor_; }
    void setMinimumScaleFactor(double v) { rt::kvoSet(this, "minimumScaleFactor", minimumScaleFactor_, v); }
    rt::Ref<Color> shadowColor() const { return shadowColor_; }
    void setShadowColor(rt::Ref<Color> c) { rt::kvoSet(this, "shadowColor", shadowColor_, std::move(c)); }
    Size shadowOffset() const { return shadowOffset_; }
    void setShadowOffset(Size s);

    /// The size of the text at the current font and line limit within `size` (its width
    /// wraps lines unless the label has one line), rounded up to whole points.
    Size sizeThatFits(Size size) const override;
    /// The font the text is drawn with: the label's font, made smaller (down to the
    /// minimum scale factor) when the text must fit the width on one line.
    rt::Ref<Font> fittingFont() const;

    bool drawsContent() const override { return true; }
    void draw(ImageContext& context, const Rect& rect) override;

private:
    TextLayout layoutFor(const rt::Ref<Font>& font) const;
    AttributedString content() const;

    std::string text_;
    std::optional<AttributedString> attributed_;
    rt::Ref<Font> font_;
    rt::Ref<Color> textColor_;
    rt::Ref<Color> highlightedTextColor_;
    bool highlighted_ = false;
    bool enabled_ = true;
    TextAlignment alignment_ = TextAlignment::Natural;
    int numberOfLines_ = 1;
    LineBreakMode lineBreakMode_ = LineBreakMode::TruncatingTail;
    bool adjustsFontSize_ = false;
    double minimumScaleFactor_ = 0;
    rt::Ref<Color> shadowColor_;
    Size shadowOffset_{0, -1};
};

}  // namespace ui
