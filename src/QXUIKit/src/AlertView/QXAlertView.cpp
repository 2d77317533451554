#include "QXUIKit/AlertView/QXAlertView.h"

#include <algorithm>

#include <QXFoundation/Extensions/BundleExtensions.h>
#include <QXFoundation/Threading/Dispatcher.h>
#include <rt/Exception.h>

#include "QXUIKit/Resources/QXUIKitResources.h"

namespace zid {

namespace {

std::optional<std::string> userInfoText(const rt::Error& error, const char* key) {
    rt::Value v = error.userInfo().get(rt::Value(key));
    if (!v.isString()) return std::nullopt;
    return v.string();
}

}  // namespace

void QXAlertView::alertViewClickedButtonAtIndex(ui::AlertView& alertView, long buttonIndex) {
    // A button without an action still reaches the host.
    runActionAtIndex(buttonIndex);
    if (auto d = realDelegate()) d->alertViewClickedButtonAtIndex(alertView, buttonIndex);
}

void QXAlertView::willPresentAlertView(ui::AlertView& alertView) {
    if (auto d = realDelegate()) d->willPresentAlertView(alertView);
}

void QXAlertView::didPresentAlertView(ui::AlertView& alertView) {
    if (auto d = realDelegate()) d->didPresentAlertView(alertView);
}

void QXAlertView::alertViewWillDismissWithButtonIndex(ui::AlertView& alertView, long buttonIndex) {
    if (auto d = realDelegate()) d->alertViewWillDismissWithButtonIndex(alertView, buttonIndex);
}

void QXAlertView::alertViewDidDismissWithButtonIndex(ui::AlertView& alertView, long buttonIndex) {
    if (auto d = realDelegate()) d->alertViewDidDismissWithButtonIndex(alertView, buttonIndex);
}

rt::Ref<ui::TextField> QXAlertView::fieldForStyles(long index, std::initializer_list<ui::AlertViewStyle> styles) const {
    if (std::find(styles.begin(), styles.end(), alertViewStyle()) == styles.end())
        throw rt::Exception(rt::Exception::InternalInconsistency, kWrongStyleReason);
    return textFieldAtIndex(index);
}

using Style = ui::AlertViewStyle;

std::string QXAlertView::inputText() const {
    return fieldForStyles(0, {Style::SecureTextInput, Style::PlainTextInput})->text();
}
void QXAlertView::setInputText(const std::string& text) {
    fieldForStyles(0, {Style::SecureTextInput, Style::PlainTextInput})->setText(text);
}
std::string QXAlertView::loginText() const { return fieldForStyles(0, {Style::LoginAndPasswordInput})->text(); }
void QXAlertView::setLoginText(const std::string& text) {
    fieldForStyles(0, {Style::LoginAndPasswordInput})->setText(text);
}
std::string QXAlertView::passwordText() const { return fieldForStyles(1, {Style::LoginAndPasswordInput})->text(); }
void QXAlertView::setPasswordText(const std::string& text) {
    fieldForStyles(1, {Style::LoginAndPasswordInput})->setText(text);
}

rt::Ref<QXAlertView> QXAlertView::alertViewForError(const rt::Ref<rt::Error>& error) {
    auto alert = rt::make<QXAlertView>();
    if (!error) {
        alert->setTitle(localizedStringForKey("errorAlert.defaultTitle", QXUIKitBundle()));
        return alert;
    }
    const std::string description = error->localizedDescription();
    alert->setTitle(description);
    std::optional<std::string> reason = userInfoText(*error, rt::Error::LocalizedFailureReasonKey);
    if (reason == description) reason.reset();
    std::optional<std::string> message = reason;
    std::optional<std::string> suggestion = userInfoText(*error, kLocalizedRecoverySuggestionKey);
    if (suggestion && *suggestion != description) {
        if (reason && !reason->empty()) *reason += "\n";
        message = reason ? *reason + *suggestion : *suggestion;
    }
    if (message) alert->setMessage(*message);
    return alert;
}

void QXAlertView::showError(const rt::Ref<rt::Error>& error, Action dismissHandler) {
    rt::make<Dispatcher>(fnd::Queue::main(), true)->setBlock([error, dismissHandler] {
        auto alert = alertViewForError(error);
        alert->addButtonWithTitle(localizedStringForKey("errorAlert.dismiss", QXUIKitBundle()), dismissHandler);
        alert->show();
    });
}

void QXAlertView::showErrors(std::vector<rt::Ref<rt::Error>> errors, std::size_t index) {
    if (index >= errors.size()) return;
    rt::Ref<rt::Error> error = errors[index];
    showError(error, [errors = std::move(errors), index] {
        if (index + 1 < errors.size()) showErrors(errors, index + 1);
    });
}

}  // namespace zid
