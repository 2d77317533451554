#pragma once
// Images from a caller's raw pixel buffer, and copies clipped to a rounded rectangle
// or an oval.

#include <cstdint>

#include <ui/Image.h>

namespace zid {

/// An image of w x h pixels from premultiplied 32-bit pixels (blue, green, red, alpha
/// in memory), at the main screen's scale. The buffer is copied. Nil when a size is
/// not positive, when w * h * 4 overflows, or when `length` is not exactly w * h * 4.
rt::Ref<ui::Image> imageFromRGBABuffer(const std::uint8_t* buffer, std::size_t length, std::int32_t w, std::int32_t h);
/// A copy clipped to a rounded rectangle (radius in the image's points), at scale 1
/// with the image's pixel size.
rt::Ref<ui::Image> imageWithRoundedCorners(const ui::Image& image, double radius);
/// A copy clipped to the ellipse that fills it, at scale 1.
rt::Ref<ui::Image> ovalImage(const ui::Image& image);

}  // namespace zid
