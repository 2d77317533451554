#pragma once
// A pool of picture buffers over memory an item lends the engine (PlayerItem::FrameMemory):
// offered to the element before the video sink, which converts its pictures straight into
// it. When every lent buffer is still shown or on its way, or the item lends no more, a
// picture gets a buffer of plain memory instead and the item copies it; the pipeline
// never waits for the host. Once the item has closed its pictures, no lent buffer is
// filled again.

#include <gst/gst.h>

#include <memory>

#include <media/PlayerItem.h>

namespace media::gstimpl {

/// A new pool over `memory` (a reference the caller owns).
GstBufferPool* makeLentPool(std::shared_ptr<PlayerItem::FrameMemory> memory);

}  // namespace media::gstimpl
