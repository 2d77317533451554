#pragma once
// Pixel operations on 8-bit premultiplied buffers: a box convolution with edge
// extension and a 4 x 4 colour matrix. The renderer blurs shadows with them; image
// effects build frosted glass from them.

#include <cstdint>

namespace ui {

/// The odd box size whose three passes approximate a Gaussian of the given radius in
/// pixels: floor(radius * 3 * sqrt(2 pi) / 4 + 0.5), plus one when even. 0 or 1 for
/// radii too small to blur.
int blurKernelSize(double pixelRadius);

/// One k x k box convolution in place (horizontal then vertical), pixels outside the
/// buffer taking the value of the nearest edge pixel. `channels` bytes per pixel (1 or
/// 4). k is made odd; k <= 1 does nothing.
void boxBlur(std::uint8_t* data, int width, int height, int stride, int channels, int k);

/// Multiplies every ARGB32 pixel, as the vector of its bytes in memory order (blue,
/// green, red, alpha on little-endian machines), by the 4 x 4 matrix of 16-bit values
/// given row by row (input channel down the rows, output channel across the columns),
/// dividing by `divisor` and clamping; premultiplied colours stay at or below alpha.
void colorMatrix(std::uint8_t* data, int width, int height, int stride, const std::int16_t matrix[16], int divisor);

}  // namespace ui
