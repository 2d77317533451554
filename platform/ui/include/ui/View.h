#pragma once
// The view: a rectangle of the interface in a tree. A superview owns its subviews; a
// subview points back weakly. Geometry is kept as center, bounds and transform; the
// frame is the bounding box of the transformed bounds about the center. Every
// property is key-value observable, so keypath signals and bindings reach
// "backgroundView.alpha" and the like. The interface runs on the main thread only.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <rt/KVC.h>
#include <rt/MainThread.h>
#include <rt/KVO.h>
#include <rt/Key.h>
#include <rt/Object.h>
#include <ui/Color.h>
#include <ui/Geometry.h>
#include <ui/GeometryValues.h>
#include <ui/Layer.h>

namespace ui {

class GestureRecognizer;
class ImageContext;
class Touch;
class View;
class ViewController;
class Window;

namespace detail {
struct ViewAnimations;
}

enum class ContentMode {
    ScaleToFill = 0,
    ScaleAspectFit = 1,
    ScaleAspectFill = 2,
    Redraw = 3,
    Center = 4,
    Top = 5,
    Bottom = 6,
    Left = 7,
    Right = 8,
    TopLeft = 9,
    TopRight = 10,
    BottomLeft = 11,
    BottomRight = 12
};

/// Autoresizing mask bits: which margins and extents take up a change of the
/// superview's size.
namespace Autoresizing {
inline constexpr unsigned None = 0;
inline constexpr unsigned FlexibleLeftMargin = 1;
inline constexpr unsigned FlexibleWidth = 2;
inline constexpr unsigned FlexibleRightMargin = 4;
inline constexpr unsigned FlexibleTopMargin = 8;
inline constexpr unsigned FlexibleHeight = 16;
inline constexpr unsigned FlexibleBottomMargin = 32;
}  // namespace Autoresizing

using TouchSet = std::vector<rt::Ref<Touch>>;

/// Something that can be first responder; views and view controllers are. Touches a
/// responder does not handle go on to its next responder.
class Responder : public rt::Object {
    RT_CLASS(Responder, rt::Object)
public:
    static void describe(rt::ClassBuilder<Responder>& c) { c.mainThreadOnly(); }
    virtual rt::Ref<Responder> nextResponder() const { RT_MAIN_THREAD_ONLY(); return nullptr; }
    virtual void touchesBegan(const TouchSet& touches) {
        RT_MAIN_THREAD_ONLY();
        if (auto n = nextResponder()) n->touchesBegan(touches);
    }
    virtual void touchesMoved(const TouchSet& touches) {
        RT_MAIN_THREAD_ONLY();
        if (auto n = nextResponder()) n->touchesMoved(touches);
    }
    virtual void touchesEnded(const TouchSet& touches) {
        RT_MAIN_THREAD_ONLY();
        if (auto n = nextResponder()) n->touchesEnded(touches);
    }
    virtual void touchesCancelled(const TouchSet& touches) {
        RT_MAIN_THREAD_ONLY();
        if (auto n = nextResponder()) n->touchesCancelled(touches);
    }
    virtual bool canBecomeFirstResponder() const { RT_MAIN_THREAD_ONLY(); return false; }
    virtual bool canResignFirstResponder() const { RT_MAIN_THREAD_ONLY(); return true; }
    virtual bool becomeFirstResponder() { RT_MAIN_THREAD_ONLY(); return false; }
    virtual bool resignFirstResponder() { RT_MAIN_THREAD_ONLY(); return true; }
    virtual bool isFirstResponder() const { RT_MAIN_THREAD_ONLY(); return false; }
};

class View : public Responder {
    RT_CLASS(View, Responder)
    RT_MAIN_THREAD_ONLY_CLASS;
private:  // fields first: each key names its field
    Point center_;
    Rect bounds_;
    AffineTransform transform_;
    double alpha_ = 1;
    bool hidden_ = false;
    bool opaque_ = true;
    rt::Ref<Color> backgroundColor_;
    rt::Ref<Color> tintColor_;
    ContentMode contentMode_ = ContentMode::ScaleToFill;
    bool userInteractionEnabled_ = true;
    bool exclusiveTouch_ = false;
    long tag_ = 0;
    std::string accessibilityLabel_;
    unsigned autoresizingMask_ = Autoresizing::None;
    bool autoresizesSubviews_ = true;

public:
    static constexpr rt::Key<View, Point> centerKey{"center", &View::center_};
    static constexpr rt::Key<View, Rect> boundsKey{"bounds", &View::bounds_};
    static constexpr rt::Key<View, AffineTransform> transformKey{"transform", &View::transform_};
    static constexpr rt::Key<View, double> alphaKey{"alpha", &View::alpha_};
    static constexpr rt::Key<View, bool> hiddenKey{"hidden", &View::hidden_};
    static constexpr rt::Key<View, bool> opaqueKey{"opaque", &View::opaque_};
    static constexpr rt::Key<View, rt::Ref<Color>> backgroundColorKey{"backgroundColor", &View::backgroundColor_};
    static constexpr rt::Key<View, ContentMode> contentModeKey{"contentMode", &View::contentMode_};
    static constexpr rt::Key<View, bool> userInteractionEnabledKey{"userInteractionEnabled",
                                                                   &View::userInteractionEnabled_};
    static constexpr rt::Key<View, bool> exclusiveTouchKey{"exclusiveTouch", &View::exclusiveTouch_};
    static constexpr rt::Key<View, long> tagKey{"tag", &View::tag_};
    static constexpr rt::Key<View, std::string> accessibilityLabelKey{"accessibilityLabel", &View::accessibilityLabel_};
    static constexpr rt::Key<View, unsigned> autoresizingMaskKey{"autoresizingMask", &View::autoresizingMask_};
    static constexpr rt::Key<View, bool> autoresizesSubviewsKey{"autoresizesSubviews", &View::autoresizesSubviews_};

