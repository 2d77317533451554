#pragma once
// A text view with a placeholder text shown in a non-interactive text view laid over
// it while it is empty, and a focus signal.

#include <ui/TextView.h>

#include "Views/QXFocusSignalling.h"

namespace zid {

class QXTextView : public QXFocusSignalling<ui::TextView, "QXTextView::focusSignal"> {
    RT_CLASS(QXTextView, ui::TextView)
public:
    explicit QXTextView(const ui::Rect& frame = ui::Rect());

    std::string placeholderText() const { return placeholderText_; }
    void setPlaceholderText(std::string t);
    const rt::Ref<ui::TextView>& placeholderTextView() const { return placeholderView_; }
    rt::Ref<ui::Color> placeholderTextColor() const { return placeholderView_->textColor(); }
    void setPlaceholderTextColor(rt::Ref<ui::Color> c) { placeholderView_->setTextColor(std::move(c)); }
    rt::Ref<ui::Font> placeholderFont() const { return placeholderView_->font(); }
    void setPlaceholderFont(rt::Ref<ui::Font> f) { placeholderView_->setFont(std::move(f)); }

    /// The placeholder shows exactly while the text (plain or attributed) is empty.
    void updatePlaceholderText();
    void setText(std::string text) override;
    void setAttributedText(std::optional<ui::AttributedString> text) override;

protected:
    void didInitialize() override;

private:
    std::string placeholderText_;
    rt::Ref<ui::TextView> placeholderView_;
};

}  // namespace zid
