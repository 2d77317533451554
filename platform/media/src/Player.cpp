#include <media/Player.h>

#include <algorithm>
#include <cmath>

#include <fnd/Queue.h>
#include <rt/Exception.h>
#include <rt/Format.h>
#include <rt/KVO.h>

namespace media {

namespace {
const std::vector<std::string> kItemKeys = {AssetKeyTracks, AssetKeyPlayable, AssetKeyDuration, AssetKeyMediaCharacteristics};
// How often boundary observers compare the position with their times.
constexpr fnd::TimeInterval kBoundaryCheckInterval = 0.02;
}  // namespace

void TimeObserverToken::invalidate() {
    if (timer_) timer_->invalidate();
}

FrameObserverToken::~FrameObserverToken() { invalidate(); }

void FrameObserverToken::invalidate() {
    if (auto p = player_.lock()) {
        auto& list = p->frameObservers_;
        list.erase(std::remove_if(list.begin(), list.end(), [&](const auto& e) { return e.first == id_; }), list.end());
    }
    player_.reset();
}

void Player::describe(rt::ClassBuilder<Player>& c) {
    c.readonly(currentItemKey);
    c.property(rateKey, &Player::setRate);
    c.property(mutedKey, &Player::setMuted);
    c.property(volumeKey, &Player::setVolume);
    c.property(allowsExternalPlaybackKey);
    c.readonly("externalPlaybackActive", &Player::isExternalPlaybackActive);
}

Player::Player(std::vector<rt::Ref<PlayerItem>> items) : items_(std::move(items)) {
    items_.erase(std::remove(items_.begin(), items_.end(), nullptr), items_.end());
}

rt::Ref<Player> Player::queuePlayerWithItems(std::vector<rt::Ref<PlayerItem>> items) {
    auto player = rt::make<Player>(std::move(items));
    if (!player->items_.empty()) player->setCurrent(player->items_.front());
    return player;
}

rt::Ref<Player> Player::playerWithPlayerItem(rt::Ref<PlayerItem> item) {
    return queuePlayerWithItems(item ? std::vector<rt::Ref<PlayerItem>>{std::move(item)} : std::vector<rt::Ref<PlayerItem>>{});
}

Player::~Player() = default;

void Player::willDestroy() {
    // The playback answers the seeks it still has (NO) as it closes.
    if (current_) current_->detach();
    dropSeekMask();
    rt::Object::willDestroy();
}

void Player::replaceCurrentItemWithPlayerItem(const rt::Ref<PlayerItem>& item) {
    if (item == current_) return;
    if (current_) items_.erase(std::remove(items_.begin(), items_.end(), current_), items_.end());
    if (item) {
        items_.erase(std::remove(items_.begin(), items_.end(), item), items_.end());
        items_.insert(items_.begin(), item);
    }
    setCurrent(item);
}

void Player::insertItem(const rt::Ref<PlayerItem>& item, const rt::Ref<PlayerItem>& afterItem) {
    if (!item || std::find(items_.begin(), items_.end(), item) != items_.end()) return;
    auto pos = afterItem ? std::find(items_.begin(), items_.end(), afterItem) : items_.end();
    items_.insert(pos == items_.end() ? items_.end() : pos + 1, item);
    if (!current_) setCurrent(items_.front());
}

void Player::removeItem(const rt::Ref<PlayerItem>& item) {
    auto it = std::find(items_.begin(), items_.end(), item);
    if (it == items_.end()) return;
    items_.erase(it);
    if (item == current_) setCurrent(items_.empty() ? nullptr : items_.front());
}

void Player::removeAllItems() {
    items_.clear();
    setCurrent(nullptr);
}

void Player::setCurrent(const rt::Ref<PlayerItem>& item) {
    if (item == current_) return;
    dropSeekMask();
    if (current_) current_->detach();
    currentItemKey.set(*this, item);
    startPlayback();
    notifyFrameObservers();
}

void Player::startPlayback() {
    auto item = current_;
    if (!item || item->playback() || item->status() == PlayerItemStatus::Failed) return;
    auto asset = item->asset();
    if (auto error = asset->loadError()) {
        item->engineDidFail(error);
        return;
    }
    if (!asset->isLoaded()) {
        rt::Weak<Player> weakSelf = selfAs<Player>();
        rt::Weak<PlayerItem> weakItem = item;
        auto proceed = [weakSelf, weakItem] {
            auto self = weakSelf.lock();
            auto item = weakItem.lock();
            if (!self || !item || self->current_ != item || item->playback()) return;
            if (!item->asset()->isLoaded() && !item->asset()->loadError()) {
                item->engineDidFail(makeMediaError(MediaErrorCode::Cancelled, "Loading the media was cancelled."));
                return;
            }
            self->startPlayback();
        };
        // The completion may come on any thread; on the main thread it goes on at once,
        // but never inside this call (a load that completes at once is posted).
        auto inside = std::make_shared<bool>(true);
        asset->loadValuesAsynchronouslyForKeys(kItemKeys, [proceed, inside] {
            if (!*inside && fnd::RunLoop::main()->isCurrent()) proceed();
            else fnd::Queue::main()->async(proceed);
        });
        *inside = false;
        return;
    }
    auto playback = asset->engine()->makePlayback(item);
    if (!playback) {
        item->engineDidFail(makeMediaError(MediaErrorCode::EngineFailed, "The media engine could not start playback."));
        return;
    }
    item->attach(selfAs<Player>(), playback);
    playback->setMuted(muted_);
    playback->setVolume(volume_);
    playback->setRate(rate_);
}

void Player::setRate(float rate) {
    if (std::isnan(rate)) rate = 0;
    // The engines play at normal speed or not at all: any other rate would be kept and
    // read back while playback went on at 1.
    if (rate != 0 && rate != 1)
        throw rt::Exception(rt::Exception::InvalidArgument,
                            rt::format("Player: setRate: plays at 1 or pauses at 0, not at %g.", static_cast<double>(rate)));
    rateKey.set(*this, rate);
    if (current_ && current_->playback()) current_->playback()->setRate(rate_);
}

void Player::setMuted(bool muted) {
    mutedKey.set(*this, muted);
    if (current_ && current_->playback()) current_->playback()->setMuted(muted_);
}

void Player::setVolume(float volume) {
    volume = std::clamp(std::isnan(volume) ? 1.0f : volume, 0.0f, 1.0f);
    volumeKey.set(*this, volume);
    if (current_ && current_->playback()) current_->playback()->setVolume(volume_);
}

void Player::setAllowsExternalPlayback(bool allows) { allowsExternalPlaybackKey.set(*this, allows); }

Time Player::currentTime() const {
    if (seekTarget_) return *seekTarget_;
    return current_ ? current_->currentTime() : Time::zero();
}

void Player::seekToTime(Time time, std::function<void(bool)> completion) {
    seekToTime(time, Time::invalid(), Time::invalid(), std::move(completion));
}

void Player::dropSeekMask() {
    ++seeksAsked_;
    seekTarget_.reset();
}

void Player::seekToTime(Time time, Time toleranceBefore, Time toleranceAfter, std::function<void(bool)> completion) {
    if (!current_ || !current_->playback() || !time.isNumeric()) {
        if (completion) fnd::Queue::main()->async([completion] { completion(false); });
        return;
    }
    auto asked = ++seeksAsked_;
    // The target as the engine aims at it: not before the start, not past the end.
    double target = std::max(0.0, time.toSeconds());
    if (auto duration = current_->duration(); duration.isNumeric()) target = std::min(target, duration.toSeconds());
    seekTarget_ = target == time.toSeconds() ? time : Time::seconds(target, 1'000'000);
    rt::Weak<Player> weakSelf = selfAs<Player>();
    current_->playback()->seek(time, toleranceBefore, toleranceAfter, [weakSelf, asked, completion](bool finished) {
        // The engine's answer stands as it is; the newest answer lifts the mask (an
        // older one may come after it: it changes nothing).
        if (auto self = weakSelf.lock(); self && asked == self->seeksAsked_) self->seekTarget_.reset();
        if (completion) completion(finished);
    });
}

rt::Ref<TimeObserverToken> Player::addPeriodicTimeObserverForInterval(Time interval, std::function<void(Time)> block) {
    double seconds = interval.toSeconds();
    if (!(seconds > 0)) seconds = 1.0;
    auto token = rt::make<TimeObserverToken>();
    rt::Weak<Player> weakSelf = selfAs<Player>();
    auto last = std::make_shared<std::optional<Time>>();
    token->timer_ = fnd::RunLoop::main()->schedule(seconds, true, [weakSelf, last, block](fnd::Timer& timer) {
        auto self = weakSelf.lock();
        if (!self) {
            timer.invalidate();
            return;
        }
        // Without a current item there is no time to tell (it would read as 0), and
        // while a seek is unanswered the time is its target, not a place reached.
        if (!self->current_ || self->seekTarget_) return;
        Time now = self->currentTime();
        if (self->rate_ == 0 && *last && **last == now) return;
        *last = now;
        block(now);
    });
    return token;
}

rt::Ref<TimeObserverToken> Player::addBoundaryTimeObserverForTimes(std::vector<Time> times, std::function<void()> block) {
    auto token = rt::make<TimeObserverToken>();
    rt::Weak<Player> weakSelf = selfAs<Player>();
    auto last = std::make_shared<double>(std::nan(""));
    token->timer_ = fnd::RunLoop::main()->schedule(kBoundaryCheckInterval, true, [weakSelf, last, times, block](fnd::Timer& timer) {
        auto self = weakSelf.lock();
        if (!self) {
            timer.invalidate();
            return;
        }
        // A seek is no crossing: the comparison starts again from where it lands.
        double now = self->seekTarget_ ? std::nan("") : self->currentTime().toSeconds();
        double before = *last;
        *last = now;
        if (self->rate_ == 0 || std::isnan(before) || std::isnan(now) || now <= before) return;
        for (const auto& t : times) {
            double s = t.toSeconds();
            if (s > before && s <= now) {
                block();
                return;
            }
        }
    });
    return token;
}

void Player::removeTimeObserver(const rt::Ref<TimeObserverToken>& token) {
    if (token) token->invalidate();
}

rt::Ref<VideoFrame> Player::currentVideoFrame() const { return current_ ? current_->currentVideoFrame() : nullptr; }

rt::Ref<FrameObserverToken> Player::addVideoFrameObserver(std::function<void()> observer) {
    auto token = rt::make<FrameObserverToken>();
    token->player_ = selfAs<Player>();
    token->id_ = nextFrameObserver_++;
    frameObservers_.emplace_back(token->id_, std::move(observer));
    return token;
}

void Player::notifyFrameObservers() {
    auto observers = frameObservers_;
    for (auto& [id, fn] : observers)
        if (fn) fn();
}

void Player::itemDidProduceFrame(PlayerItem& item) {
    if (&item == current_.get()) notifyFrameObservers();
}

void Player::itemDidPlayToEnd(PlayerItem& item) {
    if (&item != current_.get()) return;
    setRate(0);
}

void Player::itemDidFail(PlayerItem& item) {
    if (&item != current_.get()) return;
    // The engine answers the seeks NO; the position is where the item stopped.
    dropSeekMask();
    setRate(0);
}

}  // namespace media
