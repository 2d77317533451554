#include "Common/Image/QXJPEGRepresentation.h"

#include <algorithm>
#include <cmath>
#include <string>

#include <gdk-pixbuf/gdk-pixbuf.h>

namespace zid {

std::optional<rt::Data> JPEGRepresentation(const QXImagePixels& image, double quality, rt::Ref<rt::Error>* error) {
    const std::size_t channels = image.hasAlpha ? 4 : 3;
    if (image.width <= 0 || image.height <= 0 ||
        image.pixels.size() != static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height) * channels) {
        if (error)
            *error = rt::Error::withDescription(QXImageErrorDomain, 1,
                                                "The picture has no pixels, or fewer or more than its size needs.");
        return std::nullopt;
    }
    std::vector<guchar> rgb(static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height) * 3);
    for (std::size_t i = 0, n = rgb.size() / 3; i < n; ++i)
        for (std::size_t c = 0; c < 3; ++c) rgb[i * 3 + c] = image.pixels[i * channels + c];
    GdkPixbuf* pixbuf = gdk_pixbuf_new_from_data(rgb.data(), GDK_COLORSPACE_RGB, FALSE, 8, image.width, image.height,
                                                 image.width * 3, nullptr, nullptr);
    if (!pixbuf) {
        if (error) *error = rt::Error::withDescription(QXImageErrorDomain, 2, "The picture could not be prepared for encoding.");
        return std::nullopt;
    }
    const int percent = static_cast<int>(std::lround(std::clamp(quality, 0.0, 1.0) * 100.0));
    const std::string qualityText = std::to_string(std::max(percent, 1));
    gchar* buffer = nullptr;
    gsize size = 0;
    GError* failure = nullptr;
    const gboolean saved =
        gdk_pixbuf_save_to_buffer(pixbuf, &buffer, &size, "jpeg", &failure, "quality", qualityText.c_str(), nullptr);
    g_object_unref(pixbuf);
    if (!saved) {
        if (error)
            *error = rt::Error::withDescription(QXImageErrorDomain, 3,
                                                std::string("The picture could not be encoded as JPEG: ") +
                                                    (failure ? failure->message : "unknown failure"));
        if (failure) g_error_free(failure);
        return std::nullopt;
    }
    rt::Data data(reinterpret_cast<const std::uint8_t*>(buffer), reinterpret_cast<const std::uint8_t*>(buffer) + size);
    g_free(buffer);
    return data;
}

}  // namespace zid
