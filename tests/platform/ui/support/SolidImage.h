#pragma once
// Pictures of one colour, for tests that need an image (or its PNG) of a known size and
// colour: a button's image per state, a logo the image server hands out.

#include <cstdint>
#include <string>
#include <vector>

#include <ui/Image.h>

namespace zidtest {

/// An image of w x h pixels, every one 0xAARRGGBB (premultiplied, as the image stores it).
inline rt::Ref<ui::Image> solidImage(int w, int h, std::uint32_t argb) {
    std::vector<std::uint8_t> px(static_cast<std::size_t>(w) * static_cast<std::size_t>(h) * 4);
    for (std::size_t i = 0; i < px.size(); i += 4) {
        px[i] = argb & 255;
        px[i + 1] = argb >> 8 & 255;
        px[i + 2] = argb >> 16 & 255;
        px[i + 3] = argb >> 24 & 255;
    }
    return ui::Image::imageWithPixels(px.data(), px.size(), w, h);
}

/// The bytes of an image's PNG.
inline std::string pngBytes(const ui::Image& image) {
    auto data = image.pngData();
    return std::string(data.begin(), data.end());
}

/// The PNG of a solid image.
inline std::string solidPng(int w, int h, std::uint32_t argb) { return pngBytes(*solidImage(w, h, argb)); }

}  // namespace zidtest
