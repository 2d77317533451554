#pragma once
// An alert view whose buttons each carry their own action, given when the button is
// added. The alert is its own delegate; a delegate set by the host sits behind it and
// hears every delegate call, a click after the button's own action. Typed accessors
// reach the texts of the input styles, and class operations show errors as alerts,
// one or a queue of them one after another.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QXUIKit/AlertView/QXActionButtons.h>
#include <rt/Error.h>
#include <ui/AlertView.h>

namespace zid {

class QXAlertView : public QXActionButtons<ui::AlertView, ui::AlertViewDelegate> {
    RT_CLASS(QXAlertView, ui::AlertView)
public:
    /// The user-info key of an error's recovery suggestion.
    static constexpr const char* kLocalizedRecoverySuggestionKey = "LocalizedRecoverySuggestion";
    static constexpr const char* kWrongStyleReason = "This property should only be used with the appropriate text input style!";

    QXAlertView() = default;

    /// Field 0 of the secure and plain input styles; any other style raises.
    std::string inputText() const;
    void setInputText(const std::string& text);
    /// Fields 0 and 1 of the login-and-password style; any other style raises.
    std::string loginText() const;
    void setLoginText(const std::string& text);
    std::string passwordText() const;
    void setPasswordText(const std::string& text);

    /// An alert titled with the error's description and, as its message, the failure
    /// reason and the recovery suggestion where they add something to it.
    static rt::Ref<QXAlertView> alertViewForError(const rt::Ref<rt::Error>& error);
    /// Shows the error's alert with one dismiss button running the handler. From any
    /// thread: the alert is shown on the main thread before this returns.
    static void showError(const rt::Ref<rt::Error>& error, Action dismissHandler = {});
    /// Shows errors[index], then each later one after the one before is dismissed.
    static void showErrors(std::vector<rt::Ref<rt::Error>> errors, std::size_t index);

    // The alert's own delegate calls: each reaches the host's delegate.
    void alertViewClickedButtonAtIndex(ui::AlertView& alertView, long buttonIndex) override;
    void willPresentAlertView(ui::AlertView& alertView) override;
    void didPresentAlertView(ui::AlertView& alertView) override;
    void alertViewWillDismissWithButtonIndex(ui::AlertView& alertView, long buttonIndex) override;
    void alertViewDidDismissWithButtonIndex(ui::AlertView& alertView, long buttonIndex) override;

private:
    rt::Ref<ui::TextField> fieldForStyles(long index, std::initializer_list<ui::AlertViewStyle> styles) const;
};

}  // namespace zid
