#include <media/VideoFrame.h>

#include <cstring>

namespace media {

VideoFrame::VideoFrame(int width, int height, int stride, const std::uint8_t* bytes, std::shared_ptr<const void> owner,
                       Time presentationTime)
    : width_(width), height_(height), stride_(stride), bytes_(bytes), owner_(std::move(owner)), time_(presentationTime) {}

VideoFrame::VideoFrame(int width, int height, int stride, std::vector<std::uint8_t> bytes, Time presentationTime)
    : width_(width), height_(height), stride_(stride), time_(presentationTime) {
    auto storage = std::make_shared<std::vector<std::uint8_t>>(std::move(bytes));
    storage->resize(static_cast<std::size_t>(stride) * height);
    bytes_ = storage->data();
    owner_ = storage;
}

std::uint32_t VideoFrame::pixel(int x, int y) const {
    if (x < 0 || y < 0 || x >= width_ || y >= height_ || !bytes_) return 0;
    const std::uint8_t* p = bytes_ + static_cast<std::size_t>(y) * stride_ + static_cast<std::size_t>(x) * 4;
    return (std::uint32_t(p[3]) << 24) | (std::uint32_t(p[2]) << 16) | (std::uint32_t(p[1]) << 8) | p[0];
}

}  // namespace media
