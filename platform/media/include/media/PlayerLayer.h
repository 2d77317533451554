#pragma once
// What a view needs to show a player: the current picture, whether one is there to show
// ("readyForDisplay", observable), how to fit it into the view (video gravity), and a
// call on the main loop whenever the picture changes. It draws nothing itself: the
// interface toolkit's player view hosts it and draws currentFrame() into videoRect().

#include <functional>
#include <string>

#include <media/Player.h>

namespace media {

enum class VideoGravity : long long {
    ResizeAspect = 0,      // the whole picture, letterboxed
    ResizeAspectFill = 1,  // fills the bounds, cropped
    Resize = 2,            // stretched to the bounds
};

inline constexpr const char* LayerVideoGravityResizeAspect = "LayerVideoGravityResizeAspect";
inline constexpr const char* LayerVideoGravityResizeAspectFill = "LayerVideoGravityResizeAspectFill";
inline constexpr const char* LayerVideoGravityResize = "LayerVideoGravityResize";

const char* videoGravityName(VideoGravity gravity);

struct Rect {
    double x = 0, y = 0, width = 0, height = 0;
    friend bool operator==(const Rect&, const Rect&) = default;
};

class PlayerLayer : public rt::Object {
    RT_CLASS(PlayerLayer, rt::Object)
private:  // the observable fields come before the keys that name them
    rt::Ref<Player> player_;
    VideoGravity gravity_ = VideoGravity::ResizeAspect;
    Size bounds_;
    bool readyForDisplay_ = false;

public:
    static constexpr rt::Key<PlayerLayer, rt::Ref<Player>> playerKey{"player", &PlayerLayer::player_};
    static constexpr rt::Key<PlayerLayer, VideoGravity> videoGravityKey{"videoGravity", &PlayerLayer::gravity_};
    static constexpr rt::Key<PlayerLayer, Size> boundsKey{"bounds", &PlayerLayer::bounds_};
    static constexpr rt::Key<PlayerLayer, bool> readyForDisplayKey{"readyForDisplay", &PlayerLayer::readyForDisplay_};

    static void describe(rt::ClassBuilder<PlayerLayer>& c);

    PlayerLayer() = default;
    static rt::Ref<PlayerLayer> playerLayerWithPlayer(rt::Ref<Player> player);

    const rt::Ref<Player>& player() const { return player_; }
    void setPlayer(rt::Ref<Player> player);
    VideoGravity videoGravity() const { return gravity_; }
    void setVideoGravity(VideoGravity gravity);
    /// The layer's bounds (points); videoRect() fits the picture into them.
    Size bounds() const { return bounds_; }
    void setBounds(Size bounds);
    /// YES once the current item has a picture to show.
    bool isReadyForDisplay() const { return readyForDisplay_; }
    /// The picture to draw, or nullptr.
    rt::Ref<VideoFrame> currentFrame() const;
    /// Where, inside the bounds, the picture goes for the current gravity (may exceed
    /// the bounds for aspect fill). Empty without a picture.
    Rect videoRect() const;
    static Rect videoRect(Size picture, Size bounds, VideoGravity gravity);
    /// Runs on the main loop when the picture (or readiness) changes; the view redraws.
    void setFrameChangedHandler(std::function<void()> handler) { frameChanged_ = std::move(handler); }

private:
    void frameDidChange();

    rt::Ref<FrameObserverToken> frameToken_;
    std::function<void()> frameChanged_;
};

}  // namespace media
