#pragma once
// What every status screen of the player shares: a fixed design on black that the
// player view spreads over its own bounds by autoresizing, a content container kept
// full-width and vertically centred, white bold labels and icons that take no touches,
// and one font rule for the main label. Touches pass through to the views beneath.

#include <initializer_list>
#include <string>

#include <QXUIKit/Views/QXEventTransparentView.h>
#include <ui/ImageView.h>
#include <ui/Label.h>

namespace zid {

class CPMediaStatusView : public QXEventTransparentView {
    RT_CLASS(CPMediaStatusView, QXEventTransparentView)
public:
    using QXEventTransparentView::QXEventTransparentView;

    /// The main label's point size for a view of that width: 12 on a phone or a tablet;
    /// on any other idiom 12 + (width - 320) / 704 x 28, kept within 8..40, rounded down.
    static double fontSizeForWidth(double width);

    /// The label whose font follows the view's width; none for a view with fixed fonts.
    const rt::Ref<ui::Label>& mainLabel() const { return mainLabel_; }
    /// Sets the main label's text ("" clears the design's initial text).
    void setMessage(const std::string& message);

    void layoutSubviews() override;

protected:
    void setMainLabel(rt::Ref<ui::Label> label) { mainLabel_ = std::move(label); }
    /// The root's look; its frame becomes the design size whatever it was made with.
    void setupRoot(ui::Size designSize, bool clearBackground = false);
    /// The full-width, vertically centred, touch-transparent holder of the labels.
    static rt::Ref<QXEventTransparentView> makeContainer(const ui::Rect& frame);
    static rt::Ref<ui::Label> makeLabel(const ui::Rect& frame, int lines = 2);
    /// The 96-point icon centred at the top of the design, from the player bundle.
    static rt::Ref<ui::ImageView> makeIcon(const std::string& fileName, ui::ContentMode mode);
    /// The root's look at the container's size, and the container of that frame holding
    /// the views given, in order; returns the container.
    rt::Ref<QXEventTransparentView> buildDesign(const ui::Rect& containerFrame,
                                                std::initializer_list<rt::Ref<ui::View>> contents,
                                                bool clearBackground = false);
    /// The 401 x 91 design of a one-message screen: the main label at (20, 23, 361, 45)
    /// in the container; returns the container.
    rt::Ref<QXEventTransparentView> buildMessageDesign();

private:
    rt::Ref<ui::Label> mainLabel_;
};

/// A status view class (View, derived from Base) with the maker of a view showing a
/// message. It adds no class of its own: View declares Base as its superclass.
template <class View, class Base = CPMediaStatusView>
class CPMessageStatusView : public Base {
public:
    using Base::Base;
    static rt::Ref<View> statusViewWithFrame(const ui::Rect& frame, const std::string& message) {
        auto view = rt::make<View>(frame);
        view->setMessage(message);
        return view;
    }
};

}  // namespace zid
