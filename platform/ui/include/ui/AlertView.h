#pragma once
// The older alert view and action sheet: models of buttons added by title (with their
// indexes), shown over a window as a dimmed overlay with a box of buttons, answering a
// delegate. A tap on a button reports its index, then the view dismisses itself; a
// sheet dismissed by a tap beside it reports index -1. The controller-based
// AlertController is the newer way to the same end.

#include <rt/MainThread.h>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <ui/Button.h>
#include <ui/Label.h>
#include <ui/TextField.h>
#include <ui/View.h>

namespace ui {

/// What the alert view and the action sheet share: the buttons, the box and the
/// overlay's showing and dismissal. Subclasses place the box and tell their delegate.
class ButtonBoxView : public View {
    RT_CLASS(ButtonBoxView, View)
public:
    static constexpr double kFadeDuration = 0.2;
    static constexpr double kButtonHeight = 44;

    const std::string& title() const { RT_MAIN_THREAD_ONLY(); return title_; }
    void setTitle(std::string t);
    const std::string& message() const { RT_MAIN_THREAD_ONLY(); return message_; }
    void setMessage(std::string m);

    /// Adds a button; answers its index.
    long addButtonWithTitle(const std::string& title);
    long numberOfButtons() const { RT_MAIN_THREAD_ONLY(); return static_cast<long>(titles_.size()); }
    /// "" for an index without a button.
    std::string buttonTitleAtIndex(long index) const;
    long cancelButtonIndex() const { RT_MAIN_THREAD_ONLY(); return cancelButtonIndex_; }
    void setCancelButtonIndex(long index) { RT_MAIN_THREAD_ONLY(); cancelButtonIndex_ = index; }
    long firstOtherButtonIndex() const;

    bool isVisible() const { RT_MAIN_THREAD_ONLY(); return visible_; }
    /// The button's view while shown (nil otherwise or for an unknown index).
    rt::Ref<Button> buttonAtIndex(long index) const;
    const rt::Ref<View>& boxView() const { RT_MAIN_THREAD_ONLY(); return box_; }

    /// Reports the index to the delegate, then dismisses with it.
    void clickButtonAtIndex(long index);
    /// Leaves the screen without a click call: will-dismiss, fade out, did-dismiss.
    void dismissWithClickedButtonIndex(long index, bool animated);

    void layoutSubviews() override;

protected:
    explicit ButtonBoxView(const Rect& frame = Rect());
    void didInitialize() override;
    /// Shows over the window (the key window when nil).
    void presentInWindow(rt::Ref<View> window, bool animated);
    /// Where the box goes in the overlay's bounds, given its size.
    virtual Rect boxFrameForSize(Size size) const = 0;
    virtual rt::Ref<Color> titleColorForButton(long index) const;
    /// Views the box shows between the message and the buttons.
    virtual std::vector<rt::Ref<View>> accessoryViews() const { return {}; }
    /// A tap on the dimmed area beside the box.
    virtual void backdropTapped() {}
    virtual void tellClicked(long) {}
    virtual void tellWillPresent() {}
    virtual void tellDidPresent() {}
    virtual void tellWillDismiss(long) {}
    virtual void tellDidDismiss(long) {}

private:
    void rebuildBox();

    std::string title_, message_;
    std::vector<std::string> titles_;
    long cancelButtonIndex_ = -1;
    bool visible_ = false;
    bool dismissing_ = false;
    rt::Ref<View> box_;
    rt::Ref<Label> titleLabel_, messageLabel_;
    std::vector<rt::Ref<Button>> buttons_;
};

enum class AlertViewStyle { Default = 0, SecureTextInput = 1, PlainTextInput = 2, LoginAndPasswordInput = 3 };

class AlertView;

class AlertViewDelegate {
public:
    virtual ~AlertViewDelegate() = default;
    virtual void alertViewClickedButtonAtIndex(AlertView&, long /*buttonIndex*/) {}
    virtual void willPresentAlertView(AlertView&) {}
    virtual void didPresentAlertView(AlertView&) {}
    virtual void alertViewWillDismissWithButtonIndex(AlertView&, long /*buttonIndex*/) {}
    virtual void alertViewDidDismissWithButtonIndex(AlertView&, long /*buttonIndex*/) {}
};

class AlertView : public ButtonBoxView {
    RT_CLASS(AlertView, ButtonBoxView)
public:
    AlertView();

