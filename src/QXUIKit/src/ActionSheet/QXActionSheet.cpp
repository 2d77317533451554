#include "QXUIKit/ActionSheet/QXActionSheet.h"

namespace zid {

long QXActionSheet::addDestructiveButtonWithTitle(const std::string& title, Action action) {
    long index = addButtonWithTitle(title, std::move(action));
    setDestructiveButtonIndex(index);
    return index;
}

void QXActionSheet::showFromView(const rt::Ref<ui::View>& view, bool animated) {
    if (!view) return;
    showFromRect(ui::rectInset(view->bounds(), -kAnchorOutset, -kAnchorOutset), view, animated);
}

void QXActionSheet::actionSheetClickedButtonAtIndex(ui::ActionSheet& sheet, long buttonIndex) {
    if (buttonIndex == -1) return;  // dismissed without a choice
    runActionAtIndex(buttonIndex);
    if (auto d = realDelegate()) d->actionSheetClickedButtonAtIndex(sheet, buttonIndex);
}

void QXActionSheet::willPresentActionSheet(ui::ActionSheet& sheet) {
    if (auto d = realDelegate()) d->willPresentActionSheet(sheet);
}

void QXActionSheet::didPresentActionSheet(ui::ActionSheet& sheet) {
    if (auto d = realDelegate()) d->didPresentActionSheet(sheet);
}

void QXActionSheet::actionSheetWillDismissWithButtonIndex(ui::ActionSheet& sheet, long buttonIndex) {
    if (auto d = realDelegate()) d->actionSheetWillDismissWithButtonIndex(sheet, buttonIndex);
}

void QXActionSheet::actionSheetDidDismissWithButtonIndex(ui::ActionSheet& sheet, long buttonIndex) {
    if (auto d = realDelegate()) d->actionSheetDidDismissWithButtonIndex(sheet, buttonIndex);
}

}  // namespace zid
