#pragma once
// What the item sees of an engine process: its commands go to the process as they are
// made, and the process's reports come back to the item, checked against the limits of
// the wire, with its pictures in the memory the two share. Main thread only.

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include <media/AccessLog.h>
#include <media/Engine.h>
#include <media/PlayerItem.h>

#include "EngineProcess.h"
#include "FrameSlots.h"

namespace media::process {

/// Closes an item of a process: a process left without items is kept for the next asset
/// or stopped (ProcessEngine decides).
void giveBack(const std::shared_ptr<EngineProcess>& process, std::uint32_t item);

class ProcessPlayback : public Playback {
    RT_CLASS(ProcessPlayback, Playback)
public:
    /// The playback of `item`, the process's item number `id`.
    ProcessPlayback(std::shared_ptr<EngineProcess> process, std::uint32_t id, double seekAnswerLimit,
                    const rt::Ref<PlayerItem>& item)
        : process_(std::move(process)),
          id_(id),
          seekAnswerLimit_(seekAnswerLimit),
          item_(item),
          releases_(std::make_shared<std::shared_ptr<EngineProcess>>(process_)) {}
    ~ProcessPlayback() override { close(); }

    /// Hears the item's reports and the process's end from now on.
    void start();
    /// What hears the item's reports, and the process's end (main thread).
    EngineProcess::ReportHandler reportHandler();
    EngineProcess::EndHandler endHandler();

    void setRate(float rate) override { send(Writer(u8(Command::SetRate)).f64(rate)); }

    void seek(Time time, Time before, Time after, std::function<void(bool)> done) override;

    /// What the engine last told: a picture's time, or where a finished seek landed.
    /// (While a seek is in flight the player reads its target instead.)
    Time currentTime() const override { return position_; }
    void setMuted(bool muted) override { send(Writer(u8(Command::SetMuted)).boolean(muted)); }
    void setVolume(float volume) override { send(Writer(u8(Command::SetVolume)).f64(volume)); }

    void select(const rt::Ref<MediaSelectionGroup>& group, const rt::Ref<MediaSelectionOption>& option) override;

    void refreshAccessLog(AccessLogEvent& event) override;

    void close() override;

private:
    static std::uint8_t u8(Command c) { return static_cast<std::uint8_t>(c); }
    rt::Weak<ProcessPlayback> weakSelf() { return std::static_pointer_cast<ProcessPlayback>(self()); }
    bool send(const Writer& w) { return process_ && process_->send(w.addressedTo(id_)); }

    static void copyLog(const AccessLogEvent& from, AccessLogEvent& to);

    void finishSeek(std::uint64_t id, bool finished);
    /// The position a picture carried: where playback is, unless it would go back
    /// outside a seek.
    void pictureCarried(Time position);

    void onReport(Report kind, Reader& body, int fd);

    /// What the engine tells the item, passed on as it is; false for a report that breaks the rules.
    bool relayToItem(Report kind, Reader& body, const rt::Ref<PlayerItem>& item);

    /// The shared picture memory and the pictures in it; false for a report that breaks the rules.
    bool takePictureReport(Report kind, Reader& body, int fd, const rt::Ref<PlayerItem>& item);

    /// The playback's own state: its access log, its position and its seeks; false for a report that breaks the rules.
    bool takePlaybackReport(Report kind, Reader& body, const rt::Ref<PlayerItem>& item);

    void deliverFrame(const rt::Ref<PlayerItem>& item, std::uint32_t slot, int width, int height, int stride, Time pts);

    /// Counts a picture taken off the socket in the slot states, waking the process if
    /// it waits for the host to catch up.
    void tookPicture();

    void refuse(const std::string& what);

    void onEnded(rt::Ref<rt::Error> cause);

    std::shared_ptr<EngineProcess> process_;
    std::uint32_t id_;
    double seekAnswerLimit_;
    rt::Weak<PlayerItem> item_;
    /// What the pictures' leases release their slots through; reset when the item goes.
    std::shared_ptr<std::shared_ptr<EngineProcess>> releases_;
    std::map<std::uint64_t, std::function<void(bool)>> seeks_;
    std::uint64_t lastSeek_ = 0;
    Time position_ = Time::zero();
    std::array<std::shared_ptr<SlotMapping>, kSlotCount> slots_;
    /// The item's slot states, shared with the process.
    std::shared_ptr<SlotMapping> states_;
    rt::Ref<AccessLogEvent> log_ = rt::make<AccessLogEvent>();
    bool haveLog_ = false;
};

}  // namespace media::process
