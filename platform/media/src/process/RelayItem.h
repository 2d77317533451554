#pragma once
// The engine process's item: the engine reports to it as to any item, and it passes each
// report on to the host through the server.

#include <string>
#include <vector>

#include <media/Asset.h>
#include <media/PlayerItem.h>

#include "Wire.h"

namespace media::process {

/// What the item needs of the server that carries its reports to the host.
class ReportSink {
public:
    /// Sends a report (with a descriptor, or -1), in one datagram with the others of the
    /// loop's turn.
    virtual void send(const Writer& report, int fd = -1) = 0;
    /// Hands the newest picture over for a free slot (main loop).
    virtual void offerFrame(rt::Ref<VideoFrame> frame) = 0;
    /// Where the engine's streaming thread may hand pictures itself.
    virtual PlayerItem::FrameOutlet frameOutlet() = 0;
    /// The shared memory the engine may convert pictures straight into.
    virtual std::shared_ptr<PlayerItem::FrameMemory> frameMemory() = 0;
    /// The position goes with the next tick even when it has not changed.
    virtual void sendPositionSoon() = 0;
    /// The groups whose options the host's choices name.
    virtual void setGroups(std::vector<rt::Ref<MediaSelectionGroup>> groups) = 0;
    virtual Time position() const = 0;
    virtual void sendAccessLog() = 0;

protected:
    ~ReportSink() = default;
};

/// The item the engine reports to in this process: each report goes to the host as it
/// comes, and the item keeps its own state too (the running access-log event).
class RelayItem : public PlayerItem {
    RT_CLASS(RelayItem, PlayerItem)
public:
    RelayItem(rt::Ref<Asset> asset, ReportSink* server) : PlayerItem(std::move(asset)), server_(server) {}
    void engineDidBecomeReady(const AssetInfo& info, Size size) override;
    void engineDidFail(const rt::Ref<rt::Error>& error) override;
    void engineBufferingChanged(bool likelyToKeepUp, bool bufferEmpty, bool bufferFull) override;
    void engineDidStall() override;
    void engineLoadedTimeRanges(std::vector<TimeRange> ranges) override;
    void enginePresentationSize(Size size) override;
    void engineDuration(Time duration) override;
    void engineSelectionGroups(std::vector<rt::Ref<MediaSelectionGroup>> groups) override;
    void engineSelected(const std::string& characteristic, const rt::Ref<MediaSelectionOption>& option) override;
    void engineDidPlayToEnd() override;
    void engineVideoFrame(rt::Ref<VideoFrame> frame) override;
    FrameOutlet engineFrameOutlet() override { return server_->frameOutlet(); }
    std::shared_ptr<FrameMemory> engineFrameMemory() override { return server_->frameMemory(); }
    void engineLegibleCue(const LegibleCue& cue) override;
    void engineErrorLogEvent(rt::Ref<ErrorLogEvent> event) override;

private:
    ReportSink* server_;
};

}  // namespace media::process
