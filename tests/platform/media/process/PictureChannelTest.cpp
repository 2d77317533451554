// The engine process's pictures on their way to the host, without a host: the reports a
// channel sends, slots the host holds left alone, pictures in memory of their own while
// the host holds every slot, none made for a host that does not read, and a channel
// closed while other threads still offer pictures or while the engine's pool still holds
// its lent buffers.

#include <gtest/gtest.h>

#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include <media/GstEngine.h>

#include "gst/GstLentPool.h"
#include "process/PictureChannel.h"

namespace {

using namespace media;
using namespace media::process;

/// A report as the channel sent it.
struct Sent {
    Report kind;
    std::uint32_t slot = 0;
    Time pts = Time::invalid(), position = Time::invalid();
    bool descriptor = false, now = false;
    /// The first byte of a picture in memory of its own, as the host maps it (-1: none).
    int ownFirstByte = -1;
};

/// Collects the channel's reports and keeps the host's side of the shared memory: the
/// slot states and each slot's mapping, as the host would map them. Takes each picture
/// off its socket as it comes, as a host reading promptly does, unless told to stop.
class Host {
public:
    PictureChannel::Send sender() {
        return [this](const Writer& w, int fd, bool now) {
            std::lock_guard lock(mutex_);
            Reader r(w.bytes().data(), w.bytes().size());
            Sent s{static_cast<Report>(r.u8())};
            s.descriptor = fd >= 0;
            s.now = now;
            if (s.kind == Report::SlotStates) states_ = SlotMapping::mapShared(::dup(fd), sizeof(SlotStates));
            if (s.kind == Report::SlotBuffer) {
                s.slot = r.u32();
                slots_[s.slot] = SlotMapping::map(::dup(fd), static_cast<std::size_t>(r.u64()), false);
            }
            if (s.kind == Report::Frame || s.kind == Report::OwnFrame) {
                if (s.kind == Report::Frame) s.slot = r.u32();
                int width = r.i32(), height = r.i32(), stride = r.i32();
                s.pts = r.time();
                s.position = r.time();
                if (s.kind == Report::OwnFrame)
                    if (auto own = SlotMapping::map(::dup(fd), std::size_t(stride) * height, false); own && width > 0)
                        s.ownFirstByte = own->data()[0];
                if (!reading_) ++unread_;
                else if (states_) SlotStates::in(*states_)->taken.fetch_add(1);
            }
            if (closed_) afterClose_ = true;
            sent_.push_back(s);
        };
    }
    std::vector<Sent> frames() {
        std::lock_guard lock(mutex_);
        std::vector<Sent> frames;
        for (const auto& s : sent_)
            if (s.kind == Report::Frame || s.kind == Report::OwnFrame) frames.push_back(s);
        return frames;
    }
    std::vector<Sent> all() {
        std::lock_guard lock(mutex_);
        return sent_;
    }
    SlotStates* states() { return states_ ? SlotStates::in(*states_) : nullptr; }
    const std::uint8_t* slotBytes(std::uint32_t slot) { return slots_[slot]->data(); }
    void release(std::uint32_t slot) { states()->busy[slot].store(0); }
    void markClosed() {
        std::lock_guard lock(mutex_);
        closed_ = true;
    }
    bool sentAfterClose() {
        std::lock_guard lock(mutex_);
        return afterClose_;
    }
    /// The host's main thread is busy: pictures stay on its socket.
    void stopReading() {
        std::lock_guard lock(mutex_);
        reading_ = false;
    }
    /// Takes the pictures on the socket and reads on; answers whether the engine waited
    /// to be told (the host then sends PictureTaken).
    bool readAgain() {
        std::lock_guard lock(mutex_);
        reading_ = true;
        states()->taken.fetch_add(std::exchange(unread_, 0));
        return states()->engineWaits.exchange(0) != 0;
    }

private:
    std::mutex mutex_;
    std::vector<Sent> sent_;
    std::shared_ptr<SlotMapping> states_;
    std::array<std::shared_ptr<SlotMapping>, kSlotCount> slots_;
    bool closed_ = false, afterClose_ = false;
    bool reading_ = true;
    std::uint32_t unread_ = 0;
};

/// A 4-by-2 picture filled with `fill`, at `seconds` (a negative one: no time).
rt::Ref<VideoFrame> picture(std::uint8_t fill, double seconds) {
    return rt::make<VideoFrame>(4, 2, 16, std::vector<std::uint8_t>(32, fill),
                                seconds < 0 ? Time::invalid() : Time::seconds(seconds, 1000));
}

TEST(PictureChannel, PicturesGoIntoFreeSlotsAndAHeldSlotIsNeverWritten) {
    Host host;
    PictureChannel channel(host.sender());
    ASSERT_TRUE(channel.offer(picture(1, 0.0), Time::invalid(), false));
    auto all = host.all();
    ASSERT_EQ(all.size(), 3u);
    EXPECT_EQ(all[0].kind, Report::SlotStates) << "the host maps the slot states before any picture";
    EXPECT_TRUE(all[0].descriptor);
    EXPECT_EQ(all[1].kind, Report::SlotBuffer);
    EXPECT_TRUE(all[1].descriptor);
    EXPECT_EQ(all[2].kind, Report::Frame);
    EXPECT_FALSE(all[2].now) << "from the main loop, with the rest of its turn";
    EXPECT_EQ(all[2].position, Time::seconds(0.0, 1000)) << "the picture's time is the position";
    EXPECT_EQ(host.slotBytes(all[2].slot)[0], 1);

    // The host holds the first picture's slot: the next ones go elsewhere, now.
    std::uint32_t held = all[2].slot;
    for (int i = 0; i < 2; ++i) ASSERT_TRUE(channel.offer(picture(std::uint8_t(2 + i), 0.04 * (i + 1)), Time::invalid(), true));
    auto frames = host.frames();
    ASSERT_EQ(frames.size(), 3u);
    for (int i = 1; i < 3; ++i) {
        EXPECT_NE(frames[i].slot, held);
        EXPECT_TRUE(frames[i].now) << "from a streaming thread, at once";
    }
    EXPECT_EQ(host.slotBytes(held)[0], 1) << "the held picture is intact";
    Time carried;
    EXPECT_TRUE(channel.takeCarried(carried));
    EXPECT_EQ(carried, Time::seconds(0.08, 1000)) << "the tick learns the newest position carried";
    EXPECT_FALSE(channel.takeCarried(carried)) << "once";

    // A picture of no time: the main loop gives the position; another thread cannot.
    EXPECT_FALSE(channel.offer(picture(9, -1), Time::invalid(), true));
    host.release(frames[1].slot);
    ASSERT_TRUE(channel.offer(picture(9, -1), Time::seconds(5), false));
    EXPECT_EQ(host.frames().back().position, Time::seconds(5));
}

TEST(PictureChannel, WhileTheHostHoldsEverySlotEachPictureGoesAtOnceInMemoryOfItsOwn) {
    Host host;
    PictureChannel channel(host.sender());
    for (int i = 0; i < int(kSlotCount); ++i) ASSERT_TRUE(channel.offer(picture(std::uint8_t(i), i * 0.04), Time::invalid(), true));
    ASSERT_EQ(host.frames().size(), kSlotCount);

    // Every slot held: no picture waits for the host to let one go.
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(channel.offer(picture(std::uint8_t(20 + i), 1.0 + i * 0.04), Time::invalid(), true));
    auto frames = host.frames();
    ASSERT_EQ(frames.size(), kSlotCount + 3);
    for (int i = 0; i < 3; ++i) {
        const Sent& own = frames[kSlotCount + i];
        EXPECT_EQ(own.kind, Report::OwnFrame) << i;
        EXPECT_TRUE(own.descriptor && own.now) << i;
        EXPECT_EQ(own.ownFirstByte, 20 + i) << "the picture itself, in its memory";
        EXPECT_EQ(own.pts, Time::seconds(1.0 + i * 0.04, 1000));
    }
    EXPECT_EQ(host.states()->engineWaits.load(), 0u) << "nothing waits to be woken";
    for (std::uint32_t slot = 0; slot < kSlotCount; ++slot)
        EXPECT_EQ(host.slotBytes(slot)[0], slot) << "held slots intact";
    Time carried;
    EXPECT_TRUE(channel.takeCarried(carried));
    EXPECT_EQ(carried, Time::seconds(1.08, 1000)) << "they carry the position too";

    // A slot let go serves the next picture again.
    host.release(1);
    ASSERT_TRUE(channel.offer(picture(30, 2.0), Time::invalid(), true));
    EXPECT_EQ(host.frames().back().kind, Report::Frame);
    EXPECT_EQ(host.frames().back().slot, 1u);
    EXPECT_EQ(host.slotBytes(1)[0], 30);
}

TEST(PictureChannel, AHostNotReadingGetsNoMemoryMadeForItAndTheNewestPictureOnceItReads) {
    Host host;
    PictureChannel channel(host.sender());
    host.stopReading();
    // The free slots fill (their memory is there anyway); their pictures on their way,
    // the slots are not the host's yet: no picture goes in memory of its own.
    for (int i = 0; i < int(kSlotCount) + 10; ++i)
        ASSERT_TRUE(channel.offer(picture(std::uint8_t(i), i * 0.04), Time::invalid(), true));
    auto frames = host.frames();
    ASSERT_EQ(frames.size(), kSlotCount);
    for (const auto& f : frames) EXPECT_EQ(f.kind, Report::Frame);
    EXPECT_EQ(host.states()->engineWaits.load(), 1u) << "the engine waits to be told the host reads";
    EXPECT_EQ(channel.dropped(), 9) << "each picture replaced while waiting is dropped";

    // A slot the host lets go while it still does not read serves the newest picture.
    host.release(2);
    channel.resume();
    ASSERT_EQ(host.frames().size(), kSlotCount + 1);
    EXPECT_EQ(host.frames().back().slot, 2u);
    EXPECT_EQ(host.slotBytes(2)[0], kSlotCount + 9) << "the newest, not the oldest waiting";
    ASSERT_TRUE(channel.offer(picture(50, 1.0), Time::invalid(), true));
    ASSERT_TRUE(channel.offer(picture(51, 1.04), Time::invalid(), true));
    EXPECT_EQ(host.frames().size(), kSlotCount + 1) << "no memory of its own while pictures are on their way";
    EXPECT_EQ(channel.dropped(), 10);

    // The host reads again and keeps every slot: the newest picture goes, in memory of
    // its own, and the ones after it flow as the host takes each.
    ASSERT_TRUE(host.readAgain()) << "the host is asked to wake the engine";
    channel.resume();
    frames = host.frames();
    ASSERT_EQ(frames.size(), kSlotCount + 2);
    EXPECT_EQ(frames.back().kind, Report::OwnFrame);
    EXPECT_EQ(frames.back().ownFirstByte, 51);
    ASSERT_TRUE(channel.offer(picture(52, 1.08), Time::invalid(), true));
    EXPECT_EQ(host.frames().back().ownFirstByte, 52);
    EXPECT_EQ(host.states()->engineWaits.load(), 0u);
    EXPECT_EQ(channel.dropped(), 10);

    // Not reading again: one picture of its own at most is on its way.
    host.stopReading();
    for (int i = 0; i < 5; ++i) ASSERT_TRUE(channel.offer(picture(std::uint8_t(60 + i), 2.0 + i * 0.04), Time::invalid(), true));
    frames = host.frames();
    EXPECT_EQ(frames.size(), kSlotCount + 4);
    EXPECT_EQ(frames.back().ownFirstByte, 60);
    EXPECT_EQ(channel.dropped(), 13);
    // A seek drops the waiting picture as stale, not as a picture the host missed.
    channel.dropWaiting();
    EXPECT_TRUE(host.readAgain());
    channel.resume();
    EXPECT_EQ(host.frames().size(), kSlotCount + 4) << "nothing waited";
    EXPECT_EQ(channel.dropped(), 13);
}

TEST(PictureChannel, AClosedChannelSendsNothingThoughStreamingThreadsStillOffer) {
    Host host;
    auto channel = std::make_shared<PictureChannel>(host.sender());
    ASSERT_TRUE(channel->offer(picture(1, 0.0), Time::invalid(), false));
    std::atomic<bool> stop{false};
    std::atomic<int> refused{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 3; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; !stop.load(); ++i) {
                if (!channel->offer(picture(std::uint8_t(t), i * 0.001), Time::invalid(), true)) ++refused;
                // Frees what it named, as a host showing pictures would.
                if (auto* states = host.states())
                    for (auto& busy : states->busy) busy.store(0);
            }
        });
    auto within = [](const std::function<bool()>& done) {
        auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!done() && std::chrono::steady_clock::now() < until) std::this_thread::yield();
        return done();
    };
    bool flowed = within([&] { return host.frames().size() >= 50; });
    std::size_t bytes = channel->close();
    host.markClosed();
    bool refusing = within([&] { return refused.load() >= 10; });
    stop = true;
    for (auto& t : threads) t.join();
    ASSERT_TRUE(flowed && refusing);
    EXPECT_EQ(bytes, 32u) << "the size of a slot, for one made ready for the next item";
    EXPECT_FALSE(host.sentAfterClose()) << "nothing leaves once close has answered";
    EXPECT_FALSE(channel->offer(picture(1, 9.0), Time::invalid(), false));
}

