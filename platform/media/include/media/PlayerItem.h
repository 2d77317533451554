#pragma once
// A player item: the playback state of one asset. Its observable properties (typed keys:
// "status", "error", "playbackLikelyToKeepUp", "playbackBufferEmpty",
// "playbackBufferFull", "presentationSize", "loadedTimeRanges", "tracks", "duration")
// change on the main thread only, and its notifications are posted there with the item
// as sender.
//
// A failure is reported at once: the item's status becomes Failed with the error as
// soon as the asset fails to load or the engine reports an error, whether or not
// anybody waits for a timeout.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <media/AccessLog.h>
#include <media/Asset.h>
#include <media/VideoFrame.h>
#include <rt/KVC.h>
#include <rt/Key.h>
#include <map>

namespace media {

class Player;

enum class PlayerItemStatus : long long { Unknown = 0, ReadyToPlay = 1, Failed = 2 };

inline constexpr const char* PlayerItemDidPlayToEndTimeNotification = "PlayerItemDidPlayToEndTimeNotification";
inline constexpr const char* PlayerItemPlaybackStalledNotification = "PlayerItemPlaybackStalledNotification";
/// Posted with the error under PlayerItemFailedToPlayToEndTimeErrorKey.
inline constexpr const char* PlayerItemFailedToPlayToEndTimeNotification = "PlayerItemFailedToPlayToEndTimeNotification";
inline constexpr const char* PlayerItemFailedToPlayToEndTimeErrorKey = "PlayerItemFailedToPlayToEndTimeErrorKey";
inline constexpr const char* PlayerItemNewAccessLogEntryNotification = "PlayerItemNewAccessLogEntryNotification";
inline constexpr const char* PlayerItemNewErrorLogEntryNotification = "PlayerItemNewErrorLogEntryNotification";

class PlayerItem : public rt::Object {
    RT_CLASS(PlayerItem, rt::Object)
private:  // the observable fields come before the keys that name them
    PlayerItemStatus status_ = PlayerItemStatus::Unknown;
    rt::Ref<rt::Error> error_;
    bool likelyToKeepUp_ = false;
    bool bufferEmpty_ = true;
    bool bufferFull_ = false;
    Size presentationSize_;
    std::vector<TimeRange> loadedTimeRanges_;
    std::vector<rt::Ref<AssetTrack>> tracks_;
    Time duration_ = Time::invalid();

public:
    static constexpr rt::Key<PlayerItem, PlayerItemStatus> statusKey{"status", &PlayerItem::status_};
    static constexpr rt::Key<PlayerItem, rt::Ref<rt::Error>> errorKey{"error", &PlayerItem::error_};
    static constexpr rt::Key<PlayerItem, bool> playbackLikelyToKeepUpKey{"playbackLikelyToKeepUp", &PlayerItem::likelyToKeepUp_};
    static constexpr rt::Key<PlayerItem, bool> playbackBufferEmptyKey{"playbackBufferEmpty", &PlayerItem::bufferEmpty_};
    static constexpr rt::Key<PlayerItem, bool> playbackBufferFullKey{"playbackBufferFull", &PlayerItem::bufferFull_};
    static constexpr rt::Key<PlayerItem, Size> presentationSizeKey{"presentationSize", &PlayerItem::presentationSize_};
    static constexpr rt::Key<PlayerItem, std::vector<TimeRange>> loadedTimeRangesKey{"loadedTimeRanges",
                                                                                      &PlayerItem::loadedTimeRanges_};
    static constexpr rt::Key<PlayerItem, std::vector<rt::Ref<AssetTrack>>> tracksKey{"tracks", &PlayerItem::tracks_};
    static constexpr rt::Key<PlayerItem, Time> durationKey{"duration", &PlayerItem::duration_};

    static void describe(rt::ClassBuilder<PlayerItem>& c);

    explicit PlayerItem(rt::Ref<Asset> asset);
    static rt::Ref<PlayerItem> playerItemWithAsset(rt::Ref<Asset> asset) { return rt::make<PlayerItem>(std::move(asset)); }
    static rt::Ref<PlayerItem> playerItemWithURL(std::string url);

    const rt::Ref<Asset>& asset() const { return asset_; }
    PlayerItemStatus status() const { return status_; }
    const rt::Ref<rt::Error>& error() const { return error_; }
    bool isPlaybackLikelyToKeepUp() const { return likelyToKeepUp_; }
    bool isPlaybackBufferEmpty() const { return bufferEmpty_; }
    bool isPlaybackBufferFull() const { return bufferFull_; }
    /// The picture's size once ready; 0 by 0 for audio only.
    Size presentationSize() const { return presentationSize_; }
    const std::vector<TimeRange>& loadedTimeRanges() const { return loadedTimeRanges_; }
    const std::vector<rt::Ref<AssetTrack>>& tracks() const { return tracks_; }
    /// Invalid until ready; indefinite for live streams.
    Time duration() const { return duration_; }
    /// The position (of the playback when the item is current).
    Time currentTime() const;

