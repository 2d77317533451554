#pragma once
// A full-area notice laid over a host's view (an empty list, a failed load): an icon,
// a message and an optional action line, stacked and centred on white. When the action
// button has a command the whole content area is a button that runs it. Styled through
// the shared styler's style classes.

#include <rt/MainThread.h>
#include <optional>
#include <string>

#include <ui/Button.h>
#include <ui/ImageView.h>
#include <ui/Label.h>
#include <ui/ScrollView.h>
#include <ui/Text.h>

namespace zid {

class NotificationView : public ui::ScrollView {
    RT_CLASS(NotificationView, ui::ScrollView)
public:
    /// The gap between the icon, the text and the action button.
    static constexpr double kGap = 15;

    explicit NotificationView(const ui::Rect& frame = ui::Rect());

    const rt::Ref<ui::Label>& titleLabel() const { RT_MAIN_THREAD_ONLY(); return titleLabel_; }
    const rt::Ref<ui::ImageView>& notificationImageView() const {
        RT_MAIN_THREAD_ONLY();
        return notificationImageView_;
    }
    /// Covers the content area; give it a command (RudoreVaz setCommand) to make the
    /// notice tappable.
    const rt::Ref<ui::Button>& actionButton() const { RT_MAIN_THREAD_ONLY(); return actionButton_; }

    std::optional<std::string> notificationMessage() const { RT_MAIN_THREAD_ONLY(); return notificationMessage_; }
    void setNotificationMessage(std::optional<std::string> message);
    std::optional<std::string> refreshActionText() const { RT_MAIN_THREAD_ONLY(); return refreshActionText_; }
    void setRefreshActionText(std::optional<std::string> text);
    std::optional<ui::TextAttributes> notificationMessageTextAttributes() const {
        RT_MAIN_THREAD_ONLY();
        return messageAttributes_;
    }
    void setNotificationMessageTextAttributes(std::optional<ui::TextAttributes> attributes);
    std::optional<ui::TextAttributes> refreshActionTextAttributes() const {
        RT_MAIN_THREAD_ONLY();
        return actionAttributes_;
    }
    void setRefreshActionTextAttributes(std::optional<ui::TextAttributes> attributes);
    /// The kit's alert icon by default; nil shows no icon.
    rt::Ref<ui::Image> notificationImage() const { RT_MAIN_THREAD_ONLY(); return notificationImage_; }
    void setNotificationImage(rt::Ref<ui::Image> image);
    ui::EdgeInsets borderInset() const { RT_MAIN_THREAD_ONLY(); return borderInset_; }
    void setBorderInset(ui::EdgeInsets inset);

    /// The view's bounds less the border inset.
    ui::Rect contentRect() const;
    /// The message, a line break and the action line; whichever exists alone; nil
    /// when neither does.
    std::optional<ui::AttributedString> attributedText() const;
    static std::optional<ui::AttributedString> attributedText(const std::optional<std::string>& text,
                                                              const std::optional<ui::TextAttributes>& attributes);

    /// Moves the notice into the view, over its whole bounds.
    void showInView(const rt::Ref<ui::View>& view);
    void dismiss();
    /// The view's style class, and its parts' (c.titleLabel, c.notificationImageView,
    /// c.reloadButton), through the shared styler.
    void setStyleClass(const std::string& styleClass);

    void layoutSubviews() override;

protected:
    void didInitialize() override;

private:
    /// Every part of the text and the inset is placed by the next layout pass.
    template <class T> void storeAndLayOut(T& field, T value) {
        field = std::move(value);
        setNeedsLayout();
    }

    rt::Ref<ui::Label> titleLabel_;
    rt::Ref<ui::ImageView> notificationImageView_;
    rt::Ref<ui::Button> actionButton_;
    std::optional<std::string> notificationMessage_;
    std::optional<std::string> refreshActionText_;
    std::optional<ui::TextAttributes> messageAttributes_;
    std::optional<ui::TextAttributes> actionAttributes_;
    rt::Ref<ui::Image> notificationImage_;
    ui::EdgeInsets borderInset_;
};

}  // namespace zid
