#pragma once
// A one-line text field: text or attributed text, a placeholder shown while empty, a
// border style, and editing as first responder. A tap makes it first responder;
// typing (insertText, deleteBackward) changes the text through its delegate; the
// return key asks the delegate and sends editing-did-end-on-exit. Editing events go
// to targets like any control event.

#include <rt/MainThread.h>
#include <optional>

#include <ui/Control.h>
#include <ui/Text.h>

namespace ui {

class TextField;

/// Posted (object: the field) whenever the user changes the text.
inline constexpr const char* TextFieldTextDidChangeNotification = "TextFieldTextDidChangeNotification";
inline constexpr const char* TextFieldTextDidBeginEditingNotification = "TextFieldTextDidBeginEditingNotification";
inline constexpr const char* TextFieldTextDidEndEditingNotification = "TextFieldTextDidEndEditingNotification";

enum class TextBorderStyle { None = 0, Line = 1, Bezel = 2, RoundedRect = 3 };

/// A range of the text in bytes of its UTF-8 form.
struct TextRange {
    std::size_t location = 0, length = 0;
};

/// Every method optional; the defaults allow everything and do nothing.
class TextFieldDelegate {
public:
    virtual ~TextFieldDelegate() = default;
    virtual bool textFieldShouldBeginEditing(TextField&) { return true; }
    virtual void textFieldDidBeginEditing(TextField&) {}
    virtual bool textFieldShouldEndEditing(TextField&) { return true; }
    virtual void textFieldDidEndEditing(TextField&) {}
    virtual bool textFieldShouldChangeCharacters(TextField&, TextRange, const std::string&) { return true; }
    virtual bool textFieldShouldClear(TextField&) { return true; }
    virtual bool textFieldShouldReturn(TextField&) { return true; }
};

class TextField : public Control {
    RT_CLASS(TextField, Control)
private:
    std::string text_;
    std::string placeholder_;

public:
    static constexpr rt::Key<TextField, std::string> textKey{"text", &TextField::text_};
    static constexpr rt::Key<TextField, std::string> placeholderKey{"placeholder", &TextField::placeholder_};

    explicit TextField(const Rect& frame = Rect());
    static void describe(rt::ClassBuilder<TextField>& c);

    std::string text() const { RT_MAIN_THREAD_ONLY(); return text_; }
    /// Text set by code: no editing events, no notification.
    virtual void setText(std::string text);
    std::optional<AttributedString> attributedText() const;
    void setAttributedText(std::optional<AttributedString> text);
    /// A secure field draws a bullet for each character; text() still answers the text.
    bool isSecureTextEntry() const { RT_MAIN_THREAD_ONLY(); return secureTextEntry_; }
    void setSecureTextEntry(bool secure) { RT_MAIN_THREAD_ONLY(); secureTextEntry_ = secure; }
    std::string placeholder() const { RT_MAIN_THREAD_ONLY(); return placeholder_; }
    void setPlaceholder(std::string p);
    std::optional<AttributedString> attributedPlaceholder() const {
        RT_MAIN_THREAD_ONLY();
        return attributedPlaceholder_;
    }
    virtual void setAttributedPlaceholder(std::optional<AttributedString> p);
    rt::Ref<Font> font() const { RT_MAIN_THREAD_ONLY(); return font_; }
    void setFont(rt::Ref<Font> f);
    rt::Ref<Color> textColor() const { RT_MAIN_THREAD_ONLY(); return textColor_; }
    void setTextColor(rt::Ref<Color> c);
    TextAlignment textAlignment() const { RT_MAIN_THREAD_ONLY(); return alignment_; }
    void setTextAlignment(TextAlignment a) { RT_MAIN_THREAD_ONLY(); alignment_ = a; }
    TextBorderStyle borderStyle() const { RT_MAIN_THREAD_ONLY(); return borderStyle_; }
    void setBorderStyle(TextBorderStyle s);
    TextFieldDelegate* delegate() const { RT_MAIN_THREAD_ONLY(); return delegate_; }
    void setDelegate(TextFieldDelegate* d) { RT_MAIN_THREAD_ONLY(); delegate_ = d; }
    bool isEditing() const { RT_MAIN_THREAD_ONLY(); return editing_; }

    // ---- geometry of the parts (subclasses refine) ---------------------------------------
    virtual Rect borderRectForBounds(const Rect& bounds) const;
    virtual Rect textRectForBounds(const Rect& bounds) const;
    virtual Rect placeholderRectForBounds(const Rect& bounds) const;
    virtual Rect editingRectForBounds(const Rect& bounds) const;

    // ---- drawing --------------------------------------------------------------------------
    bool drawsContent() const override { RT_MAIN_THREAD_ONLY(); return true; }
    void draw(ImageContext& context, const Rect& rect) override;
    virtual void drawTextInRect(ImageContext& context, const Rect& rect);
    virtual void drawPlaceholderInRect(ImageContext& context, const Rect& rect);

    // ---- editing ----------------------------------------------------------------------------
    bool canBecomeFirstResponder() const override { RT_MAIN_THREAD_ONLY(); return isEnabled(); }
    bool becomeFirstResponder() override;
    bool resignFirstResponder() override;
    /// Typing: inserts at the end (the field keeps its caret there).
    void insertText(const std::string& s);
    void deleteBackward();
    /// The clear button.
    void clear();
    /// The return key.
    void returnKey();

    void endTrackingWithTouch(Touch* touch) override;
    Size sizeThatFits(Size size) const override;

private:
    bool replace(TextRange range, const std::string& with);
    std::optional<AttributedString> attributedText_;
    bool secureTextEntry_ = false;
    std::optional<AttributedString> attributedPlaceholder_;
    rt::Ref<Font> font_;
    rt::Ref<Color> textColor_;
    TextAlignment alignment_ = TextAlignment::Natural;
    TextBorderStyle borderStyle_ = TextBorderStyle::None;
    TextFieldDelegate* delegate_ = nullptr;
    bool editing_ = false;
};

}  // namespace ui
