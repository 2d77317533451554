#pragma once
// A view that shows one or more lines of plain or attributed text, vertically centred
// in its bounds, sized from real text metrics.

#include <rt/MainThread.h>
#include <memory>
#include <optional>

#include <ui/Font.h>
#include <ui/Text.h>
#include <ui/View.h>

namespace ui {

namespace detail {
struct LaidText;
}

class Label : public View {
    RT_CLASS(Label, View)
private:  // fields first: each key names its field
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

public:
    static constexpr rt::Key<Label, rt::Ref<Font>> fontKey{"font", &Label::font_};
    static constexpr rt::Key<Label, rt::Ref<Color>> textColorKey{"textColor", &Label::textColor_};
    static constexpr rt::Key<Label, rt::Ref<Color>> highlightedTextColorKey{"highlightedTextColor",
                                                                             &Label::highlightedTextColor_};
    static constexpr rt::Key<Label, bool> highlightedKey{"highlighted", &Label::highlighted_};
    static constexpr rt::Key<Label, bool> enabledKey{"enabled", &Label::enabled_};
    static constexpr rt::Key<Label, TextAlignment> textAlignmentKey{"textAlignment", &Label::alignment_};
    static constexpr rt::Key<Label, int> numberOfLinesKey{"numberOfLines", &Label::numberOfLines_};
    static constexpr rt::Key<Label, LineBreakMode> lineBreakModeKey{"lineBreakMode", &Label::lineBreakMode_};
    static constexpr rt::Key<Label, bool> adjustsFontSizeToFitWidthKey{"adjustsFontSizeToFitWidth",
                                                                       &Label::adjustsFontSize_};
    static constexpr rt::Key<Label, double> minimumScaleFactorKey{"minimumScaleFactor", &Label::minimumScaleFactor_};
    static constexpr rt::Key<Label, rt::Ref<Color>> shadowColorKey{"shadowColor", &Label::shadowColor_};
    static constexpr rt::Key<Label, Size> shadowOffsetKey{"shadowOffset", &Label::shadowOffset_};

    explicit Label(const Rect& frame = Rect());
    static void describe(rt::ClassBuilder<Label>& c);

    std::string text() const { RT_MAIN_THREAD_ONLY(); return attributed_ ? attributed_->text : text_; }
    /// Plain text (drops the attributed text).
    void setText(std::string text);
    std::optional<AttributedString> attributedText() const { RT_MAIN_THREAD_ONLY(); return attributed_; }
    void setAttributedText(std::optional<AttributedString> text);

    rt::Ref<Font> font() const { RT_MAIN_THREAD_ONLY(); return font_; }
    void setFont(rt::Ref<Font> font);
    rt::Ref<Color> textColor() const { RT_MAIN_THREAD_ONLY(); return textColor_; }
    void setTextColor(rt::Ref<Color> color) { RT_MAIN_THREAD_ONLY(); textColorKey.set(*this, std::move(color)); }
    rt::Ref<Color> highlightedTextColor() const { RT_MAIN_THREAD_ONLY(); return highlightedTextColor_; }
    void setHighlightedTextColor(rt::Ref<Color> c) {
        RT_MAIN_THREAD_ONLY();
        highlightedTextColorKey.set(*this, std::move(c));
    }
    bool isHighlighted() const { RT_MAIN_THREAD_ONLY(); return highlighted_; }
    void setHighlighted(bool v) { RT_MAIN_THREAD_ONLY(); highlightedKey.set(*this, v); }
    bool isEnabled() const { RT_MAIN_THREAD_ONLY(); return enabled_; }
    void setEnabled(bool v) { RT_MAIN_THREAD_ONLY(); enabledKey.set(*this, v); }
    TextAlignment textAlignment() const { RT_MAIN_THREAD_ONLY(); return alignment_; }
    void setTextAlignment(TextAlignment a) { RT_MAIN_THREAD_ONLY(); textAlignmentKey.set(*this, a); }
    int numberOfLines() const { RT_MAIN_THREAD_ONLY(); return numberOfLines_; }
    void setNumberOfLines(int n) { RT_MAIN_THREAD_ONLY(); numberOfLinesKey.set(*this, n); }
    LineBreakMode lineBreakMode() const { RT_MAIN_THREAD_ONLY(); return lineBreakMode_; }
    void setLineBreakMode(LineBreakMode m) { RT_MAIN_THREAD_ONLY(); lineBreakModeKey.set(*this, m); }
    bool adjustsFontSizeToFitWidth() const { RT_MAIN_THREAD_ONLY(); return adjustsFontSize_; }
    void setAdjustsFontSizeToFitWidth(bool v) { RT_MAIN_THREAD_ONLY(); adjustsFontSizeToFitWidthKey.set(*this, v); }
    double minimumScaleFactor() const { RT_MAIN_THREAD_ONLY(); return minimumScaleFactor_; }
    void setMinimumScaleFactor(double v) { RT_MAIN_THREAD_ONLY(); minimumScaleFactorKey.set(*this, v); }
    rt::Ref<Color> shadowColor() const { RT_MAIN_THREAD_ONLY(); return shadowColor_; }
    void setShadowColor(rt::Ref<Color> c) { RT_MAIN_THREAD_ONLY(); shadowColorKey.set(*this, std::move(c)); }
    Size shadowOffset() const { RT_MAIN_THREAD_ONLY(); return shadowOffset_; }
    void setShadowOffset(Size s) { RT_MAIN_THREAD_ONLY(); shadowOffsetKey.set(*this, s); }

    /// The size of the text at the current font and line limit within `size` (its width
    /// wraps lines unless the label has one line), rounded up to whole points.
    Size sizeThatFits(Size size) const override;
    /// The font the text is drawn with: the label's font, made smaller (down to the
    /// minimum scale factor) when the text must fit the width on one line.
    rt::Ref<Font> fittingFont() const;

    bool drawsContent() const override { RT_MAIN_THREAD_ONLY(); return true; }
    void draw(ImageContext& context, const Rect& rect) override;

private:
    TextLayout layoutFor(const rt::Ref<Font>& font) const;
    AttributedString content() const;
    // The text as last laid out for drawing, reused while nothing it depends on changes.
    std::shared_ptr<detail::LaidText> laidText_;

};

}  // namespace ui
