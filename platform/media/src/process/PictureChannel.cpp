#include "PictureChannel.h"

#include <unistd.h>

#include <cstdio>
#include <cstring>

#include <fnd/RunLoop.h>

namespace media::process {

namespace {

/// A lent slot, as the engine keeps it: given back when the engine lets go.
struct LentSlot {
    std::shared_ptr<SlotMapping> mapping;
    std::uint32_t slot = 0;
    std::function<void(std::uint32_t, const std::shared_ptr<SlotMapping>&)> giveBack;
    ~LentSlot() { giveBack(slot, mapping); }
};

}  // namespace

bool PictureChannel::offer(rt::Ref<VideoFrame> frame, Time position, bool now) {
    if (!frame) return false;
    Time pts = frame->presentationTime();
    // Away from the main loop no other position can be read: such a picture goes the
    // loop's way.
    if (now && !pts.isNumeric()) return false;
    std::vector<rt::Ref<VideoFrame>> freed;
    std::lock_guard lock(mutex_);
    if (closed_) return false;
    if (waiting_) ++dropped_;
    freed.push_back(std::exchange(waiting_, std::move(frame)));
    waitingPosition_ = pts.isNumeric() ? pts : position;
    pump(now, freed);
    return true;
}

void PictureChannel::resume() {
    std::vector<rt::Ref<VideoFrame>> freed;
    std::lock_guard lock(mutex_);
    pump(false, freed);
}

long long PictureChannel::dropped() const {
    std::lock_guard lock(mutex_);
    return dropped_;
}

void PictureChannel::dropWaiting() {
    rt::Ref<VideoFrame> dropped;
    std::lock_guard lock(mutex_);
    dropped = std::exchange(waiting_, nullptr);
}

bool PictureChannel::refillable() const {
    std::lock_guard lock(mutex_);
    return !closed_;
}

std::size_t PictureChannel::close() {
    std::vector<rt::Ref<VideoFrame>> freed;
    rt::Ref<VideoFrame> dropped;
    std::lock_guard lock(mutex_);
    // Closed before the held pictures go: their lent buffers, which the host may still
    // show, are then never filled again.
    closed_ = true;
    dropped = std::exchange(waiting_, nullptr);
    for (auto& held : held_) freed.push_back(std::exchange(held, nullptr));
    std::size_t bytes = 0;
    for (const auto& slot : slots_)
        if (slot) bytes = std::max(bytes, slot->size());
    slots_ = {};
    lent_ = {};
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

PlayerItem::FrameMemory::Block PictureChannel::lend(std::size_t bytes) {
    std::lock_guard lock(mutex_);
    if (closed_ || shrinks() || bytes == 0) return {};
    SlotStates* shared = states(true);
    if (!shared) return {};
    std::uint32_t lent = 0, slot = kSlotCount;
    for (std::uint32_t i = 0; i < kSlotCount; ++i) {
        if (lent_[i]) ++lent;
        else if (slot == kSlotCount && shared->busy[i].load(std::memory_order_acquire) == 0) slot = i;
    }
    // One slot stays for pictures that come in memory of their own.
    if (slot == kSlotCount || lent + 2 > kSlotCount) return {};
    if (!makeSlot(slot, bytes, true)) return {};
    lent_[slot] = true;
    auto keep = std::make_shared<LentSlot>();
    keep->mapping = slots_[slot];
    keep->slot = slot;
    keep->giveBack = [channel = weak_from_this()](std::uint32_t i, const std::shared_ptr<SlotMapping>& mapping) {
        if (auto c = channel.lock()) c->giveBack(i, mapping);
    };
    return {slots_[slot]->data(), keep};
}

void PictureChannel::giveBack(std::uint32_t slot, const std::shared_ptr<SlotMapping>& mapping) {
    std::lock_guard lock(mutex_);
    // A slot of an item closed since has gone with it.
    if (slots_[slot] == mapping) lent_[slot] = false;
}

void PictureChannel::reclaim() {
    std::vector<rt::Ref<VideoFrame>> freed;
    std::lock_guard lock(mutex_);
    collectFreed(freed);
}

void PictureChannel::collectFreed(std::vector<rt::Ref<VideoFrame>>& freed) {
    if (!states_) return;
    SlotStates* shared = SlotStates::in(*states_);
    for (std::uint32_t i = 0; i < kSlotCount; ++i)
        if (held_[i] && shared->busy[i].load(std::memory_order_acquire) == 0) freed.push_back(std::exchange(held_[i], nullptr));
}

SlotStates* PictureChannel::states(bool now) {
    if (!states_) {
        states_ = SlotMapping::create(sizeof(SlotStates));
        if (!states_) {
            std::fprintf(stderr, "zid_media_engine: no shared memory for the slot states\n");
            return nullptr;
        }
        send_(Writer(static_cast<std::uint8_t>(Report::SlotStates)), states_->fd(), now);
    }
    return SlotStates::in(*states_);
}

bool PictureChannel::makeSlot(std::uint32_t slot, std::size_t bytes, bool now) {
    if (slots_[slot] && slots_[slot]->size() >= bytes) return true;
    if (!shrinks() && readySlot_ && readySlot_->size() >= bytes) slots_[slot] = std::exchange(readySlot_, nullptr);
    else slots_[slot] = SlotMapping::create(bytes, !shrinks());
    if (!slots_[slot]) {
        std::fprintf(stderr, "zid_media_engine: no shared memory for a %zu-byte picture\n", bytes);
        return false;
    }
    Writer w(static_cast<std::uint8_t>(Report::SlotBuffer));
    w.u32(slot).u64(slots_[slot]->size());
    send_(w, slots_[slot]->fd(), now);
    return true;
}

bool PictureChannel::hostTookAll(const SlotStates& shared) const {
    return shared.taken.load(std::memory_order_seq_cst) == sent_;
}

bool PictureChannel::sendInOwnMemory(bool now, std::vector<rt::Ref<VideoFrame>>& freed) {
    auto memory = SlotMapping::create(waiting_->byteCount());
    if (!memory) return false;
    auto frame = std::exchange(waiting_, nullptr);
    std::memcpy(memory->data(), frame->bytes(), frame->byteCount());
    // The host maps its own copy of the descriptor: this side's goes with `memory`.
    sendFrame(Writer(static_cast<std::uint8_t>(Report::OwnFrame)), *frame, memory->fd(), now);
    freed.push_back(std::move(frame));
    return true;
}

void PictureChannel::sendFrame(Writer w, const VideoFrame& frame, int fd, bool now) {
    w.i32(frame.width()).i32(frame.height()).i32(frame.stride()).time(frame.presentationTime());
    // The picture's own time is the position: no query of the pipeline per picture.
    w.time(waitingPosition_);
    send_(w, fd, now);
    ++sent_;
    carried_ = true;
    carriedPosition_ = waitingPosition_;
}

void PictureChannel::pump(bool now, std::vector<rt::Ref<VideoFrame>>& freed) {
    if (shrunk_) freed.push_back(std::exchange(waiting_, nullptr));
    if (!waiting_ || closed_) return;
    SlotStates* shared = states(now);
    if (!shared) {
        freed.push_back(std::exchange(waiting_, nullptr));
        return;
    }
    collectFreed(freed);
    // A picture the engine made in a lent slot is there already.
    std::uint32_t slot = kSlotCount;
    bool inPlace = false;
    for (std::uint32_t i = 0; i < kSlotCount; ++i)
        if (lent_[i] && slots_[i] && waiting_->bytes() >= slots_[i]->data() &&
            waiting_->bytes() < slots_[i]->data() + slots_[i]->size()) {
            slot = i;
            inPlace = true;
        }
    if (inPlace && (held_[slot] || shared->busy[slot].load(std::memory_order_acquire) != 0)) {
        // The sink renders the picture it prerolled with: the host has it already. Any
        // other picture here would be one the engine wrote while the host shows it.
        if (!held_[slot] || held_[slot]->bytes() != waiting_->bytes())
            std::fprintf(stderr, "zid_media_engine: a picture came in a slot the host still shows; dropped\n");
        freed.push_back(std::exchange(waiting_, nullptr));
        return;
    }
    auto freeSlot = [&] {
        for (std::uint32_t i = 0; i < kSlotCount; ++i)
            if (!lent_[i] && shared->busy[i].load(std::memory_order_acquire) == 0) return i;
        return kSlotCount;
    };
    for (int look = 0; !inPlace; ++look) {
        slot = freeSlot();
        if (slot != kSlotCount) break;
        // The host holds every slot and has taken every picture (it keeps pictures):
        // this one goes in memory of its own, so that pictures flow whatever the host
        // keeps. Pictures still on their way say the host is not reading: no memory is
        // made for a host that may not read for seconds.
        if (hostTookAll(*shared) && sendInOwnMemory(now, freed)) {
            if (look > 0) shared->engineWaits.store(0, std::memory_order_relaxed);
            return;
        }
        // The newest picture waits, and the host's next release or picture taken wakes
        // the main loop. Looked again after saying so, for either in between.
        if (look > 0) return;
        shared->engineWaits.store(1, std::memory_order_seq_cst);
    }
    if (!inPlace) shared->engineWaits.store(0, std::memory_order_relaxed);
    auto frame = std::exchange(waiting_, nullptr);
    std::size_t bytes = frame->byteCount();
    if (!inPlace && !makeSlot(slot, bytes, now)) {
        freed.push_back(std::move(frame));
        return;
    }
    if (!inPlace) std::memcpy(slots_[slot]->data(), frame->bytes(), bytes);
    shared->busy[slot].store(1, std::memory_order_release);
    Writer w(static_cast<std::uint8_t>(Report::Frame));
    w.u32(slot);
    sendFrame(w, *frame, -1, now);
    // A picture in a lent slot stays the host's until it lets the slot go.
    if (inPlace) held_[slot] = std::move(frame);
    else freed.push_back(std::move(frame));
    if constexpr (kEngineFaults) {
        if (shrinks()) {
            // Shrunk once the host had the time to map it, and never written again: only
            // the host reads it then.
            shrunk_ = true;
            fnd::RunLoop::main()->after(0.1, [memory = slots_[slot]] {
                [[maybe_unused]] int shrunk = ::ftruncate(memory->fd(), 0);
            });
        }
    }
}

bool PictureChannel::shrinks() const { return kEngineFaults && shrinkSlots_; }

}  // namespace media::process