    /// Selects an option of one of the asset's groups, or none with nullptr.
    void selectMediaOption(const rt::Ref<MediaSelectionOption>& option, const rt::Ref<MediaSelectionGroup>& group);
    /// The option in use in the group (the group's default until another is chosen),
    /// or nullptr for none.
    rt::Ref<MediaSelectionOption> selectedMediaOptionInMediaSelectionGroup(const rt::Ref<MediaSelectionGroup>& group) const;

    /// nullptr until the first access-log event.
    rt::Ref<AccessLog> accessLog() const;
    rt::Ref<ErrorLog> errorLog() const;

    /// The latest decoded picture, or nullptr.
    const rt::Ref<VideoFrame>& currentVideoFrame() const { return frame_; }
    /// Subtitle cues as they reach the legible output (main loop).
    void setLegibleOutputHandler(std::function<void(const LegibleCue&)> handler) { legibleHandler_ = std::move(handler); }
    const std::vector<LegibleCue>& legibleCues() const { return cues_; }

    // Engine side: reports of the playback, main thread only. Virtual so that an engine
    // running in another process can relay them to the host.
    virtual void engineDidBecomeReady(const AssetInfo& info, Size presentationSize);
    virtual void engineDidFail(const rt::Ref<rt::Error>& error);
    virtual void engineBufferingChanged(bool likelyToKeepUp, bool bufferEmpty, bool bufferFull);
    virtual void engineDidStall();
    virtual void engineLoadedTimeRanges(std::vector<TimeRange> ranges);
    virtual void enginePresentationSize(Size size);
    virtual void engineDuration(Time duration);
    virtual void engineSelectionGroups(std::vector<rt::Ref<MediaSelectionGroup>> groups);
    virtual void engineSelected(const std::string& characteristic, const rt::Ref<MediaSelectionOption>& option);
    virtual void engineDidPlayToEnd();
    virtual void engineVideoFrame(rt::Ref<VideoFrame> frame);
    /// Takes a picture on the engine's own thread instead of engineVideoFrame on the main
    /// loop (an item that only passes pictures on, sparing the loop a wake per picture).
    /// Must be safe on any thread; answers false for a picture it did not take. The engine
    /// uses it only while nothing but the picture changes (no seek under way, the same
    /// size), and never after it has closed the playback. Empty (the default): pictures
    /// come on the main loop.
    using FrameOutlet = std::function<bool(const rt::Ref<VideoFrame>& frame)>;
    virtual FrameOutlet engineFrameOutlet() { return {}; }
    /// Memory an item with an outlet lends the engine to decode or convert its pictures
    /// straight into (memory another process maps, say): the outlet then finds them there
    /// and copies nothing. Safe on any thread.
    class FrameMemory {
    public:
        virtual ~FrameMemory() = default;
        /// A block for one picture buffer of `bytes`, which the engine keeps and fills
        /// again and again: its pictures reach the outlet in it. The block is the
        /// engine's until it lets go of `keep`. Empty when there is none to lend.
        struct Block {
            std::uint8_t* data = nullptr;
            std::shared_ptr<void> keep;
        };
        virtual Block lend(std::size_t bytes) = 0;
        /// Lets go of the pictures the outlet still holds whose memory is free again, so
        /// their buffers can be filled anew; the engine calls it before it looks for one.
        virtual void reclaim() = 0;
        /// Whether a block whose pictures the outlet let go may be filled again: false
        /// once the item has closed its pictures, when the outlet lets go of pictures a
        /// host may still show. The engine then frees each block as it comes back.
        virtual bool refillable() const { return true; }
    };
    /// nullptr (the default): the engine's pictures are in memory of its own.
    virtual std::shared_ptr<FrameMemory> engineFrameMemory() { return nullptr; }
    virtual void engineLegibleCue(const LegibleCue& cue);
    /// The running access-log event, made (and announced) on first use.
    virtual rt::Ref<AccessLogEvent> engineAccessLogEvent();
    virtual void engineErrorLogEvent(rt::Ref<ErrorLogEvent> event);

    // Player side.
    void attach(const rt::Ref<Player>& player, rt::Ref<Playback> playback);
    void detach();
    const rt::Ref<Playback>& playback() const { return playback_; }
    rt::Ref<Player> player() const { return player_.lock(); }

private:
    void fail(const rt::Ref<rt::Error>& error);

    rt::Ref<Asset> asset_;
    Time lastTime_ = Time::zero();
    std::map<std::string, rt::Ref<MediaSelectionOption>> selected_;
    std::map<std::string, bool> explicitlySelected_;
    rt::Ref<AccessLog> accessLog_;
    rt::Ref<ErrorLog> errorLog_ = rt::make<ErrorLog>();
    rt::Ref<VideoFrame> frame_;
    std::vector<LegibleCue> cues_;
    std::function<void(const LegibleCue&)> legibleHandler_;
    rt::Weak<Player> player_;
    rt::Ref<Playback> playback_;
};

}  // namespace media
