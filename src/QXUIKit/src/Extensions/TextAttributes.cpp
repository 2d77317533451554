#include "Extensions/TextAttributes.h"

#include <RuzEzo/Extensions/KeypathSignalCategory.h>
#include <RuzEzo/Signal/Dealloc/FKDeallocSignal.h>
#include <RuzEzo/Trigger/OnSignalHelper.h>

namespace zid {

namespace {
constexpr const char* kTextAttributes = "textAttributes";
constexpr const char* kPlaceholderAttributes = "placeholderTextAttributes";
constexpr const char* kPlaceholderTrigger = "placeholderTextAttributes::trigger";

rt::Value lookup(const rt::Dictionary& d, const char* key) { return d.get(rt::Value(std::string(key))); }

ui::TextAttributes asTextAttributes(const rt::Dictionary& d) {
    ui::TextAttributes a;
    a.font = lookup(d, FontAttributeName).as<ui::Font>();
    a.foregroundColor = lookup(d, ForegroundColorAttributeName).as<ui::Color>();
    a.backgroundColor = lookup(d, BackgroundColorAttributeName).as<ui::Color>();
    if (auto s = lookup(d, ShadowAttributeName).as<TextShadow>()) a.shadow = ui::Shadow{s->shadowColor(), s->shadowOffset(), 0};
    return a;
}
}  // namespace

bool TextShadow::isEqual(const rt::Object& other) const {
    auto* o = dynamic_cast<const TextShadow*>(&other);
    if (!o || !(offset_ == o->offset_)) return false;
    if (!color_ || !o->color_) return color_ == o->color_;
    return color_->isEqual(*o->color_);
}

rt::Value textAttributes(const ui::Label& label) { return label.associatedObject(kTextAttributes); }

void setTextAttributes(ui::Label& label, const rt::Dictionary& attributes) {
    rt::Value value(attributes);
    if (!textAttributes(label).isEqual(value)) label.setAssociatedObject(value, kTextAttributes);
    updateStyling(label);
}

void updateStyling(ui::Label& label) {
    rt::Value stored = textAttributes(label);
    if (!stored.isDictionary()) return;
    const auto& d = stored.dictionary();
    if (auto f = lookup(d, FontAttributeName).as<ui::Font>()) label.setFont(f);
    if (auto c = lookup(d, ForegroundColorAttributeName).as<ui::Color>()) label.setTextColor(c);
    if (auto c = lookup(d, BackgroundColorAttributeName).as<ui::Color>()) label.setBackgroundColor(c);
    if (auto s = lookup(d, ShadowAttributeName).as<TextShadow>()) {
        ui::Label::shadowColorKey.set(label, s->shadowColor());
        ui::Label::shadowOffsetKey.set(label, s->shadowOffset());
    }
}

rt::Value placeholderTextAttributes(const ui::TextField& field) { return field.associatedObject(kPlaceholderAttributes); }

void setPlaceholderTextAttributes(ui::TextField& field, const rt::Dictionary& attributes) {
    rt::Value value(attributes);
    if (placeholderTextAttributes(field).isEqual(value)) return;
    field.setAssociatedObject(value, kPlaceholderAttributes);
    if (auto old = field.associatedObject(kPlaceholderTrigger).as<OnSignalHelper>()) old->dispose();
    rt::Weak<ui::TextField> weak = field.selfAs<ui::TextField>();
    auto styled = std::make_shared<bool>(false);
    ui::TextAttributes style = asTextAttributes(attributes);
    auto trigger = onSignal(signalForKeypath(field, "placeholder")->ignore(rt::Value()), deallocSignal(field),
                            [weak, style, styled](const rt::Value& v) {
                                auto f = weak.lock();
                                // Restyling sets the same placeholder text again: one pass.
                                if (!f || *styled || !v.isString()) return;
                                *styled = true;
                                f->setAttributedPlaceholder(ui::AttributedString(v.string(), style));
                                *styled = false;
                            });
    field.setAssociatedObject(rt::Value(std::static_pointer_cast<rt::Object>(trigger)), kPlaceholderTrigger);
}

void sizeToFitInRect(ui::Label& label, const ui::Rect& limit) {
    ui::Rect f = label.frame();
    ui::Size fits = label.sizeThatFits(label.bounds().size);
    label.setFrame(ui::rectIntersection(limit, ui::Rect(f.origin, fits)));
}

}  // namespace zid
