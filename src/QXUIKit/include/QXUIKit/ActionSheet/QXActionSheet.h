#pragma once
// An action sheet whose buttons each carry their own action, given when the button is
// added. The sheet is its own delegate; a delegate set by the host sits behind it and
// hears every delegate call, a click after the button's own action. A sheet dismissed
// without a choice runs nothing and tells nobody of a click.

#include <memory>
#include <string>

#include <QXUIKit/AlertView/QXActionButtons.h>
#include <ui/AlertView.h>

namespace zid {

class QXActionSheet : public QXActionButtons<ui::ActionSheet, ui::ActionSheetDelegate> {
    RT_CLASS(QXActionSheet, ui::ActionSheet)
public:
    /// How far around the view the sheet is shown from.
    static constexpr double kAnchorOutset = 8;

    QXActionSheet() = default;

    /// Adds a button with its action; it becomes the destructive button.
    long addDestructiveButtonWithTitle(const std::string& title, Action action);

    /// Shows from the view's bounds grown by 8 points on every side.
    void showFromView(const rt::Ref<ui::View>& view, bool animated);

    void actionSheetClickedButtonAtIndex(ui::ActionSheet& sheet, long buttonIndex) override;
    void willPresentActionSheet(ui::ActionSheet& sheet) override;
    void didPresentActionSheet(ui::ActionSheet& sheet) override;
    void actionSheetWillDismissWithButtonIndex(ui::ActionSheet& sheet, long buttonIndex) override;
    void actionSheetDidDismissWithButtonIndex(ui::ActionSheet& sheet, long buttonIndex) override;
};

}  // namespace zid
