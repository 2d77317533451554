#pragma once
// A scrolling, editable block of text. Typing goes through the delegate and posts
// TextViewTextDidChangeNotification; text set by code posts nothing. A tap makes it
// first responder when editable. Points map to text positions and positions to the
// enclosing character, word, sentence, paragraph or line.

#include <rt/MainThread.h>
#include <optional>

#include <ui/ScrollView.h>
#include <ui/Text.h>
#include <ui/TextField.h>

namespace ui {

class TextView;

inline constexpr const char* TextViewTextDidChangeNotification = "TextViewTextDidChangeNotification";
inline constexpr const char* TextViewTextDidBeginEditingNotification = "TextViewTextDidBeginEditingNotification";
inline constexpr const char* TextViewTextDidEndEditingNotification = "TextViewTextDidEndEditingNotification";

enum class TextGranularity { Character = 0, Word = 1, Sentence = 2, Paragraph = 3, Line = 4, Document = 5 };

/// Every method optional.
class TextViewDelegate {
public:
    virtual ~TextViewDelegate() = default;
    virtual bool textViewShouldBeginEditing(TextView&) { return true; }
    virtual void textViewDidBeginEditing(TextView&) {}
    virtual bool textViewShouldEndEditing(TextView&) { return true; }
    virtual void textViewDidEndEditing(TextView&) {}
    virtual bool textViewShouldChangeText(TextView&, TextRange, const std::string&) { return true; }
    virtual void textViewDidChange(TextView&) {}
    /// Asked before a link is followed; the default follows it.
    virtual bool textViewShouldInteractWithURL(TextView&, const std::string& /*url*/, TextRange) { return true; }
};

class TextView : public ScrollView {
    RT_CLASS(TextView, ScrollView)
private:
    std::string text_;

public:
    static constexpr rt::Key<TextView, std::string> textKey{"text", &TextView::text_};
    static constexpr double kLineFragmentPadding = 5;

    explicit TextView(const Rect& frame = Rect());
    static void describe(rt::ClassBuilder<TextView>& c);

    std::string text() const { RT_MAIN_THREAD_ONLY(); return text_; }
    virtual void setText(std::string text);
    std::optional<AttributedString> attributedText() const;
    virtual void setAttributedText(std::optional<AttributedString> text);
    rt::Ref<Font> font() const { RT_MAIN_THREAD_ONLY(); return font_; }
    virtual void setFont(rt::Ref<Font> f);
    rt::Ref<Color> textColor() const { RT_MAIN_THREAD_ONLY(); return textColor_; }
    virtual void setTextColor(rt::Ref<Color> c);
    TextAlignment textAlignment() const { RT_MAIN_THREAD_ONLY(); return alignment_; }
    void setTextAlignment(TextAlignment a) { RT_MAIN_THREAD_ONLY(); alignment_ = a; }
    bool isEditable() const { RT_MAIN_THREAD_ONLY(); return editable_; }
    void setEditable(bool e) { RT_MAIN_THREAD_ONLY(); editable_ = e; }
    EdgeInsets textContainerInset() const { RT_MAIN_THREAD_ONLY(); return containerInset_; }
    void setTextContainerInset(EdgeInsets e) { RT_MAIN_THREAD_ONLY(); containerInset_ = e; }
    TextViewDelegate* delegate() const { RT_MAIN_THREAD_ONLY(); return textDelegate_; }
    void setDelegate(TextViewDelegate* d) { RT_MAIN_THREAD_ONLY(); textDelegate_ = d; }
    bool isEditing() const { RT_MAIN_THREAD_ONLY(); return editing_; }

    // ---- links --------------------------------------------------------------------------------
    /// Marks a range of the text as a link to the URL.
    void addLink(TextRange range, std::string url);
    /// A tap on a link asks the delegate; answers whether the link is followed (the
    /// application's openURL then runs).
    bool interactWithLinkAt(std::size_t position);

    // ---- positions ------------------------------------------------------------------------------
    /// The byte offset in the text nearest to a point of the view.
    std::size_t closestPositionToPoint(Point p) const;
    /// The range around a position at a granularity (nullopt in empty text).
    std::optional<TextRange> rangeEnclosingPosition(std::size_t position, TextGranularity g) const;
    std::string textInRange(TextRange r) const;

    // ---- editing ---------------------------------------------------------------------------------
    bool canBecomeFirstResponder() const override { RT_MAIN_THREAD_ONLY(); return editable_; }
    bool becomeFirstResponder() override;
    bool resignFirstResponder() override;
    void insertText(const std::string& s);
    void deleteBackward();

    void touchesEnded(const TouchSet& touches) override;
    void touchesBegan(const TouchSet&) override { RT_MAIN_THREAD_ONLY(); }
    void touchesMoved(const TouchSet&) override { RT_MAIN_THREAD_ONLY(); }
    void touchesCancelled(const TouchSet&) override { RT_MAIN_THREAD_ONLY(); }

    bool drawsContent() const override { RT_MAIN_THREAD_ONLY(); return true; }
    void draw(ImageContext& context, const Rect& rect) override;
    Size sizeThatFits(Size size) const override;
    /// Where the text is laid out, in the view's content coordinates.
    Rect textContainerRect() const;

private:
    void replace(TextRange range, const std::string& with);
    struct Link {
        TextRange range;
        std::string url;
    };
    std::optional<AttributedString> attributed_;
    rt::Ref<Font> font_;
    rt::Ref<Color> textColor_;
    TextAlignment alignment_ = TextAlignment::Natural;
    bool editable_ = true;
    bool editing_ = false;
    EdgeInsets containerInset_{8, 0, 8, 0};
    TextViewDelegate* textDelegate_ = nullptr;
    std::vector<Link> links_;
};

}  // namespace ui
