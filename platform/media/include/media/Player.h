#pragma once
// The player: a queue of items of which the first is current and playing. Observable:
// "currentItem", "rate", "muted", "volume", "allowsExternalPlayback" and
// "externalPlaybackActive" (always NO: there is no external screen to play on).
// Main thread only; time observers are timers of the main run loop, so they run on its
// clock (a virtual one in tests).
//
// Seeks go to the engine as they are asked; the engine decides which is current, when
// each is done and where it landed, and answers each once: a newer seek replaces the one
// in flight, whose completion then runs with NO. The player is the one place that masks
// the position meanwhile: from a seek until the engine has answered the newest one, the
// current time reads that seek's target; from its answer on, where the engine says the
// picture is (a seek to a key frame before its target reads that key frame).
// At the end of the item the rate falls to 0 and the item stays current.

#include <functional>
#include <optional>
#include <vector>

#include <fnd/RunLoop.h>
#include <media/PlayerItem.h>

namespace media {

/// The token of a time observer; removeTimeObserver() (or invalidate()) ends it.
class TimeObserverToken : public rt::Object {
    RT_CLASS(TimeObserverToken, rt::Object)
public:
    void invalidate();
    bool isValid() const { return timer_ && timer_->isValid(); }

private:
    friend class Player;
    rt::Ref<fnd::Timer> timer_;
};

/// The token of a video-frame observer; dropping it ends the observation.
class FrameObserverToken : public rt::Object {
    RT_CLASS(FrameObserverToken, rt::Object)
public:
    ~FrameObserverToken() override;
    void invalidate();

private:
    friend class Player;
    rt::Weak<Player> player_;
    std::uint64_t id_ = 0;
};

class Player : public rt::Object {
    RT_CLASS(Player, rt::Object)
private:  // the observable fields come before the keys that name them
    rt::Ref<PlayerItem> current_;
    float rate_ = 0;
    bool muted_ = false;
    float volume_ = 1.0f;
    bool allowsExternalPlayback_ = true;

public:
    static constexpr rt::Key<Player, rt::Ref<PlayerItem>> currentItemKey{"currentItem", &Player::current_};
    static constexpr rt::Key<Player, float> rateKey{"rate", &Player::rate_};
    static constexpr rt::Key<Player, bool> mutedKey{"muted", &Player::muted_};
    static constexpr rt::Key<Player, float> volumeKey{"volume", &Player::volume_};
    static constexpr rt::Key<Player, bool> allowsExternalPlaybackKey{"allowsExternalPlayback", &Player::allowsExternalPlayback_};

    static void describe(rt::ClassBuilder<Player>& c);

    explicit Player(std::vector<rt::Ref<PlayerItem>> items = {});
    static rt::Ref<Player> queuePlayerWithItems(std::vector<rt::Ref<PlayerItem>> items);
    static rt::Ref<Player> playerWithPlayerItem(rt::Ref<PlayerItem> item);
    ~Player() override;

    const rt::Ref<PlayerItem>& currentItem() const { return current_; }
    const std::vector<rt::Ref<PlayerItem>>& items() const { return items_; }
    /// Makes the item current (nullptr: no current item); the old current item leaves the queue.
    void replaceCurrentItemWithPlayerItem(const rt::Ref<PlayerItem>& item);
    void insertItem(const rt::Ref<PlayerItem>& item, const rt::Ref<PlayerItem>& afterItem);
    void removeItem(const rt::Ref<PlayerItem>& item);
    void removeAllItems();

    void play() { setRate(1.0f); }
    void pause() { setRate(0.0f); }
    float rate() const { return rate_; }
    /// 1 plays, 0 (or NaN) pauses; any other rate raises InvalidArgumentException and
    /// changes nothing.
    void setRate(float rate);
    bool isMuted() const { return muted_; }
    void setMuted(bool muted);
    float volume() const { return volume_; }
    void setVolume(float volume);
    bool allowsExternalPlayback() const { return allowsExternalPlayback_; }
    void setAllowsExternalPlayback(bool allows);
    bool isExternalPlaybackActive() const { return false; }

    Time currentTime() const;
    /// A seek asked of the current item is still unanswered.
    bool isSeeking() const { return seekTarget_.has_value(); }
    void seekToTime(Time time) { seekToTime(time, nullptr); }
    void seekToTime(Time time, std::function<void(bool finished)> completion);
    /// Tolerances: how far before and after the time the seek may land (invalid: the
    /// engine's default, which lands on a key frame near the time).
    void seekToTime(Time time, Time toleranceBefore, Time toleranceAfter, std::function<void(bool finished)> completion);

    /// Calls block with the current time every interval while the rate is not 0, and on
    /// the next tick after the time jumped (a seek) while paused; never while the player
    /// has no current item, nor while a seek is unanswered (the time then is a target,
    /// not a place playback has reached).
    rt::Ref<TimeObserverToken> addPeriodicTimeObserverForInterval(Time interval, std::function<void(Time)> block);
    /// Calls block when playback crosses one of the times.
    rt::Ref<TimeObserverToken> addBoundaryTimeObserverForTimes(std::vector<Time> times, std::function<void()> block);
    void removeTimeObserver(const rt::Ref<TimeObserverToken>& token);

    /// The current item's latest picture, or nullptr.
    rt::Ref<VideoFrame> currentVideoFrame() const;
    /// Runs on the main loop whenever the current item shows a new picture (or the
    /// current item changes).
    rt::Ref<FrameObserverToken> addVideoFrameObserver(std::function<void()> observer);

    // Item side.
    void itemDidProduceFrame(PlayerItem& item);
    void itemDidPlayToEnd(PlayerItem& item);
    void itemDidFail(PlayerItem& item);

protected:
    void willDestroy() override;

private:
    friend class FrameObserverToken;
    void setCurrent(const rt::Ref<PlayerItem>& item);
    void startPlayback();
    void notifyFrameObservers();
    /// The position no longer waits for a seek (the item changed or failed): answers
    /// still to come are the engine's to give, and change the position no more.
    void dropSeekMask();

    std::vector<rt::Ref<PlayerItem>> items_;
    /// Seeks asked of the current item; the newest, until the engine answers it, masks
    /// the position with its target.
    std::uint64_t seeksAsked_ = 0;
    std::optional<Time> seekTarget_;
    std::vector<std::pair<std::uint64_t, std::function<void()>>> frameObservers_;
    std::uint64_t nextFrameObserver_ = 1;
};

}  // namespace media