    /// Held weakly.
    std::shared_ptr<AlertViewDelegate> delegate() const { RT_MAIN_THREAD_ONLY(); return delegate_.lock(); }
    virtual void setDelegate(const std::shared_ptr<AlertViewDelegate>& d) { RT_MAIN_THREAD_ONLY(); delegate_ = d; }

    AlertViewStyle alertViewStyle() const { RT_MAIN_THREAD_ONLY(); return style_; }
    /// Makes the text fields of the style: one (secure or plain) or login and password.
    void setAlertViewStyle(AlertViewStyle style);
    /// The style's field of the index; an index the style has none for raises a range error.
    rt::Ref<TextField> textFieldAtIndex(long index) const;

    /// Shows over the key window, centred.
    void show();

protected:
    Rect boxFrameForSize(Size size) const override;
    std::vector<rt::Ref<View>> accessoryViews() const override;
    void tellClicked(long index) override;
    void tellWillPresent() override;
    void tellDidPresent() override;
    void tellWillDismiss(long index) override;
    void tellDidDismiss(long index) override;

private:
    std::weak_ptr<AlertViewDelegate> delegate_;
    AlertViewStyle style_ = AlertViewStyle::Default;
    std::vector<rt::Ref<TextField>> fields_;
};

class ActionSheet;

class ActionSheetDelegate {
public:
    virtual ~ActionSheetDelegate() = default;
    virtual void actionSheetClickedButtonAtIndex(ActionSheet&, long /*buttonIndex*/) {}
    virtual void willPresentActionSheet(ActionSheet&) {}
    virtual void didPresentActionSheet(ActionSheet&) {}
    virtual void actionSheetWillDismissWithButtonIndex(ActionSheet&, long /*buttonIndex*/) {}
    virtual void actionSheetDidDismissWithButtonIndex(ActionSheet&, long /*buttonIndex*/) {}
};

class ActionSheet : public ButtonBoxView {
    RT_CLASS(ActionSheet, ButtonBoxView)
public:
    ActionSheet();

    std::shared_ptr<ActionSheetDelegate> delegate() const { RT_MAIN_THREAD_ONLY(); return delegate_.lock(); }
    virtual void setDelegate(const std::shared_ptr<ActionSheetDelegate>& d) { RT_MAIN_THREAD_ONLY(); delegate_ = d; }
    long destructiveButtonIndex() const { RT_MAIN_THREAD_ONLY(); return destructiveButtonIndex_; }
    void setDestructiveButtonIndex(long index) { RT_MAIN_THREAD_ONLY(); destructiveButtonIndex_ = index; }

    /// Shows over the view's window, the box under the rectangle (the view's
    /// coordinates), or above it when there is no room below.
    void showFromRect(const Rect& rect, const rt::Ref<View>& view, bool animated);
    /// Shows at the bottom of the view's window.
    void showInView(const rt::Ref<View>& view);
    /// The rectangle shown from, in the overlay's coordinates (nullopt at the bottom).
    std::optional<Rect> anchorRect() const { RT_MAIN_THREAD_ONLY(); return anchor_; }

protected:
    Rect boxFrameForSize(Size size) const override;
    rt::Ref<Color> titleColorForButton(long index) const override;
    /// A tap beside the sheet dismisses it without a choice (index -1).
    void backdropTapped() override;
    void tellClicked(long index) override;
    void tellWillPresent() override;
    void tellDidPresent() override;
    void tellWillDismiss(long index) override;
    void tellDidDismiss(long index) override;

private:
    std::weak_ptr<ActionSheetDelegate> delegate_;
    long destructiveButtonIndex_ = -1;
    std::optional<Rect> anchor_;
};

}  // namespace ui