    explicit View(const Rect& frame = Rect());
    ~View() override;
    static void describe(rt::ClassBuilder<View>& c);

    // ---- geometry ----------------------------------------------------------------
    Rect frame() const;
    /// Sets the center and the bounds size so that the transformed bounds cover the
    /// frame: exact under scales and quarter turns; other rotations keep the bounds size
    /// and only centre the view.
    void setFrame(const Rect& frame);
    Rect bounds() const { RT_MAIN_THREAD_ONLY(); return bounds_; }
    void setBounds(const Rect& bounds);
    Point center() const { RT_MAIN_THREAD_ONLY(); return center_; }
    void setCenter(Point center);
    AffineTransform transform() const { RT_MAIN_THREAD_ONLY(); return transform_; }
    void setTransform(const AffineTransform& transform);

    // ---- appearance ----------------------------------------------------------------
    double alpha() const { RT_MAIN_THREAD_ONLY(); return alpha_; }
    void setAlpha(double alpha);
    bool isHidden() const { RT_MAIN_THREAD_ONLY(); return hidden_; }
    void setHidden(bool hidden);
    bool isOpaque() const { RT_MAIN_THREAD_ONLY(); return opaque_; }
    void setOpaque(bool opaque) { RT_MAIN_THREAD_ONLY(); opaqueKey.set(*this, opaque); }
    bool clipsToBounds() const { RT_MAIN_THREAD_ONLY(); return layer_->masksToBounds(); }
    void setClipsToBounds(bool clips);
    rt::Ref<Color> backgroundColor() const { RT_MAIN_THREAD_ONLY(); return backgroundColor_; }
    void setBackgroundColor(rt::Ref<Color> color);
    /// The own tint colour, else the superview's, else the default blue.
    rt::Ref<Color> tintColor() const;
    void setTintColor(rt::Ref<Color> color);
    ContentMode contentMode() const { RT_MAIN_THREAD_ONLY(); return contentMode_; }
    void setContentMode(ContentMode mode);
    const rt::Ref<Layer>& layer() const { RT_MAIN_THREAD_ONLY(); return layer_; }

    // ---- interaction and identity ------------------------------------------------------
    bool isUserInteractionEnabled() const { RT_MAIN_THREAD_ONLY(); return userInteractionEnabled_; }
    virtual void setUserInteractionEnabled(bool enabled) {
        RT_MAIN_THREAD_ONLY();
        userInteractionEnabledKey.set(*this, enabled);
    }
    bool isExclusiveTouch() const { RT_MAIN_THREAD_ONLY(); return exclusiveTouch_; }
    void setExclusiveTouch(bool v) { RT_MAIN_THREAD_ONLY(); exclusiveTouchKey.set(*this, v); }
    long tag() const { RT_MAIN_THREAD_ONLY(); return tag_; }
    void setTag(long tag) { RT_MAIN_THREAD_ONLY(); tagKey.set(*this, tag); }
    std::string accessibilityLabel() const { RT_MAIN_THREAD_ONLY(); return accessibilityLabel_; }
    void setAccessibilityLabel(std::string v) { RT_MAIN_THREAD_ONLY(); accessibilityLabelKey.set(*this, std::move(v)); }
    unsigned autoresizingMask() const { RT_MAIN_THREAD_ONLY(); return autoresizingMask_; }
    void setAutoresizingMask(unsigned mask) { RT_MAIN_THREAD_ONLY(); autoresizingMaskKey.set(*this, mask); }
    bool autoresizesSubviews() const { RT_MAIN_THREAD_ONLY(); return autoresizesSubviews_; }
    void setAutoresizesSubviews(bool v) { RT_MAIN_THREAD_ONLY(); autoresizesSubviewsKey.set(*this, v); }
    /// The first view with this tag in the receiver's subtree (the receiver first).
    rt::Ref<View> viewWithTag(long tag);

