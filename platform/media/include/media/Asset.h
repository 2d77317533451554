#pragma once
// An asset: the media at one URL and what loading finds out about it. Values are loaded
// asynchronously per key ("tracks", "playable", "duration",
// "availableMediaCharacteristicsWithMediaSelectionOptions"), each with its own status
// and error. Only http and https URLs are handed to the engine; any other URL fails
// every key with MediaErrorCode::UnsupportedURL.
//
// A value reads as loaded only when its key's status is Loaded: while loading, after a
// failure or a cancellation the accessors answer their empty values. Thread-safe.

#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include <media/Engine.h>
#include <media/MediaErrors.h>

namespace media {

enum class KeyValueStatus : long long { Unknown = 0, Loading = 1, Loaded = 2, Failed = 3, Cancelled = 4 };

inline constexpr const char* AssetKeyTracks = "tracks";
inline constexpr const char* AssetKeyPlayable = "playable";
inline constexpr const char* AssetKeyDuration = "duration";
inline constexpr const char* AssetKeyMediaCharacteristics = "availableMediaCharacteristicsWithMediaSelectionOptions";

/// Posted on the main loop, with the asset as sender, when its selection groups change.
inline constexpr const char* AssetMediaSelectionGroupsDidChangeNotification =
    "AssetMediaSelectionGroupsDidChangeNotification";

class Asset : public rt::Object {
    RT_CLASS(Asset, rt::Object)
public:
    explicit Asset(std::string url, rt::Ref<Engine> engine = nullptr);
    static rt::Ref<Asset> assetWithURL(std::string url) { return rt::make<Asset>(std::move(url)); }

    const std::string& url() const { return url_; }
    const rt::Ref<Engine>& engine() const { return engine_; }
    /// Whether the URL may be given to an engine: http or https with a host.
    static bool isSupportedURL(const std::string& url);
    /// Why the URL is refused (an UnsupportedURL error saying which URLs play), or
    /// nullptr when it may be given to an engine.
    static rt::Ref<rt::Error> refusalOfURL(const std::string& url);

    /// Loads the keys; completion runs once when none of them is loading any more, on
    /// any thread (at once, on the calling thread, when nothing is left to load).
    void loadValuesAsynchronouslyForKeys(const std::vector<std::string>& keys, std::function<void()> completion);
    /// The status of a key and, when it failed, the error.
    KeyValueStatus statusOfValueForKey(const std::string& key, rt::Ref<rt::Error>* error = nullptr) const;
    /// Cancels loading: keys still loading become Cancelled and waiting completions run.
    void cancelLoading();

    bool isPlayable() const;
    /// The indefinite time for live streams; invalid until "duration" has loaded.
    Time duration() const;
    std::vector<rt::Ref<AssetTrack>> tracks() const;
    std::vector<rt::Ref<AssetTrack>> tracksWithMediaType(const std::string& mediaType) const;
    std::vector<std::string> availableMediaCharacteristicsWithMediaSelectionOptions() const;
    /// The group for MediaCharacteristicAudible or MediaCharacteristicLegible, or nullptr.
    rt::Ref<MediaSelectionGroup> mediaSelectionGroupForMediaCharacteristic(const std::string& characteristic) const;

    /// The load's error, if it failed.
    rt::Ref<rt::Error> loadError() const;
    /// Whether loading has finished successfully for every key.
    bool isLoaded() const;

    // Engine side.
    /// Replaces the selection groups (the stream's collection changed during playback)
    /// and posts AssetMediaSelectionGroupsDidChangeNotification when they differ. Main thread.
    void updateMediaSelectionGroups(std::vector<rt::Ref<MediaSelectionGroup>> groups);
    /// What the engine found out, for an item of this asset.
    AssetInfo info() const;
    /// An engine may leave prepared state with the asset for the first item (a prerolled
    /// pipeline); the first playback takes it.
    void setPreparedState(std::shared_ptr<void> state);
    std::shared_ptr<void> takePreparedState();

private:
    void finishLoad(rt::Ref<rt::Error> error, AssetInfo info, unsigned generation);
    bool isKnownKey(const std::string& key) const;

    std::string url_;
    rt::Ref<Engine> engine_;
    mutable std::mutex mutex_;
    std::map<std::string, KeyValueStatus> status_;
    std::map<std::string, rt::Ref<rt::Error>> errors_;
    std::vector<std::function<void()>> waiting_;
    bool engineLoadStarted_ = false;
    bool loadDone_ = false;
    unsigned generation_ = 0;
    rt::Ref<rt::Error> error_;
    AssetInfo info_;
    std::shared_ptr<void> prepared_;
};

}  // namespace media
