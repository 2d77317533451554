#pragma once
// One decoded picture: BGRA bytes (8 bits per channel, opaque, in memory order B, G,
// R, A - Cairo's ARGB32 on little-endian machines), row stride in bytes, and its
// presentation time. Frames are immutable and shared; the bytes stay valid as long as
// the frame lives (an engine may keep its own buffer alive instead of copying).

#include <cstdint>
#include <memory>
#include <vector>

#include <media/Time.h>
#include <rt/Object.h>

namespace media {

class VideoFrame : public rt::Object {
    RT_CLASS(VideoFrame, rt::Object)
public:
    /// A frame over bytes owned by `owner` (kept alive with the frame).
    VideoFrame(int width, int height, int stride, const std::uint8_t* bytes, std::shared_ptr<const void> owner,
               Time presentationTime);
    /// A frame owning a copy of its bytes.
    VideoFrame(int width, int height, int stride, std::vector<std::uint8_t> bytes, Time presentationTime);

    int width() const { return width_; }
    int height() const { return height_; }
    int stride() const { return stride_; }
    const std::uint8_t* bytes() const { return bytes_; }
    std::size_t byteCount() const { return static_cast<std::size_t>(stride_) * height_; }
    Time presentationTime() const { return time_; }
    /// The BGRA pixel at (x, y) as 0xAARRGGBB.
    std::uint32_t pixel(int x, int y) const;

private:
    int width_, height_, stride_;
    const std::uint8_t* bytes_;
    std::shared_ptr<const void> owner_;
    Time time_;
};

}  // namespace media
