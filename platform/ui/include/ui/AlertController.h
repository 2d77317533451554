#pragma once
// An alert or action sheet: a title, a message, text fields (alerts only) and actions
// shown as buttons. Tapping an action's button dismisses the controller, then runs the
// action's handler. It presents over the current screen, which stays appeared.

#include <functional>

#include <ui/Button.h>
#include <ui/Label.h>
#include <ui/TextField.h>
#include <ui/ViewController.h>

namespace ui {

enum class AlertActionStyle { Default = 0, Cancel = 1, Destructive = 2 };
enum class AlertControllerStyle { ActionSheet = 0, Alert = 1 };

class AlertAction : public rt::Object {
    RT_CLASS(AlertAction, rt::Object)
public:
    using Handler = std::function<void(AlertAction&)>;
    AlertAction(std::string title, AlertActionStyle style, Handler handler)
        : title_(std::move(title)), style_(style), handler_(std::move(handler)) {}
    static rt::Ref<AlertAction> actionWithTitle(std::string title, AlertActionStyle style, Handler handler = {}) {
        return rt::make<AlertAction>(std::move(title), style, std::move(handler));
    }
    const std::string& title() const { return title_; }
    AlertActionStyle style() const { return style_; }
    bool isEnabled() const { return enabled_; }
    void setEnabled(bool e);
    const Handler& handler() const { return handler_; }

private:
    friend class AlertController;
    std::string title_;
    AlertActionStyle style_;
    Handler handler_;
    bool enabled_ = true;
    rt::Weak<Button> button_;
};

class AlertController : public ViewController {
    RT_CLASS(AlertController, ViewController)
public:
    AlertController(std::string title, std::string message, AlertControllerStyle style);
    static rt::Ref<AlertController> alertControllerWithTitle(std::string title, std::string message,
                                                             AlertControllerStyle style) {
        return rt::make<AlertController>(std::move(title), std::move(message), style);
    }

    AlertControllerStyle preferredStyle() const { return style_; }
    const std::string& message() const { return message_; }
    /// Adds an action; a second cancel action is refused (answers false).
    bool addAction(const rt::Ref<AlertAction>& action);
    const std::vector<rt::Ref<AlertAction>>& actions() const { return actions_; }
    /// Alerts only: adds a text field, configured by the handler.
    void addTextFieldWithConfigurationHandler(const std::function<void(TextField&)>& configure);
    const std::vector<rt::Ref<TextField>>& textFields() const { return textFields_; }
    /// Where an action sheet points from on a large screen.
    rt::Ref<View> popoverSourceView() const { return sourceView_.lock(); }
    void setPopoverSourceView(const rt::Ref<View>& v) { sourceView_ = v; }
    Rect popoverSourceRect() const { return sourceRect_; }
    void setPopoverSourceRect(const Rect& r) { sourceRect_ = r; }

    /// The button of an action, once the view is loaded.
    rt::Ref<Button> buttonForAction(const rt::Ref<AlertAction>& action);

    void loadView() override;
    void viewWillLayoutSubviews() override;

private:
    void tapped(const rt::Ref<AlertAction>& action);
    AlertControllerStyle style_;
    std::string message_;
    std::vector<rt::Ref<AlertAction>> actions_;
    std::vector<rt::Ref<TextField>> textFields_;
    rt::Weak<View> sourceView_;
    Rect sourceRect_;
    rt::Ref<View> box_;
    rt::Ref<Label> titleLabel_, messageLabel_;
    std::vector<rt::Ref<Button>> buttons_;
};

}  // namespace ui
