#include "RelayItem.h"

namespace media::process {

namespace {
Writer report(Report kind) { return Writer(static_cast<std::uint8_t>(kind)); }
}  // namespace

void RelayItem::engineDidBecomeReady(const AssetInfo& info, Size size) {
    PlayerItem::engineDidBecomeReady(info, size);
    if (!info.groups.empty()) server_->setGroups(info.groups);
    server_->send(report(Report::Ready).info(info).size(size));
    // The host's item announces its access log with its first event, as here.
    server_->sendAccessLog();
}

void RelayItem::engineDidFail(const rt::Ref<rt::Error>& error) {
    PlayerItem::engineDidFail(error);
    server_->send(report(Report::Failed).error(error));
}

void RelayItem::engineBufferingChanged(bool likelyToKeepUp, bool bufferEmpty, bool bufferFull) {
    PlayerItem::engineBufferingChanged(likelyToKeepUp, bufferEmpty, bufferFull);
    server_->send(report(Report::Buffering).boolean(likelyToKeepUp).boolean(bufferEmpty).boolean(bufferFull));
}

void RelayItem::engineDidStall() {
    PlayerItem::engineDidStall();
    server_->sendAccessLog();
    server_->send(report(Report::Stalled));
}

void RelayItem::engineLoadedTimeRanges(std::vector<TimeRange> ranges) {
    server_->send(report(Report::LoadedRanges).ranges(ranges));
    PlayerItem::engineLoadedTimeRanges(std::move(ranges));
}

void RelayItem::enginePresentationSize(Size size) {
    PlayerItem::enginePresentationSize(size);
    server_->send(report(Report::PresentationSize).size(size));
}

void RelayItem::engineDuration(Time duration) {
    PlayerItem::engineDuration(duration);
    server_->send(report(Report::Duration).time(duration));
}

void RelayItem::engineSelectionGroups(std::vector<rt::Ref<MediaSelectionGroup>> groups) {
    server_->send(report(Report::Groups).groups(groups));
    server_->setGroups(groups);
    PlayerItem::engineSelectionGroups(std::move(groups));
}

void RelayItem::engineSelected(const std::string& characteristic, const rt::Ref<MediaSelectionOption>& option) {
    PlayerItem::engineSelected(characteristic, option);
    auto w = report(Report::Selected);
    w.string(characteristic).boolean(option != nullptr);
    if (option) w.option(option);
    server_->send(w);
}

void RelayItem::engineDidPlayToEnd() {
    server_->sendPositionSoon();
    server_->send(report(Report::Position).time(server_->position()));
    server_->sendAccessLog();
    server_->send(report(Report::PlayedToEnd));
}

void RelayItem::engineVideoFrame(rt::Ref<VideoFrame> frame) {
    // Only the host shows pictures: this process keeps none beyond the one on its way.
    server_->offerFrame(std::move(frame));
}

void RelayItem::engineLegibleCue(const LegibleCue& cue) {
    server_->send(report(Report::Cue).time(cue.start).time(cue.duration).string(cue.text));
}

void RelayItem::engineErrorLogEvent(rt::Ref<ErrorLogEvent> event) {
    server_->send(report(Report::ErrorLog).errorLogEvent(*event));
    PlayerItem::engineErrorLogEvent(std::move(event));
}

}  // namespace media::process