    // ---- hierarchy -------------------------------------------------------------------
    rt::Ref<View> superview() const { RT_MAIN_THREAD_ONLY(); return superview_.lock(); }
    const std::vector<rt::Ref<View>>& subviews() const { RT_MAIN_THREAD_ONLY(); return subviews_; }
    /// The window the view is in (a window is its own window), or nil.
    rt::Ref<Window> window() const;
    void addSubview(const rt::Ref<View>& view);
    void insertSubviewAtIndex(const rt::Ref<View>& view, long index);
    void insertSubviewBelowSubview(const rt::Ref<View>& view, const rt::Ref<View>& sibling);
    void insertSubviewAboveSubview(const rt::Ref<View>& view, const rt::Ref<View>& sibling);
    void removeFromSuperview();
    void bringSubviewToFront(const rt::Ref<View>& view);
    void sendSubviewToBack(const rt::Ref<View>& view);
    void exchangeSubviewAtIndex(long index1, long index2);
    bool isDescendantOfView(const View* view) const;

    // ---- hooks (subclasses override; the default bodies do nothing) ------------------------
    virtual void willMoveToSuperview(const rt::Ref<View>& /*newSuperview*/) { RT_MAIN_THREAD_ONLY(); }
    virtual void didMoveToSuperview() { RT_MAIN_THREAD_ONLY(); }
    virtual void willMoveToWindow(const rt::Ref<Window>& /*newWindow*/) { RT_MAIN_THREAD_ONLY(); }
    virtual void didMoveToWindow() { RT_MAIN_THREAD_ONLY(); }
    virtual void didAddSubview(const rt::Ref<View>& /*subview*/) { RT_MAIN_THREAD_ONLY(); }
    virtual void willRemoveSubview(const rt::Ref<View>& /*subview*/) { RT_MAIN_THREAD_ONLY(); }
    virtual void tintColorDidChange() { RT_MAIN_THREAD_ONLY(); }

    // ---- layout ----------------------------------------------------------------------
    /// Marks the view for the next layout pass, which the main loop runs once per turn.
    void setNeedsLayout();
    bool needsLayout() const { RT_MAIN_THREAD_ONLY(); return needsLayout_; }
    /// Lays out now what is marked in the subtree, parents before their subviews.
    void layoutIfNeeded();
    virtual void layoutSubviews() { RT_MAIN_THREAD_ONLY(); }
    virtual Size sizeThatFits(Size size) const { RT_MAIN_THREAD_ONLY(); (void)size; return bounds_.size; }
    void sizeToFit();
    /// A step to run after each layout pass of this view, on a later turn of the main
    /// queue (once per pass, with the view kept alive until it runs), so it sees the
    /// pass's final geometry. The view's class and its own layout stay as they are;
    /// an empty function removes the step.
    void setAfterLayoutHook(std::function<void(View&)> hook) {
        RT_MAIN_THREAD_ONLY();
        afterLayoutHook_ = std::move(hook);
    }
    bool hasAfterLayoutHook() const { RT_MAIN_THREAD_ONLY(); return static_cast<bool>(afterLayoutHook_); }
    /// Asks the host that shows the tree to draw it again (see displayRequests()).
    void setNeedsDisplay();
    /// The same, for a view showing a moving picture when a new picture is there: a
    /// host may draw it at once and fold other changes into the picture's frame.
    void setNeedsDisplayForNewPicture();

    // ---- drawing ---------------------------------------------------------------------
    /// The view's own drawing, in its bounds coordinates, on top of its background and
    /// below its subviews. The default draws nothing.
    virtual void draw(ImageContext& context, const Rect& rect);
    /// Whether draw() does anything (the renderer skips the call otherwise).
    virtual bool drawsContent() const { RT_MAIN_THREAD_ONLY(); return false; }

    // ---- hit testing and coordinates ---------------------------------------------------
    virtual bool pointInside(Point point) const;
    /// The deepest visible, interactive descendant containing the point (in the
    /// receiver's coordinates), or nil. Hidden views, views at alpha <= 0.01, views with
    /// interaction off, and views in an animation that does not allow interaction, are
    /// skipped with their subtrees.
    virtual rt::Ref<View> hitTest(Point point);
    /// Whether hit testing would consider the view at all (visible enough, interactive).
    bool isHitTestable() const;
    /// Conversions between this view's coordinates and another view's; nil means the
    /// window (or, outside a window, the root of the view's tree).
    Point convertPointToView(Point point, const View* view) const;
    Point convertPointFromView(Point point, const View* view) const;
    Rect convertRectToView(const Rect& rect, const View* view) const;
    Rect convertRectFromView(const Rect& rect, const View* view) const;
    /// The affine map from this view's bounds coordinates to its superview's.
    AffineTransform transformToSuperview() const;

