#include "PictureChannel.h"

#include <unistd.h>

#include <cstdio>
#include <cstring>

#include <fnd/RunLoop.h>

namespace media::process {

bool PictureChannel::offer(rt::Ref<VideoFrame> frame, Time position, bool now) {
    if (!frame) return false;
    Time pts = frame->presentationTime();
    // Away from the main loop no other position can be read: such a picture goes the
    // loop's way.
    if (now && !pts.isNumeric()) return false;
    std::lock_guard lock(mutex_);
    if (closed_) return false;
    waiting_ = std::move(frame);
    waitingPosition_ = pts.isNumeric() ? pts : position;
    pump(now);
    return true;
}

void PictureChannel::slotReleased() {
    std::lock_guard lock(mutex_);
    pump(false);
}

void PictureChannel::dropWaiting() {
    std::lock_guard lock(mutex_);
    waiting_ = nullptr;
}

std::size_t PictureChannel::close() {
    std::lock_guard lock(mutex_);
    closed_ = true;
    waiting_ = nullptr;
    std::size_t bytes = slots_[0] ? slots_[0]->size() : 0;
    slots_ = {};
    states_ = nullptr;
    readySlot_ = nullptr;
    return bytes;
}

void PictureChannel::giveReadySlot(std::shared_ptr<SlotMapping> slot) {
    std::lock_guard lock(mutex_);
    if (!closed_ && !slots_[0]) readySlot_ = std::move(slot);
}

bool PictureChannel::takeCarried(Time& position) {
    std::lock_guard lock(mutex_);
    if (!std::exchange(carried_, false)) return false;
    position = carriedPosition_;
    return true;
}

void PictureChannel::pump(bool now) {
    if (shrunk_) waiting_ = nullptr;
    if (!waiting_ || closed_) return;
    if (!states_) {
        // The item's slot states, told to the host before its first picture.
        states_ = SlotMapping::create(sizeof(SlotStates));
        if (!states_) {
            std::fprintf(stderr, "zid_media_engine: no shared memory for the slot states\n");
            waiting_ = nullptr;
            return;
        }
        send_(Writer(static_cast<std::uint8_t>(Report::SlotStates)), states_->fd(), now);
    }
    SlotStates* states = SlotStates::in(*states_);
    auto freeSlot = [&] {
        for (std::uint32_t i = 0; i < kSlotCount; ++i)
            if (states->busy[i].load(std::memory_order_acquire) == 0) return i;
        return kSlotCount;
    };
    std::uint32_t slot = freeSlot();
    if (slot == kSlotCount) {
        // The newest picture waits for a slot: the host's next release wakes the main
        // loop. Looked again after saying so, for a release in between.
        states->engineWaits.store(1, std::memory_order_seq_cst);
        slot = freeSlot();
        if (slot == kSlotCount) return;
        states->engineWaits.store(0, std::memory_order_relaxed);
    }
    auto frame = std::exchange(waiting_, nullptr);
    std::size_t bytes = frame->byteCount();
    if (!slots_[slot] || slots_[slot]->size() < bytes) {
        if (!shrinkSlots_ && readySlot_ && readySlot_->size() >= bytes) slots_[slot] = std::exchange(readySlot_, nullptr);
        else slots_[slot] = SlotMapping::create(bytes, !shrinkSlots_);
        if (!slots_[slot]) {
            std::fprintf(stderr, "zid_media_engine: no shared memory for a %zu-byte picture\n", bytes);
            return;
        }
        Writer w(static_cast<std::uint8_t>(Report::SlotBuffer));
        w.u32(slot).u64(bytes);
        send_(w, slots_[slot]->fd(), now);
    }
    std::memcpy(slots_[slot]->data(), frame->bytes(), bytes);
    states->busy[slot].store(1, std::memory_order_release);
    Writer w(static_cast<std::uint8_t>(Report::Frame));
    w.u32(slot).i32(frame->width()).i32(frame->height()).i32(frame->stride()).time(frame->presentationTime());
    // The picture's own time is the position: no query of the pipeline per picture.
    w.time(waitingPosition_);
    send_(w, -1, now);
    carried_ = true;
    carriedPosition_ = waitingPosition_;
    if (shrinkSlots_) {
        // Shrunk once the host had the time to map it, and never written again: only
        // the host reads it then.
        shrunk_ = true;
        fnd::RunLoop::main()->after(0.1, [memory = slots_[slot]] {
            [[maybe_unused]] int shrunk = ::ftruncate(memory->fd(), 0);
        });
    }
}

}  // namespace media::process
