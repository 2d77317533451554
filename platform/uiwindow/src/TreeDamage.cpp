#include "TreeDamage.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <functional>
#include <typeinfo>

#include <ui/Control.h>
#include <ui/ImageView.h>
#include <ui/Label.h>
#include <ui/Layer.h>
#include <ui/Slider.h>
#include <ui/TextField.h>
#include <ui/TextView.h>

namespace ui {

namespace {
/// Pixels around a view's box its drawing may reach: antialiased edges, text overhangs.
constexpr double kMargin = 3;
}  // namespace

void TreeDamage::Hash::add(std::uint64_t word) {
    // One multiply-xorshift step per word: a change anywhere reaches every bit.
    value = (value ^ word) * 0x100000001b3ull;
    value ^= value >> 29;
}

void TreeDamage::Hash::add(double v) { add(std::bit_cast<std::uint64_t>(v)); }

void TreeDamage::Hash::add(const Color* color) {
    if (!color) return add(std::uint64_t(1));
    add(color->red());
    add(color->green());
    add(color->blue());
    add(color->alpha());
}

void TreeDamage::Hash::add(const std::string& text) { add(std::uint64_t(std::hash<std::string>{}(text))); }

Rect TreeDamage::update(View& root, double scaleX, double scaleY) {
    damaged_ = rectNull();
    now_.clear();
    Rect b = root.presentedBounds();
    AffineTransform toWindow{scaleX, 0, 0, scaleY, -b.origin.x * scaleX, -b.origin.y * scaleY};
    visit(root, toWindow, 1, 0, 0);
    for (const auto& [view, record] : last_)
        if (!now_.count(view)) damage(record.area);
    std::swap(last_, now_);
    return damaged_;
}

Rect TreeDamage::areaOf(const View* view) const {
    auto it = last_.find(view);
    return it == last_.end() ? rectNull() : it->second.area;
}

void TreeDamage::damage(const Rect& area) { damaged_ = rectUnion(damaged_, area); }

void TreeDamage::visit(View& v, const AffineTransform& toWindow, double alpha, std::uint64_t clips, long index) {
    if (v.isHidden()) return;
    alpha *= std::min(1.0, v.presentedAlpha());
    if (alpha <= 0) return;
    Hash h;
    h.add(&typeid(v));
    h.add(std::uint64_t(index));
    h.add(alpha);
    h.add(clips);
    for (double d : {toWindow.a, toWindow.b, toWindow.c, toWindow.d, toWindow.tx, toWindow.ty}) h.add(d);
    Rect b = v.presentedBounds();
    for (double d : {b.origin.x, b.origin.y, b.size.width, b.size.height}) h.add(d);
    h.add(v.presentedBackgroundColor().get());
    const Layer& layer = *v.layer();
    h.add(layer.borderWidth());
    if (layer.borderWidth() > 0) h.add(layer.borderColor().get());
    h.add(layer.cornerRadius());
    h.add(std::uint64_t(layer.masksToBounds()));
    h.add(layer.shadowOpacity());
    double reach = 0;  // in points, beyond the bounds
    if (layer.shadowOpacity() > 0) {
        h.add(layer.shadowColor().get());
        h.add(layer.shadowRadius());
        h.add(layer.shadowOffset().width);
        h.add(layer.shadowOffset().height);
        h.add(layer.shadowPath().get());
        Rect shape = layer.shadowPath() ? layer.shadowPath()->bounds() : b;
        if (!rectIsNull(shape)) b = rectUnion(b, shape);
        reach = std::ceil(std::max(0.0, layer.shadowRadius()) * 2 + 2) +
                std::max(std::abs(layer.shadowOffset().width), std::abs(layer.shadowOffset().height));
    }
    h.add(layer.maskPath().get());
    h.add(std::uint64_t(v.drawsContent()));
    if (v.drawsContent()) content(v, h);
    Rect area = rectApplyTransform(rectInset(b, -reach, -reach), toWindow);
    area = rectInset(area, -kMargin, -kMargin);
    Record record{h.value, area};
    auto old = last_.find(&v);
    if (old == last_.end()) {
        damage(area);
    } else if (old->second.digest != record.digest) {
        damage(old->second.area);
        damage(area);
    }
    now_[&v] = record;
    // What clips the subviews: a change of it shows in each of them.
    std::uint64_t inner = clips;
    if (layer.masksToBounds() || layer.maskPath()) {
        Hash c;
        c.add(clips);
        c.add(h.value);
        inner = c.value;
    }
    long i = 0;
    for (const auto& sub : v.subviews()) {
        AffineTransform t = transformConcat(sub->presentedTransformToSuperview(), toWindow);
        visit(*sub, t, alpha, inner, i++);
    }
}

// What the toolkit's own drawing views draw from. Their setters write fields without
// telling anyone (key-value coding writes them too), so the values are read here.
void TreeDamage::content(View& v, Hash& h) {
    h.add(std::uint64_t(v.contentMode()));
    if (auto* control = dynamic_cast<Control*>(&v)) h.add(std::uint64_t(control->state()));
    if (auto* label = dynamic_cast<Label*>(&v)) {
        h.add(label->text());
        if (auto attributed = label->attributedText())
            for (const auto& run : attributed->runs) {
                h.add(std::uint64_t(run.start) << 32 | run.length);
                h.add(run.attributes.font.get());
                h.add(run.attributes.foregroundColor.get());
                h.add(run.attributes.backgroundColor.get());
                h.add(std::uint64_t(run.attributes.alignment.value_or(TextAlignment(7))));
                h.add(std::uint64_t(run.attributes.lineBreakMode.value_or(LineBreakMode(7))));
                if (run.attributes.shadow) h.add(run.attributes.shadow->color.get());
            }
        h.add(label->font().get());
        h.add(label->textColor().get());
        h.add(label->highlightedTextColor().get());
        h.add(std::uint64_t(label->isHighlighted()) | std::uint64_t(label->isEnabled()) << 1 |
              std::uint64_t(label->adjustsFontSizeToFitWidth()) << 2);
        h.add(std::uint64_t(label->textAlignment()) << 32 | std::uint64_t(label->lineBreakMode()));
        h.add(std::uint64_t(std::int64_t(label->numberOfLines())));
        h.add(label->minimumScaleFactor());
        h.add(label->shadowColor().get());
        h.add(label->shadowOffset().width);
        h.add(label->shadowOffset().height);
    } else if (auto* image = dynamic_cast<ImageView*>(&v)) {
        h.add(image->image().get());
        h.add(image->highlightedImage().get());
        h.add(std::uint64_t(image->isHighlighted()));
        h.add(v.tintColor().get());
    } else if (auto* slider = dynamic_cast<Slider*>(&v)) {
        h.add(slider->value());
        h.add(slider->minimumValue());
        h.add(slider->maximumValue());
        h.add(v.tintColor().get());
    } else if (auto* toggle = dynamic_cast<Switch*>(&v)) {
        h.add(std::uint64_t(toggle->isOn()));
        h.add(v.tintColor().get());
    } else if (auto* segments = dynamic_cast<SegmentedControl*>(&v)) {
        h.add(std::uint64_t(segments->selectedSegmentIndex()));
        for (std::size_t i = 0; i < segments->numberOfSegments(); ++i) h.add(segments->titleForSegmentAtIndex(i));
        h.add(v.tintColor().get());
    } else if (auto* spinner = dynamic_cast<ActivityIndicatorView*>(&v)) {
        h.add(std::uint64_t(spinner->phase()) << 1 | std::uint64_t(spinner->isAnimating()));
        h.add(spinner->color().get());
    } else if (auto* field = dynamic_cast<TextField*>(&v)) {
        h.add(field->text());
        h.add(field->placeholder());
        if (auto placeholder = field->attributedPlaceholder()) h.add(placeholder->text + "\x01");
        h.add(field->font().get());
        h.add(field->textColor().get());
        h.add(std::uint64_t(field->isEditing()) | std::uint64_t(field->isSecureTextEntry()) << 1);
        h.add(std::uint64_t(field->textAlignment()) << 32 | std::uint64_t(field->borderStyle()));
    } else if (auto* text = dynamic_cast<TextView*>(&v)) {
        h.add(text->text());
        h.add(text->font().get());
        h.add(text->textColor().get());
        h.add(std::uint64_t(text->isEditing()) | std::uint64_t(text->textAlignment()) << 1);
        EdgeInsets inset = text->textContainerInset();
        for (double d : {inset.top, inset.left, inset.bottom, inset.right}) h.add(d);
    }
}

}  // namespace ui