TEST(PictureChannel, AReadySlotServesTheFirstPictureThatFitsIt) {
    Host host;
    PictureChannel channel(host.sender());
    auto ready = SlotMapping::create(64);
    ASSERT_TRUE(ready);
    int readyFd = ready->fd();
    channel.giveReadySlot(ready);
    ASSERT_TRUE(channel.offer(picture(7, 0.0), Time::invalid(), false));
    EXPECT_EQ(ready->data()[0], 7) << "the picture went into the slot made ahead";
    EXPECT_NE(readyFd, -1);
}

/// A picture over `block`'s memory that tells when the last holder lets it go.
rt::Ref<VideoFrame> pictureIn(const PlayerItem::FrameMemory::Block& block, double seconds, std::shared_ptr<bool> alive) {
    *alive = true;
    std::shared_ptr<void> owner(nullptr, [alive, keep = block.keep](void*) { *alive = false; });
    return rt::make<VideoFrame>(4, 2, 16, block.data, owner, Time::seconds(seconds, 1000));
}

TEST(PictureChannel, LentSlotsCarryPicturesInPlaceAndStayTheHostsWhileShown) {
    Host host;
    auto channel = std::make_shared<PictureChannel>(host.sender());
    auto first = channel->lend(32), second = channel->lend(32);
    ASSERT_TRUE(first.data && second.data);
    std::vector<PlayerItem::FrameMemory::Block> more;
    for (std::uint32_t i = 2; i + 1 < kSlotCount; ++i) more.push_back(channel->lend(32));
    EXPECT_FALSE(channel->lend(32).data) << "one slot stays for pictures in memory of their own";
    auto all = host.all();
    ASSERT_EQ(all.size(), 1 + kSlotCount - 1);
    EXPECT_EQ(all[0].kind, Report::SlotStates);
    EXPECT_EQ(all[1].kind, Report::SlotBuffer);
    EXPECT_TRUE(all[1].now) << "lent from the streaming thread";
    std::uint32_t firstSlot = all[1].slot;

    // Written by the engine, named without a copy, held while the host shows it.
    std::memset(first.data, 0x5a, 32);
    auto alive = std::make_shared<bool>(false);
    ASSERT_TRUE(channel->offer(pictureIn(first, 1.0, alive), Time::invalid(), true));
    auto frames = host.frames();
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].slot, firstSlot);
    EXPECT_EQ(host.slotBytes(firstSlot)[0], 0x5a);
    EXPECT_EQ(host.all().size(), 1 + kSlotCount) << "no slot sent again";
    channel->reclaim();
    EXPECT_TRUE(*alive) << "the host still shows it: the engine may not fill it again";

    // A copy never goes into a lent slot, even one the host has let go.
    host.release(firstSlot);
    ASSERT_TRUE(channel->offer(picture(7, 1.04), Time::invalid(), true));
    EXPECT_NE(host.frames().back().slot, firstSlot);
    EXPECT_EQ(host.slotBytes(firstSlot)[0], 0x5a);
    channel->reclaim();
    EXPECT_FALSE(*alive) << "let go once the host has: the engine's buffer is free again";

    // The sink renders the picture it prerolled with again: not named twice.
    auto again = std::make_shared<bool>(false);
    auto prerolled = pictureIn(second, 2.0, again);
    ASSERT_TRUE(channel->offer(prerolled, Time::invalid(), true));
    ASSERT_TRUE(channel->offer(prerolled, Time::invalid(), true));
    EXPECT_EQ(host.frames().size(), 3u);

    // Closed: the held picture goes, and blocks the engine gives back stay gone.
    prerolled = nullptr;
    EXPECT_TRUE(*again);
    channel->close();
    EXPECT_FALSE(*again);
    first = {};
    second = {};
    EXPECT_FALSE(channel->lend(32).data);
}

