#pragma once
// One decoded picture: BGRA bytes (8 bits per channel, opaque, in memory order B, G,
// R, A - Cairo's ARGB32 on little-endian machines), row stride in bytes, and its
// presentation time. Frames are immutable and shared; the bytes stay valid as long as
// the frame lives (an engine may keep its own buffer alive instead of copying).
//
// What holding frames costs: a frame holds its picture's memory, and with the engine in
// a child process (the default) that memory is one of four shared buffers per item,
// which the engine fills again only once the host has let go of every frame over it.
// A host that lets each frame go once the next is shown costs nothing more. One that
// keeps more (the last few pictures, say) never stops the pictures: while it holds all
// four buffers, each new picture comes in shared memory made for it alone, which costs
// the engine process a fresh memory file and a copy, and the host a mapping, per
// picture (a few milliseconds and the picture's bytes for as long as the frame is kept).
// Frames cost the host no file descriptor, however many it keeps: each buffer is mapped
// as it arrives and its descriptor closed at once (a mapping per buffer remains).
// A host too busy to take pictures in does not make them pile up: past the four buffers
// and one picture of its own on their way, the engine keeps only the newest until the
// host reads again, and counts the others in the access log's dropped video frames.

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
