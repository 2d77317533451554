#pragma once
// Frosted-glass versions of an image: a blurred copy, optionally with its saturation
// changed, laid over the image (optionally only where a mask allows) and covered
// with a translucent tint. Each answers a new image or nil, and leaves the image be.

#include <ui/Color.h>
#include <ui/Image.h>

namespace zid {

rt::Ref<ui::Image> applyLightEffect(const ui::Image& image);
rt::Ref<ui::Image> applyExtraLightEffect(const ui::Image& image);
rt::Ref<ui::Image> applyDarkEffect(const ui::Image& image);
rt::Ref<ui::Image> applyTintEffectWithColor(const ui::Image& image, const rt::Ref<ui::Color>& color);
/// Blur radius in points (at the main screen's scale), tint and mask may be nil.
rt::Ref<ui::Image> applyBlurWithRadius(const ui::Image& image, double blurRadius, const rt::Ref<ui::Color>& tintColor,
                                       double saturationDeltaFactor, const rt::Ref<ui::Image>& maskImage);

/// The 16 saturation matrix entries for a factor, scaled by 256 and rounded (halves
/// away from zero), row by row.
void saturationMatrix(double s, std::int16_t out[16]);

}  // namespace zid
