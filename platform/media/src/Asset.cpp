#include <media/Asset.h>

#include <algorithm>
#include <cctype>

#include <fnd/NotificationCenter.h>
#include <fnd/RunLoop.h>
#include <rt/Format.h>

#include "QuotedURI.h"

namespace media {

namespace {
const char* const kKnownKeys[] = {AssetKeyTracks, AssetKeyPlayable, AssetKeyDuration, AssetKeyMediaCharacteristics};
}

Asset::Asset(std::string url, rt::Ref<Engine> engine) : url_(std::move(url)), engine_(std::move(engine)) {
    if (!engine_) engine_ = Engine::shared();
}

namespace {
/// Why a URL cannot be played, or "" when it can: http or https with a host, and no white
/// space or control characters anywhere (the engine's URI parser would cut or reinterpret
/// them).
std::string urlProblem(const std::string& url) {
    auto colon = url.find("://");
    std::string scheme = colon == std::string::npos ? std::string() : url.substr(0, colon);
    std::transform(scheme.begin(), scheme.end(), scheme.begin(), [](unsigned char c) { return std::tolower(c); });
    if (scheme != "http" && scheme != "https") return "only http and https URLs can be played.";
    auto hostStart = colon + 3;
    auto hostEnd = url.find_first_of("/?#", hostStart);
    std::string authority = url.substr(hostStart, hostEnd == std::string::npos ? std::string::npos : hostEnd - hostStart);
    auto at = authority.rfind('@');
    if (at != std::string::npos) authority = authority.substr(at + 1);
    if (authority.empty() || authority[0] == ':') return "it is an " + scheme + " URL without a host.";
    if (std::any_of(url.begin(), url.end(), [](unsigned char c) { return c <= 0x20 || c == 0x7f; }))
        return "it holds white space or control characters.";
    return {};
}
}  // namespace

rt::Ref<rt::Error> Asset::refusalOfURL(const std::string& url) {
    std::string problem = urlProblem(url);
    if (problem.empty()) return nullptr;
    return makeMediaError(MediaErrorCode::UnsupportedURL, rt::format("Cannot open \"%s\": %s", quotedURI(url), problem));
}

bool Asset::isSupportedURL(const std::string& url) { return urlProblem(url).empty(); }

bool Asset::isKnownKey(const std::string& key) const {
    return std::any_of(std::begin(kKnownKeys), std::end(kKnownKeys), [&](const char* k) { return key == k; });
}

void Asset::loadValuesAsynchronouslyForKeys(const std::vector<std::string>& keys, std::function<void()> completion) {
    bool startEngine = false;
    bool anyLoading = false;
    unsigned generation = 0;
    {
        std::lock_guard lock(mutex_);
        for (const auto& key : keys) {
            auto& status = status_[key];
            if (!isKnownKey(key)) {
                status = KeyValueStatus::Failed;
                errors_[key] = makeMediaError(MediaErrorCode::Unknown, rt::format("\"%s\" is not a value an asset loads.", key));
                continue;
            }
            if (status == KeyValueStatus::Loaded || status == KeyValueStatus::Failed) continue;
            if (loadDone_) {
                status = error_ ? KeyValueStatus::Failed : KeyValueStatus::Loaded;
                if (error_) errors_[key] = error_;
                continue;
            }
            status = KeyValueStatus::Loading;
            anyLoading = true;
        }
        if (anyLoading) {
            if (completion) waiting_.push_back(std::move(completion));
            if (!engineLoadStarted_) {
                engineLoadStarted_ = true;
                startEngine = true;
                generation = generation_;
            }
        }
    }
    if (!anyLoading) {
        if (completion) completion();
        return;
    }
    if (!startEngine) return;
    if (auto refusal = refusalOfURL(url_)) {
        finishLoad(refusal, {}, generation);
        return;
    }
    rt::Weak<Asset> weak = selfAs<Asset>();
    engine_->loadAsset(selfAs<Asset>(), [weak, generation](rt::Ref<rt::Error> error, AssetInfo info) {
        if (auto asset = weak.lock()) asset->finishLoad(std::move(error), std::move(info), generation);
    });
}

void Asset::finishLoad(rt::Ref<rt::Error> error, AssetInfo info, unsigned generation) {
    std::vector<std::function<void()>> waiting;
    {
        std::lock_guard lock(mutex_);
        if (generation != generation_ || loadDone_) return;  // cancelled meanwhile
        loadDone_ = true;
        error_ = error;
        info_ = std::move(info);
        if (!error_ && !info_.playable) error_ = makeMediaError(MediaErrorCode::NotPlayable, rt::format("\"%s\" holds nothing this player can play.", url_));
        for (auto& [key, status] : status_) {
            if (status != KeyValueStatus::Loading) continue;
            // "playable" answers NO rather than failing for media that loaded but cannot play.
            if (!error_ || (!error && key == AssetKeyPlayable)) {
                status = KeyValueStatus::Loaded;
            } else {
                status = KeyValueStatus::Failed;
                errors_[key] = error_;
            }
        }
        waiting.swap(waiting_);
    }
    for (auto& block : waiting) block();
}

KeyValueStatus Asset::statusOfValueForKey(const std::string& key, rt::Ref<rt::Error>* error) const {
    std::lock_guard lock(mutex_);
    auto it = status_.find(key);
    KeyValueStatus status = it == status_.end() ? KeyValueStatus::Unknown : it->second;
    if (error) {
        auto e = errors_.find(key);
        *error = status == KeyValueStatus::Failed && e != errors_.end() ? e->second : nullptr;
    }
    return status;
}

void Asset::cancelLoading() {
    std::vector<std::function<void()>> waiting;
    bool wasLoading = false;
    {
        std::lock_guard lock(mutex_);
        for (auto& [key, status] : status_) {
            if (status == KeyValueStatus::Loading) {
                status = KeyValueStatus::Cancelled;
                wasLoading = true;
            }
        }
        if (!wasLoading) return;
        ++generation_;
        engineLoadStarted_ = false;
        waiting.swap(waiting_);
    }
    engine_->cancelAssetLoad(selfAs<Asset>());
    for (auto& block : waiting) block();
}

bool Asset::isPlayable() const {
    std::lock_guard lock(mutex_);
    auto it = status_.find(AssetKeyPlayable);
    return it != status_.end() && it->second == KeyValueStatus::Loaded && info_.playable;
}

Time Asset::duration() const {
    std::lock_guard lock(mutex_);
    auto it = status_.find(AssetKeyDuration);
    return it != status_.end() && it->second == KeyValueStatus::Loaded ? info_.duration : Time::invalid();
}

std::vector<rt::Ref<AssetTrack>> Asset::tracks() const {
    std::lock_guard lock(mutex_);
    auto it = status_.find(AssetKeyTracks);
    return it != status_.end() && it->second == KeyValueStatus::Loaded ? info_.tracks : std::vector<rt::Ref<AssetTrack>>{};
}

std::vector<rt::Ref<AssetTrack>> Asset::tracksWithMediaType(const std::string& mediaType) const {
    std::vector<rt::Ref<AssetTrack>> out;
    for (auto& track : tracks())
        if (track->mediaType() == mediaType) out.push_back(track);
    return out;
}

std::vector<std::string> Asset::availableMediaCharacteristicsWithMediaSelectionOptions() const {
    std::lock_guard lock(mutex_);
    auto it = status_.find(AssetKeyMediaCharacteristics);
    std::vector<std::string> out;
    if (it == status_.end() || it->second != KeyValueStatus::Loaded) return out;
    for (const auto& group : info_.groups) out.push_back(group->characteristic());
    return out;
}

rt::Ref<MediaSelectionGroup> Asset::mediaSelectionGroupForMediaCharacteristic(const std::string& characteristic) const {
    std::lock_guard lock(mutex_);
    auto it = status_.find(AssetKeyMediaCharacteristics);
    if (it == status_.end() || it->second != KeyValueStatus::Loaded) return nullptr;
    for (const auto& group : info_.groups)
        if (group->characteristic() == characteristic) return group;
    return nullptr;
}

rt::Ref<rt::Error> Asset::loadError() const {
    std::lock_guard lock(mutex_);
    return error_;
}

bool Asset::isLoaded() const {
    std::lock_guard lock(mutex_);
    return loadDone_ && !error_;
}

AssetInfo Asset::info() const {
    std::lock_guard lock(mutex_);
    return info_;
}

void Asset::updateMediaSelectionGroups(std::vector<rt::Ref<MediaSelectionGroup>> groups) {
    {
        std::lock_guard lock(mutex_);
        bool same = groups.size() == info_.groups.size() &&
                    std::equal(groups.begin(), groups.end(), info_.groups.begin(),
                               [](const auto& a, const auto& b) { return a->isEqual(*b); });
        if (same) return;
        info_.groups = std::move(groups);
    }
    fnd::NotificationCenter::defaultCenter()->post(AssetMediaSelectionGroupsDidChangeNotification, self());
}

void Asset::setPreparedState(std::shared_ptr<void> state) {
    std::lock_guard lock(mutex_);
    prepared_ = std::move(state);
}

std::shared_ptr<void> Asset::takePreparedState() {
    std::lock_guard lock(mutex_);
    return std::exchange(prepared_, nullptr);
}

}  // namespace media
