#pragma once
// An action sheet whose buttons each carry their own action, given when the button is
// added. The sheet is its own delegate; a delegate set by the host sits behind it and
// hears every delegate call, a click after the button's own action. A sheet dismissed
// without a choice runs nothing and tells nobody of a click.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <ui/AlertView.h>

namespace zid {

class QXActionSheet : public ui::ActionSheet, public ui::ActionSheetDelegate {
    RT_CLASS(QXActionSheet, ui::ActionSheet)
public:
    using Action = std::function<void()>;
    /// How far around the view the sheet is shown from.
    static constexpr double kAnchorOutset = 8;

    QXActionSheet() = default;

    long addButtonWithTitle(const std::string& title, Action action);
    long addCancelButtonWithTitle(const std::string& title, Action action);
    long addDestructiveButtonWithTitle(const std::string& title, Action action);
    const std::vector<Action>& actionBlocks() const { return actionBlocks_; }

    void setDelegate(const std::shared_ptr<ui::ActionSheetDelegate>& d) override;
    std::shared_ptr<ui::ActionSheetDelegate> realDelegate() const { return realDelegate_.lock(); }

    /// Shows from the view's bounds grown by 8 points on every side.
    void showFromView(const rt::Ref<ui::View>& view, bool animated);

    void actionSheetClickedButtonAtIndex(ui::ActionSheet& sheet, long buttonIndex) override;
    void willPresentActionSheet(ui::ActionSheet& sheet) override;
    void didPresentActionSheet(ui::ActionSheet& sheet) override;
    void actionSheetWillDismissWithButtonIndex(ui::ActionSheet& sheet, long buttonIndex) override;
    void actionSheetDidDismissWithButtonIndex(ui::ActionSheet& sheet, long buttonIndex) override;

protected:
    void didInitialize() override;

private:
    std::vector<Action> actionBlocks_;
    std::weak_ptr<ui::ActionSheetDelegate> realDelegate_;
};

}  // namespace zid