TEST(PictureChannel, OnceClosedNoLentBufferTheHostMayShowIsFilledAgain) {
    GstEngine::ensureInitialized();
    Host host;
    auto channel = std::make_shared<PictureChannel>(host.sender());
    GstBufferPool* pool = gstimpl::makeLentPool(channel);
    GstStructure* config = gst_buffer_pool_get_config(pool);
    GstCaps* caps = gst_caps_from_string("video/x-raw,format=BGRA,width=4,height=2");
    gst_buffer_pool_config_set_params(config, caps, 32, 0, 0);
    gst_caps_unref(caps);
    ASSERT_TRUE(gst_buffer_pool_set_config(pool, config));
    ASSERT_TRUE(gst_buffer_pool_set_active(pool, TRUE));

    // A picture converted into a lent slot, shown by the host and held by the channel.
    GstBuffer* buffer = nullptr;
    ASSERT_EQ(gst_buffer_pool_acquire_buffer(pool, &buffer, nullptr), GST_FLOW_OK);
    GstMapInfo map;
    ASSERT_TRUE(gst_buffer_map(buffer, &map, GST_MAP_WRITE));
    std::memset(map.data, 0x5a, 32);
    const std::uint8_t* shown = map.data;
    gst_buffer_unmap(buffer, &map);
    std::shared_ptr<void> owner(buffer, [](void* b) { gst_buffer_unref(static_cast<GstBuffer*>(b)); });
    ASSERT_TRUE(channel->offer(rt::make<VideoFrame>(4, 2, 16, shown, owner, Time::seconds(1)), Time::invalid(), true));
    owner = nullptr;
    ASSERT_EQ(host.frames().size(), 1u);
    ASSERT_EQ(host.frames()[0].kind, Report::Frame);
    std::uint32_t slot = host.frames()[0].slot;

    // Closed while the pipeline still runs: the held picture goes back to the pool, and
    // the next buffer the converter gets is never the one the host still shows.
    channel->close();
    GstBuffer* next = nullptr;
    ASSERT_EQ(gst_buffer_pool_acquire_buffer(pool, &next, nullptr), GST_FLOW_OK);
    ASSERT_TRUE(gst_buffer_map(next, &map, GST_MAP_WRITE));
    EXPECT_NE(map.data, shown) << "a buffer over memory the host shows was given out again";
    std::memset(map.data, 0x11, 32);
    gst_buffer_unmap(next, &map);
    gst_buffer_unref(next);
    EXPECT_EQ(host.slotBytes(slot)[0], 0x5a) << "the picture the host shows is intact";
    gst_buffer_pool_set_active(pool, FALSE);
    gst_object_unref(pool);
}

}  // namespace
