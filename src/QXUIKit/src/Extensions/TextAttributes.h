#pragma once
// Styling labels and text-field placeholders from a dictionary of text attributes,
// and shrinking a label to its text inside a limit.
//
// Keys: FontAttributeName (a ui::Font), ForegroundColorAttributeName and
// BackgroundColorAttributeName (ui::Color), ShadowAttributeName (a TextShadow).

#include <rt/Value.h>
#include <ui/Label.h>
#include <ui/TextField.h>

namespace zid {

inline constexpr const char* FontAttributeName = "FontAttributeName";
inline constexpr const char* ForegroundColorAttributeName = "ForegroundColorAttributeName";
inline constexpr const char* BackgroundColorAttributeName = "BackgroundColorAttributeName";
inline constexpr const char* ShadowAttributeName = "ShadowAttributeName";

/// A text shadow: its colour and offset.
class TextShadow : public rt::Object {
    RT_CLASS(TextShadow, rt::Object)
public:
    TextShadow(rt::Ref<ui::Color> color = nullptr, ui::Size offset = {}) : color_(std::move(color)), offset_(offset) {}
    const rt::Ref<ui::Color>& shadowColor() const { return color_; }
    ui::Size shadowOffset() const { return offset_; }
    bool isEqual(const rt::Object& other) const override;

private:
    rt::Ref<ui::Color> color_;
    ui::Size offset_;
};

/// The label's stored attributes (nil when none were set).
rt::Value textAttributes(const ui::Label& label);
/// Stores the attributes when they differ, then always restyles the label.
void setTextAttributes(ui::Label& label, const rt::Dictionary& attributes);
/// Applies each attribute present; leaves the label's own value for each one absent.
void updateStyling(ui::Label& label);

rt::Value placeholderTextAttributes(const ui::TextField& field);
/// When the attributes differ from the stored ones: stores them and keeps the field's
/// attributed placeholder styled from its placeholder, now and on every change.
void setPlaceholderTextAttributes(ui::TextField& field, const rt::Dictionary& attributes);

/// The label's frame becomes its fitting size at its origin, cut to the limit (the
/// null rectangle when they do not meet).
void sizeToFitInRect(ui::Label& label, const ui::Rect& limit);

}  // namespace zid
