#pragma once
// Pictures handed to the gateway's upload, and their JPEG form.

#include <cstdint>
#include <optional>
#include <vector>

#include <rt/Error.h>
#include <rt/Value.h>

namespace zid {

/// Pixels in rows from the top, 8 bits a channel, R G B (A) order, rows tightly packed.
struct QXImagePixels {
    int width = 0;
    int height = 0;
    bool hasAlpha = true;
    std::vector<std::uint8_t> pixels;
};

/// The error domain of pictures that cannot be encoded.
inline constexpr const char* QXImageErrorDomain = "QXImageErrorDomain";

/// The picture as JPEG at a quality from 0 to 1 (alpha is dropped: JPEG has none).
/// Nothing and the error for an empty picture, a pixel buffer of the wrong size, or a
/// failing encoder.
std::optional<rt::Data> JPEGRepresentation(const QXImagePixels& image, double quality, rt::Ref<rt::Error>* error = nullptr);

}  // namespace zid
