#pragma once
// An item's pictures on their way to the host: each into a shared slot, named in a Frame
// report. Safe on any thread, so that in the steady state the engine's streaming thread
// sends its pictures itself and the process's main loop sleeps; the main loop still
// hands over the first picture, those of a seek and those after a size change.
//
// The engine may also convert its pictures straight into slots the channel lends it
// (all but one: pictures in memory of their own still need a slot to be copied into).
// A lent slot is the engine's buffer: the channel holds a picture in it while the host
// shows it, so the engine fills it again only once the host has let it go, and never
// once the channel is closed.
//
// A host that keeps pictures does not stop them: while it holds every slot, each picture
// goes in a memory file of its own, made for it and mapped by the host for it alone. A
// slot counts as held only once the host has taken its picture off the socket, and a
// picture goes in memory of its own only once the host has taken every picture sent
// before: a host too busy to read has the slots and at most one such picture on their
// way to it, whatever the pipeline makes meanwhile. The newest picture then waits, each
// newer one taking its place (the one replaced is counted as dropped), and goes as soon
// as the host takes a picture or lets a slot go.

#include <array>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include <media/PlayerItem.h>
#include <media/VideoFrame.h>

#include "EngineServer.h"
#include "FrameSlots.h"
#include "Wire.h"

namespace media::process {

class PictureChannel : public PlayerItem::FrameMemory, public std::enable_shared_from_this<PictureChannel> {
public:
    /// Carries a report (with a descriptor, or -1) to the host in order with the
    /// process's other reports: `now` sends it at once (any thread), else with the rest
    /// of the main loop's turn.
    using Send = std::function<void(const Writer& report, int fd, bool now)>;
    /// `shrinkSlots`: the tests' stand-in engine shrinks each slot once the host has had
    /// the time to map it (and then sends no picture more); ignored without
    /// kEngineFaults (EngineServer.h).
    explicit PictureChannel(Send send, bool shrinkSlots = false) : send_(std::move(send)), shrinkSlots_(shrinkSlots) {}

    /// The newest picture, at once: in its lent slot, or copied into a free slot, or -
    /// the host holding every slot and having taken every picture sent - into memory of
    /// its own. Else it waits for the host, replacing (and dropping) an older one.
    /// `now`: from a thread other than the main loop's, the report leaves at once.
    /// `position` goes with a picture of no time of its own. False once closed, or for a
    /// picture of no time from another thread.
    bool offer(rt::Ref<VideoFrame> frame, Time position, bool now);
    /// Main loop: the host let a slot go or took a picture while a picture waited.
    void resume();
    /// Pictures replaced while they waited for the host: they never reached it.
    long long dropped() const;
    /// A picture still waiting for a slot is from before a seek: it goes no more.
    void dropWaiting();
    /// The item is gone: nothing more goes out, nothing more is lent, no lent slot is
    /// filled again. Answers the byte size of its pictures' slots (0 before the first),
    /// for a slot made ready for the next item.
    std::size_t close();
    /// A slot made and touched ahead: used for the first picture that fits it.
    void giveReadySlot(std::shared_ptr<SlotMapping> slot);
    /// Whether a picture went since the last call, and the position it carried.
    bool takeCarried(Time& position);

    Block lend(std::size_t bytes) override;
    void reclaim() override;
    bool refillable() const override;

private:
    /// Sends the waiting picture when it can (the lock held); pictures let go of land
    /// in `freed`, to go once the lock is released (their buffers may come back here).
    void pump(bool now, std::vector<rt::Ref<VideoFrame>>& freed);
    /// Sends the waiting picture in a memory file of its own (the lock held); false when
    /// none can be made.
    bool sendInOwnMemory(bool now, std::vector<rt::Ref<VideoFrame>>& freed);
    /// Whether the host has taken every picture sent (the lock held).
    bool hostTookAll(const SlotStates& shared) const;
    /// Completes a Frame or OwnFrame report of `frame` and sends it (the lock held).
    void sendFrame(Writer w, const VideoFrame& frame, int fd, bool now);
    /// The held pictures whose slots the host let go, into `freed` (the lock held).
    void collectFreed(std::vector<rt::Ref<VideoFrame>>& freed);
    /// The item's slot states, made and told to the host first (the lock held).
    SlotStates* states(bool now);
    /// Slot `slot` holds `bytes` at least, made anew (and told to the host) if not.
    bool makeSlot(std::uint32_t slot, std::size_t bytes, bool now);
    /// The engine let go of a lent slot.
    void giveBack(std::uint32_t slot, const std::shared_ptr<SlotMapping>& mapping);

    Send send_;
    /// shrinkSlots, in a program compiled with the misbehaviours (PictureChannel.cpp).
    bool shrinks() const;
    bool shrinkSlots_;
    mutable std::mutex mutex_;
    bool closed_ = false;
    bool shrunk_ = false;
    std::array<std::shared_ptr<SlotMapping>, kSlotCount> slots_;
    /// Slots lent to the engine, and the picture in each that the host shows.
    std::array<bool, kSlotCount> lent_{};
    std::array<rt::Ref<VideoFrame>, kSlotCount> held_;
    /// The item's slot states, shared with the host.
    std::shared_ptr<SlotMapping> states_;
    std::shared_ptr<SlotMapping> readySlot_;
    rt::Ref<VideoFrame> waiting_;
    Time waitingPosition_ = Time::invalid();
    bool carried_ = false;
    Time carriedPosition_ = Time::invalid();
    /// Pictures sent, counted as the host counts those it took (SlotStates::taken).
    std::uint32_t sent_ = 0;
    long long dropped_ = 0;
};

}  // namespace media::process