    // ---- gesture recognizers ---------------------------------------------------------------
    /// The view keeps its recognizers; each points back at the view weakly.
    void addGestureRecognizer(const rt::Ref<GestureRecognizer>& recognizer);
    void removeGestureRecognizer(const rt::Ref<GestureRecognizer>& recognizer);
    const std::vector<rt::Ref<GestureRecognizer>>& gestureRecognizers() const {
        RT_MAIN_THREAD_ONLY();
        return gestureRecognizers_;
    }

    // ---- responders ------------------------------------------------------------------
    rt::Ref<Responder> nextResponder() const override;
    bool becomeFirstResponder() override;
    bool resignFirstResponder() override;
    bool isFirstResponder() const override;

    // ---- view controller slot ---------------------------------------------------------------
    /// The controller whose view this is (weak), for the responder chain.
    rt::Ref<ViewController> viewController() const { RT_MAIN_THREAD_ONLY(); return viewController_.lock(); }
    void setViewController(const rt::Ref<ViewController>& controller) {
        RT_MAIN_THREAD_ONLY();
        viewController_ = controller;
    }

    // ---- presented values (what the renderer draws while animations run) ---------------
    double presentedAlpha() const;
    Point presentedCenter() const;
    Rect presentedBounds() const;
    AffineTransform presentedTransform() const;
    rt::Ref<Color> presentedBackgroundColor() const;
    /// The presented frame, from the presented center, bounds and transform.
    Rect presentedFrame() const;
    /// The presented map to the superview's coordinates.
    AffineTransform presentedTransformToSuperview() const;

    /// Properties that modules add to every view (kept in associations): key-value
    /// coding reads them through the getter, and their owner announces changes with
    /// will/didChangeValueForKey, so they can be observed like the view's own.
    static void registerExtensionProperty(const std::string& key, std::function<rt::Value(const View&)> getter);
    rt::Value valueForUndefinedKey(std::string_view key) const override;

    detail::ViewAnimations* animations() const { RT_MAIN_THREAD_ONLY(); return animations_.get(); }
    detail::ViewAnimations& ensureAnimations();

protected:
    void didInitialize() override;
    void willDestroy() override;
    /// Distributes a change of the receiver's bounds size over the subviews by their
    /// autoresizing masks.
    virtual void resizeSubviewsWithOldSize(Size oldSize);

private:
    friend class Window;
    void insertSubview(const rt::Ref<View>& view, std::size_t index);
    void moveToWindow(const rt::Ref<Window>& from, const rt::Ref<Window>& to, bool will);
    void markSubtreeNeedsLayout();
    void layoutSubtree();
    void boundsSizeChanged(Size oldSize);
    void autoresize(Size oldSuperSize, Size newSuperSize);
    void notifyTintChange();

    rt::Ref<Layer> layer_;

    std::vector<rt::Ref<View>> subviews_;
    rt::Weak<View> superview_;
    rt::Weak<ViewController> viewController_;
    bool needsLayout_ = false;
    bool subtreeNeedsLayout_ = false;
    std::unique_ptr<detail::ViewAnimations> animations_;
    std::vector<rt::Ref<GestureRecognizer>> gestureRecognizers_;
    std::function<void(View&)> afterLayoutHook_;
};

/// What views asked to be drawn, counted since the process started (main thread).
struct DisplayRequests {
    std::uint64_t views = 0;     // setNeedsDisplay
    std::uint64_t pictures = 0;  // setNeedsDisplayForNewPicture
};
DisplayRequests displayRequests();
/// Told of every request as it is made (`picture` for a new picture); one handler per
/// process, the host's. An empty function removes it.
void setDisplayRequestHandler(std::function<void(bool picture)> handler);
/// While a handler is set, the views that asked to be drawn (setNeedsDisplay) are named
/// too: moves them into `views` (each once) and answers true, or false when more asked
/// than are named (take the whole tree as asked for). Main thread.
bool takeViewsNeedingDisplay(std::vector<rt::Weak<View>>& views);

/// The layout pass: lays out every marked view tree (parents first). The main loop
/// runs it in its end-of-turn phase, once per turn after something was marked; tests
/// may call it directly.
void runLayoutPass();

}  // namespace ui
